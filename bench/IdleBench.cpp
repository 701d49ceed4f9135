// bench_idle: what the running monitor costs while it waits for games.
//
// Starts the real monitor (a copy, in a temporary program folder with one
// profile, at the default interval of 1000 ms, no debug option), lets it run
// idle, then reads its CPU time and resident memory from /proc, prints them
// against their targets, and stops it with TERM. Natively it does so once
// per count of extra processes: idle processes of its own (forked children
// that pause), which every tick of the monitor's listing visits too.
//
// With --wine it runs the Windows build under Wine instead (in the prefix
// and on the display that bench/with-wine sets up) and measures the
// monitor's processes and the prefix's wineserver, which does the monitor's
// system calls for it.
//
// Beside the monitor, over the same period, a bare listing runs: once a
// second every /proc entry and the exe link of each, read and dropped. It is
// the least a listing that notices an exec can cost on this machine, and is
// printed as the floor the monitor's figures compare with.
//
// Then once more with Wine-like processes as the extra ones: copies of this
// program named as Wine's preloader, each with a Windows program's path as
// its command line and a prefix in its environment, which the listing reads
// once per process to list it as that program. Its cost per tick is set
// against the floor of the same period: at most 1.1 times, tick by tick
// (the median tick of each, sampled every 25 ms), and printed on average
// over the period beside it.
//
// Options: --seconds N (default 60), --extra N,N,... (default 0,500),
// --wine-like N (default 50; 0 leaves the case out), --wine PATH (the built
// ZephMonitor.exe).
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#ifndef ZEPH_MONITOR_EXE
#error "ZEPH_MONITOR_EXE must name the monitor executable"
#endif

namespace fs = std::filesystem;

#include "BenchUtil.h"

