#include "system/posix/PosixFiles.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <utility>

#include "system/posix/PosixPaths.h"

namespace zeph::posix {

ReadStatus ReadWholeFile(const std::string& nativePath, std::string* contents) {
  contents->clear();
  int fd = -1;
  int error = 0;
  const ReadStatus status = OpenRegularFile(nativePath, &fd, &error);
  if (status != ReadStatus::Okay) {
    errno = error;
    return status;
  }
  char buffer[65536];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
      contents->append(buffer, static_cast<size_t>(n));
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      error = errno;
      close(fd);
      contents->clear();
      errno = error;
      return ReadStatus::OtherError;
    }
  }
  close(fd);
  return ReadStatus::Okay;
}

ReadStatus OpenRegularFile(const std::string& nativePath, int* fd, int* error) {
  *fd = -1;
  // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come.
  int opened = open(nativePath.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (opened < 0) {
    *error = errno;
    return errno == ENOENT || errno == ENOTDIR ? ReadStatus::NotFound : ReadStatus::OtherError;
  }
  // Checked on the descriptor itself, so that nothing can be swapped in
  // between the check and the reads.
  struct stat st;
  if (fstat(opened, &st) != 0) {
    *error = errno;
    close(opened);
    return ReadStatus::OtherError;
  }
  if (!S_ISREG(st.st_mode)) {
    *error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    close(opened);
    return ReadStatus::NotFound;
  }
  // Of the flags F_SETFL can change, only O_NONBLOCK was set above.
  fcntl(opened, F_SETFL, 0);
  *error = 0;
  *fd = opened;
  return ReadStatus::Okay;
}

bool WriteAll(int fd, const char* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = write(fd, data + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

namespace {

bool Fail(int* error, int code) {
  if (error) *error = code;
  return false;
}

std::unique_ptr<NativeWorkFile> Refuse(int* error, int code) {
  Fail(error, code);
  return nullptr;
}

// 64 random bits in hexadecimal; the clock when the kernel gives none.
std::string RandomHex() {
  uint64_t bits = 0;
  if (getrandom(&bits, sizeof bits, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bits)) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    bits = static_cast<uint64_t>(now.tv_nsec) ^ (static_cast<uint64_t>(now.tv_sec) << 30);
  }
  char text[17];
  snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(bits));
  return text;
}

// Hidden, so that folder listings in the monitor do not pick it up; the
// target's name is cut so that the whole stays within NAME_MAX.
std::string WorkFileName(const std::string& folder, const std::string& base) {
  static std::atomic<unsigned> counter{0};
  return folder + "/." + base.substr(0, 180) + "." + std::to_string(getpid()) + "-" +
         std::to_string(++counter) + "-" + RandomHex() + ".tmp";
}

}  // namespace

bool ResolveTarget(const std::string& nativePath, std::string* target, int* error) {
  struct stat st;
  if (lstat(nativePath.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
    *target = nativePath;  // no link: whatever else is wrong shows where it is used
    return true;
  }
  char resolved[PATH_MAX];
  if (realpath(nativePath.c_str(), resolved)) {
    *target = resolved;
    return true;
  }
  if (errno != ENOENT) return Fail(error, errno);
  // The chain ends at nothing: follow it by hand to the name it ends at.
  std::string path = nativePath;
  for (int hops = 0;; ++hops) {
    if (lstat(path.c_str(), &st) != 0) {
      if (errno != ENOENT) return Fail(error, errno);
      break;
    }
    if (!S_ISLNK(st.st_mode)) {
      // Made since realpath looked: a file there now.
      *target = path;
      return true;
    }
    if (hops == 40) return Fail(error, ELOOP);  // as many as the kernel follows
    char link[PATH_MAX];
    const ssize_t n = readlink(path.c_str(), link, sizeof link);
    if (n < 0) return Fail(error, errno);
    if (static_cast<size_t>(n) >= sizeof link) return Fail(error, ENAMETOOLONG);
    const std::string to(link, static_cast<size_t>(n));
    path = to[0] == '/' ? to : ParentFolder(path) + "/" + to;
  }
  if (!realpath(ParentFolder(path).c_str(), resolved)) return Fail(error, errno);
  const std::string folder = resolved;
  *target = (folder == "/" ? folder : folder + "/") + FileNameOf(path);
  return true;
}

std::unique_ptr<NativeWorkFile> NativeWorkFile::Create(const std::string& nativePath, int* error) {
  if (nativePath.empty()) return Refuse(error, ENOENT);
  // Renaming over a link would replace the link: write the file it names.
  std::string target;
  if (!ResolveTarget(nativePath, &target, error)) return nullptr;
  struct stat st;
  // While it is written, the work file is no more open than the target.
  mode_t workMode = 0666;
  if (stat(target.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) return Refuse(error, S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    // Unlike the mode bits, this also sees the immutable attribute and a
    // read-only mount, which stop even root.
    if (access(target.c_str(), W_OK) != 0) return Refuse(error, errno);
    workMode = st.st_mode & 0666;
  } else if (errno != ENOENT) {
    return Refuse(error, errno);
  }
  const std::string folder = ParentFolder(target);
  if (stat(folder.c_str(), &st) != 0) return Refuse(error, errno);
  if (!S_ISDIR(st.st_mode)) return Refuse(error, ENOTDIR);

  const std::string base = FileNameOf(target);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string path = WorkFileName(folder, base);
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, workMode);
    if (fd >= 0) {
      return std::unique_ptr<NativeWorkFile>(new NativeWorkFile(target, std::move(path), fd));
    }
    if (errno != EEXIST) return Refuse(error, errno);
  }
  return Refuse(error, EEXIST);
}

NativeWorkFile::NativeWorkFile(std::string target, std::string path, int fd)
    : target_(std::move(target)), path_(std::move(path)), fd_(fd) {}

NativeWorkFile::~NativeWorkFile() {
  if (fd_ < 0) return;
  close(fd_);
  unlink(path_.c_str());
}

bool NativeWorkFile::Write(const char* data, size_t size, int* error) {
  if (fd_ < 0) return Fail(error, EBADF);
  if (writeError_ == 0 && !WriteAll(fd_, data, size)) writeError_ = errno;
  return writeError_ == 0 || Fail(error, writeError_);
}

namespace {

void SyncFolder(const std::string& folder) {
  int dfd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    fsync(dfd);
    close(dfd);
  }
}

// Errors of link() that say no link can be made there, where a copy can.
bool LinkImpossible(int code) {
  return code == EXDEV || code == EPERM || code == ENOTSUP || code == EMLINK;
}

// The target's old file at backup; *kept tells whether there was one.
bool KeepBackup(const std::string& target, const std::string& backup, bool* kept, int* error) {
  *kept = false;
  struct stat st;
  if (lstat(target.c_str(), &st) != 0) return errno == ENOENT || Fail(error, errno);
  if (link(target.c_str(), backup.c_str()) != 0) {
    if (!LinkImpossible(errno)) return Fail(error, errno);
    if (!CopyFileAtomic(target, backup, Sync::ToDisk, error)) return false;
  }
  *kept = true;
  SyncFolder(ParentFolder(backup));
  return true;
}

// Renames work over target; 0, or the errno. With swap the two names are
// swapped and the old file, now at work's name, removed: no rename over an
// existing file, so the file system forces nothing out. Where there is no
// target, or the file system cannot swap, a rename.
int PutInPlace(const std::string& work, const std::string& target, bool swap) {
  if (swap && renameat2(AT_FDCWD, work.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0) {
    unlink(work.c_str());
    return 0;
  }
  if (swap && errno != ENOENT && errno != EINVAL && errno != ENOSYS) return errno;
  return rename(work.c_str(), target.c_str()) == 0 ? 0 : errno;
}

}  // namespace

bool NativeWorkFile::TakeModeOf(const std::string& sourcePath, int* error) {
  if (fd_ < 0) return Fail(error, EBADF);
  struct stat st;
  if (stat(sourcePath.c_str(), &st) != 0) return Fail(error, errno);
  if (fchmod(fd_, st.st_mode & 0777u) != 0) return Fail(error, errno);
  taken_ = {st.st_mode & 07777u, st.st_uid, st.st_gid};
  hasTakenMode_ = true;
  return true;
}

bool NativeWorkFile::Commit(Sync sync, int* error) { return CommitKeeping("", sync, error); }

bool NativeWorkFile::CommitKeeping(const std::string& backupPath, Sync sync, int* error) {
  if (fd_ < 0) return Fail(error, EBADF);
  int failure = writeError_;
  struct stat st;
  if (failure == 0) {
    const bool replacing = stat(target_.c_str(), &st) == 0;
    // Owner first: changing it may clear set-id bits that the mode restores.
    if (replacing && fchown(fd_, st.st_uid, st.st_gid) != 0) {
      // not ours to give away: the file stays ours
    }
    unsigned mode = replacing ? st.st_mode & 07777u : 0;
    if (hasTakenMode_) {
      mode = taken_.mode & 01777u;
      // Set-id bits would lend the source's owner or group to a file of another.
      const bool owned = fstat(fd_, &st) == 0;
      if (owned && st.st_uid == taken_.uid) mode |= taken_.mode & S_ISUID;
      if (owned && st.st_gid == taken_.gid) mode |= taken_.mode & S_ISGID;
    }
    if ((replacing || hasTakenMode_) && fchmod(fd_, mode) != 0) failure = errno;
  }
  if (failure == 0 && sync == Sync::ToDisk && fsync(fd_) != 0) failure = errno;
  if (close(std::exchange(fd_, -1)) != 0 && failure == 0) failure = errno;
  bool kept = false;
  if (failure == 0 && !backupPath.empty()) KeepBackup(target_, backupPath, &kept, &failure);
  if (failure == 0) failure = PutInPlace(path_, target_, sync == Sync::Scratch && !kept);
  if (failure != 0 && kept) {
    // The target is still there, so the backup is no copy anyone needs.
    unlink(backupPath.c_str());
  }
  if (failure != 0) {
    unlink(path_.c_str());
    return Fail(error, failure);
  }
  // The rename itself reaches the disk with the folder.
  if (sync == Sync::ToDisk) SyncFolder(ParentFolder(target_));
  return true;
}

bool CopyFileAtomic(const std::string& from, const std::string& to, Sync sync, int* error) {
  int in = -1;
  int openError = 0;
  if (OpenRegularFile(from, &in, &openError) != ReadStatus::Okay) return Fail(error, openError);
  struct stat st;
  if (lstat(to.c_str(), &st) == 0) {
    close(in);
    return Fail(error, EEXIST);
  }
  // The copy's mode is set before a byte is in it: a private file's copy
  // is never readable by more than the file was.
  std::unique_ptr<NativeWorkFile> work = NativeWorkFile::Create(to, error);
  bool copied = work && work->TakeModeOf(from, error);
  char buffer[65536];
  while (copied) {
    ssize_t n = read(in, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      copied = Fail(error, errno);
    } else {
      copied = work->Write(buffer, static_cast<size_t>(n), error);
    }
  }
  close(in);
  // Dropping the work file removes it.
  return copied && work->Commit(sync, error);
}

bool WriteFileAtomic(const std::string& nativePath, const std::string& contents, Sync sync,
                     int* error) {
  return StreamFileAtomic(
      nativePath,
      [&contents](const PutBytes& put) { return put(contents.data(), contents.size()); }, sync,
      error);
}

bool StreamFileAtomic(const std::string& nativePath,
                      const std::function<bool(const PutBytes& put)>& writer, Sync sync,
                      int* error) {
  std::unique_ptr<NativeWorkFile> work = NativeWorkFile::Create(nativePath, error);
  if (!work) return false;
  int failure = 0;
  const PutBytes put = [&](const char* data, size_t size) {
    return work->Write(data, size, &failure);
  };
  // Dropping the work file removes it.
  if (!writer(put)) return Fail(error, failure != 0 ? failure : EIO);
  return work->Commit(sync, error);
}

}  // namespace zeph::posix
