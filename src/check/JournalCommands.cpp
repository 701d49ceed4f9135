#include "check/JournalCommands.h"

#include "setup/Undo.h"

namespace zeph {

std::string JournalRoot(Program& program) {
  const std::string data = program.DataFolder();
  return data.empty() ? std::string() : data + "\\journal";
}

int ListJournalText(Files& files, const std::string& root, const std::string& gameFolder,
                    std::string* out) {
  std::vector<GameJournal> games;
  SystemError err;
  if (root.empty()) {
    *out += "no data folder for the journal\n";
    return 1;
  }
  if (!ListJournal(files, root, gameFolder, &games, &err)) {
    // No journal folder yet: nothing has been journaled.
    if (!files.IsFolder(root)) {
      *out += "no set-up pass is journaled\n";
      return gameFolder.empty() ? 0 : 1;
    }
    *out += "cannot read the journal " + root + ": " + err.Describe() + "\n";
    return 1;
  }
  for (const GameJournal& g : games) {
    *out += (g.gameFolder.empty() ? gameFolder : g.gameFolder) + "  (" + g.folder + ")\n";
    for (const PassSummary& p : g.passes) {
      *out += "  pass " + std::to_string(p.number) + "  " + p.time + "  profile " + p.profile +
              "  revision " + p.revision + "  " + std::to_string(p.changes) +
              (p.changes == 1 ? " change" : " changes");
      if (!p.closed)
        *out += "  (did not end)";
      else if (!p.passed)
        *out += "  (failed)";
      if (p.undone) *out += "  undone";
      if (!p.damage.empty()) *out += "  (damaged: " + p.damage + ")";
      *out += "\n";
    }
  }
  size_t passes = 0;
  for (const GameJournal& g : games) passes += g.passes.size();
  if (passes > 0 || gameFolder.empty()) {
    if (games.empty()) *out += "no set-up pass is journaled\n";
    return 0;
  }
  // A folder named that has no journal is most likely a mistyped one.
  *out = "no set-up pass is journaled for " + gameFolder + "\n";
  return 1;
}

int UndoText(SystemSeam sys, const std::string& root, const std::string& gameFolder, int pass,
             bool force, std::string* out) {
  if (root.empty()) {
    *out += "no data folder for the journal\n";
    return 1;
  }
  const UndoResult r = UndoPass(sys.files, sys.registry, root, gameFolder, pass, force);
  if (r.pass != 0) *out += "pass " + std::to_string(r.pass) + " of " + gameFolder + "\n";
  if (r.alreadyUndone) *out += "  undone already: nothing changed\n";
  for (const std::string& line : r.changed) *out += "  " + line + "\n";
  for (const std::string& line : r.leftAlone) *out += "  left alone: " + line + "\n";
  for (const std::string& line : r.failed) *out += "  failed: " + line + "\n";
  if (r.pass != 0 && !r.alreadyUndone && r.changed.empty() && r.ExitStatus() == 0)
    *out += "  nothing to put back\n";
  return r.ExitStatus();
}

}  // namespace zeph
