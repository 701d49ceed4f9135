// The one notification-area icon and its popup menu. Every change of the
// icon goes through here, so the record (image and tip) is always the one
// last sent.
#include "monitor/MainForm.h"
#include "system/WinPath.h"

namespace zeph {

void MainForm::SetIcon(IconMessage message, IconImage image, const std::string& tip) {
  iconImage_ = image;
  iconTip_ = tip;
  desktop_.NotifyIcon(message, image, tip);
}

void MainForm::OnMenuRequested() {
  desktop_.BringToForeground();
  desktop_.ShowMenu();
}

std::vector<MenuItem> MainForm::PopupMenuItems() const {
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

void MainForm::OnMenuCommand(MenuEntry entry) {
  switch (entry) {
    case MenuEntry::About: mAbout_Click(); break;
    case MenuEntry::Customize: mCustomize_Click(); break;
    case MenuEntry::EventUtility: mnuZephEvent_Click(); break;
    case MenuEntry::WebUpdate: mWebUpdate_Click(); break;
    case MenuEntry::Startup: mnuStartup_Click(); break;
    case MenuEntry::Suspend: mPopupSuspend_Click(); break;
    case MenuEntry::Exit: mPopupExit_Click(); break;
  }
}

void MainForm::mAbout_Click() {
  AboutForm about(sys_, desktop_);
  desktop_.ShowAbout(about);
}

void MainForm::mnuStartup_Click() {
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

}  // namespace zeph
