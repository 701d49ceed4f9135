// The Linux half of the end-to-end harness: the monitor runs as a child with
// its standard output (the debug lines) and standard error (the message
// boxes) read through pipes; the menu commands are signals.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "Harness.h"
#include "system/posix/PosixRegistry.h"

#ifndef ZEPH_MONITOR_EXE
#error "ZEPH_MONITOR_EXE must name the monitor executable"
#endif
#ifndef ZEPH_COMPANION_DIR
#error "ZEPH_COMPANION_DIR must name the folder of the built companion programs"
#endif
#ifndef ZEPH_TESTCHILD_EXE
#error "ZEPH_TESTCHILD_EXE must name the test child executable"
#endif

namespace zeph::e2e {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Collects what a child writes to one pipe, without ever blocking the test.
class PipeReader {
 public:
  explicit PipeReader(int fd) : fd_(fd), thread_([this] { Run(); }) {}
  ~PipeReader() {
    stop_ = true;
    thread_.join();
    close(fd_);
  }
  std::string Text() {
    std::lock_guard<std::mutex> lock(mutex_);
    return text_;
  }
  bool AtEnd() const { return atEnd_; }

 private:
  void Run() {
    char buffer[4096];
    while (!stop_) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      ssize_t got = read(fd_, buffer, sizeof buffer);
      if (got <= 0) {
        atEnd_ = true;
        return;
      }
      std::lock_guard<std::mutex> lock(mutex_);
      text_.append(buffer, static_cast<size_t>(got));
    }
  }

  int fd_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> atEnd_{false};
  std::mutex mutex_;
  std::string text_;
  std::thread thread_;
};

struct Child {
  pid_t pid = -1;
  bool reaped = false;
  int status = 0;
  std::unique_ptr<PipeReader> out, err;
  size_t boxesRead = 0;  // characters of standard error already taken as boxes
};

std::vector<std::string> SplitArgs(const std::string& args) {
  std::vector<std::string> words;
  if (args.empty()) return words;
  size_t start = 0;
  for (;;) {
    size_t blank = args.find(' ', start);
    words.push_back(args.substr(start, blank == std::string::npos ? blank : blank - start));
    if (blank == std::string::npos) return words;
    start = blank + 1;
  }
}

// Sets or clears the immutable attribute (as chattr +i / -i do).
bool SetImmutable(const std::string& path, bool on, std::string* why) {
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  int flags = 0;
  bool ok = fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  if (ok) {
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    ok = ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  }
  if (!ok && why) *why = "cannot set the immutable attribute here: " + std::string(strerror(errno));
  if (fd >= 0) close(fd);
  return ok;
}

pid_t Spawn(const std::string& program, const std::vector<std::string>& args, int outFd,
            int errFd) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(outFd >= 0 ? outFd : null, 1);
    dup2(errFd >= 0 ? errFd : null, 2);
    setpgid(0, 0);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  return pid;
}

