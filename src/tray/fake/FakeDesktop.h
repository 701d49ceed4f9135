// The desktop of the unit tests: boxes, debug lines and icon calls are
// recorded, boxes answered from a queue; effects also go to a shared log
// (the fake system's), so that tests see the order across the seam.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "tray/Desktop.h"

namespace zeph {

class FakeDesktop final : public Desktop {
 public:
  struct Box {
    std::string text, title;
    BoxButtons buttons;
    BoxIcon icon;
    bool foreground;
  };
  struct IconCall {
    IconMessage message;
    IconImage image;
    std::string tip;
  };

  explicit FakeDesktop(std::vector<std::string>& log) : log_(log) {}

  // --- set up by the test
  std::deque<BoxAnswer> boxAnswers;  // answers in turn; the default button when empty
  bool windowFails = false;          // the main window could not be made
  // The popup menu's choice (none: closed by a click elsewhere).
  std::optional<MenuEntry> menuChoice;
  // What the user does in a dialog while it is open; the reminder is
  // closed with reminderChoice.
  std::function<void(AboutForm&)> onAbout;
  std::function<void(StartUpForm&, bool& ticked)> onStartUp;  // then it is closed
  std::function<void(CheckAttachedForm&)> onCheckAttached;
  AttachedChoice reminderChoice = AttachedChoice::Continue;

  // --- recorded
  std::vector<Box> boxes;
  std::vector<std::string> debugLines;  // as the list box holds them
  int selectedLine = -1;
  std::vector<IconCall> iconCalls;
  bool mainWindowShown = false;
  bool hiddenFromTaskList = false;
  bool suspendChecked = false;
  std::string suspendCaption = "Suspend";
  std::vector<std::vector<MenuItem>> menusShown;  // the items of each popup menu
  int foregroundCalls = 0;
  std::vector<std::string> aboutSeen;  // caption and version text of each About dialog
  std::vector<bool> startUpLoaded;     // the box as each start-up dialog opened
  int remindersShown = 0;

  bool Ready(SystemError* err) override;
  void SetCommands(Commands*) override {}
  BoxAnswer ShowBox(const std::string& text, const std::string& title, BoxButtons buttons,
                    BoxIcon icon, bool foreground) override;
  void ShowMainWindow() override;
  void HideFromTaskList() override { hiddenFromTaskList = true; }
  void AddDebugLine(const std::string& line) override;
  void RemoveFirstDebugLine() override;
  void SelectDebugLine(int index) override { selectedLine = index; }
  void NotifyIcon(IconMessage message, IconImage image, const std::string& tip) override;
  void SetSuspendChecked(bool checked) override { suspendChecked = checked; }
  void SetSuspendCaption(const std::string& caption) override { suspendCaption = caption; }
  void BringToForeground() override;
  std::optional<MenuEntry> ShowPopupMenu(const std::vector<MenuItem>& items) override;
  void ShowAbout(AboutForm& form) override;
  void ShowStartUp(StartUpForm& form) override;
  AttachedChoice ShowCheckAttached(CheckAttachedForm& form) override;

 private:
  std::vector<std::string>& log_;
};

}  // namespace zeph
