// Resetting the controller and closing the event utility.
#include "activation/CommandScript.h"
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
  std::string firstFailed;
  int failed = 0;
  for (const char* command : kResetCommands) {
    std::string commandLine = ControlCommand(folder, command);
    if (sys_.RunAndWait(commandLine, false) == -1 && failed++ == 0) firstFailed = commandLine;
  }
  // Outside debug mode a reset that could not run goes unreported; in debug
  // mode it is one line, however many of its commands failed.
  if (failed > 0 && state.DebugMode)
    debugList.Add("Error -1 resetting the controller: " + std::to_string(failed) + " of 6 " +
                  "commands could not be run, the first: " + firstFailed);
  sys_.ProcessPendingMessages();
}

void MainForm::CloseZephEvent() { sys_.CloseWindowByTitle(kEventWindowTitle); }

}  // namespace zeph

namespace zeph {

void MainForm::RunCommandScript() {
  const std::string folder = sys_.ProgramFolder();
  const std::string script = folder + "\\active.zeph";
  // The script is replaced as a whole; when it cannot be written or read
  // back, the controller is left alone rather than half-programmed, or
  // programmed from the last game's script.
  if (!sys_.WriteTextFile(script, ScriptText(BuildCommandScript(profile, folder)))) {
    debugList.Add("Error writing command script " + script);
    return;
  }
  ResetController();
  std::string text;
  if (!sys_.ReadTextFile(script, &text)) {
    debugList.Add("Error reading command script " + script);
    return;
  }
  for (const std::string& line : ScriptLines(text))
    sys_.RunAndWait(ControlCommand(folder, line), false);
}

}  // namespace zeph