namespace {

using zeph::bench::Clock;
using zeph::bench::ProcNumbers;
using zeph::bench::ProcStat;
using zeph::bench::ProcStatus;
using zeph::bench::ReadProcStat;
using zeph::bench::ReadText;
using zeph::bench::WriteFile;

constexpr double kCpuTargetNoExtra = 0.05;   // % of one core, no extra processes
constexpr double kCpuTarget500Extra = 0.25;  // % of one core, 500 extra processes
constexpr double kCpuTargetWine = 0.3;       // monitor + wineserver under Wine
constexpr double kRssTargetKiB = 4 * 1024;
constexpr double kWineLikeToFloor = 1.1;  // per tick, Wine-like processes, against the floor
constexpr int kIntervalMs = 1000;         // the monitor's default interval

std::atomic<bool> g_stop{false};

void OnSignal(int) { g_stop = true; }

// Sleeps ms, or less once the benchmark is asked to stop.
void Nap(int ms) {
  const auto until = Clock::now() + std::chrono::milliseconds(ms);
  while (!g_stop && Clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

// The target for a count of extra processes: the two given ones, and a
// straight line through them for other counts.
double NativeTarget(int extra) {
  return kCpuTargetNoExtra + (kCpuTarget500Extra - kCpuTargetNoExtra) * extra / 500.0;
}

const char* Verdict(bool pass) { return pass ? "PASS" : "ABOVE TARGET"; }

// --- CPU of processes

// One process's CPU at one moment: the kernel's per-thread run time (ns,
// /proc/PID/task/TID/schedstat) and the whole process's stat clock ticks,
// which also keep the time of threads that have ended.
struct CpuSample {
  bool ok = false;
  unsigned long long ticks = 0;
  std::map<int, unsigned long long> threadNs;
  std::map<int, unsigned long long> threadSlices;  // times each thread was run
};

CpuSample SampleCpu(int pid) {
  CpuSample s;
  ProcStat stat;
  if (!ReadProcStat(pid, &stat)) return s;
  s.ticks = stat.cpuTicks;
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task/";
  for (int tid : ProcNumbers(tasks)) {
    std::string text;
    if (!ReadText(tasks + std::to_string(tid) + "/schedstat", &text)) continue;
    std::istringstream fields(text);
    unsigned long long ns = 0, waited = 0, slices = 0;
    if (!(fields >> ns >> waited >> slices)) continue;
    s.threadNs[tid] = ns;
    s.threadSlices[tid] = slices;
  }
  s.ok = !s.threadNs.empty();
  return s;
}

// CPU between two samples of one process.
struct CpuUse {
  double ms = 0;
  unsigned long long slices = 0;  // times its threads were put on a CPU
  bool fine = false;              // from schedstat (ns); else from clock ticks
  int threads = 0;
  bool gone = false;  // ended during the period
};

CpuUse CpuBetween(const CpuSample& a, const CpuSample& b) {
  CpuUse use;
  use.threads = static_cast<int>(b.threadNs.size());
  bool sameThreads = a.threadNs.size() == b.threadNs.size();
  for (const auto& [tid, ns] : b.threadNs) {
    auto it = a.threadNs.find(tid);
    if (it == a.threadNs.end()) {
      sameThreads = false;
      continue;
    }
    use.ms += static_cast<double>(ns - it->second) / 1e6;
    use.slices += b.threadSlices.at(tid) - a.threadSlices.at(tid);
  }
  use.fine = sameThreads;
  if (!sameThreads) {
    // Threads came or went: only the process's ticks account for all.
    use.ms =
        1000.0 * static_cast<double>(b.ticks - a.ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
  }
  return use;
}

// --- tick by tick

// The CPU of each tick of a process that wakes once a second, from its run
// time sampled every 25 ms: a tick is a run of samples in which it used
// CPU. Whatever else the machine does lands on some ticks of either process
// in turn; the median tick is what the program's own tick costs.
class TickCosts {
 public:
  explicit TickCosts(int pid) : pid_(pid), last_(RunNs()) {}
  void Sample() {
    const unsigned long long now = RunNs();
    const unsigned long long used = now > last_ ? now - last_ : 0;
    last_ = now;
    if (used > 0) {
      burst_ += used;
    } else if (burst_ > 0) {
      // The first one may have begun before the first sample.
      if (seen_++ > 0) ms_.push_back(static_cast<double>(burst_) / 1e6);
      burst_ = 0;
    }
  }
  size_t count() const { return ms_.size(); }
  double MedianMs() const {
    if (ms_.empty()) return 0;
    std::vector<double> sorted = ms_;
    std::sort(sorted.begin(), sorted.end());
    const size_t mid = sorted.size() / 2;
    return sorted.size() % 2 ? sorted[mid] : (sorted[mid - 1] + sorted[mid]) / 2;
  }

 private:
  unsigned long long RunNs() const {
    unsigned long long ns = 0;
    for (const auto& [tid, threadNs] : SampleCpu(pid_).threadNs) ns += threadNs;
    return ns;
  }

  int pid_;
  unsigned long long last_;
  unsigned long long burst_ = 0;
  int seen_ = 0;
  std::vector<double> ms_;
};

// Naps ms while sampling both processes' ticks.
void NapCountingTicks(int ms, TickCosts* a, TickCosts* b) {
  const auto until = Clock::now() + std::chrono::milliseconds(ms);
  while (!g_stop && Clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
    a->Sample();
    b->Sample();
  }
}

// --- the machine's processes

std::string ProcFile(int pid, const char* name) {
  std::string text;
  ReadText("/proc/" + std::to_string(pid) + "/" + name, &text);
  return text;
}

// The NUL-separated entries of /proc/PID/cmdline or environ.
std::vector<std::string> ProcList(int pid, const char* name) {
  std::vector<std::string> items;
  const std::string text = ProcFile(pid, name);
  for (size_t start = 0; start < text.size();) {
    size_t nul = text.find('\0', start);
    if (nul == std::string::npos) nul = text.size();
    items.push_back(text.substr(start, nul - start));
    start = nul + 1;
  }
  return items;
}

std::string EnvironValue(int pid, const std::string& name) {
  for (const std::string& item : ProcList(pid, "environ"))
    if (item.compare(0, name.size() + 1, name + "=") == 0) return item.substr(name.size() + 1);
  return {};
}

// Processes on the machine: every /proc entry, and those whose executable
// can be read (what the monitor's listing yields). Each tick visits them all.
void CountProcesses(int* entries, int* readable) {
  *entries = *readable = 0;
  for (int pid : ProcNumbers("/proc")) {
    ++*entries;
    char target[4096];
    std::string link = "/proc/" + std::to_string(pid) + "/exe";
    if (readlink(link.c_str(), target, sizeof target) > 0) ++*readable;
  }
}

// --- extra idle processes

std::vector<pid_t> g_extras;

// Forks n children that wait for a signal and do nothing else; each has
// this program as its readable /proc/PID/exe. They end with the benchmark.
bool StartExtras(int n) {
  const pid_t parent = getpid();
  for (int i = 0; i < n; ++i) {
    pid_t pid = fork();
    if (pid < 0) {
      std::perror("bench_idle: fork");
      return false;
    }
    if (pid == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (getppid() != parent) _exit(0);
      signal(SIGINT, SIG_IGN);  // Ctrl+C is for the benchmark, which ends them
      for (;;) pause();
    }
    g_extras.push_back(pid);
  }
  return true;
}

fs::path g_wineRoot;  // the loader copy and the prefix of the Wine-like extras

// Starts n processes that look like Windows programs run by Wine to the
// listing: a copy of this program as files/bin/wine64-preloader, run with
// "C:\Games\GameNNN\GameNNN.exe --pause" as its arguments (so it only
// pauses) and WINEPREFIX naming a prefix whose C: is a link to its drive_c.
bool StartWineLike(int n) {
  g_wineRoot = zeph::bench::MakeTempRoot("zeph-bench-winelike");
  const fs::path loader = g_wineRoot / "files" / "bin" / "wine64-preloader";
  const fs::path prefix = g_wineRoot / "pfx";
  std::error_code ec;
  fs::create_directories(loader.parent_path(), ec);
  fs::copy_file("/proc/self/exe", loader, ec);
  fs::create_directories(prefix / "dosdevices", ec);
  fs::create_symlink("../drive_c", prefix / "dosdevices" / "c:", ec);
  if (ec) {
    std::fprintf(stderr, "bench_idle: cannot lay out the Wine-like processes: %s\n",
                 ec.message().c_str());
    return false;
  }
  const std::string env = "WINEPREFIX=" + prefix.string();
  const pid_t parent = getpid();
  for (int i = 0; i < n; ++i) {
    char game[64];
    std::snprintf(game, sizeof game, "Game%03d", i);
    std::string windowsPath = std::string("C:\\Games\\") + game + "\\" + game + ".exe";
    fs::create_directories(prefix / "drive_c" / "Games" / game, ec);
    WriteFile(prefix / "drive_c" / "Games" / game / (std::string(game) + ".exe"), "MZ");
    pid_t pid = fork();
    if (pid < 0) {
      std::perror("bench_idle: fork");
      return false;
    }
    if (pid == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);  // kept across the exec
      if (getppid() != parent) _exit(0);
      char* argv[] = {windowsPath.data(), const_cast<char*>("--pause"), nullptr};
      char* envp[] = {const_cast<char*>(env.c_str()), nullptr};
      execve(loader.c_str(), argv, envp);
      _exit(127);
    }
    g_extras.push_back(pid);
  }
  return true;
}

void EndExtras() {
  for (pid_t pid : g_extras) kill(pid, SIGKILL);
  for (pid_t pid : g_extras) waitpid(pid, nullptr, 0);
  g_extras.clear();
  if (!g_wineRoot.empty()) {
    std::error_code ec;
    fs::remove_all(g_wineRoot, ec);
    g_wineRoot.clear();
  }
}

// --- the floor: the bare listing

// Forks a child that, once a second, reads every /proc entry and the exe
// link of each, keeping nothing. It ends with the benchmark.
pid_t StartBareListing() {
  const pid_t parent = getpid();
  pid_t pid = fork();
  if (pid != 0) return pid;
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(0);
  signal(SIGINT, SIG_IGN);
  timespec next{};
  clock_gettime(CLOCK_MONOTONIC, &next);
  char link[300];
  char target[4096];
  for (;;) {
    if (DIR* dir = opendir("/proc")) {
      while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
        std::snprintf(link, sizeof link, "/proc/%s/exe", entry->d_name);
        if (readlink(link, target, sizeof target) < 0) continue;
      }
      closedir(dir);
    }
    next.tv_sec += kIntervalMs / 1000;
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
  }
}

// --- the monitor

// Waits up to timeoutMs for pid (our child) to end; its wait status in *status.
bool WaitEnded(pid_t pid, int timeoutMs, int* status) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    pid_t r = waitpid(pid, status, WNOHANG);
    if (r == pid) return true;
    if (r < 0) return false;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

bool Alive(pid_t pid) {
  int status = 0;
  return waitpid(pid, &status, WNOHANG) == 0;
}

// A fresh temporary program folder holding a copy of the monitor (its
// program folder is its executable's) and one profile.
struct Folder {
  fs::path root, prog, monitor;
};

Folder MakeFolder(const fs::path& built, const std::string& exeName) {
  Folder f;
  f.root = zeph::bench::MakeTempRoot("zeph-bench-idle");
  f.prog = f.root / "prog";
  fs::create_directories(f.prog / "wyn");
  fs::create_directories(f.root / "config");
  fs::create_directories(f.root / "run");
  chmod((f.root / "run").c_str(), 0700);
  f.monitor = f.prog / exeName;
  std::error_code ec;
  fs::copy_file(built, f.monitor, ec);
  if (ec) {
    std::fprintf(stderr, "bench_idle: cannot copy the monitor %s: %s\n", built.c_str(),
                 ec.message().c_str());
    fs::remove_all(f.root, ec);
    std::exit(1);
  }
  WriteFile(f.prog / "wyn" / "bench.wyn",
            "[VERSION]\r\nVERSION=6.1\r\n"
            "[IDENTIFICATION]\r\nAPPLICATION_NAME=Bench Game\r\n"
            "[CONFIGURATION]\r\nHIDE_FILE=FALSE\r\nEXECUTABLE=\"benchgame.exe\"\r\n");
  return f;
}

// Starts argv[0] (a path) with argv in the program folder, its output to
// outFile; the child is killed should this benchmark die.
pid_t Spawn(const Folder& f, const std::vector<std::string>& args, const fs::path& outFile,
            bool usePath) {
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid < 0) {
    std::perror("bench_idle: fork");
    return -1;
  }
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(0);
    setenv("XDG_CONFIG_HOME", (f.root / "config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (f.root / "run").c_str(), 1);
    int in = open("/dev/null", O_RDONLY);
    int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in >= 0) dup2(in, 0);
    if (out >= 0) {
      dup2(out, 1);
      dup2(out, 2);
    }
    if (chdir(f.prog.c_str()) != 0) _exit(126);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    if (usePath)
      execvp(argv[0], argv.data());
    else
      execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

// Stops our child with TERM (KILL after 10 s) and prints how it ended.
void Stop(pid_t pid, const char* what) {
  kill(pid, SIGTERM);
  int status = 0;
  if (WaitEnded(pid, 10000, &status)) {
    if (WIFEXITED(status))
      std::printf("Stopped with TERM:                     %s ended, exit code %d\n", what,
                  WEXITSTATUS(status));
    else if (WIFSIGNALED(status))
      std::printf("Stopped with TERM:                     %s ended by signal %d\n", what,
                  WTERMSIG(status));
  } else {
    std::printf("Stopped with TERM:                     %s STILL RUNNING after 10 s; killed\n",
                what);
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
}

void PrintMemory(int pid, bool withTargets) {
  const auto status = ProcStatus(pid);
  auto get = [&](const char* key) {
    auto it = status.find(key);
    return it == status.end() ? 0ull : it->second;
  };
  const double rssKiB = static_cast<double>(get("VmRSS"));
  const double hwmKiB = static_cast<double>(get("VmHWM"));
  if (withTargets) {
    std::printf(
        "Resident memory (VmRSS):               %10.0f KiB = %.2f MiB (target under 4 MiB)  %s\n",
        rssKiB, rssKiB / 1024, Verdict(rssKiB < kRssTargetKiB));
    std::printf(
        "Peak resident memory (VmHWM):          %10.0f KiB = %.2f MiB (target under 4 MiB)  %s\n",
        hwmKiB, hwmKiB / 1024, Verdict(hwmKiB < kRssTargetKiB));
  } else {
    std::printf("Resident memory (VmRSS / VmHWM):       %10.0f / %.0f KiB\n", rssKiB, hwmKiB);
  }
  std::printf("  of it anonymous / file-backed / shared: %llu / %llu / %llu KiB\n", get("RssAnon"),
              get("RssFile"), get("RssShmem"));
  std::printf("  virtual size (VmSize):               %10llu KiB\n", get("VmSize"));
  if (!withTargets) return;
  std::string rollup = ProcFile(pid, "smaps_rollup");
  if (rollup.empty()) return;
  std::printf("  /proc/PID/smaps_rollup:\n");
  std::istringstream lines(rollup);
  std::string line;
  std::getline(lines, line);  // the address range
  while (std::getline(lines, line))
    if (line.rfind("Rss", 0) == 0 || line.rfind("Pss", 0) == 0 || line.rfind("Private", 0) == 0 ||
        line.rfind("Shared", 0) == 0 || line.rfind("Anonymous", 0) == 0)
      std::printf("    %s\n", line.c_str());
}

struct Result {
  std::string label;
  double percent = 0, perTickMs = 0, rssKiB = 0, target = 0;
  double floorPercent = 0, floorPerTickMs = 0;
  double medianTickMs = 0, floorMedianTickMs = 0;  // the typical tick of each
  bool ok = false;
  bool wineLike = false;  // the extra processes look like Wine's to the listing
};

bool WithinFloor(const Result& r) {
  return r.floorMedianTickMs > 0 && r.medianTickMs <= kWineLikeToFloor * r.floorMedianTickMs;
}

// --- natively

Result MeasureNative(int extra, int seconds, bool wineLike) {
  Result r;
  r.label = std::to_string(extra) + (wineLike ? " Wine-like" : " extra");
  r.target = NativeTarget(extra);
  r.wineLike = wineLike;
  std::printf("\n== Native monitor, %d extra %s process%s\n", extra,
              wineLike ? "Wine-like" : "idle", extra == 1 ? "" : "es");
  std::fflush(stdout);
  if (!(wineLike ? StartWineLike(extra) : StartExtras(extra))) {
    EndExtras();
    return r;
  }
  Folder f = MakeFolder(ZEPH_MONITOR_EXE, "ZephMonitor");
  const pid_t pid = Spawn(f, {f.monitor.string()}, "/dev/null", false);
  std::error_code ec;
  auto finish = [&] {
    EndExtras();
    fs::remove_all(f.root, ec);
  };
  if (pid < 0) {
    finish();
    return r;
  }
  // Start-up (its reminder box, the listing of the profiles) is left out
  // of the idle period.
  Nap(1500);
  if (!Alive(pid)) {
    std::fprintf(stderr, "bench_idle: the monitor did not start (it ended at once)\n");
    finish();
    return r;
  }

  const pid_t floor = StartBareListing();
  Nap(200);
  const CpuSample before = SampleCpu(pid);
  const CpuSample floorBefore = SampleCpu(floor);
  TickCosts monitorTicks(pid), floorTicks(floor);
  const auto t0 = Clock::now();
  NapCountingTicks(seconds * 1000, &monitorTicks, &floorTicks);
  const double wallS = std::chrono::duration<double>(Clock::now() - t0).count();
  const CpuSample after = SampleCpu(pid);
  const CpuSample floorAfter = SampleCpu(floor);
  kill(floor, SIGKILL);
  waitpid(floor, nullptr, 0);
  if (!Alive(pid) || !after.ok || g_stop) {
    std::fprintf(stderr, "bench_idle: %s\n",
                 g_stop ? "stopped" : "the monitor ended during the idle period");
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    finish();
    return r;
  }
  const CpuUse use = CpuBetween(before, after);
  const double ticks = wallS * 1000.0 / kIntervalMs;
  r.percent = 100.0 * use.ms / (wallS * 1000.0);
  r.perTickMs = use.ms / ticks;
  r.rssKiB = static_cast<double>(ProcStatus(pid)["VmRSS"]);
  const CpuUse floorUse = CpuBetween(floorBefore, floorAfter);
  r.floorPercent = 100.0 * floorUse.ms / (wallS * 1000.0);
  r.floorPerTickMs = floorUse.ms / ticks;
  r.medianTickMs = monitorTicks.MedianMs();
  r.floorMedianTickMs = floorTicks.MedianMs();
  r.ok = true;

  int procEntries = 0, procReadable = 0;
  CountProcesses(&procEntries, &procReadable);
  const long hz = sysconf(_SC_CLK_TCK);
  std::printf(
      "Processes on the machine:              %10d in /proc, %d with a readable executable\n",
      procEntries, procReadable);
  std::printf("CPU time since launch (utime+stime):   %10.1f ms\n",
              1000.0 * static_cast<double>(after.ticks) / static_cast<double>(hz));
  std::printf("CPU time over the idle period:         %10.3f ms in %.1f s (%s)\n", use.ms, wallS,
              use.fine ? "schedstat, ns resolution" : "stat, clock-tick resolution");
  std::printf("  as stat clock ticks:                 %10llu ticks of %ld Hz\n",
              after.ticks - before.ticks, hz);
  std::printf("CPU, %% of one core over the period:    %10.4f %%  (target under %.2f %%)  %s\n",
              r.percent, r.target, Verdict(r.percent < r.target));
  std::printf("CPU per tick:                          %10.3f ms  (%.0f ticks of %d ms)\n",
              r.perTickMs, ticks, kIntervalMs);
  std::printf("Times put on a CPU over the period:    %10llu (%d thread%s)\n", use.slices,
              use.threads, use.threads == 1 ? "" : "s");
  std::printf("Floor, the bare listing beside it:     %10.4f %%, %.3f ms per tick\n",
              r.floorPercent, r.floorPerTickMs);
  std::printf("Median tick, and the floor's:          %10.3f ms, %.3f ms  (%zu and %zu ticks)\n",
              r.medianTickMs, r.floorMedianTickMs, monitorTicks.count(), floorTicks.count());
  if (wineLike) {
    std::printf("Per tick against the floor, on average: %9.2f times\n",
                r.perTickMs / r.floorPerTickMs);
    std::printf("Median tick against the floor's:       %10.2f times  (target at most %.1f)  %s\n",
                r.medianTickMs / r.floorMedianTickMs, kWineLikeToFloor, Verdict(WithinFloor(r)));
  }
  PrintMemory(pid, true);
  Stop(pid, "the monitor");
  std::fflush(stdout);
  finish();
  return r;
}

// --- under Wine

// The Unix processes of a Windows program: their command line names the exe
// by its Windows path, which holds the temporary folder's unique name.
std::vector<int> WineProcessesOf(const std::string& exeName, const std::string& folderName) {
  std::vector<int> pids;
  for (int pid : ProcNumbers("/proc")) {
    std::string cmdline = ProcFile(pid, "cmdline");
    if (cmdline.find(exeName) != std::string::npos && cmdline.find(folderName) != std::string::npos)
      pids.push_back(pid);
  }
  return pids;
}

// The wineserver of this prefix: another prefix's server (of a test run
// beside us) must not be counted. The server's environment names its prefix,
// and its current folder is "server-<device>-<inode>" of the prefix folder.
int FindWineserver(const std::string& prefix) {
  struct stat st {};
  char tag[64] = "";
  if (stat(prefix.c_str(), &st) == 0)
    std::snprintf(tag, sizeof tag, "/server-%llx-%llx", static_cast<unsigned long long>(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
  for (int pid : ProcNumbers("/proc")) {
    ProcStat stat;
    if (!ReadProcStat(pid, &stat) || stat.name.rfind("wineserver", 0) != 0 || stat.state == 'Z')
      continue;
    char cwd[4096];
    std::string link = "/proc/" + std::to_string(pid) + "/cwd";
    ssize_t n = readlink(link.c_str(), cwd, sizeof cwd - 1);
    std::string where = n > 0 ? std::string(cwd, static_cast<size_t>(n)) : std::string();
    const bool tagMatches =
        tag[0] && where.size() >= std::strlen(tag) &&
        where.compare(where.size() - std::strlen(tag), std::string::npos, tag) == 0;
    if (tagMatches || EnvironValue(pid, "WINEPREFIX") == prefix) return pid;
  }
  return -1;
}

// Other processes of the prefix (its services, the desktop's explorer):
// shown for information, they are not the monitor's cost.
std::vector<int> OtherPrefixProcesses(const std::string& prefix, const std::set<int>& except) {
  std::vector<int> pids;
  for (int pid : ProcNumbers("/proc")) {
    if (except.count(pid) || pid == getpid()) continue;
    ProcStat stat;
    if (!ReadProcStat(pid, &stat) || stat.state == 'Z') continue;
    if (EnvironValue(pid, "WINEPREFIX") == prefix) pids.push_back(pid);
  }
  return pids;
}

std::string ShortCmdline(int pid) {
  std::vector<std::string> args = ProcList(pid, "cmdline");
  std::string text = args.empty() ? "pid " + std::to_string(pid) : args[0];
  return text.size() > 60 ? "..." + text.substr(text.size() - 57) : text;
}

// One line: CPU over the period in ms, % of one core, per tick, the times
// its threads were put on a CPU, its threads, and the clock it came from.
void PrintUse(const std::string& what, const CpuUse& u, double wallS) {
  if (u.gone) {
    std::printf("  %-34s (ended during the period)\n", what.c_str());
    return;
  }
  const double ticks = wallS * 1000.0 / kIntervalMs;
  std::printf("  %-34s %10.3f ms = %7.4f %%  %7.3f ms/tick  %6llu runs  %2d thr  %s\n",
              what.c_str(), u.ms, 100.0 * u.ms / (wallS * 1000.0), u.ms / ticks, u.slices,
              u.threads, u.fine ? "ns" : "ticks");
}

// CPU of each process over ms milliseconds; the period's length in *wallS.
std::map<int, CpuUse> MeasureCpu(const std::vector<int>& pids, int ms, double* wallS) {
  std::map<int, CpuSample> before;
  for (int pid : pids) before[pid] = SampleCpu(pid);
  const auto t0 = Clock::now();
  Nap(ms);
  *wallS = std::chrono::duration<double>(Clock::now() - t0).count();
  std::map<int, CpuUse> use;
  for (int pid : pids) {
    CpuSample after = SampleCpu(pid);
    use[pid] = after.ok && before[pid].ok ? CpuBetween(before[pid], after) : CpuUse{};
    use[pid].gone = !after.ok;
  }
  return use;
}

int RunWine(const std::string& exe, int seconds) {
  const char* prefixEnv = std::getenv("WINEPREFIX");
  const char* display = std::getenv("DISPLAY");
  if (!prefixEnv || !*prefixEnv || !display || !*display) {
    std::fprintf(stderr,
                 "bench_idle: --wine needs WINEPREFIX and DISPLAY (a fresh prefix and an X "
                 "display): run it as\n  bench/with-wine bench_idle --wine %s\n",
                 exe.c_str());
    return 2;
  }
  std::error_code ec;
  const std::string prefix = fs::weakly_canonical(prefixEnv, ec).string();
  std::printf("\n== Windows build under Wine (prefix %s, DISPLAY %s)\n",
              fs::path(prefix).filename().c_str(), display);
  const int server = FindWineserver(prefix);
  if (server < 0) {
    std::fprintf(stderr,
                 "bench_idle: no wineserver runs for this prefix; bench/with-wine keeps one up "
                 "(wineserver -p)\n");
    return 1;
  }
  // First the prefix at rest without the monitor: Wine's own services keep
  // its server busy too, which is no cost of the monitor's.
  double baseWallS = 0;
  std::vector<int> restPids = OtherPrefixProcesses(prefix, {server});
  restPids.insert(restPids.begin(), server);
  std::map<int, std::string> names;
  for (int pid : restPids) names[pid] = ShortCmdline(pid);
  const std::map<int, CpuUse> rest = MeasureCpu(restPids, seconds * 1000, &baseWallS);
  if (g_stop) return 1;
  std::printf("The prefix at rest, without the monitor, over %.1f s:\n", baseWallS);
  for (int pid : restPids)
    PrintUse(pid == server ? "wineserver (pid " + std::to_string(pid) + ")" : names[pid],
             rest.at(pid), baseWallS);
  const double baseServerPercent = 100.0 * rest.at(server).ms / (baseWallS * 1000.0);

  Folder f = MakeFolder(exe, "ZephMonitor.exe");
  const fs::path output = f.root / "wine-output.log";
  const pid_t wine = Spawn(f, {"wine", f.monitor.string()}, output, true);
  if (wine < 0) {
    fs::remove_all(f.root, ec);
    return 1;
  }
  const std::string folderName = f.root.filename().string();
  auto fail = [&](const std::string& why) {
    std::fflush(stdout);
    std::fprintf(stderr, "bench_idle: %s\n", why.c_str());
    std::string text;
    if (ReadText(output, &text) && !text.empty())
      std::fprintf(stderr, "Wine's output:\n%s\n", text.c_str());
    for (int pid : WineProcessesOf("ZephMonitor.exe", folderName)) kill(pid, SIGKILL);
    kill(wine, SIGKILL);
    waitpid(wine, nullptr, 0);
    fs::remove_all(f.root, ec);
    return 1;
  };

  // Start-up is over once the settings file says ACTIVE (written just before
  // the watch timer starts); a few more seconds let Wine's own start settle.
  const auto t0 = Clock::now();
  std::string settings;
  while (!g_stop && (!ReadText(f.prog / "zephmon.ini", &settings) ||
                     settings.find("ACTIVE") == std::string::npos)) {
    if (!Alive(wine)) return fail("the monitor ended during start-up");
    if (Clock::now() - t0 > std::chrono::seconds(90))
      return fail("the monitor did not finish its start-up within 90 s (no zephmon.ini)");
    Nap(100);
  }
  const double startupS = std::chrono::duration<double>(Clock::now() - t0).count();
  Nap(5000);
  const std::vector<int> monitors = WineProcessesOf("ZephMonitor.exe", folderName);
  if (g_stop) return fail("stopped");
  if (monitors.empty()) return fail("no process names ZephMonitor.exe in its command line");
  std::set<int> known(monitors.begin(), monitors.end());
  known.insert(server);
  const std::vector<int> others = OtherPrefixProcesses(prefix, known);
  for (int pid : others) names[pid] = ShortCmdline(pid);

  std::vector<int> all = monitors;
  all.push_back(server);
  all.insert(all.end(), others.begin(), others.end());
  double wallS = 0;
  const std::map<int, CpuUse> cpu = MeasureCpu(all, seconds * 1000, &wallS);
  if (g_stop) return fail("stopped");
  if (!Alive(wine)) return fail("the monitor ended during the idle period");
  if (WineProcessesOf("ZephMonitor.exe", folderName) != monitors)
    std::printf("(the monitor's processes changed during the period)\n");

  const double ticks = wallS * 1000.0 / kIntervalMs;
  auto use = [&](int pid) { return cpu.at(pid); };
  auto line = [&](const std::string& what, const CpuUse& u) { PrintUse(what, u, wallS); };
  std::printf("\nWith the monitor:\n");
  std::printf(
      "Start-up:                              %10.1f s until the settings file said ACTIVE, "
      "then 5 s\n",
      startupS);
  std::printf("Idle period:                           %10.1f s = %.0f ticks of %d ms\n", wallS,
              ticks, kIntervalMs);
  std::printf("CPU over the period (ms, %% of one core, per tick, times put on a CPU, threads):\n");
  double monitorMs = 0;
  for (int pid : monitors) {
    CpuUse u = use(pid);
    monitorMs += u.ms;
    line("monitor (pid " + std::to_string(pid) + ")", u);
  }
  const CpuUse serverUse = use(server);
  line("wineserver (pid " + std::to_string(server) + ")", serverUse);
  const double sumMs = monitorMs + serverUse.ms;
  const double sumPercent = 100.0 * sumMs / (wallS * 1000.0);
  std::printf("  %-34s %10.3f ms = %7.4f %%  %7.3f ms/tick\n", "monitor + wineserver", sumMs,
              sumPercent, sumMs / ticks);
  std::printf("CPU of monitor + wineserver, %% of one core: %.4f %%  (target under %.1f %%)  %s\n",
              sumPercent, kCpuTargetWine, Verdict(sumPercent < kCpuTargetWine));
  std::printf(
      "  less the server's CPU with the prefix at rest (%.4f %%): %.4f %% (the monitor's share)\n",
      baseServerPercent, sumPercent - baseServerPercent);
  if (!others.empty()) {
    std::printf("Other processes of the prefix (not counted above):\n");
    for (int pid : others) line(names[pid], use(pid));
  }
  std::printf("Monitor's process %d:\n", monitors.front());
  PrintMemory(monitors.front(), false);
  Stop(wine, "the monitor");
  for (int pid : WineProcessesOf("ZephMonitor.exe", folderName)) kill(pid, SIGKILL);
  std::fflush(stdout);
  fs::remove_all(f.root, ec);
  return 0;
}

bool ParseList(const char* text, std::vector<int>* out) {
  out->clear();
  std::string s = text;
  for (size_t start = 0; start <= s.size();) {
    size_t comma = s.find(',', start);
    if (comma == std::string::npos) comma = s.size();
    std::string item = s.substr(start, comma - start);
    char* end = nullptr;
    long v = std::strtol(item.c_str(), &end, 10);
    if (item.empty() || *end != '\0' || v < 0 || v > 10000) return false;
    out->push_back(static_cast<int>(v));
    start = comma + 1;
  }
  return !out->empty();
}

}  // namespace

int main(int argc, char** argv) {
  // A Wine-like extra process: it only waits to be killed.
  if (argc == 2 && std::strcmp(argv[1], "--pause") == 0) {
    signal(SIGINT, SIG_IGN);
    for (;;) pause();
  }
  int seconds = 60;
  int wineLike = 50;
  std::vector<int> extras = {0, 500};
  std::string wineExe;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
      seconds = zeph::bench::ParseInt(argv[++i], 60);
    } else if (std::strcmp(argv[i], "--extra") == 0 && i + 1 < argc) {
      if (!ParseList(argv[++i], &extras)) {
        std::fprintf(stderr, "bench_idle: --extra takes counts such as 0,500\n");
        return 2;
      }
    } else if (std::strcmp(argv[i], "--wine-like") == 0 && i + 1 < argc) {
      wineLike = zeph::bench::ParseInt(argv[++i], 50, 1000000, 0);  // 0 leaves the case out
    } else if (std::strcmp(argv[i], "--wine") == 0 && i + 1 < argc) {
      wineExe = argv[++i];
    } else {
      std::fprintf(stderr,
                   "usage: bench_idle [--seconds N] [--extra N,N,...] [--wine-like N] "
                   "[--wine ZephMonitor.exe]\n");
      return 2;
    }
  }
  signal(SIGINT, OnSignal);
  signal(SIGTERM, OnSignal);

  std::printf("bench_idle: the monitor at rest (default interval %d ms, one profile)\n",
              kIntervalMs);
  std::printf("Monitor:        %s\n", wineExe.empty() ? ZEPH_MONITOR_EXE : wineExe.c_str());
  std::printf("Idle period:    %d s per measurement\n", seconds);
  std::fflush(stdout);

  if (!wineExe.empty()) {
    if (!fs::is_regular_file(wineExe)) {
      std::fprintf(stderr, "bench_idle: %s is no file\n", wineExe.c_str());
      return 2;
    }
    return RunWine(wineExe, seconds);
  }

  std::vector<Result> results;
  for (int extra : extras) {
    if (g_stop) break;
    Result r = MeasureNative(extra, seconds, false);
    if (!r.ok) return 1;
    results.push_back(r);
  }
  if (wineLike > 0 && !g_stop) {
    Result r = MeasureNative(wineLike, seconds, true);
    if (!r.ok) return 1;
    results.push_back(r);
  }
  if (results.size() > 1) {
    std::printf("\n== Summary (native)\n");
    std::printf("  %-12s %10s %10s %12s %12s  %s\n", "processes", "CPU %", "ms/tick",
                "floor ms/tick", "VmRSS KiB", "CPU target");
    for (const Result& r : results) {
      if (r.wineLike)
        std::printf(
            "  %-12s %10.4f %10.3f %12.3f %12.0f  median tick %.2f times the floor's, at most "
            "%.1f  %s\n",
            r.label.c_str(), r.percent, r.perTickMs, r.floorPerTickMs, r.rssKiB,
            r.medianTickMs / r.floorMedianTickMs, kWineLikeToFloor, Verdict(WithinFloor(r)));
      else
        std::printf("  %-12s %10.4f %10.3f %12.3f %12.0f  under %.2f %%  %s\n", r.label.c_str(),
                    r.percent, r.perTickMs, r.floorPerTickMs, r.rssKiB, r.target,
                    Verdict(r.percent < r.target));
    }
  }
  return 0;
}
