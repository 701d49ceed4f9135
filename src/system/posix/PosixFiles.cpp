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
  int fd = open(nativePath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return errno == ENOENT || errno == ENOTDIR ? ReadStatus::NotFound : ReadStatus::OtherError;
  char buffer[65536];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
      contents->append(buffer, static_cast<size_t>(n));
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      close(fd);
      contents->clear();
      return ReadStatus::OtherError;
    }
  }
  close(fd);
  return ReadStatus::Okay;
}

static bool WriteAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = write(fd, data.data() + done, data.size() - done);
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

bool WriteFileAtomic(const std::string& nativePath, const std::string& contents, Sync sync) {
  std::string target = nativePath;
  struct stat st;
  bool exists = false;
  if (lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    // Renaming over the link would replace the link; write the file it names.
    char resolved[PATH_MAX];
    if (realpath(target.c_str(), resolved)) target = resolved;
  }
  if (stat(target.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode) || access(target.c_str(), W_OK) != 0) return false;
    exists = true;
  }
  std::string folder = ParentFolder(target);
  struct stat fst;
  if (stat(folder.c_str(), &fst) != 0 || !S_ISDIR(fst.st_mode)) return false;

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
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;

  bool ok = WriteAll(fd, contents);
  if (ok && exists) {
    // Owner first: changing it may clear set-id bits that the mode restores.
    if (fchown(fd, st.st_uid, st.st_gid) != 0) { /* not ours to give away: keep ours */
    }
    ok = fchmod(fd, st.st_mode & 07777) == 0;
  }
  ok = ok && (sync == Sync::Replace || fsync(fd) == 0);
  ok = (close(fd) == 0) && ok;
  ok = ok && rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) {
    unlink(temp.c_str());
    return false;
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
