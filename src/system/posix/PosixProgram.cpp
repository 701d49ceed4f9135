#include "system/posix/PosixProgram.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "system/WinPath.h"
#include "system/posix/PosixPaths.h"

namespace zeph::posix {

namespace {

std::string ExecutableFolder() {
  std::string path = ReadExeLink("/proc/self/exe");
  if (path.empty()) return {};
  std::string folder = ParentFolder(path);
  // The root folder is "" here, so that folder + "\name" is still right.
  return folder == "/" ? std::string() : ToWindowsPath(folder);
}

}  // namespace

std::string RunningProgram::DataFolder() {
  const std::string state = StateFolder();
  return state.empty() ? std::string() : ToWindowsPath(state + "/zephmonitor");
}

std::string InstanceLockPath(const std::string& programFolder) {
  const std::string name = HashName(programFolder);
  std::string runtime = RuntimeFolder();
  if (!runtime.empty()) return runtime + "/zephmonitor-" + name + ".lock";
  // /tmp is shared with other users, whose copies are none of ours.
  return "/tmp/zephmonitor-" + std::to_string(getuid()) + "-" + name + ".lock";
}

RunningProgram::RunningProgram(int argc, char** argv) : folder_(ExecutableFolder()) {
  for (int i = 1; i < argc; ++i) {
    if (i > 1) args_ += ' ';
    args_ += argv[i];
  }
}

std::string RunningProgram::ExeName() {
  std::string path = ReadExeLink("/proc/self/exe");
  return FileNameOf(path);
}

RunningProgram::~RunningProgram() {
  if (lockFd_ >= 0) close(lockFd_);
}

bool RunningProgram::AnotherInstanceRunning() {
  if (lockFd_ >= 0) return false;  // the lock is ours already
  int fd = open(InstanceLockPath(folder_).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return false;  // cannot tell: better run twice than not at all
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
    lockFd_ = fd;  // held until this copy ends
    return false;
  }
  int err = errno;
  close(fd);
  return err == EWOULDBLOCK;
}

void RunningProgram::End() {
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(0);
}

}  // namespace zeph::posix
