#include "monitor/MainForm.h"

#include <cstdlib>

namespace zeph {

const char* const kTipIdle = "Thalix Monitor";
const char* const kTipSuspended = "Thalix Monitor - Suspended";
const char* const kTipWatching = "Thalix Monitor - Watching: ";
const char* const kProgramTitle = "Thalix Monitor";

MainForm::MainForm(System& sys) : debugList(sys), sys_(sys) {}

void MainForm::SetTimerInterval(int ms) {
  timerInterval_ = ms;
  sys_.SetTimerInterval(ms);
}

void MainForm::EndProgram() {
  sys_.EndProgram();
  std::abort();  // not reached: the system ends the process
}

bool MainForm::AnotherCopyRunning() {
  // Asked once: the answer stays the same for the life of the program.
  if (instanceState_ < 0) instanceState_ = sys_.AnotherInstanceRunning() ? 1 : 0;
  return instanceState_ == 1;
}

}  // namespace zeph
