// The desktop on POSIX is the terminal: a message box is printed to
// standard error and answered with its default button, and in debug mode
// each debug line goes to standard output. The icon, the check mark and the
// button caption have nothing to show. Menu commands arrive as signals
// (system/posix/PosixEventLoop.h).
#include <cstdio>

#include "tray/Desktop.h"

namespace zeph {

namespace {

class TerminalDesktop final : public Desktop {
 public:
  bool Ready(SystemError*) override { return true; }
  void SetCommands(Commands*) override {}

  BoxAnswer ShowBox(const std::string& text, const std::string& title, BoxButtons buttons,
                    BoxIcon) override {
    BoxAnswer answer = buttons == BoxButtons::YesNo ? BoxAnswer::Yes : BoxAnswer::Ok;
    std::string out = "=== " + title + " ===\n";
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
      out += text[i];
    }
    out += "\n=== ";
    out += answer == BoxAnswer::Yes ? "Yes" : "OK";
    out += " ===\n";
    // One write, so that a box is never torn apart by other output.
    std::fflush(stderr);
    std::fwrite(out.data(), 1, out.size(), stderr);
    std::fflush(stderr);
    return answer;
  }

  void ShowMainWindow() override { debugMode_ = true; }
  void HideFromTaskList() override {}

  void AddDebugLine(const std::string& line) override {
    if (!debugMode_) return;
    std::string out = line + "\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
  }
  void RemoveFirstDebugLine() override {}  // printed lines stay where they are
  void SelectDebugLine(int) override {}
  void NotifyIcon(IconMessage, IconImage, const std::string&) override {}
  void SetSuspendChecked(bool) override {}
  void SetSuspendCaption(const std::string&) override {}

 private:
  bool debugMode_ = false;
};

}  // namespace

std::unique_ptr<Desktop> CreatePlatformDesktop() { return std::make_unique<TerminalDesktop>(); }

}  // namespace zeph
