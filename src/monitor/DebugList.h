// The debug list of the main window. It exists, and receives lines, even
// while the window is hidden; the platform shows it (list box or terminal).
#pragma once

#include <string>
#include <vector>

#include "system/System.h"

namespace zeph {

class DebugList {
 public:
  explicit DebugList(System& sys) : sys_(sys) {}

  void Add(const std::string& line);
  void Select(int index);
  // Selects the line before the last one (the last being an empty line).
  void SelectBeforeLast() { Select(Count() - 2); }
  void SelectLast() { Select(Count() - 1); }

  int Count() const { return static_cast<int>(lines_.size()); }
  // The last line; empty when the list is empty.
  std::string Last() const { return lines_.empty() ? "" : lines_.back(); }
  const std::vector<std::string>& Lines() const { return lines_; }

 private:
  System& sys_;
  std::vector<std::string> lines_;
};

}  // namespace zeph
