// The hook by which the end-of-game pass opens and closes its journal. The
// monitor's journal (setup/Journal.h) records each change of a pass before
// it is made; without a hook the pass runs unrecorded.
#pragma once

#include <string>

#include "system/Error.h"

namespace zeph {

struct PassInfo {
  std::string gameFolder;  // the installation the pass edits
  std::string profile;     // the active profile's path
  std::string revision;    // its revision
};

class SetupJournal {
 public:
  virtual ~SetupJournal() = default;
  // Begins a pass: every change until ClosePass is recorded first. False,
  // with err saying why, when the journal cannot be written.
  virtual bool OpenPass(const PassInfo& info, SystemError* err) = 0;
  virtual void ClosePass(bool passed) = 0;
};

}  // namespace zeph
