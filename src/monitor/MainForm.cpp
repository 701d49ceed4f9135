#include "monitor/MainForm.h"

#include <cstdlib>

#include "system/ProcessHelpers.h"
#include "system/WinPath.h"

namespace zeph {

const char* const kTipIdle = "Thalix Monitor";
const char* const kTipSuspended = "Thalix Monitor - Suspended";
const char* const kTipWatching = "Thalix Monitor - Watching: ";
const char* const kProgramTitle = "Thalix Monitor";

MainForm::MainForm(SystemSeam sys, Desktop& desktop)
    : debugList(desktop), sys_(sys), desktop_(desktop) {}

void MainForm::SetTimerInterval(int ms) {
  timerInterval_ = ms;
  sys_.loop.SetTimerInterval(ms);
}

void MainForm::EndProgram() {
  sys_.program.End();
  std::abort();  // not reached: the system ends the process
}

bool MainForm::AnotherCopyRunning() {
  // Asked once: the answer stays the same for the life of the program.
  if (instanceState_ < 0) instanceState_ = sys_.program.AnotherInstanceRunning() ? 1 : 0;
  return instanceState_ == 1;
}

int MainForm::RunAndWait(const std::string& commandLine, bool noWait, SystemError* err) {
  return zeph::RunAndWait(sys_.processes, sys_.loop, commandLine, noWait, err);
}

bool MainForm::ActivationMayGoOn(uint64_t epoch) const {
  return suspendCount_ == epoch && EqualsNoCase(state.CurrentMode, "ACTIVE");
}

}  // namespace zeph
