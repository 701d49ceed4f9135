// zephcheck: what a game profile will do, before any game runs.
//
//   zephcheck PROFILE.wyn [--game-folder DIR] [--program-folder DIR]
//             [--wine-prefix DIR] [--configured] [--json]
//   zephcheck --journal [GAMEFOLDER]
//   zephcheck --undo GAMEFOLDER [--pass N] [--force]
//
// Exit status: 0 when the profile works as written, 1 when the monitor would
// end, fail or skip something the author likely did not mean, 2 for bad
// usage. Nothing is written: not a file, not a folder, not a registry value.
// --undo is the one exception: it puts back what a set-up pass changed
// (exit status 1 when something was left alone or failed).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "check/CheckPlatform.h"
#include "check/JournalCommands.h"
#include "check/ProfileCheck.h"
#include "check/TerminalText.h"

namespace {

const char kUsage[] =
    "usage: zephcheck PROFILE.wyn [--game-folder DIR] [--program-folder DIR] [--wine-prefix DIR]\n"
    "                 [--configured] [--json]\n"
    "       zephcheck --journal [GAMEFOLDER]\n"
    "       zephcheck --undo GAMEFOLDER [--pass N] [--force]\n"
    "  --game-folder DIR     the game's installation the end-of-game pass edits (default: an\n"
    "                        empty folder)\n"
    "  --program-folder DIR  the monitor's program folder (default: the folder above the\n"
    "                        profile's)\n"
    "  --wine-prefix DIR     the game runs by Wine in this prefix: its registry values and\n"
    "                        the paths that name a drive are the prefix's\n"
    "  --configured          as if the installation were set up for this profile already\n"
    "  --json                the report as one JSON document\n"
    "  --journal             the set-up passes journaled (of one game folder, or all)\n"
    "  --undo GAMEFOLDER     puts back what the last set-up pass (or pass N) changed; a\n"
    "                        file changed since is left alone unless --force\n";

int Usage(const char* why) {
  if (why) std::fprintf(stderr, "zephcheck: %s\n", why);
  std::fputs(kUsage, stderr);
  return 2;
}

// --journal and --undo: nothing of the profile check runs.
int JournalMain(int argc, char** argv) {
  const std::string command = argv[1];
  std::string game;
  int pass = 0;
  bool force = false;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (command == "--undo" && arg == "--force") {
      force = true;
    } else if (command == "--undo" && arg == "--pass") {
      if (i + 1 >= argc) return Usage("--pass needs a number");
      const std::string n = argv[++i];
      if (n.empty() || n.size() > 9 || n.find_first_not_of("0123456789") != std::string::npos ||
          (pass = std::atoi(n.c_str())) == 0)
        return Usage("--pass needs a pass number (1, 2, ...)");
    } else if (arg.rfind("--", 0) == 0 || !game.empty()) {
      return Usage(("unexpected argument: " + arg).c_str());
    } else {
      game = zeph::SeamPath(arg);
    }
  }
  if (command == "--undo" && game.empty()) return Usage("--undo needs a game folder");
  zeph::PlatformSystem platform = zeph::CreatePlatformSystem(argc, argv);
  const std::string root = zeph::JournalRoot(*platform.program);
  std::string out;
  const int status = command == "--undo"
                         ? zeph::UndoText(platform.Seam(), root, game, pass, force, &out)
                         : zeph::ListJournalText(*platform.files, root, game, &out);
  out = zeph::TerminalText(out);  // paths and profile names from the journal
  std::fwrite(out.data(), 1, out.size(), stdout);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && (std::strcmp(argv[1], "--journal") == 0 || std::strcmp(argv[1], "--undo") == 0))
    return JournalMain(argc, argv);
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
    } else if (arg == "--wine-prefix") {
      if (!value(&options.winePrefix)) return Usage("--wine-prefix needs a folder");
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
