#include "system/posix/PosixProcesses.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "system/posix/PosixFiles.h"
#include "system/ProcessHelpers.h"
#include "system/WinPath.h"
#include "system/posix/PosixError.h"
#include "system/posix/PosixPaths.h"
#include "system/posix/PosixWindows.h"
#include "system/posix/WineProgram.h"

extern char** environ;

namespace zeph::posix {
namespace {

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
  explicit ChildHandle(std::shared_ptr<ChildProcess> child)
      : child_(std::move(child)), pidfd_(OpenPidfd(child_->pid)) {}
  ~ChildHandle() override {
    if (pidfd_ >= 0) close(pidfd_);
  }
  ChildHandle(const ChildHandle&) = delete;
  ChildHandle& operator=(const ChildHandle&) = delete;
  bool State(bool* running, uint32_t* exitCode, SystemError*) override {
    *running = !ReapChild(*child_, false);
    *exitCode = *running ? kStillActive : child_->exitCode;
    return true;
  }
  intptr_t WaitObject() const override { return pidfd_; }

 private:
  std::shared_ptr<ChildProcess> child_;
  int pidfd_;
};

// Another program's process: only whether it has ended can be known.
class PidfdHandle final : public ProcessHandle {
 public:
  explicit PidfdHandle(int fd) : fd_(fd) {}
  ~PidfdHandle() override { close(fd_); }
  PidfdHandle(const PidfdHandle&) = delete;
  PidfdHandle& operator=(const PidfdHandle&) = delete;
  bool State(bool* running, uint32_t* exitCode, SystemError* err) override {
    pollfd p = {fd_, POLLIN, 0};
    int r;
    while ((r = poll(&p, 1, 0)) < 0 && errno == EINTR) {
    }
    if (r < 0) return Fail(err, ErrnoError(errno));
    *running = r == 0;
    *exitCode = *running ? kStillActive : 0;
    return true;
  }
  intptr_t WaitObject() const override { return fd_; }

 private:
  int fd_;
};

// Without pidfds: the start time tells our process from a later one that
// was given the same pid.
class StatHandle final : public ProcessHandle {
 public:
  StatHandle(pid_t pid, unsigned long long start) : pid_(pid), start_(start) {}
  bool State(bool* running, uint32_t* exitCode, SystemError*) override {
    unsigned long long start = 0;
    char state = 0;
    *running = (kill(pid_, 0) == 0 || errno == EPERM) && ReadStartTime(pid_, &start, &state) &&
               start == start_ && state != 'Z' && state != 'X';
    *exitCode = *running ? kStillActive : 0;
    return true;
  }
  intptr_t WaitObject() const override { return -1; }

 private:
  pid_t pid_;
  unsigned long long start_;
};

// The home folder of the user that owns process folder procDir.
std::string OwnerHome(const std::string& procDir) {
  struct stat st;
  if (stat(procDir.c_str(), &st) != 0) return {};
  if (st.st_uid == geteuid()) {
    const char* home = std::getenv("HOME");
    if (home && *home) return home;
  }
  passwd entry;
  passwd* found = nullptr;
  char buffer[4096];
  if (getpwuid_r(st.st_uid, &entry, buffer, sizeof buffer, &found) != 0 || !found) return {};
  return found->pw_dir ? found->pw_dir : "";
}

// What loader process pid runs, read from its command line, name,
// environment and working folder. False while that is no Windows program
// yet (*info is left as the loader), or is told by the process name alone.
bool ReadWineProgram(unsigned long pid, const std::string& loader, ProcessInfo* info) {
  const std::string dir = "/proc/" + std::to_string(pid);
  WineProcessText text;
  std::string raw;
  if (ReadWholeFile(dir + "/cmdline", &raw) == ReadStatus::Okay) {
    text.args = SplitAt(raw, '\0');
    // Wine leaves the room of the arguments it moved as empty ones.
    while (!text.args.empty() && text.args.back().empty()) text.args.pop_back();
  }
  if (ReadWholeFile(dir + "/comm", &text.comm) == ReadStatus::Okay && !text.comm.empty() &&
      text.comm.back() == '\n')
    text.comm.pop_back();
  if (ReadWholeFile(dir + "/environ", &raw) == ReadStatus::Okay) {
    for (const std::string& entry : SplitAt(raw, '\0'))
      if (entry.compare(0, 11, "WINEPREFIX=") == 0) text.winePrefix = entry.substr(11);
  }
  if (text.winePrefix.empty()) text.home = OwnerHome(dir);
  text.workingFolder = ReadLink(dir + "/cwd");
  WineProgram program = MapWineProgram(text, [](const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
  });
  if (!program.windows) return false;
  // Wine finds names ignoring case: the folder as it is spelled on disk.
  info->imagePath = ToWindowsPath(
      program.path.find('/') == std::string::npos ? program.path : MatchCase(program.path));
  info->wine = WineRun{ToWindowsPath(program.prefix), ToWindowsPath(loader)};
  return !program.byName;
}

}  // namespace

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
                                         const std::vector<std::string>& args, int* error) {
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
  for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGUSR1, SIGCHLD, SIGPIPE}) sigaddset(&defaults, sig);
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
  if (err != 0) {
    if (error) *error = err;
    return nullptr;
  }
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

