// Files and INI files on Windows.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <random>

#include "system/IniText.h"
#include "system/WinPath.h"
#include "system/win32/Win32Error.h"
#include "system/win32/Win32Seam.h"

namespace zeph::win32 {

namespace {

// Another program holding the target a moment makes a replace fail; it is
// tried this often, this far apart, before the failure counts.
constexpr int kReplaceTries = 5;
constexpr DWORD kReplaceRetryMs = 50;
// The most one ReadFile or WriteFile call is given.
constexpr size_t kMaxPiece = size_t{1} << 30;

bool IsMissing(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

FileHandle OpenForReading(const std::string& path, DWORD flags = FILE_ATTRIBUTE_NORMAL) {
  return FileHandle(CreateFileA(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, flags, nullptr));
}

bool HeldAMoment(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
         error == ERROR_UNABLE_TO_REMOVE_REPLACED || error == ERROR_ACCESS_DENIED;
}

// What ReplaceFileA says on volumes it does not serve (some network and
// FAT drives), where a plain move has to do.
bool ReplaceUnsupported(DWORD error) {
  return error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED ||
         error == ERROR_INVALID_PARAMETER || error == ERROR_CALL_NOT_IMPLEMENTED;
}

// A name in folder (which ends with a backslash) that no file has yet, but
// for a chance too small to count: the process, a counter, 64 random bits.
std::string UniqueName(const std::string& folder) {
  static std::atomic<unsigned> counter{0};
  std::random_device random;
  char name[64];
  snprintf(name, sizeof name, "~zeph%lx-%u-%08x%08x.tmp", GetCurrentProcessId(), ++counter,
           random(), random());
  return folder + name;
}

bool FullPath(const std::string& path, std::string* full, SystemError* err) {
  char buffer[MAX_PATH];
  const DWORD n = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
  if (n == 0) return FailLast(err);
  if (n >= sizeof buffer) return Fail(err, Win32Error(ERROR_FILENAME_EXCED_RANGE));
  full->assign(buffer, n);
  return true;
}

// The target's attributes (INVALID_FILE_ATTRIBUTES when there is none yet,
// in a folder that exists). A folder or a read-only file is never replaced;
// the check is ours, as Wine run as root moves over a read-only file.
bool CheckTarget(const std::string& target, DWORD* attributes, SystemError* err) {
  *attributes = GetFileAttributesA(target.c_str());
  if (*attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || Fail(err, Win32Error(error));
  }
  if (*attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))
    return Fail(err, Win32Error(ERROR_ACCESS_DENIED));
  return true;
}

// Windows' ReplaceFileA keeps the target's attributes; Wine's gives it those
// of the work file, and a move always does. Either way the target keeps
// the attributes it had (the archive bit is the system's to set).
void KeepAttributes(const std::string& target, DWORD before) {
  constexpr DWORD kKept =
      FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  constexpr DWORD kSettable =
      kKept | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE;
  const DWORD now = GetFileAttributesA(target.c_str());
  if (now == INVALID_FILE_ATTRIBUTES || (now & kKept) == (before & kKept)) return;
  const DWORD wanted = (now & kSettable & ~kKept) | (before & kKept);
  // The new contents are in place already; a failure costs only the attributes.
  SetFileAttributesA(target.c_str(), wanted != 0 ? wanted : FILE_ATTRIBUTE_NORMAL);
}

// Those of a source's attributes that CopyFileA gives its copy.
DWORD CopiedAttributes(DWORD source) {
  constexpr DWORD kCopied = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                            FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                            FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_TEMPORARY |
                            FILE_ATTRIBUTE_OFFLINE;
  const DWORD copied = source & kCopied;
  return copied != 0 ? copied : FILE_ATTRIBUTE_NORMAL;
}

bool SameVolume(const std::string& a, const std::string& b) {
  char va[MAX_PATH];
  char vb[MAX_PATH];
  // When either cannot be told, ReplaceFileA's own error decides.
  if (!GetVolumePathNameA(a.c_str(), va, MAX_PATH) || !GetVolumePathNameA(b.c_str(), vb, MAX_PATH))
    return true;
  return lstrcmpiA(va, vb) == 0;
}

bool ReplaceTarget(const std::string& target, const std::string& work, DWORD attributes,
                   const std::string& keep, SystemError* err);

// The old file copied to keep (through a name of its own, so that keep is
// whole or missing), then replaced as without a backup.
bool CopyThenReplace(const std::string& target, const std::string& work, DWORD attributes,
                     const std::string& keep, SystemError* err) {
  const std::string copy = UniqueName(GetPathOnly(keep));
  if (!CopyFileA(target.c_str(), copy.c_str(), TRUE)) return FailLast(err);
  if (!MoveFileExA(copy.c_str(), keep.c_str(), MOVEFILE_WRITE_THROUGH)) {
    const SystemError error = LastError();
    DeleteFileA(copy.c_str());
    return Fail(err, error);
  }
  if (ReplaceTarget(target, work, attributes, "", err)) return true;
  DeleteFileA(keep.c_str());
  return false;
}

// ReplaceFileA keeps the target's identity, ACLs and streams. It is given a
// backup name: without one, a failure part-way (ERROR_UNABLE_TO_MOVE_REPLACEMENT)
// leaves the target gone, and Wine leaves a file of its own behind. With
// keep the old file stays at that name; otherwise the backup is removed.
bool ReplaceTarget(const std::string& target, const std::string& work, DWORD attributes,
                   const std::string& keep, SystemError* err) {
  const bool keeping = !keep.empty();
  if (keeping && !SameVolume(target, keep))
    return CopyThenReplace(target, work, attributes, keep, err);
  const std::string backup = keeping ? keep : UniqueName(GetPathOnly(target));
  DWORD error = ERROR_SUCCESS;
  for (int attempt = 1;; ++attempt) {
    if (ReplaceFileA(target.c_str(), work.c_str(), backup.c_str(), REPLACEFILE_IGNORE_MERGE_ERRORS,
                     nullptr, nullptr)) {
      if (!keeping) DeleteFileA(backup.c_str());
      KeepAttributes(target, attributes);
      return true;
    }
    error = GetLastError();
    if (!HeldAMoment(error) || attempt == kReplaceTries) break;
    ::Sleep(kReplaceRetryMs);
  }
  if (!Exists(target) && Exists(backup)) {
    // ERROR_UNABLE_TO_MOVE_REPLACEMENT_2: the target went to the backup's
    // name and the work file could not take its place. Put it back (and
    // should even that fail, the backup is the target's only copy: kept).
    MoveFileExA(backup.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
  } else {
    DeleteFileA(backup.c_str());
  }
  if (keeping && error == ERROR_NOT_SAME_DEVICE)
    return CopyThenReplace(target, work, attributes, keep, err);
  if (ReplaceUnsupported(error)) {
    DWORD now = 0;
    if (!CheckTarget(target, &now, err)) return false;
    if (keeping) return CopyThenReplace(target, work, attributes, keep, err);
    if (MoveFileExA(work.c_str(), target.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      KeepAttributes(target, attributes);
      return true;
    }
    error = GetLastError();
  }
  return Fail(err, Win32Error(error));
}

// existed: whether there was a target when the work file was made; keep:
// where the replaced file stays ("" for nowhere).
bool PutInPlace(const std::string& target, const std::string& work, bool existed,
                const std::string& keep, SystemError* err) {
  DWORD attributes = 0;
  // Checked again: the target may have changed while the work file was written.
  if (!CheckTarget(target, &attributes, err)) return false;
  if (existed && attributes != INVALID_FILE_ATTRIBUTES) {
    return ReplaceTarget(target, work, attributes, keep, err);
  }
  // No replace: a file that another program made meanwhile is not overwritten.
  return MoveFileExA(work.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH) != 0 || FailLast(err);
}

class DiskReader final : public FileReader {
 public:
  explicit DiskReader(FileHandle file) : file_(std::move(file)) {}
  bool Read(char* out, size_t size, size_t* got, SystemError* err) override {
    *got = 0;
    DWORD n = 0;
    if (!ReadFile(file_.Get(), out, static_cast<DWORD>(std::min(size, kMaxPiece)), &n, nullptr))
      return FailLast(err);
    *got = n;
    return true;
  }

 private:
  FileHandle file_;
};

class DiskWorkFile final : public WorkFile {
 public:
  DiskWorkFile(std::string target, bool targetExisted, std::string path, FileHandle file)
      : target_(std::move(target)),
        targetExisted_(targetExisted),
        path_(std::move(path)),
        file_(std::move(file)) {}
  ~DiskWorkFile() override { Discard(); }

  // After a failure every further Write and the Commit fail with the same
  // error: a part-written file never replaces the target.
  bool Write(const char* data, size_t size, SystemError* err) override {
    if (!file_) return Fail(err, Win32Error(ERROR_INVALID_HANDLE));
    while (failed_.code == 0 && size > 0) {
      DWORD written = 0;
      if (!WriteFile(file_.Get(), data, static_cast<DWORD>(std::min(size, kMaxPiece)), &written,
                     nullptr)) {
        failed_ = LastError();
      } else if (written == 0) {
        failed_ = Win32Error(ERROR_WRITE_FAULT);
      }
      data += written;
      size -= written;
    }
    return failed_.code == 0 || Fail(err, failed_);
  }

  // Commit then puts the file in place without flushing it to the disk first.
  void LeaveToWriteBack() { flush_ = false; }

  // Read now, set once the file is in place: a read-only work file could
  // not be moved over the target.
  bool TakePermissionsOf(const std::string& source, SystemError* err) override {
    const DWORD attributes = GetFileAttributesA(source.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return FailLast(err);
    takenAttributes_ = attributes;
    return true;
  }

  bool Commit(SystemError* err) override { return CommitKeeping("", err); }

  std::string Path() const override { return path_; }
  bool CommitKeeping(const std::string& keep, SystemError* err) override {
    if (!file_) return Fail(err, Win32Error(ERROR_INVALID_HANDLE));
    SystemError failed = failed_;
    if (failed.code == 0 && flush_ && !FlushFileBuffers(file_.Get())) failed = LastError();
    file_.Reset();  // ReplaceFileA and MoveFileExA want it closed
    if (failed.code == 0 && PutInPlace(target_, path_, targetExisted_, keep, &failed)) {
      path_.clear();
      // The new contents are in place; a failure here is the attributes' only.
      return takenAttributes_ == INVALID_FILE_ATTRIBUTES ||
             SetFileAttributesA(target_.c_str(), CopiedAttributes(takenAttributes_)) ||
             FailLast(err);
    }
    Discard();
    return Fail(err, failed);
  }

 private:
  void Discard() {
    file_.Reset();
    if (!path_.empty()) DeleteFileA(path_.c_str());
    path_.clear();
  }

  std::string target_;
  bool targetExisted_;
  std::string path_;
  FileHandle file_;
  SystemError failed_;
  DWORD takenAttributes_ = INVALID_FILE_ATTRIBUTES;
  bool flush_ = true;
};

// Files::CreateWorkFile, keeping the work file's own type.
std::unique_ptr<DiskWorkFile> MakeWorkFile(const std::string& target, SystemError* err) {
  std::string full;
  DWORD attributes = 0;
  if (!FullPath(target, &full, err) || !CheckTarget(full, &attributes, err)) return nullptr;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string path = UniqueName(GetPathOnly(full));
    FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.Valid()) {
      return std::make_unique<DiskWorkFile>(full, attributes != INVALID_FILE_ATTRIBUTES,
                                            std::move(path), std::move(file));
    }
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
      Fail(err, Win32Error(error));
      return nullptr;
    }
  }
  Fail(err, Win32Error(ERROR_FILE_EXISTS));
  return nullptr;
}

// A file's bytes by offset, for the INI rules; keeps the error of a failed read.
class HandleSource final : public ini::ByteSource {
 public:
  explicit HandleSource(HANDLE file) : file_(file) {}
  bool ReadAt(uint64_t offset, char* out, size_t size, size_t* got) override {
    *got = 0;
    if (file_ == INVALID_HANDLE_VALUE) return true;  // no file: no bytes
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD n = 0;
    if (!ReadFile(file_, out, static_cast<DWORD>(std::min(size, kMaxPiece)), &n, &at)) {
      const DWORD error = GetLastError();
      if (error == ERROR_HANDLE_EOF) return true;
      failed_ = Win32Error(error);
      return false;
    }
    *got = n;
    return true;
  }
  const SystemError& failed() const { return failed_; }

