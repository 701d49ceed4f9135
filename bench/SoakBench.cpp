// bench_soak: many short game runs through the real monitor, watching that
// it holds no more memory, handles or threads after a thousand than after a
// hundred, and that it leaves no process behind.
//
// A temporary program folder holds copies of the built monitor and of the
// stand-in control and event utilities, one profile (the plain one: 6 reset
// + 32 script calls per activation, no event utility) and a copy of the test
// child as the game in games\. The monitor runs at its default interval.
// Per run: start the game, wait until the control utility's log shows the
// activation's calls, end the game, wait until the end-of-game reset's calls
// are logged. After start-up and every --every runs it prints what the
// monitor holds (SoakPlatform.h).
//
// Options: --runs N (default 1000), --every N (default 100), --warm N (the
// run compared with the last, default 100), --timeout S (per wait, default
// 60).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "BenchUtil.h"
#include "SoakPlatform.h"

#ifndef ZEPH_PROGRAM_DIR
#error "ZEPH_PROGRAM_DIR must name the build's program folder"
#endif
#ifndef ZEPH_TESTCHILD_EXE
#error "ZEPH_TESTCHILD_EXE must name the built test child"
#endif

namespace fs = std::filesystem;

namespace {

using zeph::bench::Clock;
using zeph::bench::soak::Platform;
using zeph::bench::soak::Usage;

constexpr const char* kName = "bench_soak";
constexpr int kResetCalls = 6;    // MainForm::ResetController
constexpr int kScriptCalls = 32;  // the plain profile's command script
constexpr int kActivationCalls = kResetCalls + kScriptCalls;
// A pass that has logged fewer calls than expected counts as over once no
// call is running and nothing more was logged for this long (a launch that
// failed is not logged at all).
constexpr int kSettleMs = 5000;

const std::string kTuning =
    "[TUNING]\r\nNULL_REGION_USER=10\r\n[THALIX]\r\nAXIS_MAP_USER={ 0,1,2,3,4,5 }\r\n"
    "POLARITY_USER={ +,-,+,-,+,- }\r\nGAIN_EXP_USER={ 100, 050, 075, 100, 100, 100, 100 }\r\n"
    "SENS_EXP_USER={ 1,2,3,4,5,6,7 }\r\nCURVE_0_USER=\r\nCURVE_1_USER=\r\nCURVE_2_USER=\r\n"
    "CURVE_3_USER=\r\nCURVE_4_USER=\r\nCURVE_5_USER=\r\n";

std::atomic<bool> g_stop{false};
extern "C" void OnSignal(int) { g_stop = true; }

// The control utility's log, read as it grows: "start PID ARGS" when a run
// begins, "end PID CODE" when it ends.
class ControlLog {
 public:
  explicit ControlLog(fs::path path) : path_(std::move(path)) {}

  // Takes in what was appended since the last call; true when anything was.
  bool Poll() {
    std::ifstream in(path_, std::ios::binary);
    if (!in) return false;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size <= offset_) return false;
    in.seekg(offset_);
    std::string chunk(static_cast<size_t>(size - offset_), '\0');
    in.read(&chunk[0], static_cast<std::streamsize>(chunk.size()));
    chunk.resize(static_cast<size_t>(in.gcount()));
    offset_ += static_cast<std::streamoff>(chunk.size());
    partial_ += chunk;
    size_t start = 0;
    for (size_t nl; (nl = partial_.find('\n', start)) != std::string::npos; start = nl + 1)
      Take(partial_.substr(start, nl - start));
    partial_.erase(0, start);
    lastChange_ = Clock::now();
    return true;
  }

  long Starts() const { return starts_; }
  long Ends() const { return ends_; }
  long Failures() const { return failures_; }
  Clock::time_point LastChange() const { return lastChange_; }
  std::string Tail() const {
    std::string text;
    for (const std::string& line : tail_) text += "    " + line + "\n";
    return text.empty() ? "    (nothing logged)\n" : text;
  }

 private:
  void Take(std::string line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    tail_.push_back(line);
    if (tail_.size() > 12) tail_.pop_front();
    if (line.rfind("start ", 0) == 0) ++starts_;
    if (line.rfind("end ", 0) == 0) {
      ++ends_;
      size_t blank = line.rfind(' ');
      if (line.substr(blank + 1) != "0") ++failures_;
    }
  }

