// The end-of-game pass.
#include "monitor/MainForm.h"
#include "setup/Placeholders.h"

#include <utility>

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

std::string MainForm::CheckForJoy(std::string strJoyCheck) const {
  return ExpandPlaceholders(std::move(strJoyCheck), profile.buttonTable, profile.motionPositive,
                            profile.motionNegative);
}

}  // namespace zeph
