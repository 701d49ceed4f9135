// The check tool's peak memory on a large game file: zephcheck runs a
// profile whose custom block has N MODIFY lines (spread over the file) or
// N APPEND lines, and the same edits run through the monitor's own routines
// on a copy of the file, each in a child process whose peak resident
// memory (ru_maxrss) is printed beside the file's size. Linux only.
//
//   bench_check [--mb N] [--modify N] [--append N] [--append-kb N] [--check-exe PATH]
//
// --check-exe runs another build of zephcheck (an older one, to compare).
// Defaults: 20 MODIFY lines on a file of 50 MB, and 2,000 APPEND lines on
// a file of 100 KB.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "BenchUtil.h"
#include "setup/EditRules.h"
#include "setup/TextEdits.h"
#include "system/posix/PosixFileSystem.h"
#include "system/posix/PosixPaths.h"

namespace {

namespace fs = std::filesystem;
using zeph::bench::Clock;

const char* const kMaps =
    "[THALIX]\r\nAXIS_MAP_USER={ 0,1,2,3,4,5 }\r\nPOLARITY_USER={ +,+,+,+,+,+ }\r\n"
    "GAIN_EXP_USER={ 100, 050, 075, 100, 100, 100, 100 }\r\nSENS_EXP_USER={ 1,2,3,4,5,6,7 }\r\n";

struct Run {
  long peakKiB = 0;
  double ms = 0;
  int status = -1;
};

// Runs body in a child process: its peak memory, time and exit status.
Run InChild(const std::function<int()>& body) {
  const auto start = Clock::now();
  const pid_t pid = fork();
  if (pid == 0) _exit(body());
  Run run;
  int status = 0;
  rusage usage{};
  if (pid > 0 && wait4(pid, &status, 0, &usage) == pid) {
    run.peakKiB = usage.ru_maxrss;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  run.ms = zeph::bench::MillisSince(start);
  return run;
}

// "key<i>=value<i>" lines with CR LF up to about bytes.
std::string GameFile(size_t bytes, size_t* lines) {
  std::string text;
  text.reserve(bytes + 64);
  for (*lines = 0; text.size() < bytes; ++*lines)
    text += "key" + std::to_string(*lines) + "=value" + std::to_string(*lines) + "\r\n";
  return text;
}

struct Edit {
  bool modify;
  std::string text;  // MODIFY: the key; APPEND: the line
};

std::string checkExe = ZEPH_CHECK_EXE;

void Measure(const fs::path& root, const char* label, size_t bytes,
             const std::vector<Edit>& edits) {
  const fs::path program = root / label;
  fs::create_directories(program / "wyn");
  fs::create_directories(program / "game");
  size_t lines = 0;
  {
    // Gone before the children fork: a child's peak counts what it inherits.
    const std::string contents = GameFile(bytes, &lines);
    zeph::bench::WriteFile(program / "game" / "big.cfg", contents);
    zeph::bench::WriteFile(program / "game" / "copy.cfg", contents);
  }

  std::string custom;
  for (const Edit& e : edits) {
    custom += e.modify ? "   'big.cfg'\\, 'MODIFY'\\, '" + e.text + "=%'\\, '" + e.text +
                             "=changed'\\, 'ALWAYS'\r\n"
                       : "   'big.cfg'\\, 'APPEND'\\, '" + e.text + "'\\, 'ALWAYS'\r\n";
  }
  const fs::path profile = program / "wyn" / "big.wyn";
  zeph::bench::WriteFile(profile,
                         "[IDENTIFICATION]\r\nAPPLICATION_NAME=Big\r\n[VERSION]\r\nVERSION=6.1\r\n"
                         "FILE_REVISION_NUMBER=1\r\n[CONFIGURATION]\r\nHIDE_FILE=FALSE\r\n"
                         "EXECUTABLE=\"big.exe\"\r\nCOPY_FILES=FALSE\r\nCUSTOM=TRUE\r\n{\r\n" +
                             custom + "   }\r\n" + kMaps);

  const std::string game = (program / "game").string();
  const Run check = InChild([&] {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    const std::string exe = checkExe;
    const std::string profileArg = profile.string();
    std::vector<char*> argv = {
        const_cast<char*>(exe.c_str()), const_cast<char*>(profileArg.c_str()),
        const_cast<char*>("--game-folder"), const_cast<char*>(game.c_str()), nullptr};
    execv(exe.c_str(), argv.data());
    return 127;
  });
  // The monitor's own routines, on the copy, through the real files.
  const Run monitor = InChild([&] {
    zeph::posix::FileSystem files;
    const std::string path = zeph::ToWindowsPath((program / "game" / "copy.cfg").string());
    for (const Edit& e : edits) {
      const bool ok =
          e.modify ? zeph::ModifyLines(
                         files, path, zeph::ModifyRule(e.text + "=%", e.text + "=changed"), nullptr)
                   : zeph::AppendLine(files, path, e.text, nullptr);
      if (!ok) return 1;
    }
    return 0;
  });
  std::printf(
      "%-7s %6zu lines on %8.1f MB (%zu lines)  zephcheck: peak %8.1f MiB, %7.0f ms, "
      "exit %d   monitor's edits: peak %6.1f MiB, %6.0f ms\n",
      label, edits.size(), static_cast<double>(bytes) / 1e6, lines,
      static_cast<double>(check.peakKiB) / 1024, check.ms, check.status,
      static_cast<double>(monitor.peakKiB) / 1024, monitor.ms);
  std::fflush(stdout);
  fs::remove_all(program);
}

}  // namespace

int main(int argc, char** argv) {
  int mb = 50, modify = 20, append = 2000, appendKb = 100;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string arg = argv[i];
    if (arg == "--check-exe") {
      checkExe = argv[i + 1];
      continue;
    }
    int* to = arg == "--mb"          ? &mb
              : arg == "--modify"    ? &modify
              : arg == "--append"    ? &append
              : arg == "--append-kb" ? &appendKb
                                     : nullptr;
    if (!to) {
      std::fprintf(stderr,
                   "usage: bench_check [--mb N] [--modify N] [--append N] [--append-kb N] "
                   "[--check-exe PATH]\n");
      return 2;
    }
    *to = std::atoi(argv[i + 1]);  // 0 leaves that part out
  }
  const fs::path root = zeph::bench::MakeTempRoot("zeph-bench-check");
  std::vector<Edit> edits;
  const size_t bytes = static_cast<size_t>(mb) * 1000 * 1000;
  size_t lines = 0;
  GameFile(bytes, &lines);
  for (int k = 0; k < modify; ++k)
    edits.push_back({true, "key" + std::to_string(lines * (2 * k + 1) / (2 * modify))});
  if (modify > 0) Measure(root, "MODIFY", bytes, edits);
  edits.clear();
  for (int k = 0; k < append; ++k) edits.push_back({false, "bind k" + std::to_string(k) + " +use"});
  if (append > 0) Measure(root, "APPEND", static_cast<size_t>(appendKb) * 1000, edits);
  fs::remove_all(root);
  return 0;
}
