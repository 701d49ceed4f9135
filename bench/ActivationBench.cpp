// bench_activation: what one activation costs on the real platform, measured
// against as many launches of a program that does nothing.
//
// An activation (Activation::ActivateProfile, as the watch loop starts it)
// opens the game's profile once and reads it, writes the event utility's
// settings file, writes the command script and runs the control utility
// once per command: 6 reset calls and 32 to 41 script calls. Nearly all of its time should be those
// launches. This benchmark runs it on the real platform seam in a temporary program folder holding
// copies of the built stand-in companions, and times it against the same number of sequential
// launches of "testchild exit 0" through the same RunAndWait, in alternating rounds. It prints the
// calls per activation (counted from the control utility's log, two lines per call), the median
// time of each, their ratio (target at most 1.15) and the cost per call, and where the activation's
// time went.
//
// Two profiles, both with every key the activation reads, USE_KEYS=FALSE and
// no mouse axes (so the event utility is not started):
//   plain  no curves, no precision: 6 + 32 = 38 calls
//   full   six curves and precision: 6 + 41 = 47 calls
//
// Before each activation the event utility's and the customizer's settings
// files are removed (untimed), so that every INI write of the activation
// changes its file, as at a switch between games whose settings differ;
// --same-game keeps them, as when the same game is started again.
//
// Options: --rounds N (default 21; 9 for the Windows build),
// --profile plain|full|both (default both), --same-game.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "BenchSeam.h"
#include "system/ProcessHelpers.h"
#include "BenchUtil.h"
#include "activation/Activation.h"
#include "system/Seam.h"

#ifndef _WIN32
#include <signal.h>
#include <unistd.h>
#endif

#ifndef ZEPH_PROGRAM_DIR
#error "ZEPH_PROGRAM_DIR must name the folder of the built stand-in companions"
#endif
#ifndef ZEPH_TESTCHILD_EXE
#error "ZEPH_TESTCHILD_EXE must name the built test child"
#endif

namespace fs = std::filesystem;

