#include "monitor/DebugList.h"

namespace zeph {

void DebugList::Add(const std::string& line) {
  lines_.push_back(line);
  desktop_.AddDebugLine(line);
  if (lines_.size() > kMaxLines) {
    lines_.pop_front();
    desktop_.RemoveFirstDebugLine();
  }
}

void DebugList::Select(int index) {
  if (index >= 0 && index < Count()) desktop_.SelectDebugLine(index);
}

}  // namespace zeph
