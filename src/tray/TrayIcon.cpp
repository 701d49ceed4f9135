// The one notification-area icon and its popup menu. Every change of the
// icon goes through here, so the record (image and tip) is always the one
// last sent.
#include "system/WinPath.h"
#include "tray/Tray.h"

namespace zeph {

const char* const kTipIdle = "Thalix Monitor";
const char* const kTipSuspended = "Thalix Monitor - Suspended";
const char* const kTipWatching = "Thalix Monitor - Watching: ";

void Tray::AddIcon() {
  if (iconAdded_) return;
  desktop_.SetMenu(PopupMenuItems());
  SetIcon(IconMessage::Add, IconImage::Monitoring, kTipIdle);
  iconAdded_ = true;
}

void Tray::RemoveIcon() { SetIcon(IconMessage::Delete, iconImage_, iconTip_); }

void Tray::SetIcon(IconMessage message, IconImage image, const std::string& tip) {
  iconImage_ = image;
  iconTip_ = tip;
  desktop_.NotifyIcon(message, image, tip);
}

void Tray::WatchStarted(const Game& game) {
  SetIcon(IconMessage::Modify, iconImage_, kTipWatching + game.appName);
}

void Tray::WatchEnded() { SetIcon(IconMessage::Modify, iconImage_, kTipIdle); }

void Tray::ShowPopupMenu() {
  desktop_.BringToForeground();
  desktop_.ShowMenu();
}

std::vector<MenuItem> Tray::PopupMenuItems() const {
  // The mouse toggle and the separator above it are switched off in the
  // menu's design, and nothing switches them on.
  return {
      {MenuEntry::About, "About...", true, false},
      {MenuEntry::Customize, "Customize...", true, false},
      {std::nullopt, "-", false, false},  // mSeperator3
      {MenuEntry::EventUtility, "*BETA* Enable Mouse * BETA*", false, eventToggleChecked_},
      {std::nullopt, "-", true, false},  // mSeperator2
      {MenuEntry::WebUpdate, "Web update...", true, false},
      {MenuEntry::Startup, "Startup settings...", true, false},
      {std::nullopt, "-", true, false},  // mSeperator1
      {MenuEntry::Suspend, "Suspend", true, suspendChecked_},
      {MenuEntry::Exit, "Exit", true, false},
  };
}

TrayRequest Tray::OnMenuCommand(MenuEntry entry) {
  switch (entry) {
    case MenuEntry::About: mAbout_Click(); break;
    case MenuEntry::Customize: mCustomize_Click(); break;
    case MenuEntry::EventUtility: mnuZephEvent_Click(); break;
    case MenuEntry::WebUpdate: mWebUpdate_Click(); break;
    case MenuEntry::Startup: mnuStartup_Click(); break;
    case MenuEntry::Suspend: return mPopupSuspend_Click();
    case MenuEntry::Exit: return TrayRequest::Exit;  // mPopupExit_Click
  }
  return TrayRequest::None;
}

void Tray::mAbout_Click() {
  // One form for the life of the program: a desktop may carry out the
  // dialog's links after this returns.
  if (!aboutForm_) aboutForm_ = std::make_unique<AboutForm>(sys_, desktop_);
  desktop_.ShowAbout(*aboutForm_);
}

void Tray::mnuStartup_Click() {
  // One form for the life of the program: the modeless dialog keeps
  // calling it after this returns.
  if (!startUpForm_) {
    std::string base = sys_.program.ExeName();
    if (base.size() > 4 && EqualsNoCase(base.substr(base.size() - 4), ".exe"))
      base.resize(base.size() - 4);
    startUpForm_ = std::make_unique<StartUpForm>(sys_, desktop_, base);
  }
  desktop_.ShowStartUp(*startUpForm_);
}

TrayRequest Tray::ShowCheckAttached() {
  CheckAttachedForm reminder(sys_);
  return desktop_.ShowCheckAttached(reminder) == AttachedChoice::Exit ? TrayRequest::Exit
                                                                      : TrayRequest::None;
}

}  // namespace zeph
