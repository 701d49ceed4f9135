// bench_soak's Linux part: the monitor and the game are children of this
// program; what the monitor holds comes from /proc.
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "BenchUtil.h"
#include "SoakPlatform.h"
#include "system/posix/PosixRegistry.h"

namespace zeph::bench::soak {
namespace {

namespace fs = std::filesystem;

// Starts exe (its current folder its own), output to outFile; the child is
// killed should this program die first.
pid_t Spawn(const fs::path& exe, const fs::path& outFile) {
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid != 0) return pid;
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(0);
  signal(SIGINT, SIG_DFL);
  signal(SIGTERM, SIG_DFL);
  int in = open("/dev/null", O_RDONLY);
  int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  if (in >= 0) dup2(in, 0);
  if (out >= 0) {
    dup2(out, 1);
    dup2(out, 2);
  }
  // Ctrl+C at the benchmark's terminal is the benchmark's to handle.
  setpgid(0, 0);
  if (chdir(exe.parent_path().c_str()) != 0) _exit(126);
  execl(exe.c_str(), exe.filename().c_str(), static_cast<char*>(nullptr));
  _exit(127);
}

// Waits up to ms for our child to end.
bool Reap(pid_t pid, int ms) {
  const auto until = Clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    int status = 0;
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid || r < 0) return true;
    if (Clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

// The processes whose parent is pid, zombies included.
std::vector<int> ChildrenOf(int pid, std::string* names) {
  std::vector<int> children;
  for (int p : ProcNumbers("/proc")) {
    ProcStat stat;
    if (!ReadProcStat(p, &stat) || stat.ppid != pid) continue;
    children.push_back(p);
    if (names) {
      if (!names->empty()) *names += ", ";
      *names += stat.name + " (" + std::to_string(p) + (stat.state == 'Z' ? ", zombie)" : ")");
    }
  }
  return children;
}

class PosixPlatform final : public Platform {
 public:
  ~PosixPlatform() override { EndAll(); }

  const char* MemoryName() override { return "VmRSS"; }
  const char* HandlesName() override { return "fds"; }
  const char* ChildrenRule() override {
    return "processes whose parent is the monitor, zombies included (/proc/PID/stat)";
  }
  std::string MonitorName() override { return "ZephMonitor"; }
  unsigned long OwnProcessId() override { return static_cast<unsigned long>(getpid()); }

  bool Prepare(const fs::path& root, std::string* error) override {
    // The monitor's registry file and window registrations go here, apart
    // from everything else on the machine.
    std::error_code ec;
    fs::create_directories(root / "config", ec);
    fs::create_directories(root / "run", ec);
    chmod((root / "run").c_str(), 0700);
    if (setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1) != 0 ||
        setenv("XDG_RUNTIME_DIR", (root / "run").c_str(), 1) != 0) {
      *error = "cannot set the environment";
      return false;
    }
    // No start-up reminder (on Linux a box printed and answered, harmless,
    // but it would fill the monitor's output that a failure shows).
    const std::string value = "False";
    std::vector<uint8_t> data(value.begin(), value.end());
    data.push_back(0);
    int regError = 0;
    posix::RegistryStore store(posix::RegistryStore::DefaultFile());
    if (!store.Set(posix::RegistryKeyPath(RegRoot::LocalMachine, "Software\\Thalix\\Kinetra"),
                   "CheckAttached", kRegSz, data, &regError)) {
      *error = "cannot set CheckAttached in the monitor's registry file (error " +
               std::to_string(regError) + ")";
      return false;
    }
    output_ = root / "monitor-output.log";
    gameOutput_ = root / "game-output.log";
    return true;
  }

  bool StartMonitor(const fs::path& exe, std::string* error) override {
    monitor_ = Spawn(exe, output_);
    if (monitor_ < 0) {
      *error = "cannot start " + exe.string();
      return false;
    }
    return true;
  }

  bool MonitorRunning() override {
    if (monitor_ <= 0) return false;
    int status = 0;
    if (waitpid(monitor_, &status, WNOHANG) == 0) return true;
    monitor_ = -1;
    return false;
  }

  std::string MonitorOutput() override {
    std::string text;
    ReadText(output_, &text);
    return text;
  }

  bool StartGame(const fs::path& exe, std::string* error) override {
    game_ = Spawn(exe, gameOutput_);
    if (game_ < 0) {
      *error = "cannot start the game " + exe.string();
      return false;
    }
    return true;
  }

  bool EndGame(std::string* error) override {
    if (game_ <= 0) return true;
    kill(game_, SIGKILL);
    const bool gone = Reap(game_, 10000);
    if (!gone) *error = "the game " + std::to_string(game_) + " did not end within 10 s";
    game_ = -1;
    return gone;
  }

  Usage MonitorUsage() override {
    Usage u;
    if (!MonitorRunning()) return u;
    const auto status = ProcStatus(monitor_);
    auto rss = status.find("VmRSS");
    auto threads = status.find("Threads");
    if (rss == status.end() || threads == status.end()) return u;
    u.memoryKiB = static_cast<double>(rss->second);
    u.threads = static_cast<long>(threads->second);
    u.handles = static_cast<long>(ProcNumbers("/proc/" + std::to_string(monitor_) + "/fd").size());
    u.children = static_cast<long>(ChildrenOf(monitor_, &u.childNames).size());
    u.ok = true;
    return u;
  }

  void EndAll() override {
    std::string ignored;
    EndGame(&ignored);
    if (MonitorRunning()) {
      // What it started would outlive it as on Windows: end that first.
      for (int child : ChildrenOf(monitor_, nullptr)) kill(child, SIGKILL);
      kill(monitor_, SIGTERM);
      if (!Reap(monitor_, 10000)) {
        kill(monitor_, SIGKILL);
        Reap(monitor_, 10000);
      }
    }
    monitor_ = -1;
  }

 private:
  pid_t monitor_ = -1;
  pid_t game_ = -1;
  fs::path output_ = "/dev/null", gameOutput_ = "/dev/null";
};

}  // namespace

std::unique_ptr<Platform> Platform::Create(std::string*) {
  return std::make_unique<PosixPlatform>();
}

}  // namespace zeph::bench::soak