namespace {

using zeph::bench::Median;
using zeph::bench::MillisSince;
using zeph::bench::ParseInt;
using zeph::bench::WriteFile;

using Clock = std::chrono::steady_clock;
using zeph::bench::PlatformLabel;

constexpr const char* kName = "bench_activation";
constexpr int kResetCalls = 6;  // CompanionControl::ResetController

// The temporary folder, removed also when the benchmark gives up.
fs::path g_root;

[[noreturn]] void Fail(const std::string& text) {
  std::fflush(stdout);
  std::fprintf(stderr, "%s: %s\n", kName, text.c_str());
  if (!g_root.empty()) {
    std::error_code ec;
    fs::remove_all(g_root, ec);
  }
  std::exit(1);
}

double Quartile(std::vector<double> values, int which) {
  std::sort(values.begin(), values.end());
  if (values.empty()) return 0;
  return values[std::min(values.size() - 1, values.size() * static_cast<size_t>(which) / 4)];
}

std::string SeamPath(const fs::path& path) { return zeph::bench::SeamPath(path.string()); }

unsigned long OwnProcessId() {
#ifdef _WIN32
  return GetCurrentProcessId();
#else
  return static_cast<unsigned long>(getpid());
#endif
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void CopyProgram(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
  if (ec) Fail("cannot copy " + from.string() + " to " + to.string() + ": " + ec.message());
  fs::permissions(to,
                  fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                      fs::perms::others_read | fs::perms::others_exec,
                  ec);
}

// --- the profiles

struct Variant {
  const char* name;
  const char* description;
  const char* file;  // in wyn/
  bool curvesAndPrecision;
  int expectedCalls;
  double ratioTarget;
};

const Variant kVariants[] = {
    {"plain", "all keys, no curves, no precision", "plain.wyn", false, 38, 1.15},
    {"full", "all keys, six curves and precision", "full.wyn", true, 47, 1.15},
};

// A profile with every key the activation reads: maps of the right lengths,
// buttons and motion aliases in use, USE_KEYS=FALSE and no mouse axes.
std::string ProfileText(const Variant& v) {
  std::string t;
  t += "[IDENTIFICATION]\r\nAPPLICATION_NAME=Bench Game " + std::string(v.name) +
       "\r\nLEVEL=EXPERT\r\nORIENTATION=VERTICAL\r\n";
  t += "[VERSION]\r\nVERSION=6.1\r\nFILE_REVISION_NUMBER=1\r\n";
  t += "[CONFIGURATION]\r\nHIDE_FILE=FALSE\r\nEXECUTABLE=\"benchgame.exe\"\r\n"
       "COPY_FILES=FALSE\r\nCUSTOM=FALSE\r\nUSE_MASTER_USER=FALSE\r\n"
       "USE_CHORDING_USER=TRUE\r\nUSE_KEYS=FALSE\r\n";
  t += "[TUNING]\r\nUSE_BUTTONS=TRUE\r\n";
  for (int n = 0; n < 16; ++n)
    t += "BUTTON_" + std::to_string(n) + "_USER='Button " + std::to_string(n) + "', 'Press', 'F" +
         std::to_string(n % 12 + 1) + "'\r\n";
  t += std::string("USE_PRECISION_USER=") + (v.curvesAndPrecision ? "TRUE" : "FALSE") + "\r\n";
  t += "PRECISION_SENS_USER=3\r\nPRECISION_GAIN_USER=40\r\nPRECISION_MODE_USER=TOGGLE\r\n"
       "PRECISION_BUTTON_USER=4\r\nNULL_REGION_USER=12\r\n";
  static const char* const kKeys[6][2] = {{"RIGHT", "LEFT"}, {"DOWN", "UP"}, {"A", "D"},
                                          {"W", "S"},        {"Q", "E"},     {"Z", "X"}};
  for (int n = 0; n < 6; ++n) {
    const std::string i = std::to_string(n);
    t += "MOTION_ALIAS_" + i + "_POS_USER='Axis " + i + "', 'Plus', '" + kKeys[n][0] + "'\r\n";
    t += "MOTION_ALIAS_" + i + "_NEG_USER='Axis " + i + "', 'Minus', '" + kKeys[n][1] + "'\r\n";
  }
  t += "MOTION_ALIAS_X=-1\r\nMOTION_ALIAS_Y=-1\r\n";
  t += "[THALIX]\r\nAXIS_MAP_USER={ 0,1,2,3,4,5 }\r\nPOLARITY_USER={ +,-,+,-,+,- }\r\n"
       "GAIN_EXP_USER={ 100, 050, 075, 100, 100, 100, 100 }\r\n"
       "SENS_EXP_USER={ 1,2,3,4,5,6,7 }\r\n";
  for (int n = 0; n < 6; ++n)
    t += "CURVE_" + std::to_string(n) +
         "_USER=" + (v.curvesAndPrecision ? ".\\curves\\axis" + std::to_string(n) + ".crv" : "") +
         "\r\n";
  t += "[ZEPHEVENT]\r\n";
  for (int n = 0; n < 6; ++n)
    t += "DEADZONE_" + std::to_string(n) + "_USER=" + std::to_string(4 + n) + "\r\n";
  return t;
}

// --- the seam, with the activation's calls timed by kind

struct Counts {
  int runs = 0;        // RunAndWait, waited for
  int runsNoWait = 0;  // RunAndWait without waiting (the event utility)
  int runsFailed = 0;  // exit code other than 0
  int lastFailedCode = 0;
  double runMs = 0;
  int iniWrites = 0;  // calls: one key, or many keys of one file
  int iniKeys = 0;
  double iniWriteMs = 0;
  int iniReads = 0;
  double iniReadMs = 0;
  int textWrites = 0;
  double textWriteMs = 0;
};

// f(), with its time added to *ms and one more call to *calls.
template <typename F>
auto Timed(double* ms, int* calls, F f) {
  const auto start = Clock::now();
  auto result = f();
  *ms += MillisSince(start);
  ++*calls;
  return result;
}

// The real seam with its launches, INI writes and reads and text writes
// counted and timed. A launch is timed from its start until its end is seen;
// one whose end is never asked about was started without waiting.
class TimingSeam {
 public:
  TimingSeam(zeph::PlatformSystem& real, const std::string& folder)
      : real_(real),
        program_(*real.program, folder, kName),
        processes_(*this),
        ini_(*this),
        files_(*this) {}
  Counts counts;
  std::vector<std::string> commands;  // of the waited-for runs, since the last clear

  zeph::SystemSeam Seam() {
    return {program_, files_, ini_, *real_.registry, processes_, *real_.loop};
  }
  zeph::Desktop& Desktop() { return desktop_; }
  int RunAndWait(const std::string& commandLine, bool noWait) {
    return zeph::RunAndWait(processes_, *real_.loop, commandLine, noWait);
  }
  void ProcessPendingMessages() { real_.loop->ProcessPendingMessages(); }

 private:
  class Handle final : public zeph::ProcessHandle {
   public:
    Handle(TimingSeam& seam, std::unique_ptr<zeph::ProcessHandle> real, std::string commandLine,
           Clock::time_point start)
        : seam_(seam),
          real_(std::move(real)),
          commandLine_(std::move(commandLine)),
          start_(start) {}
    ~Handle() override {
      if (!ended_) seam_.counts.runsNoWait++;
    }
    bool State(bool* running, uint32_t* exitCode, zeph::SystemError* err) override {
      const bool ok = real_->State(running, exitCode, err);
      if (ok && !*running && !ended_) {
        ended_ = true;
        seam_.counts.runMs += MillisSince(start_);
        seam_.counts.runs++;
        seam_.commands.push_back(commandLine_);
        if (*exitCode != 0) {
          seam_.counts.runsFailed++;
          seam_.counts.lastFailedCode = static_cast<int>(*exitCode);
        }
      }
      return ok;
    }
    intptr_t WaitObject() const override { return real_->WaitObject(); }

   private:
    TimingSeam& seam_;
    std::unique_ptr<zeph::ProcessHandle> real_;
    std::string commandLine_;
    Clock::time_point start_;
    bool ended_ = false;
  };

  class Processes final : public zeph::Processes {
   public:
    explicit Processes(TimingSeam& seam) : seam_(seam) {}
    std::vector<zeph::ProcessInfo> List() override { return seam_.real_.processes->List(); }
    std::unique_ptr<zeph::ProcessHandle> Open(uint32_t pid, zeph::SystemError* err) override {
      return seam_.real_.processes->Open(pid, err);
    }
    std::unique_ptr<zeph::ProcessHandle> Start(const std::string& commandLine,
                                               zeph::SystemError* err) override {
      // Timed from before the process is made: creating it is part of the launch.
      const auto start = Clock::now();
      auto handle = seam_.real_.processes->Start(commandLine, err);
      if (!handle) {
        seam_.counts.runs++;
        seam_.counts.runsFailed++;
        seam_.counts.lastFailedCode = -1;
        return nullptr;
      }
      return std::make_unique<Handle>(seam_, std::move(handle), commandLine, start);
    }
    bool CloseWindowByTitle(const std::string& title) override {
      return seam_.real_.processes->CloseWindowByTitle(title);
    }
    bool StartShown(const std::string& commandLine, int show, uint32_t* pid,
                    zeph::SystemError* err) override {
      return seam_.real_.processes->StartShown(commandLine, show, pid, err);
    }
    bool ActivateMainWindow(uint32_t pid) override {
      return seam_.real_.processes->ActivateMainWindow(pid);
    }
    bool OpenAddress(const std::string& address, int show, zeph::SystemError* err) override {
      return seam_.real_.processes->OpenAddress(address, show, err);
    }

   private:
    TimingSeam& seam_;
  };

  class Ini final : public zeph::IniFiles {
   public:
    explicit Ini(TimingSeam& seam) : seam_(seam) {}
    std::string ReadString(const std::string& file, const std::string& section,
                           const std::string& key, const std::string& def,
                           size_t bufferSize) override {
      return Timed(&seam_.counts.iniReadMs, &seam_.counts.iniReads, [&] {
        return seam_.real_.ini->ReadString(file, section, key, def, bufferSize);
      });
    }
    bool WriteString(const std::string& file, const std::string& section, const std::string& key,
                     const std::string& value, zeph::SystemError* err) override {
      seam_.counts.iniKeys++;
      return Timed(&seam_.counts.iniWriteMs, &seam_.counts.iniWrites,
                   [&] { return seam_.real_.ini->WriteString(file, section, key, value, err); });
    }
    bool WriteStrings(const std::string& file, const std::vector<zeph::IniEntry>& entries,
                      zeph::SystemError* err) override {
      seam_.counts.iniKeys += static_cast<int>(entries.size());
      return Timed(&seam_.counts.iniWriteMs, &seam_.counts.iniWrites,
                   [&] { return seam_.real_.ini->WriteStrings(file, entries, err); });
    }
    std::unique_ptr<zeph::IniReader> Open(const std::string& file, zeph::ReadResult* result,
                                          zeph::SystemError* err) override {
      const auto start = Clock::now();
      auto reader = seam_.real_.ini->Open(file, result, err);
      seam_.counts.iniReadMs += MillisSince(start);
      if (!reader) return nullptr;
      return std::make_unique<Reader>(seam_, std::move(reader));
    }

   private:
    // The profile opened once for the activation's reads, as the watch loop opens it.
    class Reader final : public zeph::IniReader {
     public:
      Reader(TimingSeam& seam, std::unique_ptr<zeph::IniReader> real)
          : seam_(seam), real_(std::move(real)) {}
      std::string Read(const std::string& section, const std::string& key, const std::string& def,
                       size_t bufferSize) override {
        return Timed(&seam_.counts.iniReadMs, &seam_.counts.iniReads,
                     [&] { return real_->Read(section, key, def, bufferSize); });
      }

     private:
      TimingSeam& seam_;
      std::unique_ptr<zeph::IniReader> real_;
    };

    TimingSeam& seam_;
  };

  class Files final : public zeph::Files {
   public:
    explicit Files(TimingSeam& seam) : seam_(seam) {}
    zeph::Files& real() { return *seam_.real_.files; }
    bool IsFile(const std::string& path) override { return real().IsFile(path); }
    bool IsFolder(const std::string& path) override { return real().IsFolder(path); }
    bool List(const std::string& folder, std::vector<std::string>* names,
              zeph::SystemError* err) override {
      return real().List(folder, names, err);
    }
    bool MakeEmptyFile(const std::string& path, zeph::SystemError* err) override {
      return real().MakeEmptyFile(path, err);
    }
    bool MakeFolder(const std::string& path, zeph::SystemError* err) override {
      return real().MakeFolder(path, err);
    }
    bool MakePrivateFolder(const std::string& path, zeph::SystemError* err) override {
      return real().MakePrivateFolder(path, err);
    }
    std::string ResolvedPath(const std::string& path) override { return real().ResolvedPath(path); }
    zeph::ReadResult ReadText(const std::string& path, std::string* contents,
                              zeph::SystemError* err) override {
      return real().ReadText(path, contents, err);
    }
    bool WriteText(const std::string& path, const std::string& contents,
                   zeph::SystemError* err) override {
      return Timed(&seam_.counts.textWriteMs, &seam_.counts.textWrites,
                   [&] { return real().WriteText(path, contents, err); });
    }
    bool WriteTextUnsynced(const std::string& path, const std::string& contents,
                           zeph::SystemError* err) override {
      return Timed(&seam_.counts.textWriteMs, &seam_.counts.textWrites,
                   [&] { return real().WriteTextUnsynced(path, contents, err); });
    }
    std::unique_ptr<zeph::FileReader> OpenRead(const std::string& path, zeph::ReadResult* result,
                                               zeph::SystemError* err) override {
      return real().OpenRead(path, result, err);
    }
    std::unique_ptr<zeph::WorkFile> CreateWorkFile(const std::string& target,
                                                   zeph::SystemError* err) override {
      return real().CreateWorkFile(target, err);
    }
    bool Remove(const std::string& path, zeph::SystemError* err) override {
      return real().Remove(path, err);
    }
    bool ListFolders(const std::string& folder, std::vector<std::string>* names,
                     zeph::SystemError* err) override {
      return real().ListFolders(folder, names, err);
    }
    bool RemoveFolder(const std::string& path, zeph::SystemError* err) override {
      return real().RemoveFolder(path, err);
    }
    zeph::ReadResult Size(const std::string& path, uint64_t* size,
                          zeph::SystemError* err) override {
      return real().Size(path, size, err);
    }

   private:
    TimingSeam& seam_;
  };

  zeph::PlatformSystem& real_;
  zeph::bench::BenchProgram program_;
  zeph::bench::BenchDesktop desktop_;
  Processes processes_;
  Ini ini_;
  Files files_;
};

// What the control utility's log gained: calls (a "start" and an "end" line
// each) and calls that did not end with 0.
struct LogDelta {
  std::vector<std::string> started;  // the arguments of each "start" line
  int startLines = 0;
  int endLines = 0;
  int failed = 0;
};

LogDelta ReadLogFrom(const fs::path& log, size_t* offset) {
  const std::string text = ReadFile(log);
  LogDelta d;
  size_t pos = std::min(*offset, text.size());
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    std::string line = text.substr(pos, nl == std::string::npos ? nl : nl - pos);
    if (line.rfind("start ", 0) == 0) {
      ++d.startLines;
      const size_t args = line.find(' ', 6);  // after "start <pid>"
      d.started.push_back(args == std::string::npos ? std::string() : line.substr(args + 1));
    }
    if (line.rfind("end ", 0) == 0) {
      ++d.endLines;
      if (line.size() < 2 || line.compare(line.size() - 2, 2, " 0") != 0) ++d.failed;
    }
    if (nl == std::string::npos) break;
    pos = nl + 1;
  }
  *offset = text.size();
  return d;
}

struct Options {
#ifdef _WIN32
  int rounds = 9;  // a Windows activation under Wine takes seconds
#else
  int rounds = 21;
#endif
  bool plain = true;
  bool full = true;
  bool sameGame = false;
};

struct Result {
  const Variant* variant = nullptr;
  int calls = 0;  // control-utility calls per activation, from the log
  int logLines = 0;
  int seamRuns = 0;
  int iniWrites = 0;
  int iniKeys = 0;
  int iniReads = 0;
  int textWrites = 0;
  std::vector<double> activation, baseline, ratio;
  std::vector<double> runMs, iniWriteMs, iniReadMs, textWriteMs, restMs;
  std::vector<std::string> dropped;  // rounds left out, and why
};

// The activation alone on a seam, monitoring, as the main form makes it.
struct ActivationUnit {
  class NoIcon final : public zeph::WatchStatus {
   public:
    void WatchStarted(const zeph::Game&) override {}
    void WatchEnded() override {}
  };
  ActivationUnit(zeph::SystemSeam seam, zeph::Desktop& desktop)
      : debugList(desktop),
        modes(seam.program, seam.files, seam.ini),
        companions(seam.program, seam.processes, seam.loop, debugList),
        activation(seam.program, seam.files, seam.ini, seam.loop, debugList, companions, modes,
                   icon) {
    modes.SetCurrent(zeph::Mode::Active);
  }
  zeph::DebugList debugList;
  zeph::ModeChannel modes;
  zeph::CompanionControl companions;
  NoIcon icon;
  zeph::Activation activation;
};

// Timed figures of one activation, after the warm-up has checked what it does.
struct Activator {
  ActivationUnit& unit;
  TimingSeam& sys;
  const Variant& variant;
  fs::path gameFolder;
  fs::path programFolder;
  bool sameGame;  // keep the settings files the last activation wrote

