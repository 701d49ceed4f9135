// The POSIX half of the program runner: posix_spawn, waitpid, and the title
// registrations that stand in for windows.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "ProgramRunner.h"
#include "system/posix/PosixWindows.h"

extern char** environ;

namespace zeph::companion_test {
namespace {

class PosixProcess : public Process {
 public:
  explicit PosixProcess(pid_t pid) : pid_(pid) {}
  ~PosixProcess() override {
    if (ended_) return;
    kill(pid_, SIGKILL);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }

  unsigned long Pid() const override { return static_cast<unsigned long>(pid_); }

  bool WaitForExit(int timeoutMs, int* exitCode) override {
    const bool ended = WaitFor([this] { return Reap(); }, timeoutMs);
    if (ended) *exitCode = exitCode_;
    return ended;
  }

  bool HasWindow(const std::string& title) override {
    for (pid_t owner : posix::WindowOwners(title))
      if (owner == pid_) return true;
    return false;
  }

  // The monitor's own close routine. The registrations are this test's
  // alone (IsolateWindows), so the title names this process's window.
  bool AskWindowToClose(const std::string& title) override {
    return HasWindow(title) && posix::CloseRegisteredWindow(title);
  }

  std::string WindowText(const std::string&) override { return {}; }

 private:
  bool Reap() {
    if (ended_) return true;
    int status = 0;
    pid_t got = waitpid(pid_, &status, WNOHANG);
    if (got != pid_) return false;
    ended_ = true;
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return true;
  }

  pid_t pid_;
  bool ended_ = false;
  int exitCode_ = -1;
};

}  // namespace

std::string OpenablePath(const std::string& buildPath) { return buildPath; }

void IsolateWindows(const TempFolder& folder) {
  setenv("XDG_RUNTIME_DIR", folder.File("runtime").c_str(), 1);
}

std::unique_ptr<Process> Process::Start(const std::string& program,
                                        const std::vector<std::string>& args,
                                        const std::string& outPath, const std::string& errPath) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  // The programs start with the signals the monitor would leave them.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none, ends;
  sigemptyset(&none);
  sigemptyset(&ends);
  sigaddset(&ends, SIGTERM);
  sigaddset(&ends, SIGINT);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &ends);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  int error = posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) throw std::runtime_error("cannot start " + program + ": " + std::strerror(error));
  return std::make_unique<PosixProcess>(pid);
}

}  // namespace zeph::companion_test
