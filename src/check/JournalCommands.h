// zephcheck's --journal and --undo: the set-up journal listed, and a pass
// undone, on the real system.
#pragma once

#include <string>

#include "system/Seam.h"

namespace zeph {

// The journal folder under the user's data folder ("" when there is none).
std::string JournalRoot(Program& program);

// Each pass of gameFolder ("": of every game) into *out; exit status 0, or 1
// when the journal cannot be read.
int ListJournalText(Files& files, const std::string& root, const std::string& gameFolder,
                    std::string* out);
// Undoes pass (0: the last) of gameFolder; what was done into *out. Exit
// status 0, or 1 when something was left alone or failed.
int UndoText(SystemSeam sys, const std::string& root, const std::string& gameFolder, int pass,
             bool force, std::string* out);

}  // namespace zeph
