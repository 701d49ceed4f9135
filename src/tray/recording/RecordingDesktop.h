// A desktop that shows nothing and records what the monitor asks of it:
// boxes (answered from a queue, else with their default button), debug
// lines, icon calls, the menu model published and each menu shown, the
// dialogs asked for. The unit tests' fake, the check tool and the
// benchmarks are this desktop, set up or lightly extended.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tray/Desktop.h"

namespace zeph {

class RecordingDesktop : public Desktop {
 public:
  struct Box {
    std::string text, title;
    BoxButtons buttons = BoxButtons::Ok;
    BoxIcon icon = BoxIcon::None;
    bool foreground = false;
    BoxAnswer answer = BoxAnswer::Ok;
  };
  struct IconCall {
    IconMessage message;
    IconImage image;
    std::string tip;
  };

  // --- how it answers, set up by its user
  std::deque<BoxAnswer> boxAnswers;  // in turn; the default button (OK, Yes) when empty
  bool windowFails = false;          // the main window could not be made
  // The menu's choice, sent to the commands (none: closed by a click elsewhere).
  std::optional<MenuEntry> menuChoice;
  // The reminder's button, after onCheckAttached (what the user does in it).
  AttachedChoice reminderChoice = AttachedChoice::Continue;
  std::function<void(CheckAttachedForm&)> onCheckAttached;
  // Whether the debug list drops its first line when the monitor takes it
  // off (as the list box does); false keeps every line added, in order.
  bool dropsDebugLines = true;
  // Where each effect is also told, one entry each ("box <title>", "debug
  // <line>", "icon add <tip>", "menu", ...): a log shared with a fake
  // system shows the order across the seam. None by default.
  std::vector<std::string>* log = nullptr;

  // --- recorded
  std::vector<Box> boxes;
  std::vector<std::string> debugLines;
  int selectedLine = -1;
  std::vector<IconCall> iconCalls;
  bool mainWindowShown = false;
  bool hiddenFromTaskList = false;
  std::string suspendCaption = "Suspend";
  std::vector<MenuItem> menu;  // the model last published
  int menusPublished = 0;
  std::vector<std::vector<MenuItem>> menusShown;  // the items of each menu shown
  int foregroundCalls = 0;
  int aboutShown = 0;
  int startUpShown = 0;
  int remindersShown = 0;
  Commands* commands = nullptr;  // where a menu choice goes

  bool Ready(SystemError* err) override;
  void SetCommands(Commands* target) override { commands = target; }
  BoxAnswer ShowBox(const std::string& text, const std::string& title, BoxButtons buttons,
                    BoxIcon icon, bool foreground) override;
  void ShowMainWindow() override;
  void HideFromTaskList() override { hiddenFromTaskList = true; }
  void AddDebugLine(const std::string& line) override;
  void RemoveFirstDebugLine() override;
  void SelectDebugLine(int index) override { selectedLine = index; }
  void NotifyIcon(IconMessage message, IconImage image, const std::string& tip) override;
  void SetSuspendCaption(const std::string& caption) override { suspendCaption = caption; }
  void BringToForeground() override;
  void SetMenu(const std::vector<MenuItem>& items) override;
  void ShowMenu() override;
  void ShowAbout(AboutForm& form) override;
  void ShowStartUp(StartUpForm& form) override;
  AttachedChoice ShowCheckAttached(CheckAttachedForm& form) override;

 protected:
  void Log(std::string entry) {
    if (log != nullptr) log->push_back(std::move(entry));
  }
};

}  // namespace zeph
