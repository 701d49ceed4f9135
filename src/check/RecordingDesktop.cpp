#include "check/RecordingDesktop.h"

namespace zeph {

BoxAnswer RecordingDesktop::ShowBox(const std::string& text, const std::string& title,
                                    BoxButtons buttons, BoxIcon icon, bool) {
  // The default button is the first: OK, or Yes.
  const BoxAnswer answer = buttons == BoxButtons::YesNo ? BoxAnswer::Yes : BoxAnswer::Ok;
  boxes.push_back({text, title, buttons, icon, answer});
  return answer;
}

AttachedChoice RecordingDesktop::ShowCheckAttached(CheckAttachedForm&) {
  ++checkAttachedShown;
  return AttachedChoice::Continue;
}

}  // namespace zeph
