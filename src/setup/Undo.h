// Undoing a set-up pass from its journal (setup/Journal.h), and listing the
// passes a journal holds.
#pragma once

#include <string>
#include <vector>

#include "system/Files.h"
#include "system/Registry.h"

namespace zeph {

struct PassSummary {
  int number = 0;
  std::string time, profile, revision;
  int changes = 0;  // files, folders and registry values it changed
  bool closed = false, passed = false, undone = false;
  std::string damage;  // why its records are not whole; "" when they are
};

struct GameJournal {
  std::string gameFolder;  // as game.txt names it
  std::string folder;      // its journal folder
  std::vector<PassSummary> passes;
};

// The passes of gameFolder's journal under root, or ("" gameFolder) of
// every game's. False, with err, when root cannot be read.
bool ListJournal(Files& files, const std::string& root, const std::string& gameFolder,
                 std::vector<GameJournal>* games, SystemError* err);

struct UndoResult {
  int pass = 0;                        // the pass undone (0: none found)
  bool alreadyUndone = false;          // marked undone by an earlier undo: nothing changed
  std::vector<std::string> changed;    // what was put back, one line each
  std::vector<std::string> leftAlone;  // what was not, with the reason
  std::vector<std::string> failed;     // what could not be, with the error
  int ExitStatus() const { return pass == 0 || !leftAlone.empty() || !failed.empty() ? 1 : 0; }
};

// Puts back what pass (0: the last one) of gameFolder changed: each file,
// INI file and registry value as it was before the pass, the files and
// folders it made removed. A file or value that is neither as the pass
// left it nor as it was (changed since) is left alone unless force. Each
// file is restored through a work file, from the copy the pass kept, which
// must still hold what the pass read: a copy gone or changed since fails the
// file. A pass whose records are damaged is not undone unless force (then
// what can be read of them is). Work files that passes which never ended
// left behind are removed. A pass undone without anything left alone or
// failed is marked so, and a second undo changes nothing.
UndoResult UndoPass(Files& files, Registry& registry, const std::string& root,
                    const std::string& gameFolder, int pass, bool force);

}  // namespace zeph
