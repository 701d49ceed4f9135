// The debug list of the main window. It exists, and receives lines, even
// while the window is hidden; its view (the desktop's list box, or the
// terminal) shows it. It keeps the latest kMaxLines lines: a monitor that
// runs for months must not grow with every resume.
#pragma once

#include <deque>
#include <string>

namespace zeph {

// Where the list is shown. The desktop implements it.
class DebugView {
 public:
  virtual ~DebugView() = default;
  virtual void AddDebugLine(const std::string& line) = 0;
  virtual void RemoveFirstDebugLine() = 0;
  virtual void SelectDebugLine(int index) = 0;
};

class DebugList {
 public:
  static constexpr size_t kMaxLines = 5000;

  explicit DebugList(DebugView& view) : view_(view) {}

  // Debug mode (the command line's option): the routines then say more.
  bool DebugMode() const { return debugMode_; }
  void SetDebugMode(bool on) { debugMode_ = on; }

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
  DebugView& view_;
  bool debugMode_ = false;
  std::deque<std::string> lines_;
};

}  // namespace zeph
