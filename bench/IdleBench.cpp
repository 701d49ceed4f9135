// bench_idle: what the running monitor costs while it waits for games.
//
// Starts the real monitor (a copy, in a temporary program folder with one
// profile, at the default interval of 1000 ms, no debug option), lets it run
// idle, then reads its CPU time and resident memory from /proc, prints them
// against their targets, and stops it with TERM.
//
// Options: --seconds N (default 60).
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>

#ifndef ZEPH_MONITOR_EXE
#error "ZEPH_MONITOR_EXE must name the monitor executable"
#endif

namespace fs = std::filesystem;

#include "BenchUtil.h"

namespace {

using zeph::bench::WriteFile;

using Clock = std::chrono::steady_clock;

constexpr double kCpuTargetPercent = 0.1;
constexpr double kRssTargetKiB = 4 * 1024;

bool ReadText(const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  *text = s.str();
  return true;
}

// utime + stime of /proc/PID/stat, in clock ticks.
bool ReadCpuTicks(pid_t pid, unsigned long long* ticks) {
  std::string text;
  if (!ReadText("/proc/" + std::to_string(pid) + "/stat", &text)) return false;
  size_t close = text.rfind(')');
  if (close == std::string::npos) return false;
  std::istringstream fields(text.substr(close + 2));
  // Fields from 3 (state) on; utime and stime are fields 14 and 15.
  std::string field;
  unsigned long long utime = 0, stime = 0;
  for (int index = 3; index <= 15 && (fields >> field); ++index) {
    if (index == 14) utime = std::strtoull(field.c_str(), nullptr, 10);
    if (index == 15) stime = std::strtoull(field.c_str(), nullptr, 10);
  }
  if (!fields) return false;
  *ticks = utime + stime;
  return true;
}

// Nanoseconds on the CPU from /proc/PID/schedstat (finer than the ticks);
// false where the kernel does not provide it.
bool ReadCpuNs(pid_t pid, unsigned long long* ns) {
  std::string text;
  if (!ReadText("/proc/" + std::to_string(pid) + "/schedstat", &text)) return false;
  char* end = nullptr;
  *ns = std::strtoull(text.c_str(), &end, 10);
  return end != text.c_str();
}

// The "Name: value" lines of /proc/PID/status (values as numbers, kB).
std::map<std::string, unsigned long long> ReadStatus(pid_t pid) {
  std::map<std::string, unsigned long long> values;
  std::string text;
  if (!ReadText("/proc/" + std::to_string(pid) + "/status", &text)) return values;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    values[line.substr(0, colon)] = std::strtoull(line.c_str() + colon + 1, nullptr, 10);
  }
  return values;
}

bool Alive(pid_t pid) {
  int status = 0;
  return waitpid(pid, &status, WNOHANG) == 0;
}

// Waits up to timeoutMs for pid to end; its wait status in *status.
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

// Processes on the machine: every /proc entry, and those whose executable
// can be read (what the monitor's listing yields). Each tick visits them all.
void CountProcesses(int* entries, int* readable) {
  *entries = *readable = 0;
  DIR* dir = opendir("/proc");
  if (!dir) return;
  while (dirent* e = readdir(dir)) {
    if (e->d_name[0] < '1' || e->d_name[0] > '9') continue;
    ++*entries;
    char target[4096];
    std::string link = std::string("/proc/") + e->d_name + "/exe";
    if (readlink(link.c_str(), target, sizeof target) > 0) ++*readable;
  }
  closedir(dir);
}

const char* Verdict(bool pass) { return pass ? "PASS" : "ABOVE TARGET"; }

}  // namespace

