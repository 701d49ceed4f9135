// The debug list of the main window. It exists, and receives lines, even
// while the window is hidden; the desktop shows it (list box or terminal).
// It keeps the latest kMaxLines lines: a monitor that runs for months must
// not grow with every resume.
#pragma once

#include <deque>
#include <string>

#include "tray/Desktop.h"

namespace zeph {

class DebugList {
 public:
  static constexpr size_t kMaxLines = 5000;

  explicit DebugList(Desktop& desktop) : desktop_(desktop) {}

  void Add(const std::string& line);
  void Select(int index);
  // Selects the line before the last one (the last being an empty line).
  void SelectBeforeLast() { Select(Count() - 2); }
  void SelectLast() { Select(Count() - 1); }

  int Count() const { return static_cast<int>(lines_.size()); }
  // The last line; empty when the list is empty.
  std::string Last() const { return lines_.empty() ? "" : lines_.back(); }
  const std::deque<std::string>& Lines() const { return lines_; }

 private:
  Desktop& desktop_;
  std::deque<std::string> lines_;
};

}  // namespace zeph
