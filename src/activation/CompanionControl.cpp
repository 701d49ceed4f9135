#include "activation/CompanionControl.h"

#include "companion/Companions.h"
#include "system/ProcessHelpers.h"

namespace zeph {

const std::vector<std::string>& CompanionControl::ResetCommands() {
  static const std::vector<std::string> kResetCommands = {
      "--set-defaults",
      "--reset-sensitivity-curve 1",
      "--reset-sensitivity-curve 2",
      "--reset-sensitivity-curve 3",
      "--reset-sensitivity-curve 4",
      "--reset-sensitivity-curve 5",
  };
  return kResetCommands;
}

void CompanionControl::RunControlCommands(const std::vector<std::string>& commands,
                                          const std::function<bool()>& keepGoing) {
  const std::string folder = program_.Folder();
  for (const std::string& command : commands) {
    if (!keepGoing()) return;
    const std::string commandLine = ControlCommand(folder, command);
    SystemError err;
    int code = RunAndWait(processes_, loop_, commandLine, false, &err);
    // The control utility's verdict changes nothing in the run; in debug
    // mode it is at least seen.
    if (code == 0 || !debugList_.DebugMode()) continue;
    bool notStarted = code == -1 && (err.code != 0 || !err.text.empty());
    debugList_.Add("Error " + std::to_string(code) + " running " + commandLine +
                   (notStarted ? ": " + err.Describe() : std::string()));
  }
}

void CompanionControl::ResetController() {
  RunControlCommands(ResetCommands(), [] { return true; });
  loop_.ProcessPendingMessages();
}

void CompanionControl::CloseZephEvent() { processes_.CloseWindowByTitle(kEventWindowTitle); }

void CompanionControl::StartZephEvent() {
  RunAndWait(processes_, loop_, CompanionCommand(program_.Folder(), kEventUtility), true);
}

}  // namespace zeph