 private:
  HANDLE file_;
  SystemError failed_;
};

// The profile functions read the file themselves, through the system's own
// cache of the file; this reader only makes sure it was there to be read.
class ProfileReader final : public IniReader {
 public:
  explicit ProfileReader(std::string file) : file_(std::move(file)) {}
  std::string Read(const std::string& section, const std::string& key, const std::string& def,
                   size_t bufferSize) override {
    return ProfileFiles().ReadString(file_, section, key, def, bufferSize);
  }

 private:
  std::string file_;
};

}  // namespace

bool FileSystem::IsFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileSystem::IsFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

namespace {

// The files (folders: false) or the sub-folders directly in folder.
bool ListEntries(const std::string& folder, bool folders, std::vector<std::string>* names,
                 SystemError* err) {
  names->clear();
  std::string pattern = folder;
  if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
  pattern += '*';
  WIN32_FIND_DATAA found;
  FindHandle find(FindFirstFileA(pattern.c_str(), &found));
  if (!find) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || Fail(err, Win32Error(error));  // an empty folder
  }
  do {
    const std::string name = found.cFileName;
    const bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (folders ? isFolder && name != "." && name != ".." : !isFolder) names->push_back(name);
  } while (FindNextFileA(find.Get(), &found));
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
  return RemoveDirectoryA(path.c_str()) != 0 || FailLast(err);
}

ReadResult FileSystem::Size(const std::string& path, uint64_t* size, SystemError* err) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
    const DWORD error = GetLastError();
    Fail(err, Win32Error(error));
    return IsMissing(error) ? ReadResult::Missing : ReadResult::Failed;
  }
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    Fail(err, Win32Error(ERROR_ACCESS_DENIED));
    return ReadResult::Missing;
  }
  *size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return ReadResult::Ok;
}

