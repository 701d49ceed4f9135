// Suspend and resume: one toggle, decided by the Suspend entry's check mark.
#include "companion/Companions.h"
#include "monitor/MainForm.h"
#include "system/IniHelpers.h"

namespace zeph {

void MainForm::LogSuspended() {
  if (!debugList.Last().empty()) debugList.Add("");
  debugList.Add("Monitoring suspended at " + sys_.loop.TimeOfDay());
  debugList.Add("");
  debugList.SelectBeforeLast();
}

void MainForm::LogResumed() {
  debugList.Add("Monitoring resumed at " + sys_.loop.TimeOfDay());
  debugList.Add("");
  debugList.SelectBeforeLast();
}

void MainForm::mPopupSuspend_Click() {
  // No tick in between: the settings file still holds the old mode until
  // the last step, and a tick would take that for a request to switch back.
  Busy busy(*this);
  if (!suspendChecked_) {
    suspendChecked_ = true;
    desktop_.SetMenu(PopupMenuItems());
    state.CurrentMode = "SUSPEND";
    ++suspendCount_;
    CloseZephEvent();
    ResetController();
    SetIcon(IconMessage::Modify, IconImage::Suspended, kTipSuspended);
    sys_.loop.ProcessPendingMessages();
    SetTimerInterval(kSuspendedInterval);
    LogSuspended();
    desktop_.SetSuspendCaption("Resume");
    WriteIni(sys_.ini, state.SettingsFile, "APPLICATION", "MODE", state.CurrentMode);
  } else {
    suspendChecked_ = false;
    desktop_.SetMenu(PopupMenuItems());
    state.CurrentMode = "ACTIVE";
    SetIcon(IconMessage::Modify, IconImage::Monitoring, kTipIdle);
    sys_.loop.ProcessPendingMessages();
    SetTimerInterval(state.RefreshInterval);
    LogResumed();
    desktop_.SetSuspendCaption("Suspend");
    Form_Load();
  }
}

void MainForm::Suspend() {
  Busy busy(*this);
  const std::string settings = sys_.program.Folder() + "\\" + kMonitorSettingsFile;
  if (sys_.files.IsFile(settings)) WriteIni(sys_.ini, settings, "APPLICATION", "MODE", "SUSPEND");
  suspendChecked_ = true;
  desktop_.SetMenu(PopupMenuItems());
  state.CurrentMode = "SUSPEND";
  ++suspendCount_;
  CloseZephEvent();
  SetIcon(IconMessage::Modify, IconImage::Suspended, kTipIdle);
  SetTimerInterval(kSuspendedInterval);
  LogSuspended();
  desktop_.SetSuspendCaption("Resume");
}

}  // namespace zeph