  double Run(Counts* counts) {
    if (!sameGame) {
      // As at a switch to a game whose settings differ from the last one's
      // in every key: each of the activation's INI writes changes its file.
      std::error_code ec;
      fs::remove(programFolder / "zephevent.ini", ec);
      fs::remove(programFolder / "zephcfg.ini", ec);
    }
    const std::string profile = SeamPath(programFolder) + "\\wyn\\" + variant.file;
    sys.counts = Counts{};
    sys.commands.clear();
    // As the watch loop starts it for the game it found: the profile opened
    // once for all of the activation's reads.
    zeph::MaybeStop stop;
    const auto start = Clock::now();
    const bool activated =
        unit.activation.ActivateProfile(profile, "benchgame.exe", SeamPath(gameFolder),
                                        static_cast<uint32_t>(OwnProcessId()), &stop);
    const double ms = MillisSince(start);
    if (!activated) Fail("the profile " + profile + " could not be opened");
    if (stop) Fail("the profile " + profile + " stops the program");
    *counts = sys.counts;
    return ms;
  }
};

}  // namespace

int main(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--rounds" && i + 1 < argc) {
      options.rounds = ParseInt(argv[++i], options.rounds);
    } else if (arg == "--same-game") {
      options.sameGame = true;
    } else if (arg == "--profile" && i + 1 < argc) {
      std::string which = argv[++i];
      options.plain = which == "plain" || which == "both";
      options.full = which == "full" || which == "both";
      if (!options.plain && !options.full) {
        std::fprintf(stderr, "%s: --profile takes plain, full or both\n", kName);
        return 2;
      }
    } else {
      std::fprintf(stderr, "usage: %s [--rounds N] [--profile plain|full|both] [--same-game]\n",
                   kName);
      return 2;
    }
  }

  const fs::path root = zeph::bench::MakeTempRoot("zeph-bench-activation");
  g_root = root;
