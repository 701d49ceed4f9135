// Suspend and resume: one toggle, decided by the Suspend entry's check mark.
#include "tray/Tray.h"

namespace zeph {

void Tray::LogSuspended() {
  if (!debugList_.Last().empty()) debugList_.Add("");
  debugList_.Add("Monitoring suspended at " + sys_.loop.TimeOfDay());
  debugList_.Add("");
  debugList_.SelectBeforeLast();
}

void Tray::LogResumed() {
  debugList_.Add("Monitoring resumed at " + sys_.loop.TimeOfDay());
  debugList_.Add("");
  debugList_.SelectBeforeLast();
}

TrayRequest Tray::mPopupSuspend_Click() {
  // No tick in between: the settings file still holds the old mode until
  // the last step, and a tick would take that for a request to switch back.
  ModeChannel::Change change(modes_);
  if (!suspendChecked_) {
    suspendChecked_ = true;
    desktop_.SetMenu(PopupMenuItems());
    modes_.SetCurrent(Mode::Suspend);
    companions_.CloseZephEvent();
    companions_.ResetController();
    SetIcon(IconMessage::Modify, IconImage::Suspended, kTipSuspended);
    sys_.loop.ProcessPendingMessages();
    sys_.loop.SetTimerInterval(kSuspendedInterval);
    LogSuspended();
    desktop_.SetSuspendCaption("Resume");
    modes_.Write(Mode::Suspend);
    return TrayRequest::None;
  }
  suspendChecked_ = false;
  desktop_.SetMenu(PopupMenuItems());
  modes_.SetCurrent(Mode::Active);
  SetIcon(IconMessage::Modify, IconImage::Monitoring, kTipIdle);
  sys_.loop.ProcessPendingMessages();
  LogResumed();
  desktop_.SetSuspendCaption("Suspend");
  return TrayRequest::StartAgain;
}

void Tray::Suspend() {
  ModeChannel::Change change(modes_);
  modes_.WriteIfThere(Mode::Suspend);
  suspendChecked_ = true;
  desktop_.SetMenu(PopupMenuItems());
  modes_.SetCurrent(Mode::Suspend);
  companions_.CloseZephEvent();
  SetIcon(IconMessage::Modify, IconImage::Suspended, kTipIdle);
  sys_.loop.SetTimerInterval(kSuspendedInterval);
  LogSuspended();
  desktop_.SetSuspendCaption("Resume");
}

}  // namespace zeph