bool FileSystem::MakeEmptyFile(const std::string& path, SystemError* err) {
  FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file.Valid() || FailLast(err);
}

bool FileSystem::MakeFolder(const std::string& path, SystemError* err) {
  if (CreateDirectoryA(path.c_str(), nullptr)) return true;
  const DWORD error = GetLastError();
  return IsFolder(path) || Fail(err, Win32Error(error));
}

// The user's own folders are closed to other users already, and a folder
// made in them inherits that.
bool FileSystem::MakePrivateFolder(const std::string& path, SystemError* err) {
  return MakeFolder(path, err);
}

std::string FileSystem::ResolvedPath(const std::string& path) {
  // No access asked: only the name is wanted. Backup semantics let a folder open.
  FileHandle file(CreateFileA(path.c_str(), 0,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file.Valid()) return path;
  char buffer[MAX_PATH + 8];
  const DWORD n = GetFinalPathNameByHandleA(file.Get(), buffer, sizeof buffer,
                                            FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (n == 0 || n >= sizeof buffer) return path;
  std::string final(buffer, n);
  // "\\?\C:\x" and "\\?\UNC\server\share\x" in the form the program uses.
  if (final.compare(0, 8, "\\\\?\\UNC\\") == 0) return "\\" + final.substr(7);
  if (final.compare(0, 4, "\\\\?\\") == 0) return final.substr(4);
  return final;
}

ReadResult FileSystem::ReadText(const std::string& path, std::string* contents, SystemError* err) {
  ReadResult result = ReadResult::Failed;
  std::unique_ptr<FileReader> reader = OpenRead(path, &result, err);
  if (!reader) return result;
  std::string text;
  char buffer[65536];
  for (size_t got = 0;;) {
    if (!reader->Read(buffer, sizeof buffer, &got, err)) return ReadResult::Failed;
    if (got == 0) break;
    text.append(buffer, got);
  }
  *contents = std::move(text);
  return ReadResult::Ok;
}

bool FileSystem::WriteText(const std::string& path, const std::string& contents, SystemError* err) {
  std::unique_ptr<WorkFile> work = CreateWorkFile(path, err);
  return work && work->Write(contents.data(), contents.size(), err) && work->Commit(err);
}

bool FileSystem::WriteTextUnsynced(const std::string& path, const std::string& contents,
                                   SystemError* err) {
  std::unique_ptr<DiskWorkFile> work = MakeWorkFile(path, err);
  if (!work) return false;
  work->LeaveToWriteBack();
  return work->Write(contents.data(), contents.size(), err) && work->Commit(err);
}

std::unique_ptr<FileReader> FileSystem::OpenRead(const std::string& path, ReadResult* result,
                                                 SystemError* err) {
  FileHandle file = OpenForReading(path, FILE_FLAG_SEQUENTIAL_SCAN);
  if (!file.Valid()) {
    const DWORD error = GetLastError();
    *result = IsMissing(error) ? ReadResult::Missing : ReadResult::Failed;
    Fail(err, Win32Error(error));
    return nullptr;
  }
  *result = ReadResult::Ok;
  return std::make_unique<DiskReader>(std::move(file));
}

std::unique_ptr<WorkFile> FileSystem::CreateWorkFile(const std::string& target, SystemError* err) {
  return MakeWorkFile(target, err);
}

bool FileSystem::Remove(const std::string& path, SystemError* err) {
  return DeleteFileA(path.c_str()) != 0 || FailLast(err);
}

std::string ProfileFiles::ReadString(const std::string& file, const std::string& section,
                                     const std::string& key, const std::string& def,
                                     size_t bufferSize) {
  if (bufferSize == 0) return {};
  std::vector<char> buffer(bufferSize);
  const DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), def.c_str(), buffer.data(),
                                           static_cast<DWORD>(bufferSize), file.c_str());
  return std::string(buffer.data(), n);
}

