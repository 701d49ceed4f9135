// zephcheck: what a game profile will do, before any game runs.
//
//   zephcheck PROFILE.wyn [--game-folder DIR] [--program-folder DIR]
//             [--configured] [--json]
//
// Exit status: 0 when the profile works as written, 1 when the monitor would
// end, fail or skip something the author likely did not mean, 2 for bad
// usage. Nothing is written: not a file, not a folder, not a registry value.
#include <cstdio>
#include <cstring>
#include <string>

#include "check/CheckPlatform.h"
#include "check/ProfileCheck.h"

namespace {

const char kUsage[] =
    "usage: zephcheck PROFILE.wyn [--game-folder DIR] [--program-folder DIR] [--configured] "
    "[--json]\n"
    "  --game-folder DIR     the game's installation the end-of-game pass edits (default: an\n"
    "                        empty folder)\n"
    "  --program-folder DIR  the monitor's program folder (default: the folder above the\n"
    "                        profile's)\n"
    "  --configured          as if the installation were set up for this profile already\n"
    "  --json                the report as one JSON document\n";

int Usage(const char* why) {
  if (why) std::fprintf(stderr, "zephcheck: %s\n", why);
  std::fputs(kUsage, stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  zeph::CheckOptions options;
  bool json = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string* to) {
      if (i + 1 >= argc) return false;
      *to = zeph::SeamPath(argv[++i]);
      return true;
    };
    if (arg == "--game-folder") {
      if (!value(&options.gameFolder)) return Usage("--game-folder needs a folder");
    } else if (arg == "--program-folder") {
      if (!value(&options.programFolder)) return Usage("--program-folder needs a folder");
    } else if (arg == "--configured") {
      options.configured = true;
    } else if (arg == "--json") {
      json = true;
    } else if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg.rfind("--", 0) == 0 || !options.profile.empty()) {
      return Usage(("unexpected argument: " + arg).c_str());
    } else {
      options.profile = zeph::SeamPath(arg);
    }
  }
  if (options.profile.empty()) return Usage("no profile given");
  options.posixErrors = zeph::PosixSeam();
  zeph::UseBinaryOutput();

  zeph::PlatformSystem platform = zeph::CreatePlatformSystem(argc, argv);
  zeph::CheckReport report = zeph::CheckProfile(platform.Seam(), options);
  const std::string out = json ? zeph::ReportJson(report) : zeph::ReportText(report);
  std::fwrite(out.data(), 1, out.size(), stdout);
  return report.ExitStatus();
}
