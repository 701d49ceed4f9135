// The closing sequence every orderly exit goes through. It cannot be
// stopped: each step runs whatever the one before did.
#include "monitor/MainForm.h"
#include "system/IniHelpers.h"

namespace zeph {

void MainForm::Form_Unload() {
  // A copy that ends because another copy runs (or with a bad command line
  // while one runs) never started the event utility: the one it would close
  // belongs to the running copy, perhaps in the middle of a game. A kill
  // request closes it on purpose, since the running copy will not.
  if (killRequested_ || !AnotherCopyRunning()) CloseZephEvent();
  state.CurrentMode = "";
  SetTimerInterval(0);
  if (!state.SettingsFile.empty())
    WriteIni(sys_.ini, state.SettingsFile, "APPLICATION", "MODE", "");
  SetIcon(IconMessage::Delete, iconImage_, iconTip_);
  EndProgram();
}

}  // namespace zeph
