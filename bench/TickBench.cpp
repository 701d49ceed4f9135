// bench_tick: what one tick of the watch loop costs on the real platform,
// measured against the bare process listing in the same run.
//
// For watch lists of 1, 100 and 10,000 entries it builds a program folder
// with profiles, runs the real start-up (MainForm::Form_Load) on the platform
// seam, and then times MainForm::tmrMonitor_Timer() (no watched game runs, so
// a tick lists the processes, reads the mode, matches and returns) against
// Processes::List() alone. It prints milliseconds per call (median of
// several rounds) and their ratio, and the cost of the matching by itself.
//
// Options: --rounds N (default 31), --round-ms N (target length of one
// timed round, default 30).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "BenchSeam.h"
#include "BenchUtil.h"
#include "monitor/MainForm.h"
#include "system/IniHelpers.h"
#include "system/Seam.h"

#ifndef _WIN32
#include <signal.h>
#endif

namespace fs = std::filesystem;

namespace {

using zeph::bench::Median;
using zeph::bench::MillisSince;
using zeph::bench::ParseInt;
using zeph::bench::WriteFile;

using Clock = std::chrono::steady_clock;

using zeph::bench::BenchDesktop;
using zeph::bench::BenchProgram;
using zeph::bench::PlatformLabel;

// The program folder in the form the seam takes (backslash separators).
std::string SeamPath(const fs::path& path) { return zeph::bench::SeamPath(path.string()); }

char* GameName(char* buffer, size_t size, size_t index) {
  std::snprintf(buffer, size, "game%05zu.exe", index);
  return buffer;
}

// A program folder whose profiles name `entries` executables. Profile values
// are read with a 255-character buffer, so one profile holds ten names
// ("\"game00001.exe\",\"game00002.exe\",..."); larger lists use more profiles.
// Returns the number of profiles written.
size_t MakeProgramFolder(const fs::path& folder, size_t entries) {
  constexpr size_t kPerProfile = 10;
  fs::create_directories(folder / "wyn");
  WriteFile(folder / "zephmon.ini", "[APPLICATION]\r\nMODE=ACTIVE\r\n");
  size_t profiles = 0;
  for (size_t first = 1; first <= entries; first += kPerProfile) {
    std::string executable;
    for (size_t i = first; i < first + kPerProfile && i <= entries; ++i) {
      char name[32];
      if (!executable.empty()) executable += ',';
      executable += '"';
      executable += GameName(name, sizeof name, i);
      executable += '"';
    }
    ++profiles;
    char file[32];
    std::snprintf(file, sizeof file, "bench%05zu.wyn", profiles);
    WriteFile(folder / "wyn" / file,
              "[VERSION]\r\nVERSION=6.1\r\n"
              "[IDENTIFICATION]\r\nAPPLICATION_NAME=Bench Game " +
                  std::to_string(profiles) +
                  "\r\n"
                  "[CONFIGURATION]\r\nHIDE_FILE=FALSE\r\nEXECUTABLE=" +
                  executable + "\r\n");
  }
  return profiles;
}

// Milliseconds per call of each round.
template <typename F>
double TimeRound(F&& f, int calls) {
  const auto start = Clock::now();
  for (int i = 0; i < calls; ++i) f();
  return MillisSince(start) / calls;
}

// How many calls fill one round of about roundMs.
template <typename F>
int CallsPerRound(F&& f, double roundMs, int maxCalls) {
  double perCall = std::max(TimeRound(f, 3), 1e-6);
  int calls = static_cast<int>(roundMs / perCall);
  return std::clamp(calls, 3, maxCalls);
}

struct Options {
  int rounds = 31;
  double roundMs = 30;
};

struct SizeResult {
  size_t requested = 0;
  size_t entries = 0;
  size_t profiles = 0;
  size_t tableRows = 0;
  double startupMs = 0;
  double listMs = 0;
  double tickMs = 0;
  double ratio = 0;     // median of the ratios of side-by-side rounds
  double ratioLow = 0;  // their quartiles
  double ratioHigh = 0;
  double tableMs = 0;  // ListProcessTable: the listing made into rows
  double modeMs = 0;   // the mode read from the settings file
  double matchUs = 0;  // FindWatchEntry over the listed names, one pass
  double matchNsPerName = 0;
  double match10kUs = 0;  // FindWatchEntry over 10,000 names, one pass
};

volatile size_t g_sink = 0;

SizeResult RunSize(zeph::PlatformSystem& real, const fs::path& root, size_t entries,
                   const Options& options) {
  SizeResult r;
  r.requested = entries;
  const fs::path folder = root / ("entries-" + std::to_string(entries));
  r.profiles = MakeProgramFolder(folder, entries);

  BenchProgram program(*real.program, SeamPath(folder), "bench_tick");
  BenchDesktop desktop;
  zeph::SystemSeam sys = real.Seam();
  zeph::MainForm form({program, sys.files, sys.ini, sys.registry, sys.processes, sys.loop},
                      desktop);
  auto start = Clock::now();
  form.Form_Load();
  r.startupMs = MillisSince(start);
  r.entries = form.WatchList().size();

  auto list = [&] { g_sink = g_sink + sys.processes.List().size(); };
  auto tick = [&] { form.tmrMonitor_Timer(); };

  // Warm up both, and make sure a tick does what is meant to be timed.
  for (int i = 0; i < 5; ++i) {
    list();
    tick();
  }
  const std::string game = form.GameActivation().CurrentGame().exe;
  if (!game.empty() || form.Modes().Current() != zeph::Mode::Active) {
    std::fprintf(stderr, "bench_tick: a tick did more than list and match (game '%s', mode '%s')\n",
                 game.c_str(), zeph::ModeText(form.Modes().Current()));
    std::exit(1);
  }

  // The tick's parts outside the listing, for the breakdown.
  auto table = [&] { g_sink = g_sink + form.ListProcessTable().size(); };
  auto mode = [&] { g_sink = g_sink + static_cast<size_t>(form.Modes().Read()); };

  const int calls = CallsPerRound(list, options.roundMs, 100000);
  const int modeCalls = CallsPerRound(mode, options.roundMs / 4, 100000);
  std::vector<double> listRounds, tickRounds, tableRounds, modeRounds, pairRatios;
  for (int round = 0; round < options.rounds; ++round) {
    // Side by side, so that the drift of a shared machine (its process
    // count, other loads) falls on both alike; the ratio is taken per pair.
    const double l = TimeRound(list, calls);
    const double t = TimeRound(tick, calls);
    listRounds.push_back(l);
    tickRounds.push_back(t);
    pairRatios.push_back(t / l);
    tableRounds.push_back(TimeRound(table, calls));
    modeRounds.push_back(TimeRound(mode, modeCalls));
  }
  r.listMs = Median(listRounds);
  r.tickMs = Median(tickRounds);
  r.ratio = Median(pairRatios);
  r.tableMs = Median(tableRounds);
  r.modeMs = Median(modeRounds);
  std::sort(pairRatios.begin(), pairRatios.end());
  r.ratioLow = pairRatios[pairRatios.size() / 4];
  r.ratioHigh = pairRatios[pairRatios.size() * 3 / 4];

  // The matching alone: once over the names of this listing, and once over
  // 10,000 names of which every tenth is watched when the list is that long.
  std::vector<std::string> names;
  for (const zeph::ProcessRow& row : form.ListProcessTable()) names.push_back(row.ExeName);
  r.tableRows = names.size();
  std::vector<std::string> many;
  for (size_t i = 1; i <= 10000; ++i) {
    char name[32];
    many.push_back(i % 10 == 0 ? GameName(name, sizeof name, i)
                               : "other" + std::to_string(i) + ".exe");
  }
  auto matchListed = [&] {
    size_t hits = 0;
    for (const std::string& name : names) hits += form.FindWatchEntry(name) != nullptr;
    g_sink = g_sink + hits;
  };
  auto matchMany = [&] {
    size_t hits = 0;
    for (const std::string& name : many) hits += form.FindWatchEntry(name) != nullptr;
    g_sink = g_sink + hits;
  };
  const int matchCalls = CallsPerRound(matchListed, options.roundMs / 4, 1000000);
  const int manyCalls = CallsPerRound(matchMany, options.roundMs / 4, 1000000);
  std::vector<double> listedRounds, manyRounds;
  for (int round = 0; round < options.rounds; ++round) {
    listedRounds.push_back(TimeRound(matchListed, matchCalls));
    manyRounds.push_back(TimeRound(matchMany, manyCalls));
  }
  r.matchUs = Median(listedRounds) * 1000;
  r.matchNsPerName = names.empty() ? 0 : r.matchUs * 1000 / static_cast<double>(names.size());
  r.match10kUs = Median(manyRounds) * 1000;
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--rounds" && i + 1 < argc) {
      options.rounds = ParseInt(argv[++i], options.rounds);
    } else if (arg == "--round-ms" && i + 1 < argc) {
      options.roundMs = ParseInt(argv[++i], static_cast<int>(options.roundMs));
    } else {
      std::fprintf(stderr, "usage: bench_tick [--rounds N] [--round-ms N]\n");
      return 2;
    }
  }

  const fs::path root = zeph::bench::MakeTempRoot("zeph-bench-tick");
