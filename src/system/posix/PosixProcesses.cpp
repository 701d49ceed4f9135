#include "system/posix/PosixProcesses.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "system/posix/PosixFiles.h"
#include "system/posix/PosixPaths.h"

extern char** environ;

namespace zeph::posix {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsExecutableFile(const std::string& nativePath) {
  struct stat st;
  return stat(nativePath.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         access(nativePath.c_str(), X_OK) == 0;
}

std::string Locate(const std::string& windowsName, const std::string& programFolder) {
  std::string name = ToNativePath(windowsName);
  if (name.empty()) return {};
  if (name.find('/') != std::string::npos) return IsExecutableFile(name) ? name : std::string();
  std::vector<std::string> folders = {ToNativePath(programFolder), "."};
  if (const char* path = std::getenv("PATH")) {
    std::string p = path;
    size_t pos = 0;
    while (pos <= p.size()) {
      size_t colon = p.find(':', pos);
      if (colon == std::string::npos) colon = p.size();
      folders.push_back(colon > pos ? p.substr(pos, colon - pos) : std::string("."));
      pos = colon + 1;
    }
  }
  for (const std::string& folder : folders) {
    std::string candidate = (folder.empty() ? std::string() : folder + "/") + name;
    if (IsExecutableFile(candidate)) return candidate;
  }
  return {};
}

std::vector<std::shared_ptr<ChildProcess>>& Children() {
  static std::vector<std::shared_ptr<ChildProcess>> children;
  return children;
}

// Field 22 of /proc/PID/stat (start time in clock ticks since boot) and the
// state letter; false when the process is gone.
bool ReadStartTime(pid_t pid, unsigned long long* start, char* state) {
  std::string text;
  if (ReadWholeFile("/proc/" + std::to_string(pid) + "/stat", &text) != ReadStatus::Okay)
    return false;
  // The name in parentheses may itself hold blanks and parentheses.
  size_t close = text.rfind(')');
  if (close == std::string::npos || close + 2 >= text.size()) return false;
  size_t pos = close + 2;
  *state = text[pos];
  for (int field = 3; field < 22; ++field) {
    pos = text.find(' ', pos);
    if (pos == std::string::npos) return false;
    ++pos;
  }
  *start = std::strtoull(text.c_str() + pos, nullptr, 10);
  return true;
}

class ChildHandle final : public ProcessHandle {
 public:
  explicit ChildHandle(std::shared_ptr<ChildProcess> child) : child_(std::move(child)) {}
  bool ExitCode(uint32_t* code) override {
    *code = ReapChild(*child_, false) ? child_->exitCode : kStillActive;
    return true;
  }

 private:
  std::shared_ptr<ChildProcess> child_;
};

// Another program's process: only whether it has ended can be known.
class PidfdHandle final : public ProcessHandle {
 public:
  explicit PidfdHandle(int fd) : fd_(fd) {}
  ~PidfdHandle() override { close(fd_); }
  PidfdHandle(const PidfdHandle&) = delete;
  PidfdHandle& operator=(const PidfdHandle&) = delete;
  bool ExitCode(uint32_t* code) override {
    pollfd p = {fd_, POLLIN, 0};
    int r;
    while ((r = poll(&p, 1, 0)) < 0 && errno == EINTR) {
    }
    if (r < 0) return false;
    *code = r > 0 ? 0 : kStillActive;
    return true;
  }

 private:
  int fd_;
};

// Without pidfds: the start time tells our process from a later one that
// was given the same pid.
class StatHandle final : public ProcessHandle {
 public:
  StatHandle(pid_t pid, unsigned long long start) : pid_(pid), start_(start) {}
  bool ExitCode(uint32_t* code) override {
    unsigned long long start = 0;
    char state = 0;
    bool running = kill(pid_, 0) == 0 || errno == EPERM;
    running = running && ReadStartTime(pid_, &start, &state) && start == start_ && state != 'Z' &&
              state != 'X';
    *code = running ? kStillActive : 0;
    return true;
  }

