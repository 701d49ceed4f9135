#include "monitor/MainForm.h"

#include <cstdlib>

namespace zeph {

MainForm::MainForm(SystemSeam sys, Desktop& desktop)
    : sys_(sys),
      desktop_(desktop),
      debugList_(desktop),
      modes_(sys.program, sys.files, sys.ini),
      companions_(sys.program, sys.processes, sys.loop, debugList_),
      tray_(sys, desktop, debugList_, companions_, modes_),
      activation_(sys.program, sys.files, sys.ini, sys.loop, debugList_, companions_, modes_,
                  tray_),
      setup_(sys.program, sys.files, sys.ini, sys.registry, sys.loop, desktop, debugList_,
             companions_, tray_) {}

void MainForm::OnMenuCommand(MenuEntry entry) { Carry(tray_.OnMenuCommand(entry)); }

void MainForm::mPopupSuspend_Click() { Carry(tray_.mPopupSuspend_Click()); }

void MainForm::Carry(TrayRequest request) {
  switch (request) {
    case TrayRequest::None: return;
    case TrayRequest::StartAgain: {
      // Still no tick: the settings file says "SUSPEND" until start-up's
      // settings step.
      ModeChannel::Change change(modes_);
      sys_.loop.SetTimerInterval(state_.RefreshInterval);
      Form_Load();
      return;
    }
    case TrayRequest::Exit: mPopupExit_Click();
  }
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

}  // namespace zeph
