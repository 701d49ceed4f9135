// How the program ends. Every reason to stop arrives here; the closing
// sequence cannot be stopped: each step runs whatever the one before did.
#include "monitor/MainForm.h"

namespace zeph {

void MainForm::StopProgram(const Stop& stop) {
  if (stop.box) desktop_.ShowBox(stop.box->text, stop.box->title, BoxButtons::Ok, stop.box->icon);
  switch (stop.way) {
    case Stop::Way::Closing: Form_Unload();
    case Stop::Way::ModeCleared: ShutDownOnModeChange();
    case Stop::Way::AtOnce: EndProgram();
  }
  EndProgram();
}

void MainForm::Form_Unload() {
  // A copy that ends because another copy runs (or with a bad command line
  // while one runs) never started the event utility: the one it would close
  // belongs to the running copy, perhaps in the middle of a game. A kill
  // request closes it on purpose, since the running copy will not.
  if (killRequested_ || !AnotherCopyRunning()) companions_.CloseZephEvent();
  modes_.SetCurrent(Mode::None);
  sys_.loop.SetTimerInterval(0);
  modes_.Write(Mode::None);
  tray_.RemoveIcon();
  EndProgram();
}

void MainForm::ShutDownOnModeChange() {
  // Asked to stop (empty mode), or the settings file is gone or garbled:
  // end at once. The event utility and the controller are left as they are.
  sys_.loop.SetTimerInterval(0);
  modes_.Write(Mode::None);
  tray_.RemoveIcon();
  EndProgram();
}

}  // namespace zeph