int main(int argc, char** argv) {
  int seconds = 60;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
      seconds = std::atoi(argv[++i]);
      if (seconds < 1) seconds = 1;
    } else {
      std::fprintf(stderr, "usage: bench_idle [--seconds N]\n");
      return 2;
    }
  }

  char pattern[] = "/tmp/zeph-bench-idle-XXXXXX";
  if (!mkdtemp(pattern)) {
    std::perror("bench_idle: mkdtemp");
    return 1;
  }
  const fs::path root = pattern;
  const fs::path prog = root / "prog";
  fs::create_directories(prog / "wyn");
  fs::create_directories(root / "config");
  fs::create_directories(root / "run");
  chmod((root / "run").c_str(), 0700);
  // The monitor's program folder is the folder of its executable: a copy.
  const fs::path monitor = prog / "ZephMonitor";
  std::error_code ec;
  fs::copy_file(ZEPH_MONITOR_EXE, monitor, ec);
  if (ec) {
    std::fprintf(stderr, "bench_idle: cannot copy the monitor: %s\n", ec.message().c_str());
    return 1;
  }
  WriteFile(prog / "wyn" / "bench.wyn",
            "[VERSION]\r\nVERSION=6.1\r\n"
            "[IDENTIFICATION]\r\nAPPLICATION_NAME=Bench Game\r\n"
            "[CONFIGURATION]\r\nHIDE_FILE=FALSE\r\nEXECUTABLE=\"benchgame.exe\"\r\n");

  std::printf("bench_idle: the monitor at rest (default interval 1000 ms, one profile)\n");
  std::printf("Monitor:        %s\n", ZEPH_MONITOR_EXE);
  std::printf("Idle period:    %d s\n", seconds);
  std::fflush(stdout);

  const pid_t pid = fork();
  if (pid < 0) {
    std::perror("bench_idle: fork");
    return 1;
  }
  if (pid == 0) {
    setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (root / "run").c_str(), 1);
    int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
      dup2(null, 0);
      dup2(null, 1);
      dup2(null, 2);
      if (null > 2) close(null);
    }
    if (chdir(prog.c_str()) != 0) _exit(126);
    execl(monitor.c_str(), "ZephMonitor", static_cast<char*>(nullptr));
    _exit(127);
  }

  // Start-up (its reminder box, the listing of the profiles) is left out
  // of the idle period.
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  if (!Alive(pid)) {
    std::fprintf(stderr, "bench_idle: the monitor did not start (it ended at once)\n");
    fs::remove_all(root, ec);
    return 1;
  }

  const long hz = sysconf(_SC_CLK_TCK);
  unsigned long long ticksStart = 0, ticksAfter = 0, nsStart = 0, nsAfter = 0;
  ReadCpuTicks(pid, &ticksStart);
  const bool haveNs = ReadCpuNs(pid, &nsStart);
  const auto statusStart = ReadStatus(pid);
  const auto t0 = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const double wallS = std::chrono::duration<double>(Clock::now() - t0).count();
  if (!Alive(pid)) {
    std::fprintf(stderr, "bench_idle: the monitor ended during the idle period\n");
    fs::remove_all(root, ec);
    return 1;
  }
  ReadCpuTicks(pid, &ticksAfter);
  const bool haveNsAfter = haveNs && ReadCpuNs(pid, &nsAfter);
  const auto status = ReadStatus(pid);
  std::string rollup;
  ReadText("/proc/" + std::to_string(pid) + "/smaps_rollup", &rollup);

  const double cpuTotalMs = 1000.0 * static_cast<double>(ticksAfter) / static_cast<double>(hz);
  const double cpuIdleMs =
      haveNsAfter ? static_cast<double>(nsAfter - nsStart) / 1e6
                  : 1000.0 * static_cast<double>(ticksAfter - ticksStart) / static_cast<double>(hz);
  const double cpuPercent = 100.0 * cpuIdleMs / (wallS * 1000.0);
  auto get = [&](const char* key) {
    auto it = status.find(key);
    return it == status.end() ? 0ull : it->second;
  };
  auto getStart = [&](const char* key) {
    auto it = statusStart.find(key);
    return it == statusStart.end() ? 0ull : it->second;
  };
  const double rssKiB = static_cast<double>(get("VmRSS"));
  const double hwmKiB = static_cast<double>(get("VmHWM"));

  int procEntries = 0, procReadable = 0;
  CountProcesses(&procEntries, &procReadable);
  std::printf(
      "\nProcesses on the machine:              %10d in /proc, %d with a readable executable\n",
      procEntries, procReadable);
  std::printf("CPU time since launch (utime+stime):   %10.1f ms\n", cpuTotalMs);
  std::printf("CPU time over the idle period:         %10.3f ms in %.1f s (%s)\n", cpuIdleMs, wallS,
              haveNsAfter ? "schedstat, ns resolution" : "stat, clock-tick resolution");
  std::printf("  as stat clock ticks:                 %10llu ticks of %ld Hz\n",
              ticksAfter - ticksStart, hz);
  std::printf("CPU, %% of one core over the period:    %10.4f %%  (target under %.1f %%)  %s\n",
              cpuPercent, kCpuTargetPercent, Verdict(cpuPercent < kCpuTargetPercent));
  std::printf("Wake-ups over the period:              %10llu voluntary context switches\n",
              get("voluntary_ctxt_switches") - getStart("voluntary_ctxt_switches"));
  std::printf(
      "Resident memory (VmRSS):               %10.0f KiB = %.2f MiB (target under 4 MiB)  "
      "%s\n",
      rssKiB, rssKiB / 1024, Verdict(rssKiB < kRssTargetKiB));
  std::printf(
      "Peak resident memory (VmHWM):          %10.0f KiB = %.2f MiB (target under 4 MiB)  "
      "%s\n",
      hwmKiB, hwmKiB / 1024, Verdict(hwmKiB < kRssTargetKiB));
  std::printf("  of it anonymous / file-backed / shared: %llu / %llu / %llu KiB\n", get("RssAnon"),
              get("RssFile"), get("RssShmem"));
  std::printf("  virtual size (VmSize):               %10llu KiB\n", get("VmSize"));
  if (!rollup.empty()) {
    std::printf("  /proc/PID/smaps_rollup:\n");
    std::istringstream lines(rollup);
    std::string line;
    std::getline(lines, line);  // the address range
    while (std::getline(lines, line))
      if (line.rfind("Rss", 0) == 0 || line.rfind("Pss", 0) == 0 || line.rfind("Private", 0) == 0 ||
          line.rfind("Shared", 0) == 0 || line.rfind("Anonymous", 0) == 0)
        std::printf("    %s\n", line.c_str());
  }

  kill(pid, SIGTERM);
  int waitStatus = 0;
  const bool ended = WaitEnded(pid, 5000, &waitStatus);
  if (ended) {
    if (WIFEXITED(waitStatus))
      std::printf("Stopped with TERM:                     ended, exit code %d\n",
                  WEXITSTATUS(waitStatus));
    else if (WIFSIGNALED(waitStatus))
      std::printf("Stopped with TERM:                     ended by signal %d\n",
                  WTERMSIG(waitStatus));
  } else {
    std::printf("Stopped with TERM:                     STILL RUNNING after 5 s; killed\n");
    kill(pid, SIGKILL);
    waitpid(pid, &waitStatus, 0);
  }
  std::fflush(stdout);
  fs::remove_all(root, ec);
  return 0;
}