 private:
  pid_t pid_;
  unsigned long long start_;
};

}  // namespace

std::vector<std::string> SplitArguments(const std::string& text) {
  std::vector<std::string> args;
  size_t i = 0, n = text.size();
  for (;;) {
    while (i < n && IsBlank(text[i])) ++i;
    if (i >= n) break;
    std::string arg;
    bool quoted = false;
    while (i < n && (quoted || !IsBlank(text[i]))) {
      char c = text[i];
      if (c == '\\') {
        size_t k = 0;
        while (i + k < n && text[i + k] == '\\') ++k;
        if (i + k < n && text[i + k] == '"') {
          arg.append(k / 2, '\\');
          if (k % 2 == 1) {
            arg += '"';
            i += k + 1;
          } else {
            i += k;  // the quote groups; taken next round
          }
        } else {
          arg.append(k, '\\');
          i += k;
        }
      } else if (c == '"') {
        if (quoted && i + 1 < n && text[i + 1] == '"') {
          arg += '"';
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        arg += c;
        ++i;
      }
    }
    args.push_back(arg);
  }
  return args;
}

bool ResolveCommandLine(const std::string& commandLine, const std::string& programFolder,
                        std::string* program, std::string* rest) {
  size_t start = 0;
  while (start < commandLine.size() && IsBlank(commandLine[start])) ++start;
  std::string line = commandLine.substr(start);
  if (line.empty()) return false;
  if (line[0] == '"') {
    size_t close = line.find('"', 1);
    std::string name = line.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    *program = Locate(name, programFolder);
    *rest = close == std::string::npos ? std::string() : line.substr(close + 1);
    return !program->empty();
  }
  for (size_t pos = 0; pos <= line.size(); ++pos) {
    if (pos < line.size() && !IsBlank(line[pos])) continue;
    if (pos > 0 && IsBlank(line[pos - 1])) continue;  // one try per run of blanks
    std::string found = Locate(line.substr(0, pos), programFolder);
    if (!found.empty()) {
      *program = found;
      *rest = line.substr(pos);
      return true;
    }
  }
  return false;
}

uint32_t ExitCodeFromStatus(int waitStatus) {
  if (WIFEXITED(waitStatus)) return static_cast<uint32_t>(WEXITSTATUS(waitStatus));
  if (WIFSIGNALED(waitStatus)) return 128u + static_cast<uint32_t>(WTERMSIG(waitStatus));
  return 0;
}

std::shared_ptr<ChildProcess> SpawnChild(const std::string& program,
                                         const std::vector<std::string>& args) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  // Our handlers and the ignored PIPE must not reach the child.
  sigset_t defaults, mask;
  sigemptyset(&defaults);
  for (int sig : {SIGTERM, SIGINT, SIGUSR1, SIGCHLD, SIGPIPE}) sigaddset(&defaults, sig);
  sigemptyset(&mask);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setsigmask(&attr, &mask);
  // A group of its own: Ctrl+C at the monitor's terminal ends the monitor,
  // not the games and tools it started, which outlive it as on Windows.
  posix_spawnattr_setpgroup(&attr, 0);
  posix_spawnattr_setflags(&attr,
                           POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);

  pid_t pid = 0;
  int err = posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  if (err != 0) return nullptr;
  auto child = std::make_shared<ChildProcess>();
  child->pid = pid;
  Children().push_back(child);
  return child;
}

bool ReapChild(ChildProcess& child, bool block) {
  if (child.ended) return true;
  int status = 0;
  pid_t r;
  while ((r = waitpid(child.pid, &status, block ? 0 : WNOHANG)) < 0 && errno == EINTR) {
  }
  if (r == child.pid) {
    child.ended = true;
    child.exitCode = ExitCodeFromStatus(status);
  } else if (r < 0) {
    child.ended = true;  // no longer ours to wait for: nothing more to learn
  }
  return child.ended;
}

void ReapChildren() {
  auto& children = Children();
  for (size_t i = 0; i < children.size();) {
    if (ReapChild(*children[i], false)) {
      children.erase(children.begin() + static_cast<long>(i));
    } else {
      ++i;
    }
  }
}

int OpenPidfd(pid_t pid) {
#ifdef SYS_pidfd_open
  return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
  (void)pid;
  errno = ENOSYS;
  return -1;
#endif
}

std::vector<ProcessInfo> ListProcesses() {
  std::vector<ProcessInfo> list;
  DIR* dir = opendir("/proc");
  if (!dir) return list;
  while (dirent* entry = readdir(dir)) {
    const char* name = entry->d_name;
    char* end = nullptr;
    unsigned long pid = std::strtoul(name, &end, 10);
    if (name[0] < '0' || name[0] > '9' || *end != '\0' || pid == 0 || pid > UINT32_MAX) continue;
    char target[PATH_MAX];
    std::string link = std::string("/proc/") + name + "/exe";
    ssize_t len = readlink(link.c_str(), target, sizeof target);
    if (len <= 0 || static_cast<size_t>(len) >= sizeof target) continue;
    std::string path(target, static_cast<size_t>(len));
    const std::string deleted = " (deleted)";
    if (path.size() > deleted.size() &&
        path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0)
      path.resize(path.size() - deleted.size());
    list.push_back(ProcessInfo{static_cast<uint32_t>(pid), ToWindowsPath(path)});
  }
  closedir(dir);
  return list;
}

std::unique_ptr<ProcessHandle> OpenProcess(pid_t pid) {
  if (pid <= 0) return nullptr;
  for (const auto& child : Children()) {
    if (child->pid == pid && !child->ended) return std::make_unique<ChildHandle>(child);
  }
  int fd = OpenPidfd(pid);
  if (fd >= 0) return std::make_unique<PidfdHandle>(fd);
  if (errno != ENOSYS) return nullptr;  // no such process (or a thread, not a process)
  unsigned long long start = 0;
  char state = 0;
  if (!ReadStartTime(pid, &start, &state)) return nullptr;
  return std::make_unique<StatHandle>(pid, start);
}

}  // namespace zeph::posix
