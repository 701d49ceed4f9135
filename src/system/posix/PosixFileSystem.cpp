#include "system/posix/PosixFileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "system/posix/PosixError.h"
#include "system/posix/PosixFiles.h"
#include "system/posix/PosixIni.h"
#include "system/posix/PosixPaths.h"

namespace zeph::posix {

namespace {

// A path of the program as the disk spells it.
std::string Native(const std::string& path) { return MatchCase(ToNativePath(path)); }

bool StatIs(const std::string& path, mode_t type) {
  struct stat st;
  return !path.empty() && stat(Native(path).c_str(), &st) == 0 && (st.st_mode & S_IFMT) == type;
}

bool FailErrno(SystemError* err, int code) { return Fail(err, ErrnoError(code)); }

class DiskReader final : public FileReader {
 public:
  explicit DiskReader(int fd) : fd_(fd) {}
  ~DiskReader() override { close(fd_); }
  bool Read(char* out, size_t size, size_t* got, SystemError* err) override {
    *got = 0;
    for (;;) {
      const ssize_t n = read(fd_, out, size);
      if (n >= 0) {
        *got = static_cast<size_t>(n);
        return true;
      }
      if (errno != EINTR) return FailErrno(err, errno);
    }
  }

 private:
  int fd_;
};

class DiskWorkFile final : public WorkFile {
 public:
  explicit DiskWorkFile(std::unique_ptr<NativeWorkFile> file) : file_(std::move(file)) {}
  bool Write(const char* data, size_t size, SystemError* err) override {
    int error = 0;
    return file_->Write(data, size, &error) || FailErrno(err, error);
  }
  bool Commit(SystemError* err) override {
    int error = 0;
    return file_->Commit(Sync::ToDisk, &error) || FailErrno(err, error);
  }
  bool TakePermissionsOf(const std::string& source, SystemError* err) override {
    int error = 0;
    return file_->TakeModeOf(Native(source), &error) || FailErrno(err, error);
  }
  bool CommitKeeping(const std::string& backup, SystemError* err) override {
    int error = 0;
    return file_->CommitKeeping(Native(backup), Sync::ToDisk, &error) || FailErrno(err, error);
  }
  std::string Path() const override { return ToWindowsPath(file_->Path()); }

 private:
  std::unique_ptr<NativeWorkFile> file_;
};

class FileIniReader final : public IniReader {
 public:
  explicit FileIniReader(std::unique_ptr<IniFileReader> reader) : reader_(std::move(reader)) {}
  std::string Read(const std::string& section, const std::string& key, const std::string& def,
                   size_t bufferSize) override {
    return reader_->Read(section, key, def, bufferSize);
  }

 private:
  std::unique_ptr<IniFileReader> reader_;
};

}  // namespace

bool FileSystem::IsFile(const std::string& path) { return StatIs(path, S_IFREG); }

bool FileSystem::IsFolder(const std::string& path) { return StatIs(path, S_IFDIR); }

namespace {

// The entries of folder that are regular files (folders: false) or folders.
bool ListEntries(const std::string& folder, bool folders, std::vector<std::string>* names,
                 SystemError* err) {
  names->clear();
  std::string native = Native(folder);
  DIR* dir = native.empty() ? nullptr : opendir(native.c_str());
  if (!dir) return FailErrno(err, native.empty() ? ENOENT : errno);
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    bool regular = entry->d_type == DT_REG;
    bool isFolder = entry->d_type == DT_DIR;
    if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
      struct stat st;
      const bool there = stat((native + "/" + name).c_str(), &st) == 0;
      regular = there && S_ISREG(st.st_mode);
      isFolder = there && S_ISDIR(st.st_mode);
    }
    if (folders ? isFolder && name != "." && name != ".." : regular) names->push_back(name);
  }
  closedir(dir);
  return true;
}

}  // namespace

bool FileSystem::List(const std::string& folder, std::vector<std::string>* names,
                      SystemError* err) {
  return ListEntries(folder, false, names, err);
}

bool FileSystem::ListFolders(const std::string& folder, std::vector<std::string>* names,
                             SystemError* err) {
  return ListEntries(folder, true, names, err);
}

bool FileSystem::RemoveFolder(const std::string& path, SystemError* err) {
  if (path.empty()) return FailErrno(err, ENOENT);
  return rmdir(Native(path).c_str()) == 0 || FailErrno(err, errno);
}

