#include "system/posix/PosixWindows.h"

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

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

// Alive and not a zombie: a zombie has no window left to close.
bool IsAlive(pid_t pid) {
  if (pid <= 0 || (kill(pid, 0) != 0 && errno != EPERM)) return false;
  std::string stat;
  if (ReadWholeFile("/proc/" + std::to_string(pid) + "/stat", &stat) != ReadStatus::Okay)
    return true;  // no /proc to ask: trust kill()
  size_t close = stat.rfind(')');
  return close == std::string::npos || close + 2 >= stat.size() ||
         (stat[close + 2] != 'Z' && stat[close + 2] != 'X');
}

}  // namespace

std::string WindowRegistrationFolder() {
  std::string runtime = RuntimeFolder();
  if (runtime.empty()) return PrivateTempFolder("zephmonitor-windows");
  std::string folder = runtime + "/zephmonitor-windows";
  return MakeFolders(folder, 0700) ? folder : std::string();
}

std::string WindowRegistrationName(const std::string& title, pid_t pid) {
  return Hex(title) + "." + std::to_string(pid);
}

bool CloseRegisteredWindow(const std::string& title) {
  std::string folder = WindowRegistrationFolder();
  if (folder.empty()) return false;
  const std::string prefix = Hex(title) + ".";
  DIR* dir = opendir(folder.c_str());
  if (!dir) return false;
  bool closed = false;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    // Exactly this title: the rest of the name must be the pid alone.
    if (name.compare(0, prefix.size(), prefix) != 0 ||
        name.find('.', prefix.size()) != std::string::npos)
      continue;
    std::string file = folder + "/" + name, content;
    if (ReadWholeFile(file, &content) != ReadStatus::Okay) continue;
    char* end = nullptr;
    long pid = std::strtol(content.c_str(), &end, 10);
    if (end == content.c_str()) continue;  // not a registration of ours
    if (!IsAlive(static_cast<pid_t>(pid))) {
      unlink(file.c_str());
      continue;
    }
    if (kill(static_cast<pid_t>(pid), SIGTERM) == 0) {
      closed = true;
      break;
    }
  }
  closedir(dir);
  return closed;
}

}  // namespace posix

bool RegisterWindowTitle(const std::string& title) {
  std::string folder = posix::WindowRegistrationFolder();
  if (folder.empty()) return false;
  std::string file = folder + "/" + posix::WindowRegistrationName(title, getpid());
  return posix::WriteFileAtomic(file, std::to_string(getpid()) + "\n");
}

void UnregisterWindowTitle(const std::string& title) {
  std::string folder = posix::WindowRegistrationFolder();
  if (folder.empty()) return;
  unlink((folder + "/" + posix::WindowRegistrationName(title, getpid())).c_str());
}

}  // namespace zeph
