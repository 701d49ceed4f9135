// Resetting the controller and closing the event utility.
#include "companion/Companions.h"
#include "monitor/MainForm.h"

namespace zeph {

void MainForm::ResetController() {
  static const char* const kResetCommands[] = {
      "--set-defaults",
      "--reset-sensitivity-curve 1",
      "--reset-sensitivity-curve 2",
      "--reset-sensitivity-curve 3",
      "--reset-sensitivity-curve 4",
      "--reset-sensitivity-curve 5",
  };
  const std::string folder = sys_.ProgramFolder();
  for (const char* command : kResetCommands) {
    std::string commandLine = ControlCommand(folder, command);
    if (sys_.RunAndWait(commandLine, false) == -1 && state.DebugMode)
      debugList.Add("Error -1 running " + commandLine);
  }
  sys_.ProcessPendingMessages();
}

void MainForm::CloseZephEvent() { sys_.CloseWindowByTitle(kEventWindowTitle); }

}  // namespace zeph