#ifndef _WIN32
  // The POSIX seam keeps its registry under the configuration folder: keep
  // the start-up's registry writes out of the user's own.
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

  std::printf("bench_tick: one watch-loop tick against the bare process listing\n");
  std::printf("Platform:          %s\n", PlatformLabel().c_str());
  std::printf("Processes listed:  %zu (Processes::List on the real seam)\n",
              real.processes->List().size());
  std::printf("Timing:            steady_clock, median of %d rounds of about %.0f ms each\n",
              options.rounds, options.roundMs);
  std::fflush(stdout);

  std::vector<SizeResult> results;
  for (size_t entries : {size_t{1}, size_t{100}, size_t{10000}}) {
    results.push_back(RunSize(real, root, entries, options));
    const SizeResult& r = results.back();
    std::printf("\nWatch list of %zu entries (%zu profiles, %zu entries built)\n", r.requested,
                r.profiles, r.entries);
    std::printf("  start-up (Form_Load):            %10.3f ms\n", r.startupMs);
    std::printf("  bare listing (ListProcesses):    %10.4f ms/call\n", r.listMs);
    std::printf("  tick (tmrMonitor_Timer):         %10.4f ms/call\n", r.tickMs);
    std::printf(
        "  tick / listing:                  %10.3f  (quartiles of the rounds %.3f - %.3f)\n",
        r.ratio, r.ratioLow, r.ratioHigh);
    std::printf("  of the tick: process table       %10.4f ms/call (listing made into rows)\n",
                r.tableMs);
    std::printf("               mode read           %10.4f ms/call (settings file, ReadIni)\n",
                r.modeMs);
    std::printf("  matching, %3zu listed names:      %10.3f us/pass (%.1f ns/name)\n", r.tableRows,
                r.matchUs, r.matchNsPerName);
    std::printf("  matching, 10,000 names:          %10.3f us/pass (%.1f ns/name)\n", r.match10kUs,
                r.match10kUs * 1000 / 10000);
    std::fflush(stdout);
  }

  std::printf("\nSummary (%s)\n", PlatformLabel().c_str());
  std::printf("  %8s %14s %14s %8s %16s\n", "entries", "listing ms", "tick ms", "ratio",
              "matching us");
  for (const SizeResult& r : results)
    std::printf("  %8zu %14.4f %14.4f %8.3f %16.3f\n", r.entries, r.listMs, r.tickMs, r.ratio,
                r.matchUs);
  const SizeResult& big = results.back();
  std::printf(
      "  (ratio: median of side-by-side rounds; matching: FindWatchEntry over the listed names)\n");
  std::printf("  Ratio at %zu entries: %.3f (target under 1.2): %s\n", big.entries, big.ratio,
              big.ratio < 1.2 ? "PASS" : "ABOVE TARGET");

  std::error_code ec;
  fs::remove_all(root, ec);
  return 0;
}