std::vector<ProcessInfo> ProcessTable::List() {
  // Every process is looked at each time, because a program can exec
  // another under the same id (a launcher turning into its game); what was
  // read before is reused while the exe link still reads the same. A kernel
  // thread has no exe at all: it is not asked again while its /proc entry is
  // the same one (the entry's inode number changes when the id is reused).
  std::vector<ProcessInfo> list;
  DIR* dir = opendir("/proc");
  if (!dir) return list;
  list.reserve(known_.size() + 16);
  ++generation_;
  char link[32];
  char target[PATH_MAX];
  while (dirent* entry = readdir(dir)) {
    const char* name = entry->d_name;
    if (name[0] < '0' || name[0] > '9') continue;
    char* end = nullptr;
    unsigned long pid = std::strtoul(name, &end, 10);
    if (*end != '\0' || pid == 0 || pid > UINT32_MAX) continue;
    Known& k = known_[static_cast<uint32_t>(pid)];
    const bool sameEntry = k.generation != 0 && k.inode == entry->d_ino;
    k.generation = generation_;
    k.inode = entry->d_ino;
    if (sameEntry && k.noExe) continue;
    std::snprintf(link, sizeof link, "/proc/%lu/exe", pid);
    ssize_t len = readlink(link, target, sizeof target);
    if (len <= 0 || static_cast<size_t>(len) >= sizeof target) {
      // No exe: a kernel thread or a zombie. Another user's process (EACCES)
      // is not ours to read, but may be at the next listing.
      k.noExe = len == 0 || errno == ENOENT;
      k.info.id = 0;
      continue;
    }
    k.noExe = false;
    if (k.info.id == 0 || k.link.size() != static_cast<size_t>(len) ||
        std::memcmp(k.link.data(), target, static_cast<size_t>(len)) != 0) {
      k.link.assign(target, static_cast<size_t>(len));
      const std::string exe = WithoutDeletedMark(k.link);
      k.info = ProcessInfo{static_cast<uint32_t>(pid), ToWindowsPath(exe), {}};
      k.winePending = IsWineLoaderName(FileNameOf(exe));
    }
    // A loader is listed as the Windows program it runs, read once that is
    // known; Wine's own services keep their names (services.exe, ...).
    if (k.winePending) k.winePending = !ReadWineProgram(pid, WithoutDeletedMark(k.link), &k.info);
    list.push_back(k.info);
  }
  closedir(dir);
  for (auto it = known_.begin(); it != known_.end();)
    it = it->second.generation == generation_ ? std::next(it) : known_.erase(it);
  return list;
}

std::unique_ptr<ProcessHandle> ProcessTable::Open(uint32_t id, SystemError* err) {
  if (id == 0 || id > static_cast<uint32_t>(INT_MAX)) {
    Fail(err, ErrnoError(ESRCH));
    return nullptr;
  }
  pid_t pid = static_cast<pid_t>(id);
  for (const auto& child : Children()) {
    if (child->pid == pid && !child->ended) return std::make_unique<ChildHandle>(child);
  }
  int fd = OpenPidfd(pid);
  if (fd >= 0) return std::make_unique<PidfdHandle>(fd);
  if (errno != ENOSYS) {  // no such process (or a thread, not a process)
    Fail(err, ErrnoError(errno));
    return nullptr;
  }
  unsigned long long start = 0;
  char state = 0;
  if (!ReadStartTime(pid, &start, &state)) {
    Fail(err, ErrnoError(ESRCH));
    return nullptr;
  }
  return std::make_unique<StatHandle>(pid, start);
}

std::unique_ptr<ProcessHandle> ProcessTable::Start(const std::string& commandLine,
                                                   SystemError* err) {
  std::string program, rest;
  if (!ResolveCommandLine(commandLine, programFolder_, &program, &rest)) {
    Fail(err, ErrnoError(ENOENT));
    return nullptr;
  }
  int error = 0;
  auto child = SpawnChild(program, SplitArguments(rest), &error);
  if (!child) {
    Fail(err, ErrnoError(error));
    return nullptr;
  }
  return std::make_unique<ChildHandle>(child);
}

bool ProcessTable::CloseWindowByTitle(const std::string& title) {
  return CloseRegisteredWindow(title);
}

bool ProcessTable::StartShown(const std::string& commandLine, int, uint32_t* pid,
                              SystemError* err) {
  // A terminal program has no window to show: the show command has nothing
  // to say here.
  std::string program, rest;
  if (!ResolveCommandLine(commandLine, programFolder_, &program, &rest))
    return Fail(err, ErrnoError(ENOENT));
  int error = 0;
  auto child = SpawnChild(program, SplitArguments(rest), &error);
  if (!child) return Fail(err, ErrnoError(error));
  *pid = static_cast<uint32_t>(child->pid);
  return true;
}

bool ProcessTable::ActivateMainWindow(uint32_t pid) {
  // There is no foreground to bring it to; what can be told is whether the
  // program has made its window yet.
  return OwnsWindow(static_cast<pid_t>(pid));
}

bool ProcessTable::OpenAddress(const std::string& address, int, SystemError* err) {
  // The desktop's own opener picks the browser or mail program the user chose.
  std::string program;
  std::string rest;
  if (!ResolveCommandLine("xdg-open", programFolder_, &program, &rest))
    return Fail(err, ErrnoError(ENOENT));
  int error = 0;
  if (!SpawnChild(program, {address}, &error)) return Fail(err, ErrnoError(error));
  return true;
}

}  // namespace zeph::posix
