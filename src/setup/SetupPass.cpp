// The end-of-game pass.
#include "monitor/MainForm.h"

namespace zeph {

void MainForm::WriteStuff() {
  if (state.DebugMode) {
    debugList.Add("Stopped watching: " + state.GameExe + " at " + sys_.loop.TimeOfDay());
    debugList.Add("");
    debugList.SelectBeforeLast();
  }
  SetIcon(IconMessage::Modify, iconImage_, kTipIdle);
  ResetController();
}

}  // namespace zeph
