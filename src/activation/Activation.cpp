// Activation of a game found by the watch loop.
#include "monitor/MainForm.h"
#include "system/WinPath.h"

namespace zeph {

void MainForm::WYNActivate() {
  if (state.DebugMode) {
    debugList.Add("Started watching: " + ToLower(state.GameExe) + " at " + sys_.TimeOfDay());
    debugList.Add("Path: " + ToLower(state.GameFolder));
    debugList.Add("Process ID: " + state.GameProcessId);
    debugList.SelectLast();
  }
  SetIcon(IconMessage::Modify, iconImage_, kTipWatching + state.ActiveAppName);
}

}  // namespace zeph