  fs::path path_;
  std::streamoff offset_ = 0;
  std::string partial_;
  long starts_ = 0, ends_ = 0, failures_ = 0;
  std::deque<std::string> tail_;
  Clock::time_point lastChange_ = Clock::now();
};

struct Options {
  int runs = 1000;
  int every = 100;
  int warm = 100;
  int timeoutS = 60;
};

struct Line {
  int run = 0;
  double elapsedS = 0;
  Usage usage;
};

class Soak {
 public:
  Soak(Platform& platform, Options options) : p_(platform), o_(options) {}

  ~Soak() {
    p_.EndAll();
    if (!root_.empty()) {
      // Files of processes just ended may stay locked for a moment (Windows).
      std::error_code ec;
      for (int attempt = 0; attempt < 50; ++attempt) {
        fs::remove_all(root_, ec);
        if (!ec) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
    }
  }

  int Run() {
    if (!Setup()) return 1;
    std::printf("%s: %d short game runs through the real monitor\n", kName, o_.runs);
    std::printf("Platform:   %s\n", zeph::bench::PlatformLabel().c_str());
    std::printf(
        "Folder:     temporary program folder: copies of the built %s, Zephcontrol.exe,\n"
        "            ZephEvent.exe; profile wyn\\soak.wyn (6 reset + 32 script calls);\n"
        "            game games\\%s (a copy of the test child)\n",
        p_.MonitorName().c_str(), gameName_.c_str());
    std::printf(
        "Per run:    start the game, wait for %d calls in zephcontrol.log, end the game,\n"
        "            wait for the %d calls of the end-of-game reset (each wait at most %d s)\n",
        kActivationCalls, kResetCalls, o_.timeoutS);
    std::printf("Children:   %s\n", p_.ChildrenRule());
    std::fflush(stdout);

    if (!StartMonitor()) return 1;
    std::printf("\n%6s %10s %8s %14s %8s %8s %9s\n", "run", "elapsed s", "s/run",
                (std::string(p_.MemoryName()) + " KiB").c_str(), p_.HandlesName(), "threads",
                "children");
    t0_ = Clock::now();
    Print(0);
    for (int run = 1; run <= o_.runs; ++run) {
      if (!OneRun(run)) return 1;
      if (run % o_.every == 0 || run == o_.runs || run == o_.warm) Print(run);
    }
    return Verdict() ? 0 : 3;
  }

 private:
  bool Setup() {
    root_ = zeph::bench::MakeTempRoot("zeph-bench-soak");
    prog_ = root_ / "prog";
    std::error_code ec;
    fs::create_directories(prog_ / "wyn", ec);
    fs::create_directories(prog_ / "games", ec);
    const fs::path built = zeph::bench::BuildPath(ZEPH_PROGRAM_DIR);
    for (const std::string& name :
         {p_.MonitorName(), std::string("Zephcontrol.exe"), std::string("ZephEvent.exe")})
      if (!Copy(built / name, prog_ / name)) return false;
    gameName_ = "zsoak" + std::to_string(p_.OwnProcessId()) + ".exe";
    game_ = prog_ / "games" / gameName_;
    if (!Copy(zeph::bench::BuildPath(ZEPH_TESTCHILD_EXE), game_)) return false;
    zeph::bench::WriteFile(
        prog_ / "wyn" / "soak.wyn",
        "[IDENTIFICATION]\r\nAPPLICATION_NAME=Soak Game\r\n[VERSION]\r\nVERSION=6.1\r\n"
        "FILE_REVISION_NUMBER=1\r\n[CONFIGURATION]\r\nHIDE_FILE=FALSE\r\nEXECUTABLE=\"" +
            gameName_ + "\"\r\nCOPY_FILES=FALSE\r\nCUSTOM=FALSE\r\nUSE_KEYS=FALSE\r\n" + kTuning);
    std::string error;
    if (!p_.Prepare(root_, &error)) return Fail(error);
    log_ = std::make_unique<ControlLog>(prog_ / "zephcontrol.log");
    return true;
  }

  bool Copy(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
    if (ec)
      return Fail("cannot copy " + from.string() + " to " + to.string() + ": " + ec.message());
    fs::permissions(to, fs::perms::owner_all, fs::perm_options::add, ec);
    return true;
  }

  bool StartMonitor() {
    std::string error;
    if (!p_.StartMonitor(prog_ / p_.MonitorName(), &error)) return Fail(error);
    // Start-up is over once the settings file says ACTIVE (it is written
    // just before the watch timer starts).
    const auto until = Clock::now() + std::chrono::seconds(o_.timeoutS);
    std::string settings;
    while (!zeph::bench::ReadText(prog_ / "zephmon.ini", &settings) ||
           settings.find("ACTIVE") == std::string::npos) {
      if (g_stop) return Fail("stopped");
      if (!p_.MonitorRunning()) return Fail("the monitor ended during its start-up");
      if (Clock::now() >= until)
        return Fail("the monitor did not finish its start-up within " +
                    std::to_string(o_.timeoutS) + " s (zephmon.ini does not say ACTIVE)");
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::this_thread::sleep_for(std::chrono::seconds(2));
    return true;
  }

  bool OneRun(int run) {
    std::string error;
    const long before = log_->Ends();
    if (!p_.StartGame(game_, &error)) return Fail("run " + std::to_string(run) + ": " + error);
    if (!WaitCalls(run, "the activation", before, kActivationCalls)) return false;
    if (!p_.EndGame(&error)) return Fail("run " + std::to_string(run) + ": " + error);
    return WaitCalls(run, "the end-of-game reset", log_->Ends(), kResetCalls);
  }

  // Waits until `expected` more calls than `base` have ended in the log.
  bool WaitCalls(int run, const char* pass, long base, int expected) {
    const auto until = Clock::now() + std::chrono::seconds(o_.timeoutS);
    for (;;) {
      log_->Poll();
      const long done = log_->Ends() - base;
      if (done >= expected) return true;
      const bool idle = log_->Starts() == log_->Ends();
      if (done > 0 && idle &&
          Clock::now() - log_->LastChange() > std::chrono::milliseconds(kSettleMs)) {
        shortPasses_.push_back("run " + std::to_string(run) + ", " + pass + ": " +
                               std::to_string(done) + " of " + std::to_string(expected) + " calls");
        missingCalls_ += expected - done;
        return true;
      }
      if (g_stop) return Fail("stopped");
      if (!p_.MonitorRunning())
        return Fail("run " + std::to_string(run) + ": the monitor ended during " + pass);
      if (Clock::now() >= until) {
        return Fail("run " + std::to_string(run) + ": " + pass + " logged " + std::to_string(done) +
                    " of " + std::to_string(expected) + " control-utility calls within " +
                    std::to_string(o_.timeoutS) + " s (" +
                    std::to_string(log_->Starts() - log_->Ends()) +
                    " started and not ended); the log's last lines:\n" + log_->Tail());
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }

  // What the monitor holds; a process it started may still be ending just
  // after its last log line, so leftovers are only believed after 2 s.
  Usage Sample() {
    Usage u = p_.MonitorUsage();
    for (int i = 0; i < 20 && u.ok && u.children > 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      u = p_.MonitorUsage();
    }
    return u;
  }

  void Print(int run) {
    Line line;
    line.run = run;
    line.elapsedS = std::chrono::duration<double>(Clock::now() - t0_).count();
    line.usage = Sample();
    const double perRun = lines_.empty() || run == lines_.back().run
                              ? 0
                              : (line.elapsedS - lines_.back().elapsedS) /
                                    static_cast<double>(run - lines_.back().run);
    const Usage& u = line.usage;
    std::printf("%6d %10.1f %8.2f %14.0f %8ld %8ld %9ld%s%s\n", run, line.elapsedS, perRun,
                u.memoryKiB, u.handles, u.threads, u.children, u.childNames.empty() ? "" : "  ",
                u.childNames.c_str());
    std::fflush(stdout);
    lines_.push_back(line);
  }

  bool Verdict() {
    log_->Poll();
    const Line& last = lines_.back();
    const Line* warm = &lines_.front();
    for (const Line& l : lines_)
      if (l.run <= o_.warm) warm = &l;
    std::printf("\nCalls logged: %ld (%ld with a non-zero exit code)\n", log_->Ends(),
                log_->Failures());
    if (!shortPasses_.empty()) {
      std::printf(
          "Passes with calls missing (a launch that failed is not logged): %zu, %ld "
          "calls\n",
          shortPasses_.size(), missingCalls_);
      for (size_t i = 0; i < shortPasses_.size() && i < 10; ++i)
        std::printf("  %s\n", shortPasses_[i].c_str());
    }
    bool ok = true;
    std::vector<std::string> findings;
    for (const Line& l : lines_) {
      if (!l.usage.ok) {
        findings.push_back("the monitor's figures could not be read at run " +
                           std::to_string(l.run));
        ok = false;
      }
      if (l.usage.children > 0) {
        findings.push_back(std::to_string(l.usage.children) + " process(es) left behind at run " +
                           std::to_string(l.run) + ": " + l.usage.childNames);
        ok = false;
      }
    }
    if (warm->run == last.run) {
      std::printf("Verdict: too few runs to compare after the warm-up (run %d)\n", o_.warm);
      return ok;
    }
    const Usage& a = warm->usage;
    const Usage& b = last.usage;
    // Memory moves by a few pages either way (the heap, pages of the
    // executable brought in or dropped); growth is more than that.
    const double memorySlack = std::max(64.0, a.memoryKiB * 0.02);
    auto grew = [&](const char* what, double from, double to, double slack) {
      std::printf("  %-14s run %5d: %10.0f   run %5d: %10.0f   %+.0f\n", what, warm->run, from,
                  last.run, to, to - from);
      if (to > from + slack) {
        findings.push_back(std::string(what) + " grew from " + std::to_string(long(from)) + " to " +
                           std::to_string(long(to)));
        ok = false;
      }
    };
    std::printf("After the warm-up:\n");
    grew((std::string(p_.MemoryName()) + " KiB").c_str(), a.memoryKiB, b.memoryKiB, memorySlack);
    grew(p_.HandlesName(), double(a.handles), double(b.handles), 0);
    grew("threads", double(a.threads), double(b.threads), 0);
    if (ok) {
      std::printf(
          "Verdict: PASS (no growth from run %d to run %d beyond %.0f KiB of memory, "
          "no process left behind)\n",
          warm->run, last.run, memorySlack);
    } else {
      std::printf("Verdict: FAIL\n");
      for (const std::string& f : findings) std::printf("  %s\n", f.c_str());
    }
    return ok;
  }

  bool Fail(const std::string& text) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %s\n", kName, text.c_str());
    if (log_) {
      log_->Poll();
      if (text.find("last lines") == std::string::npos)
        std::fprintf(stderr, "zephcontrol.log, last lines:\n%s", log_->Tail().c_str());
    }
    std::string output = p_.MonitorOutput();
    if (!output.empty()) {
      if (output.size() > 2000) output = "..." + output.substr(output.size() - 2000);
      std::fprintf(stderr, "what the monitor printed:\n%s\n", output.c_str());
    }
    return false;
  }

  Platform& p_;
  Options o_;
  fs::path root_, prog_, game_;
  std::string gameName_;
  std::unique_ptr<ControlLog> log_;
  Clock::time_point t0_;
  std::vector<Line> lines_;
  std::vector<std::string> shortPasses_;
  long missingCalls_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    auto value = [&](int fallback) {
      return i + 1 < argc ? zeph::bench::ParseInt(argv[++i], -1) : fallback;
    };
    int v = 0;
    if (std::strcmp(argv[i], "--runs") == 0 && (v = value(-1)) > 0) {
      o.runs = v;
    } else if (std::strcmp(argv[i], "--every") == 0 && (v = value(-1)) > 0) {
      o.every = v;
    } else if (std::strcmp(argv[i], "--warm") == 0 && (v = value(-1)) > 0) {
      o.warm = v;
    } else if (std::strcmp(argv[i], "--timeout") == 0 && (v = value(-1)) > 0) {
      o.timeoutS = v;
    } else {
      std::fprintf(stderr, "usage: %s [--runs N] [--every N] [--warm N] [--timeout S]\n", kName);
      return 2;
    }
  }
  if (o.warm > o.runs) o.warm = o.runs;
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);

  std::string error;
  std::unique_ptr<Platform> platform = Platform::Create(&error);
  if (!platform) {
    std::fprintf(stderr, "%s: %s\n", kName, error.c_str());
    return 1;
  }
  int rc = Soak(*platform, o).Run();
  return rc;
}
