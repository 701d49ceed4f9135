// A desktop that shows nothing: boxes are recorded and answered with their
// default button, debug lines and icon tips are recorded, dialogs are not
// shown, and the menu is never opened.
#pragma once

#include <string>
#include <vector>

#include "tray/Desktop.h"

namespace zeph {

class RecordingDesktop final : public Desktop {
 public:
  struct Box {
    std::string text, title;
    BoxButtons buttons = BoxButtons::Ok;
    BoxIcon icon = BoxIcon::None;
    BoxAnswer answer = BoxAnswer::Ok;
  };

  // --- recorded
  std::vector<Box> boxes;
  std::vector<std::string> debugLines;  // every line added, none taken off
  std::vector<std::string> iconTips;    // the tip of each icon call
  int checkAttachedShown = 0;           // reminders that would have been shown

  bool Ready(SystemError*) override { return true; }
  void SetCommands(Commands*) override {}
  BoxAnswer ShowBox(const std::string& text, const std::string& title, BoxButtons buttons,
                    BoxIcon icon, bool foreground) override;
  void ShowMainWindow() override {}
  void HideFromTaskList() override {}
  void AddDebugLine(const std::string& line) override { debugLines.push_back(line); }
  void RemoveFirstDebugLine() override {}
  void SelectDebugLine(int) override {}
  void NotifyIcon(IconMessage, IconImage, const std::string& tip) override {
    iconTips.push_back(tip);
  }
  void SetSuspendChecked(bool) override {}
  void SetSuspendCaption(const std::string&) override {}
  void BringToForeground() override {}
  std::optional<MenuEntry> ShowPopupMenu(const std::vector<MenuItem>&) override {
    return std::nullopt;
  }
  void ShowAbout(AboutForm&) override {}
  void ShowStartUp(StartUpForm&) override {}
  AttachedChoice ShowCheckAttached(CheckAttachedForm&) override;
};

}  // namespace zeph
