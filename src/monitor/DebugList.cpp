#include "monitor/DebugList.h"

namespace zeph {

void DebugList::Add(const std::string& line) {
  lines_.push_back(line);
  sys_.AddDebugLine(line);
}

void DebugList::Select(int index) {
  if (index >= 0 && index < Count()) sys_.SelectDebugLine(index);
}

}  // namespace zeph
