#include "tray/fake/FakeDesktop.h"

#include "tray/Dialogs.h"

namespace zeph {

bool FakeDesktop::Ready(SystemError* err) {
  if (!windowFails) return true;
  return Fail(err, 1407, "Cannot find window class.");
}

BoxAnswer FakeDesktop::ShowBox(const std::string& text, const std::string& title,
                               BoxButtons buttons, BoxIcon icon, bool foreground) {
  boxes.push_back({text, title, buttons, icon, foreground});
  log_.push_back("box " + title);
  if (!boxAnswers.empty()) {
    BoxAnswer answer = boxAnswers.front();
    boxAnswers.pop_front();
    return answer;
  }
  return buttons == BoxButtons::YesNo ? BoxAnswer::Yes : BoxAnswer::Ok;
}

void FakeDesktop::ShowMainWindow() {
  mainWindowShown = true;
  log_.push_back("show-window");
}

void FakeDesktop::AddDebugLine(const std::string& line) {
  debugLines.push_back(line);
  log_.push_back("debug " + line);
}

void FakeDesktop::RemoveFirstDebugLine() {
  if (!debugLines.empty()) debugLines.erase(debugLines.begin());
}

void FakeDesktop::NotifyIcon(IconMessage message, IconImage image, const std::string& tip) {
  iconCalls.push_back({message, image, tip});
  static const char* const kNames[] = {"add", "modify", "delete"};
  log_.push_back(std::string("icon ") + kNames[static_cast<int>(message)] + " " + tip);
}

void FakeDesktop::BringToForeground() {
  ++foregroundCalls;
  log_.push_back("foreground");
}

std::optional<MenuEntry> FakeDesktop::ShowPopupMenu(const std::vector<MenuItem>& items) {
  menusShown.push_back(items);
  log_.push_back("menu");
  return menuChoice;
}

void FakeDesktop::ShowAbout(AboutForm& form) {
  form.Form_Load();
  aboutSeen.push_back(form.caption + "|" + form.lblVersion);
  log_.push_back("about");
  if (onAbout) onAbout(form);
}

void FakeDesktop::ShowStartUp(StartUpForm& form) {
  bool ticked = form.Form_Load();
  startUpLoaded.push_back(ticked);
  log_.push_back("startup-dialog");
  if (onStartUp) onStartUp(form, ticked);
  form.Form_Unload(ticked);
}

AttachedChoice FakeDesktop::ShowCheckAttached(CheckAttachedForm& form) {
  ++remindersShown;
  log_.push_back("reminder");
  if (onCheckAttached) onCheckAttached(form);
  return reminderChoice;
}

}  // namespace zeph