#ifndef _WIN32
  // The POSIX seam keeps its registry and window registrations under these.
  setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
  setenv("XDG_RUNTIME_DIR", (root / "run").c_str(), 1);
  fs::create_directories(root / "config");
  fs::create_directories(root / "run");
#endif
  zeph::PlatformSystem real = zeph::CreatePlatformSystem(argc, argv);
#ifndef _WIN32
  // The seam turns TERM and INT into menu commands; let Ctrl+C stop the benchmark.
  signal(SIGINT, SIG_DFL);
  signal(SIGTERM, SIG_DFL);
#endif

  // The temporary program folder: the built stand-ins, the do-nothing
  // program, the profiles and the curve files.
  const fs::path folder = root / "program";
  const fs::path gameFolder = root / "games";
  fs::create_directories(folder / "wyn");
  fs::create_directories(folder / "curves");
  fs::create_directories(gameFolder);
  const fs::path built = zeph::bench::BuildPath(ZEPH_PROGRAM_DIR);
  for (const char* name : {"Zephcontrol.exe", "ZephEvent.exe"})
    CopyProgram(built / name, folder / name);
  const fs::path testchild = zeph::bench::BuildPath(ZEPH_TESTCHILD_EXE);
  CopyProgram(testchild, folder / testchild.filename());
  for (int n = 0; n < 6; ++n)
    WriteFile(folder / "curves" / ("axis" + std::to_string(n) + ".crv"),
              "curve " + std::to_string(n) + "\r\n");
  for (const Variant& v : kVariants) WriteFile(folder / "wyn" / v.file, ProfileText(v));
  const fs::path log = folder / "zephcontrol.log";
  const std::string baselineCommand =
      zeph::QuotedProgram(SeamPath(folder / testchild.filename())) + " exit 0";

  std::printf(
      "%s: one activation (Activation::ActivateProfile) against as many do-nothing launches\n",
      kName);
  std::printf("Platform:   %s\n", PlatformLabel().c_str());
  std::printf(
      "Folder:     temporary program folder with copies of the built Zephcontrol.exe,\n"
      "            ZephEvent.exe and %s, on the real platform seam\n",
      testchild.filename().string().c_str());
  std::printf("Baseline:   \"%s exit 0\" run through the same RunAndWait\n",
              testchild.filename().string().c_str());
  std::printf("Settings:   %s\n",
              options.sameGame
                  ? "kept between activations (--same-game: the same game started again)"
                  : "zephevent.ini and zephcfg.ini removed before each activation (untimed),\n"
                    "            so every INI write changes its file (a switch between games)");
  std::printf(
      "Timing:     steady_clock, %d rounds after one warm-up, activation and baseline\n"
      "            alternating; figures are medians, the ratio the median of the\n"
      "            per-round ratios\n",
      options.rounds);
  std::fflush(stdout);

  std::vector<Result> results;
  std::vector<std::unique_ptr<TimingSeam>> systems;
  std::vector<std::unique_ptr<ActivationUnit>> units;
  std::vector<Activator> activators;
  size_t logOffset = 0;
  for (const Variant& v : kVariants) {
    if ((!v.curvesAndPrecision && !options.plain) || (v.curvesAndPrecision && !options.full))
      continue;
    systems.push_back(std::make_unique<TimingSeam>(real, SeamPath(folder)));
    units.push_back(
        std::make_unique<ActivationUnit>(systems.back()->Seam(), systems.back()->Desktop()));
    activators.push_back(
        Activator{*units.back(), *systems.back(), v, gameFolder, folder, options.sameGame});
    Result r;
    r.variant = &v;
    results.push_back(r);
  }

  // What is wrong with one activation, by the control utility's log and the
  // exit codes; "" when every launch left its two lines and ended with 0.
  auto checkActivation = [&](size_t k, const Counts& counts, LogDelta* d) -> std::string {
    *d = ReadLogFrom(log, &logOffset);
    if (counts.runsNoWait) Fail("the activation started the event utility");
    if (counts.runsFailed)
      return std::to_string(counts.runsFailed) + " of " + std::to_string(counts.runs) +
             " launches failed (exit code " + std::to_string(counts.lastFailedCode) + ")";
    if (d->failed) return std::to_string(d->failed) + " calls logged an exit code other than 0";
    if (d->startLines == d->endLines && d->startLines == counts.runs) return {};
    std::string what = std::to_string(d->startLines) + " start and " + std::to_string(d->endLines) +
                       " end lines in the log for " + std::to_string(counts.runs) + " launches";
    // Name the first launch that left no line; compared without quotes, as
    // the log quotes only arguments with blanks.
    auto unquoted = [](std::string text) {
      text.erase(std::remove(text.begin(), text.end(), '"'), text.end());
      return text;
    };
    const std::vector<std::string>& run = activators[k].sys.commands;
    for (size_t i = 0, j = 0; i < run.size(); ++i) {
      const std::string args = run[i].substr(run[i].find(".exe\" ") + 6);
      if (j < d->started.size() && unquoted(d->started[j]) == unquoted(args)) {
        ++j;
      } else {
        what += "; launch " + std::to_string(i + 1) + " (" + args + ") left none";
        break;
      }
    }
    return what;
  };
  // As many do-nothing launches as the activation made calls, then the
  // message processing the activation also does once; "" when all ended with 0.
  auto runBaseline = [&](TimingSeam& sys, int calls, double* ms) -> std::string {
    const auto start = Clock::now();
    int failed = 0, lastCode = 0;
    for (int i = 0; i < calls; ++i) {
      const int code = sys.RunAndWait(baselineCommand, false);
      if (code != 0) {
        ++failed;
        lastCode = code;
      }
    }
    sys.ProcessPendingMessages();
    *ms = MillisSince(start);
    if (!failed) return {};
    return std::to_string(failed) + " of " + std::to_string(calls) +
           " do-nothing launches failed (exit code " + std::to_string(lastCode) + ")";
  };

  // Warm-up: one activation each, checked -- the calls counted from the
  // control utility's log, all of them ended with 0, no event utility. A
  // launch that fails now and then (seen under Wine: CreateProcess failing
  // with an internal error) costs a retry here and a dropped round below.
  for (size_t k = 0; k < activators.size(); ++k) {
    Result& r = results[k];
    for (int attempt = 1;; ++attempt) {
      Counts counts;
      LogDelta d;
      activators[k].Run(&counts);
      const std::string problem = checkActivation(k, counts, &d);
      if (problem.empty()) {
        r.calls = d.startLines;
        r.logLines = d.startLines + d.endLines;
        r.seamRuns = counts.runs;
        r.iniWrites = counts.iniWrites;
        r.iniKeys = counts.iniKeys;
        r.iniReads = counts.iniReads;
        r.textWrites = counts.textWrites;
        break;
      }
      std::printf("  note: warm-up activation %d of the %s profile: %s\n", attempt, r.variant->name,
                  problem.c_str());
      if (attempt == 3) Fail("the activation failed three times");
    }
    if (r.calls != r.variant->expectedCalls)
      std::printf("  note: %s profile made %d calls, %d expected\n", r.variant->name, r.calls,
                  r.variant->expectedCalls);
    double ms = 0;
    const std::string problem = runBaseline(activators[k].sys, r.calls, &ms);
    if (!problem.empty()) std::printf("  note: warm-up baseline: %s\n", problem.c_str());
  }

  for (int round = 0; round < options.rounds; ++round) {
    for (size_t k = 0; k < activators.size(); ++k) {
      Result& r = results[k];
      Counts counts;
      LogDelta d;
      const double a = activators[k].Run(&counts);
      std::string problem = checkActivation(k, counts, &d);
      if (problem.empty() && counts.runs != r.calls)
        problem = std::to_string(counts.runs) + " calls instead of " + std::to_string(r.calls);
      double b = 0;
      const std::string baselineProblem = runBaseline(activators[k].sys, r.calls, &b);
      if (problem.empty()) problem = baselineProblem;
      if (!problem.empty()) {
        // A failed launch shortens what it is part of: the round says nothing.
        r.dropped.push_back("round " + std::to_string(round + 1) + ": " + problem);
        continue;
      }
      r.activation.push_back(a);
      r.baseline.push_back(b);
      r.ratio.push_back(a / b);
      r.runMs.push_back(counts.runMs);
      r.iniWriteMs.push_back(counts.iniWriteMs);
      r.iniReadMs.push_back(counts.iniReadMs);
      r.textWriteMs.push_back(counts.textWriteMs);
      r.restMs.push_back(a - counts.runMs - counts.iniWriteMs - counts.iniReadMs -
                         counts.textWriteMs);
    }
  }
  for (const Result& r : results) {
    if (r.activation.empty() || r.dropped.size() * 3 > static_cast<size_t>(options.rounds))
      Fail(std::to_string(r.dropped.size()) + " of " + std::to_string(options.rounds) +
           " rounds of the " + r.variant->name + " profile had failed launches");
  }

  bool allPass = true;
  for (const Result& r : results) {
    const Variant& v = *r.variant;
    const double a = Median(r.activation), b = Median(r.baseline), ratio = Median(r.ratio);
    const bool pass = ratio <= v.ratioTarget;
    allPass = allPass && pass;
    std::printf("\nProfile \"%s\" (%s; USE_KEYS=FALSE, no mouse axes)\n", v.name, v.description);
    std::printf(
        "  control-utility calls per activation: %d (%d reset + %d script; %d lines\n"
        "    in zephcontrol.log, two per call; all ended with 0)\n",
        r.calls, kResetCalls, r.calls - kResetCalls, r.logLines);
    std::printf("  rounds: %zu", r.activation.size());
    if (!r.dropped.empty())
      std::printf(" (%zu dropped for a failed launch; first: %s)", r.dropped.size(),
                  r.dropped.front().c_str());
    std::printf("\n");
    std::printf("  activation (ActivateProfile):         %9.2f ms\n", a);
    std::printf("  %2d do-nothing launches:               %9.2f ms\n", r.calls, b);
    std::printf(
        "  activation / launches:                %9.3f  (quartiles %.3f - %.3f;\n"
        "                                                   ratio of the medians %.3f)\n",
        ratio, Quartile(r.ratio, 1), Quartile(r.ratio, 3), a / b);
    std::printf("  per call: activation                  %9.3f ms\n", a / r.calls);
    std::printf("            do-nothing launch           %9.3f ms\n", b / r.calls);
    std::printf("            difference                  %9.3f ms\n", (a - b) / r.calls);
    std::printf("  where the activation's time went (medians of the rounds):\n");
    auto part = [](const std::string& label, double ms, const std::string& note) {
      std::printf("    %-35s %9.2f ms%s\n", label.c_str(), ms, note.c_str());
    };
    char note[128];
    std::snprintf(note, sizeof note, "  (%.3f ms each, %+.3f ms over a do-nothing launch)",
                  Median(r.runMs) / r.seamRuns, (Median(r.runMs) - b) / r.seamRuns);
    part("control-utility runs (" + std::to_string(r.seamRuns) + ")", Median(r.runMs), note);
    std::snprintf(note, sizeof note, "  (%.3f ms each)",
                  Median(r.iniWriteMs) / std::max(1, r.iniWrites));
    part("INI writes (" + std::to_string(r.iniWrites) + " calls, " + std::to_string(r.iniKeys) +
             " keys)",
         Median(r.iniWriteMs), note);
    part("script write (" + std::to_string(r.textWrites) + ")", Median(r.textWriteMs), "");
    part("INI reads (" + std::to_string(r.iniReads) + ")", Median(r.iniReadMs), "");
    part("the rest", Median(r.restMs), "");
    std::printf("  target: activation / launches at most %.2f: %s\n", v.ratioTarget,
                pass ? "PASS" : "ABOVE TARGET");
    std::fflush(stdout);
  }

  std::printf("\nSummary (%s)\n", PlatformLabel().c_str());
  std::printf("  %-8s %6s %14s %14s %8s %12s %12s\n", "profile", "calls", "activation ms",
              "launches ms", "ratio", "ms/call act", "ms/call base");
  for (const Result& r : results) {
    const double a = Median(r.activation), b = Median(r.baseline);
    std::printf("  %-8s %6d %14.2f %14.2f %8.3f %12.3f %12.3f\n", r.variant->name, r.calls, a, b,
                Median(r.ratio), a / r.calls, b / r.calls);
  }
  std::printf("  Target at most 1.15: %s\n", allPass ? "PASS" : "ABOVE TARGET");

  std::error_code ec;
  fs::remove_all(root, ec);
  return 0;
}
