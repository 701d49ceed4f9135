#include "tray/recording/RecordingDesktop.h"

namespace zeph {

bool RecordingDesktop::Ready(SystemError* err) {
  if (!windowFails) return true;
  return Fail(err, 1407, "Cannot find window class.");
}

BoxAnswer RecordingDesktop::ShowBox(const std::string& text, const std::string& title,
                                    BoxButtons buttons, BoxIcon icon, bool foreground) {
  // The default button is the first: OK, or Yes.
  BoxAnswer answer = buttons == BoxButtons::YesNo ? BoxAnswer::Yes : BoxAnswer::Ok;
  if (!boxAnswers.empty()) {
    answer = boxAnswers.front();
    boxAnswers.pop_front();
  }
  boxes.push_back({text, title, buttons, icon, foreground, answer});
  Log("box " + title);
  return answer;
}

void RecordingDesktop::ShowMainWindow() {
  mainWindowShown = true;
  Log("show-window");
}

void RecordingDesktop::AddDebugLine(const std::string& line) {
  debugLines.push_back(line);
  Log("debug " + line);
}

void RecordingDesktop::RemoveFirstDebugLine() {
  if (dropsDebugLines && !debugLines.empty()) debugLines.erase(debugLines.begin());
}

void RecordingDesktop::NotifyIcon(IconMessage message, IconImage image, const std::string& tip) {
  iconCalls.push_back({message, image, tip});
  static const char* const kNames[] = {"add", "modify", "delete"};
  Log(std::string("icon ") + kNames[static_cast<int>(message)] + " " + tip);
}

void RecordingDesktop::BringToForeground() {
  ++foregroundCalls;
  Log("foreground");
}

void RecordingDesktop::SetMenu(const std::vector<MenuItem>& items) {
  menu = items;
  ++menusPublished;
}

void RecordingDesktop::ShowMenu() {
  menusShown.push_back(menu);
  Log("menu");
  if (menuChoice && commands != nullptr) commands->OnMenuCommand(*menuChoice);
}

void RecordingDesktop::ShowAbout(AboutForm&) {
  ++aboutShown;
  Log("about");
}

void RecordingDesktop::ShowStartUp(StartUpForm&) {
  ++startUpShown;
  Log("startup-dialog");
}

AttachedChoice RecordingDesktop::ShowCheckAttached(CheckAttachedForm& form) {
  ++remindersShown;
  Log("reminder");
  if (onCheckAttached) onCheckAttached(form);
  return reminderChoice;
}

}  // namespace zeph
