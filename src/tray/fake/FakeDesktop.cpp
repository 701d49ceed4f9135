#include "tray/fake/FakeDesktop.h"

namespace zeph {

bool FakeDesktop::Ready(SystemError* err) {
  if (!windowFails) return true;
  return Fail(err, 1407, "Cannot find window class.");
}

BoxAnswer FakeDesktop::ShowBox(const std::string& text, const std::string& title,
                               BoxButtons buttons, BoxIcon icon) {
  boxes.push_back({text, title, buttons, icon});
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

}  // namespace zeph
