#include "system/posix/PosixWindows.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>

#include "system/posix/PosixFiles.h"
#include "system/posix/PosixPaths.h"

namespace zeph {
namespace posix {
namespace {

std::string Hex(const std::string& text) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : text) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

// The locked descriptors of this process's registrations, by title.
std::map<std::string, int>& OwnRegistrations() {
  static std::map<std::string, int> own;
  return own;
}

}  // namespace

std::string WindowRegistrationFolder() {
  std::string runtime = RuntimeFolder();
  if (runtime.empty()) return PrivateTempFolder("zephmonitor-windows");
  std::string folder = runtime + "/zephmonitor-windows";
  return MakeFolders(folder, 0700) ? folder : std::string();
}

namespace {

// The owners of the live registrations whose file name passes wanted(name
// without the pid, pid digits), in folder order. Stale ones are removed.
template <typename Wanted>
std::vector<pid_t> LiveOwners(Wanted wanted) {
  std::vector<pid_t> owners;
  std::string folder = WindowRegistrationFolder();
  if (folder.empty()) return owners;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return owners;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos) continue;
    const std::string digits = name.substr(dot + 1);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) continue;
    if (!wanted(name.substr(0, dot), digits)) continue;
    std::string file = folder + "/" + name;
    int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) continue;
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
      unlink(file.c_str());  // nobody holds it: its owner is gone
    } else if (errno == EWOULDBLOCK) {
      owners.push_back(static_cast<pid_t>(std::atol(digits.c_str())));
    }
    close(fd);
  }
  closedir(dir);
  return owners;
}

}  // namespace

std::vector<pid_t> WindowOwners(const std::string& title) {
  // Exactly this title: the rest of the name must be the pid alone.
  const std::string hex = Hex(title);
  return LiveOwners(
      [&](const std::string& titleHex, const std::string&) { return titleHex == hex; });
}

bool OwnsWindow(pid_t pid) {
  const std::string digits = std::to_string(pid);
  return !LiveOwners([&](const std::string&, const std::string& owner) {
            return owner == digits;
          }).empty();
}

bool CloseRegisteredWindow(const std::string& title) {
  for (pid_t owner : WindowOwners(title)) {
    if (owner > 0 && kill(owner, SIGTERM) == 0) return true;
  }
  return false;
}

}  // namespace posix

bool RegisterWindowTitle(const std::string& title) {
  std::string folder = posix::WindowRegistrationFolder();
  if (folder.empty() || posix::OwnRegistrations().count(title)) return false;
  const std::string pid = std::to_string(getpid());
  const std::string file = folder + "/" + posix::Hex(title) + "." + pid;
  // Locked before it has its name, so that nobody ever sees it unlocked.
  const std::string temp = folder + "/.new." + pid;
  int fd = open(temp.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return false;
  const std::string line = pid + "\n";
  if (flock(fd, LOCK_EX) != 0 || !posix::WriteAll(fd, line.data(), line.size()) ||
      rename(temp.c_str(), file.c_str()) != 0) {
    unlink(temp.c_str());
    close(fd);
    return false;
  }
  posix::OwnRegistrations()[title] = fd;  // held, with its lock, until unregistered or the end
  return true;
}

void UnregisterWindowTitle(const std::string& title) {
  auto& own = posix::OwnRegistrations();
  auto it = own.find(title);
  if (it == own.end()) return;
  std::string folder = posix::WindowRegistrationFolder();
  if (!folder.empty())
    unlink((folder + "/" + posix::Hex(title) + "." + std::to_string(getpid())).c_str());
  close(it->second);
  own.erase(it);
}

}  // namespace zeph
