#include "system/DebugList.h"

namespace zeph {

void DebugList::Add(const std::string& line) {
  lines_.push_back(line);
  view_.AddDebugLine(line);
  if (lines_.size() > kMaxLines) {
    lines_.pop_front();
    view_.RemoveFirstDebugLine();
  }
}

void DebugList::Select(int index) {
  if (index >= 0 && index < Count()) view_.SelectDebugLine(index);
}

}  // namespace zeph
