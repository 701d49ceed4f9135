// Resetting the controller, closing the event utility, and running the
// command script through the control utility.
#include "activation/CommandScript.h"
#include "companion/Companions.h"
#include "monitor/MainForm.h"

namespace zeph {

namespace {

const std::vector<std::string> kResetCommands = {
    "--set-defaults",
    "--reset-sensitivity-curve 1",
    "--reset-sensitivity-curve 2",
    "--reset-sensitivity-curve 3",
    "--reset-sensitivity-curve 4",
    "--reset-sensitivity-curve 5",
};

}  // namespace

void MainForm::RunControlCommands(const std::vector<std::string>& commands,
                                  const std::function<bool()>& keepGoing) {
  const std::string folder = sys_.program.Folder();
  for (const std::string& command : commands) {
    if (!keepGoing()) return;
    const std::string commandLine = ControlCommand(folder, command);
    SystemError err;
    int code = RunAndWait(commandLine, false, &err);
    // The control utility's verdict changes nothing in the run; in debug
    // mode it is at least seen.
    if (code == 0 || !state.DebugMode) continue;
    bool notStarted = code == -1 && (err.code != 0 || !err.text.empty());
    debugList.Add("Error " + std::to_string(code) + " running " + commandLine +
                  (notStarted ? ": " + err.Describe() : std::string()));
  }
}

void MainForm::ResetController() {
  RunControlCommands(kResetCommands, [] { return true; });
  sys_.loop.ProcessPendingMessages();
}

void MainForm::CloseZephEvent() { sys_.processes.CloseWindowByTitle(kEventWindowTitle); }

void MainForm::RunCommandScript() {
  const std::string folder = sys_.program.Folder();
  const std::string script = folder + "\\" + kCommandScriptFile;
  // Once the monitor has been suspended (even if resumed since), this
  // activation sends nothing more: the suspend has reset the controller.
  const uint64_t epoch = suspendCount_;
  auto keepGoing = [this, epoch] { return ActivationMayGoOn(epoch); };

  std::vector<std::string> refused;
  std::vector<std::string> lines = BuildCommandScript(profile, folder, &refused);
  for (const std::string& line : refused)
    debugList.Add("Command not sent, a value would change its arguments: " + line);

  // The last game's script goes first, so that it can neither be run nor be
  // taken for this game's when the new one cannot be written.
  SystemError err;
  bool written = !sys_.files.IsFile(script) || sys_.files.Remove(script, &err);
  written = written && sys_.files.WriteTextUnsynced(script, ScriptText(lines), &err);
  if (!written) debugList.Add("Error writing command script " + script + ": " + err.Describe());

  RunControlCommands(kResetCommands, keepGoing);
  sys_.loop.ProcessPendingMessages();
  if (!written) return;

  std::string text;
  ReadResult read = sys_.files.ReadText(script, &text, &err);
  if (read != ReadResult::Ok) {
    debugList.Add("Error reading command script " + script + ": " + DescribeRead(read, err));
    return;
  }
  RunControlCommands(ScriptLines(text), keepGoing);
}

}  // namespace zeph