bool ProfileFiles::WriteString(const std::string& file, const std::string& section,
                               const std::string& key, const std::string& value, SystemError* err) {
  return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str()) !=
             FALSE ||
         FailLast(err);
}

// The system's function writes one key per call, and Wine's rewrites the
// whole file each time: many keys go through the INI rules instead (the
// differential test holds them to Windows' results) into one work file,
// which replaces the file once. Not flushed first: these are settings the
// program writes again, and the replace keeps them whole for every reader.
bool ProfileFiles::WriteStrings(const std::string& file, const std::vector<IniEntry>& entries,
                                SystemError* err) {
  FileHandle old = OpenForReading(file);
  if (!old.Valid()) {
    const DWORD error = GetLastError();
    // Nothing there yet: the file is made. Anything else that keeps it from
    // being read keeps it from being written.
    if (error != ERROR_FILE_NOT_FOUND) return Fail(err, Win32Error(error));
  }
  HandleSource source(old.Get());
  std::vector<ini::Edit> edits;
  if (!ini::PlanWrites(&source, entries, &edits)) return Fail(err, source.failed());
  if (edits.empty()) return true;  // the file holds all of it already
  std::unique_ptr<DiskWorkFile> work = MakeWorkFile(file, err);
  if (!work) return false;
  work->LeaveToWriteBack();
  SystemError failed;
  const bool copied = ini::ApplyEdits(&source, edits, [&](const char* data, size_t size) {
    return work->Write(data, size, &failed);
  });
  if (!copied) return Fail(err, failed.code != 0 ? failed : source.failed());
  old.Reset();  // closed first, so that it cannot hold the replace up
  return work->Commit(err);
}

std::unique_ptr<IniReader> ProfileFiles::Open(const std::string& file, ReadResult* result,
                                              SystemError* err) {
  if (!OpenForReading(file).Valid()) {
    const DWORD error = GetLastError();
    *result = IsMissing(error) ? ReadResult::Missing : ReadResult::Failed;
    Fail(err, Win32Error(error));
    return nullptr;
  }
  *result = ReadResult::Ok;
  return std::make_unique<ProfileReader>(file);
}

}  // namespace zeph::win32