ReadResult FileSystem::Size(const std::string& path, uint64_t* size, SystemError* err) {
  struct stat st;
  if (path.empty() || stat(Native(path).c_str(), &st) != 0) {
    const int error = path.empty() ? ENOENT : errno;
    FailErrno(err, error);
    return error == ENOENT || error == ENOTDIR ? ReadResult::Missing : ReadResult::Failed;
  }
  if (!S_ISREG(st.st_mode)) {
    FailErrno(err, S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    return ReadResult::Missing;
  }
  *size = static_cast<uint64_t>(st.st_size);
  return ReadResult::Ok;
}

bool FileSystem::MakeEmptyFile(const std::string& path, SystemError* err) {
  if (path.empty()) return FailErrno(err, ENOENT);
  // Never blocks on a FIFO, and a folder or device there is a failure.
  int fd = open(Native(path).c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
  if (fd < 0) return FailErrno(err, errno);
  struct stat st;
  bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  close(fd);
  return regular || FailErrno(err, EINVAL);
}

bool FileSystem::MakeFolder(const std::string& path, SystemError* err) {
  if (path.empty()) return FailErrno(err, ENOENT);
  if (mkdir(Native(path).c_str(), 0777) == 0) return true;
  int error = errno;
  return IsFolder(path) || FailErrno(err, error);
}

bool FileSystem::MakePrivateFolder(const std::string& path, SystemError* err) {
  if (path.empty()) return FailErrno(err, ENOENT);
  const std::string native = Native(path);
  // chmod as well: the umask may have taken the owner's own bits.
  if (mkdir(native.c_str(), 0700) == 0)
    return chmod(native.c_str(), 0700) == 0 || FailErrno(err, errno);
  const int error = errno;
  struct stat st;
  if (error != EEXIST || stat(native.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    return FailErrno(err, error);
  if ((st.st_mode & 07777) == 0700) return true;
  // Another's folder is not ours to change: good enough when it is closed.
  if (st.st_uid != geteuid()) return (st.st_mode & 077) == 0 || FailErrno(err, EPERM);
  return chmod(native.c_str(), 0700) == 0 || FailErrno(err, errno);
}

std::string FileSystem::ResolvedPath(const std::string& path) {
  const std::string given = ToNativePath(path);
  std::string resolved = MatchCase(given);
  std::string target;
  int error = 0;
  if (ResolveTarget(resolved, &target, &error)) resolved = target;
  return resolved == given ? path : ToWindowsPath(resolved);
}

ReadResult FileSystem::ReadText(const std::string& path, std::string* contents, SystemError* err) {
  if (path.empty()) return ReadResult::Missing;
  switch (ReadWholeFile(Native(path), contents)) {
    case ReadStatus::Okay: return ReadResult::Ok;
    case ReadStatus::NotFound: return ReadResult::Missing;
    case ReadStatus::OtherError: break;
  }
  FailErrno(err, errno);
  return ReadResult::Failed;
}

bool FileSystem::WriteText(const std::string& path, const std::string& contents, SystemError* err) {
  int error = 0;
  return WriteFileAtomic(Native(path), contents, Sync::ToDisk, &error) || FailErrno(err, error);
}

bool FileSystem::WriteTextUnsynced(const std::string& path, const std::string& contents,
                                   SystemError* err) {
  int error = 0;
  return WriteFileAtomic(Native(path), contents, Sync::Replace, &error) || FailErrno(err, error);
}

std::unique_ptr<FileReader> FileSystem::OpenRead(const std::string& path, ReadResult* result,
                                                 SystemError* err) {
  int fd = -1;
  int error = 0;
  const ReadStatus status = OpenRegularFile(Native(path), &fd, &error);
  if (status == ReadStatus::Okay) {
    *result = ReadResult::Ok;
    return std::make_unique<DiskReader>(fd);
  }
  *result = status == ReadStatus::NotFound ? ReadResult::Missing : ReadResult::Failed;
  FailErrno(err, error);
  return nullptr;
}

std::unique_ptr<WorkFile> FileSystem::CreateWorkFile(const std::string& target, SystemError* err) {
  int error = 0;
  std::unique_ptr<NativeWorkFile> file = NativeWorkFile::Create(Native(target), &error);
  if (!file) {
    FailErrno(err, error);
    return nullptr;
  }
  return std::make_unique<DiskWorkFile>(std::move(file));
}

bool FileSystem::Remove(const std::string& path, SystemError* err) {
  if (!IsFile(path)) return FailErrno(err, ENOENT);
  return unlink(Native(path).c_str()) == 0 || FailErrno(err, errno);
}

std::string IniFileSystem::ReadString(const std::string& file, const std::string& section,
                                      const std::string& key, const std::string& def,
                                      size_t bufferSize) {
  // The path as given is opened first: where it is there, matching its case
  // would look each name up once more (the settings file is read every tick).
  const std::string given = ToNativePath(file);
  std::string value;
  if (ReadIniValueIfThere(given, section, key, def, bufferSize, &value)) return value;
  const std::string matched = MatchCase(given);
  return matched == given ? ini::DefaultValue(def, bufferSize)
                          : ReadIniValue(matched, section, key, def, bufferSize);
}

bool IniFileSystem::WriteString(const std::string& file, const std::string& section,
                                const std::string& key, const std::string& value,
                                SystemError* err) {
  int error = 0;
  if (file.empty()) return FailErrno(err, ENOENT);
  return WriteIniValue(Native(file), section, key, value, &error) ||
         FailErrno(err, error ? error : EIO);
}

bool IniFileSystem::WriteStrings(const std::string& file, const std::vector<IniEntry>& entries,
                                 SystemError* err) {
  int error = 0;
  if (file.empty()) return FailErrno(err, ENOENT);
  return WriteIniValues(Native(file), entries, &error) || FailErrno(err, error ? error : EIO);
}

std::unique_ptr<IniReader> IniFileSystem::Open(const std::string& file, ReadResult* result,
                                               SystemError* err) {
  int error = 0;
  std::unique_ptr<IniFileReader> reader =
      file.empty() ? nullptr : IniFileReader::Open(Native(file), &error);
  if (!reader) {
    *result = (file.empty() || error == ENOENT) ? ReadResult::Missing : ReadResult::Failed;
    FailErrno(err, file.empty() ? ENOENT : error);
    return nullptr;
  }
  *result = ReadResult::Ok;
  return std::make_unique<FileIniReader>(std::move(reader));
}

}  // namespace zeph::posix
