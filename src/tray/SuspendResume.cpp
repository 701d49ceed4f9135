// Suspend and resume: one toggle, decided by the Suspend entry's check mark.
#include "monitor/MainForm.h"
#include "system/IniHelpers.h"

namespace zeph {

void MainForm::LogSuspended() {
  if (!debugList.Last().empty()) debugList.Add("");
  debugList.Add("Monitoring suspended at " + sys_.TimeOfDay());
  debugList.Add("");
  debugList.SelectBeforeLast();
}

void MainForm::LogResumed() {
  debugList.Add("Monitoring resumed at " + sys_.TimeOfDay());
  debugList.Add("");
  debugList.SelectBeforeLast();
}

void MainForm::mPopupSuspend_Click() {
  if (!suspendChecked_) {
    suspendChecked_ = true;
    sys_.SetSuspendChecked(true);
    state.CurrentMode = "SUSPEND";
    CloseZephEvent();
    ResetController();
    SetIcon(IconMessage::Modify, IconImage::Suspended, kTipSuspended);
    sys_.ProcessPendingMessages();
    SetTimerInterval(kSuspendedInterval);
    LogSuspended();
    sys_.SetSuspendCaption("Resume");
    WriteIni(sys_, state.SettingsFile, "APPLICATION", "MODE", state.CurrentMode);
  } else {
    suspendChecked_ = false;
    sys_.SetSuspendChecked(false);
    state.CurrentMode = "ACTIVE";
    SetIcon(IconMessage::Modify, IconImage::Monitoring, kTipIdle);
    sys_.ProcessPendingMessages();
    SetTimerInterval(state.RefreshInterval);
    LogResumed();
    sys_.SetSuspendCaption("Suspend");
    Form_Load();
  }
}

void MainForm::Suspend() {
  if (sys_.FileExists(sys_.ProgramFolder() + "\\zephmon.ini"))
    WriteIni(sys_, sys_.ProgramFolder() + "\\zephmon.ini", "APPLICATION", "MODE", "SUSPEND");
  suspendChecked_ = true;
  sys_.SetSuspendChecked(true);
  state.CurrentMode = "SUSPEND";
  CloseZephEvent();
  SetIcon(IconMessage::Modify, IconImage::Suspended, kTipIdle);
  SetTimerInterval(kSuspendedInterval);
  LogSuspended();
  sys_.SetSuspendCaption("Resume");
}

}  // namespace zeph