class PosixHarness : public MonitorHarness {
 public:
  explicit PosixHarness(fs::path root)
      : root_(std::move(root)), prog_(root_ / "my games" / "prog") {
    fs::create_directories(prog_ / "wyn");
    fs::create_directories(prog_ / "games");
    fs::create_directories(root_ / "config");
    fs::create_directories(root_ / "run");
    fs::copy_file(ZEPH_MONITOR_EXE, prog_ / "ZephMonitor");
    fs::copy_file(ZEPH_TESTCHILD_EXE, root_ / "my");
    // The monitor and this test share the registry store and the window
    // registrations, apart from every other test.
    setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (root_ / "run").c_str(), 1);
    // The set-up journal too stays in the test's own folder.
    setenv("XDG_STATE_HOME", (root_ / "state").c_str(), 1);
    setenv("ZEPH_TESTCHILD_LOG", (root_ / "started.log").c_str(), 1);
    // Boxes and menus in the terminal, whatever desktop the test runs on.
    setenv("ZEPHMONITOR_DESKTOP", "terminal", 1);
  }

  ~PosixHarness() override {
    for (const auto& path : protected_) SetImmutable(path, false, nullptr);
    for (auto& c : monitors_) End(c);
    for (auto& g : games_) End(g);
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  std::string Folder() override { return prog_.string(); }

  bool PlantedProgramRan() override {
    std::ifstream log(root_ / "started.log");
    for (std::string line; std::getline(log, line);)
      if (fs::path(line) == root_ / "my") return true;
    return false;
  }

  bool ReadSinceWritten(const std::string& path) override {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return false;
    return st.st_atim.tv_sec > st.st_mtim.tv_sec ||
           (st.st_atim.tv_sec == st.st_mtim.tv_sec && st.st_atim.tv_nsec >= st.st_mtim.tv_nsec);
  }

  bool AccessTimesKept() override {
    static const bool kept = [this] {
      fs::path probe = root_ / "atime-probe";
      std::ofstream(probe) << "x";
      timespec old[2] = {{1, 0}, {UTIME_OMIT, 0}};  // access time far back
      utimensat(AT_FDCWD, probe.c_str(), old, 0);
      std::string text;
      std::ifstream(probe) >> text;
      return ReadSinceWritten(probe.string());
    }();
    return kept;
  }

  int StartMonitor(const std::string& args) override {
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) throw std::runtime_error("pipe failed");
    Child c;
    c.pid = Spawn(Folder() + "/ZephMonitor", SplitArgs(args), out[1], err[1]);
    close(out[1]);
    close(err[1]);
    c.out = std::make_unique<PipeReader>(out[0]);
    c.err = std::make_unique<PipeReader>(err[0]);
    monitors_.push_back(std::move(c));
    return static_cast<int>(monitors_.size()) - 1;
  }

  bool WaitForExit(int copy, int timeoutMs) override {
    auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
      if (!IsRunning(copy)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (Clock::now() < until);
    return !IsRunning(copy);
  }

  bool IsRunning(int copy) override { return Alive(monitors_.at(copy)); }

  std::vector<std::string> DebugLines(int copy) override {
    std::string text = monitors_.at(copy).out->Text();
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
      lines.push_back(text.substr(start, nl - start));
    return lines;
  }

  bool NextMessageBox(int copy, int timeoutMs, BoxSeen* box) override {
    Child& c = monitors_.at(copy);
    auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      if (TakeBox(c, box)) return true;
      if (Clock::now() >= until || (c.err->AtEnd() && !TakeBox(c, box))) return TakeBox(c, box);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }

  void PressSuspend(int copy) override { kill(monitors_.at(copy).pid, SIGUSR1); }
  void PressExit(int copy) override { kill(monitors_.at(copy).pid, SIGTERM); }
  void CloseMainWindow(int copy) override { kill(monitors_.at(copy).pid, SIGINT); }
  void HangUp(int copy) override { kill(monitors_.at(copy).pid, SIGHUP); }
  bool HasVisibleWindow(int) override { return false; }

  int StartGame(const std::string& relativePath) override {
    fs::path target = fs::path(Folder()) / relativePath;
    fs::create_directories(target.parent_path());
    fs::copy_file(ZEPH_TESTCHILD_EXE, target, fs::copy_options::overwrite_existing);
    fs::permissions(target, fs::perms::owner_all, fs::perm_options::add);
    Child g;
    g.pid = Spawn(target.string(), {}, -1, -1);
    games_.push_back(std::move(g));
    return static_cast<int>(games_.size()) - 1;
  }

  bool ProtectFile(const std::string& path, std::string* why) override {
    if (!SetImmutable(path, true, why)) return false;
    protected_.push_back(path);
    return true;
  }

  void StopGame(int game) override { End(games_.at(game)); }

  void InstallCompanions() override {
    for (const char* name : {"Zephcontrol.exe", "ZephEvent.exe", "zephcfg.exe", "zephweb.exe"})
      fs::copy_file(fs::path(ZEPH_COMPANION_DIR) / name, fs::path(Folder()) / name,
                    fs::copy_options::overwrite_existing);
  }

  void SetMachineString(const std::string& subkey, const std::string& name,
                        const std::string& value) override {
    std::vector<uint8_t> data(value.begin(), value.end());
    data.push_back(0);
    int error = 0;
    Store().Set(posix::RegistryKeyPath(RegRoot::LocalMachine, subkey), name, kRegSz, data, &error);
  }

  std::string MachineString(const std::string& subkey, const std::string& name) override {
    uint32_t type = 0;
    std::vector<uint8_t> data;
    int error = 0;
    if (Store().Query(posix::RegistryKeyPath(RegRoot::LocalMachine, subkey), name, &type, &data,
                      &error) != ReadResult::Ok)
      return "";
    std::string text(data.begin(), data.end());
    return text.substr(0, text.find('\0'));
  }

 private:
  posix::RegistryStore Store() { return posix::RegistryStore(posix::RegistryStore::DefaultFile()); }

  static bool Alive(Child& c) {
    if (c.reaped) return false;
    if (waitpid(c.pid, &c.status, WNOHANG) == c.pid) c.reaped = true;
    return !c.reaped;
  }

  static void End(Child& c) {
    if (c.pid <= 0 || c.reaped) return;
    kill(c.pid, SIGKILL);
    waitpid(c.pid, &c.status, 0);
    c.reaped = true;
  }

  // A box is "=== title ===", its text lines, then "=== ANSWER ===".
  static bool TakeBox(Child& c, BoxSeen* box) {
    std::string text = c.err->Text().substr(c.boxesRead);
    size_t start = text.find("=== ");
    if (start == std::string::npos) return false;
    size_t titleEnd = text.find(" ===\n", start);
    if (titleEnd == std::string::npos) return false;
    std::string title = text.substr(start + 4, titleEnd - start - 4);
    size_t bodyStart = titleEnd + 5;
    for (size_t at = bodyStart;;) {
      size_t line = text.find("=== ", at);
      if (line == std::string::npos) return false;
      size_t lineEnd = text.find(" ===\n", line);
      if (lineEnd == std::string::npos) return false;
      if ((line == 0 || text[line - 1] == '\n') && text.find('\n', line) == lineEnd + 4) {
        box->title = title;
        box->text = line > bodyStart ? text.substr(bodyStart, line - bodyStart - 1) : "";
        c.boxesRead += lineEnd + 5;
        return true;
      }
      at = lineEnd + 5;
    }
  }

  fs::path root_;
  fs::path prog_;
  std::vector<Child> monitors_;
  std::vector<Child> games_;
  std::vector<std::string> protected_;  // immutable until the harness ends
};

}  // namespace

std::unique_ptr<MonitorHarness> MonitorHarness::Create() {
  std::string pattern = (fs::temp_directory_path() / "zeph-e2e-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary folder");
  return std::make_unique<PosixHarness>(pattern);
}

}  // namespace zeph::e2e
