// One text edit of the set-up pass (DELETE by "anywhere in the line", or
// REPLACE) on a file, through the platform's real files: the time it takes
// and the peak resident memory of the whole process. bench/edit-vs-sed runs
// it beside sed on copies of the same file and prints the ratio.
//
//   bench_edit generate FILE MB          writes a test file of about MB megabytes
//   bench_edit delete FILE TEXT          drops the lines that hold TEXT (any case)
//   bench_edit replace FILE FIND WITH    replaces FIND (any case) by WITH
//
// With --journal last, the edit runs in a journaled set-up pass, as the
// monitor's does: the journal goes to FILE.journal, beside the file (the
// same volume, so the old file is kept by a link, not copied).
//
// An edit prints "ms=<time> peak_kb=<memory> platform=<where>" on one line.
#include <cstdio>
#include <fstream>
#include <string>

#include "BenchSeam.h"
#include "BenchUtil.h"
#include "setup/EditRules.h"
#include "setup/Journal.h"
#include "setup/TextEdits.h"
#include "system/Seam.h"
#include "system/WinPath.h"

#ifdef _WIN32
#include <psapi.h>
#else
#include <sys/resource.h>
#endif

namespace {

using zeph::bench::Clock;

unsigned long long PeakKilobytes() {
#ifdef _WIN32
  PROCESS_MEMORY_COUNTERS counters{};
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return counters.PeakWorkingSetSize / 1024;
#else
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<unsigned long long>(usage.ru_maxrss);  // kB on Linux
#endif
}

// Lines of a game's config file, CR LF each, about 50 bytes on average: one
// in eight binds the mouse (what DELETE drops), one in five holds "low" in
// some case (what REPLACE changes).
int Generate(const std::string& path, int megabytes) {
  std::ofstream out(zeph::bench::BuildPath(path), std::ios::binary);
  const unsigned long long target = static_cast<unsigned long long>(megabytes) << 20;
  std::string line;
  unsigned long long written = 0;
  for (unsigned long long n = 0; written < target; ++n) {
    if (n % 8 == 3) {
      line = "bind MOUSE" + std::to_string(n % 5) + " \"+attack; wait\" // player " +
             std::to_string(n);
    } else if (n % 5 == 1) {
      line = "seta r_detail_" + std::to_string(n) + " \"Low\"  // was LOW, then low";
    } else {
      line = "seta cl_option_" + std::to_string(n) + " \"" + std::to_string(n * 7919 % 100000) +
             "\" // a setting, saved";
    }
    line += "\r\n";
    out << line;
    written += line.size();
  }
  out.close();
  if (!out) {
    std::fprintf(stderr, "bench_edit: cannot write %s\n", path.c_str());
    return 1;
  }
  return 0;
}

int Usage() {
  std::fprintf(stderr,
               "usage: bench_edit generate FILE MB\n"
               "       bench_edit delete FILE TEXT\n"
               "       bench_edit replace FILE FIND WITH\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const bool journaled = argc > 4 && std::string(argv[argc - 1]) == "--journal";
  if (journaled) --argc;
  if (argc < 4) return Usage();
  const std::string command = argv[1];
  const std::string file = argv[2];
  if (command == "generate") return Generate(file, zeph::bench::ParseInt(argv[3], 20, 100000));
  if (command != "delete" && !(command == "replace" && argc == 5)) return Usage();

  zeph::PlatformSystem real = zeph::CreatePlatformSystem(argc, argv);
  const std::string path = zeph::bench::SeamPath(zeph::bench::BuildPath(file).string());
  zeph::SystemError err;
  zeph::JournaledSystem journal(real.Seam(), path + ".journal");
  zeph::Files& files = journaled ? journal.Seam().files : *real.files;
  const Clock::time_point start = Clock::now();
  bool ok = !journaled || journal.OpenPass({zeph::FolderOf(path), path, "1"}, &err);
  ok = ok && (command == "delete"
                  ? zeph::DeleteLines(files, path, zeph::DeleteRule(argv[3], "2"), &err)
                  : zeph::ReplaceInLines(files, path, zeph::ReplaceRule(argv[3], argv[4]), &err));
  if (journaled) journal.ClosePass(ok);
  const double ms = zeph::bench::MillisSince(start);
  if (!ok) {
    std::fprintf(stderr, "bench_edit: %s failed: %s\n", command.c_str(), err.Describe().c_str());
    return 1;
  }
  std::printf("ms=%.1f peak_kb=%llu platform=%s journal=%s\n", ms, PeakKilobytes(),
              zeph::bench::PlatformLabel().c_str(), journaled ? "on" : "off");
  return 0;
}
