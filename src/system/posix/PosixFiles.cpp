#include "system/posix/PosixFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>

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
  int flags = fcntl(opened, F_GETFL);
  if (flags >= 0) fcntl(opened, F_SETFL, flags & ~O_NONBLOCK);
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

static std::string BaseName(const std::string& nativePath) {
  size_t slash = nativePath.rfind('/');
  return slash == std::string::npos ? nativePath : nativePath.substr(slash + 1);
}

static bool Fail(int* error, int code) {
  if (error) *error = code;
  return false;
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
  std::string target = nativePath;
  struct stat st;
  bool exists = false;
  if (lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    // Renaming over the link would replace the link; write the file it names.
    char resolved[PATH_MAX];
    if (realpath(target.c_str(), resolved)) target = resolved;
  }
  if (stat(target.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) return Fail(error, S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    if (access(target.c_str(), W_OK) != 0) return Fail(error, errno);
    exists = true;
  }
  std::string folder = ParentFolder(target);
  struct stat fst;
  if (stat(folder.c_str(), &fst) != 0) return Fail(error, errno);
  if (!S_ISDIR(fst.st_mode)) return Fail(error, ENOTDIR);

  std::string base = BaseName(target);
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    // Hidden, so that folder listings in the monitor do not pick it up.
    static unsigned counter = 0;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    temp = folder + "/." + base + ".tmp" + std::to_string(getpid()) + "-" +
           std::to_string(++counter) + "-" + std::to_string(now.tv_nsec);
    fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return Fail(error, errno);
  }
  if (fd < 0) return Fail(error, EEXIST);

  int failure = 0;
  const PutBytes put = [fd, &failure](const char* data, size_t size) {
    if (WriteAll(fd, data, size)) return true;
    failure = errno;
    return false;
  };
  bool ok = writer(put);
  if (!ok && failure == 0) failure = EIO;
  if (ok && exists) {
    // Owner first: changing it may clear set-id bits that the mode restores.
    if (fchown(fd, st.st_uid, st.st_gid) != 0) { /* not ours to give away: keep ours */
    }
    ok = fchmod(fd, st.st_mode & 07777) == 0;
    if (!ok) failure = errno;
  }
  if (ok && sync == Sync::ToDisk && fsync(fd) != 0) {
    ok = false;
    failure = errno;
  }
  if (close(fd) != 0 && ok) {
    ok = false;
    failure = errno;
  }
  if (ok && rename(temp.c_str(), target.c_str()) != 0) {
    ok = false;
    failure = errno;
  }
  if (!ok) {
    unlink(temp.c_str());
    return Fail(error, failure);
  }
  if (sync == Sync::Replace) return true;
  // The rename itself reaches the disk with the folder.
  int dfd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    fsync(dfd);
    close(dfd);
  }
  return true;
}

}  // namespace zeph::posix
