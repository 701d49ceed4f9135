// The stand-ins' platform part on POSIX. A "window" is a title registered
// the way the monitor's POSIX side finds and closes windows (a file per
// window, TERM to its owner).
#include "companion/standins/StandinHost.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "system/posix/PosixFiles.h"
#include "system/posix/PosixPaths.h"
#include "system/posix/PosixWindows.h"

namespace zeph::standin {
namespace {

using posix::ParentFolder;
using posix::ReadExeLink;

std::string ProgramFolder() {
  std::string self = ReadExeLink("/proc/self/exe");
  return self.empty() ? "." : ParentFolder(self);
}

// True when a live process other than this one, running the same program
// file, has a window with the title.
bool EarlierCopyExists(const std::string& title) {
  static const std::string self = ReadExeLink("/proc/self/exe");
  if (self.empty()) return false;
  for (pid_t owner : posix::WindowOwners(title)) {
    if (owner != getpid() && ReadExeLink("/proc/" + std::to_string(owner) + "/exe") == self)
      return true;
  }
  return false;
}

}  // namespace

std::string FileBesideProgram(const std::string& name) {
  static const std::string folder = ProgramFolder();
  return folder == "/" ? "/" + name : folder + "/" + name;
}

unsigned long CurrentProcessId() { return static_cast<unsigned long>(getpid()); }

ReadStatus ReadWholeFile(const std::string& path, std::string* contents) {
  switch (posix::ReadWholeFile(path, contents)) {
    case posix::ReadStatus::Okay: return ReadStatus::Okay;
    case posix::ReadStatus::NotFound: return ReadStatus::NotFound;
    case posix::ReadStatus::OtherError: break;
  }
  return ReadStatus::OtherError;
}

bool WriteFileAtomic(const std::string& path, const std::string& contents) {
  // The stand-in controller's state is replaced at every command: atomic,
  // but nothing forced to the disk, not even by the file system's own rule
  // for a rename over a file.
  return posix::WriteFileAtomic(path, contents, posix::Sync::Scratch);
}

bool AppendToFile(const std::string& path, const std::string& text) {
  int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = posix::WriteAll(fd, text.data(), text.size());
  return close(fd) == 0 && ok;
}

bool CommandLineFileExists(const std::string& path) {
  struct stat st;
  return stat(ToNativePath(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool WaitUntilNoEarlierCopy(const std::string& title, int timeoutMs) {
  const timespec step = {0, 20 * 1000 * 1000};
  for (int waited = 0; EarlierCopyExists(title); waited += 20) {
    if (waited >= timeoutMs) return false;
    nanosleep(&step, nullptr);
  }
  return true;
}

int RunWindowUntilClosed(const WindowOptions& options, const std::function<void()>& ready,
                         const std::function<void()>& closing) {
  // Blocked before the title is known to anyone, so that a TERM sent as
  // soon as the registration appears waits for sigwait below.
  sigset_t ends;
  sigemptyset(&ends);
  sigaddset(&ends, SIGTERM);
  sigaddset(&ends, SIGINT);
  pthread_sigmask(SIG_BLOCK, &ends, nullptr);
  signal(SIGPIPE, SIG_IGN);  // a reader of our output that went away ends nothing

  if (!RegisterWindowTitle(options.title)) {
    PrintError(options.title + ": cannot register the window title");
    return 1;
  }
  ready();
  int got = 0;
  sigwait(&ends, &got);
  closing();
  UnregisterWindowTitle(options.title);
  return 0;
}

}  // namespace zeph::standin
