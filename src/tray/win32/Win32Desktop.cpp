// The desktop on Windows: the main window with its debug list and buttons,
// the notification-area icon and its menu, and the message boxes and dialogs
// owned by the main window.
#include "tray/Desktop.h"
#include "tray/win32/Dialogs.h"
#include "tray/win32/MainWindow.h"

namespace zeph {

namespace {

class WindowDesktop final : public Desktop {
 public:
  WindowDesktop()
      : window_(GetModuleHandleA(nullptr)), dialogs_(GetModuleHandleA(nullptr), window_.Handle()) {}

  bool Ready(SystemError* err) override {
    return window_.Created() || Fail(err, window_.CreationError());
  }
  void SetCommands(Commands* commands) override { window_.SetCommands(commands); }

  BoxAnswer ShowBox(const std::string& text, const std::string& title, BoxButtons buttons,
                    BoxIcon icon, bool foreground) override {
    UINT type = foreground ? MB_SETFOREGROUND : 0;
    BoxAnswer refused = BoxAnswer::Ok;  // the answer when no box could be shown
    if (buttons == BoxButtons::OkCancel) {
      type |= MB_OKCANCEL;
      refused = BoxAnswer::Cancel;
    } else if (buttons == BoxButtons::YesNo) {
      type |= MB_YESNO;
      refused = BoxAnswer::No;
    }
    switch (icon) {
      case BoxIcon::Critical: type |= MB_ICONHAND; break;
      case BoxIcon::Question: type |= MB_ICONQUESTION; break;
      case BoxIcon::Exclamation: type |= MB_ICONEXCLAMATION; break;
      case BoxIcon::Information: type |= MB_ICONASTERISK; break;
      case BoxIcon::None: break;
    }
    switch (MessageBoxA(window_.Handle(), text.c_str(), title.c_str(), type)) {
      case IDOK: return BoxAnswer::Ok;
      case IDCANCEL: return BoxAnswer::Cancel;
      case IDYES: return BoxAnswer::Yes;
      case IDNO: return BoxAnswer::No;
      default: return refused;
    }
  }

  void ShowMainWindow() override { window_.Show(); }
  void HideFromTaskList() override { window_.HideFromTaskList(); }
  void AddDebugLine(const std::string& line) override { window_.AddDebugLine(line); }
  void RemoveFirstDebugLine() override { window_.RemoveFirstDebugLine(); }
  void SelectDebugLine(int index) override { window_.SelectDebugLine(index); }
  void NotifyIcon(IconMessage message, IconImage image, const std::string& tip) override {
    // Like the shell's own callers, the monitor does not act on a failure.
    window_.NotifyIcon(message, image, tip);
  }
  void SetSuspendCaption(const std::string& caption) override {
    window_.SetSuspendCaption(caption);
  }
  void BringToForeground() override { SetForegroundWindow(window_.Handle()); }
  void SetMenu(const std::vector<MenuItem>& items) override { window_.SetMenu(items); }
  void ShowMenu() override { window_.ShowMenu(); }
  void ShowAbout(AboutForm& form) override { dialogs_.ShowAbout(form); }
  void ShowStartUp(StartUpForm& form) override { dialogs_.ShowStartUp(form); }
  AttachedChoice ShowCheckAttached(CheckAttachedForm& form) override {
    return dialogs_.ShowCheckAttached(form);
  }

 private:
  win32::MainWindow window_;
  win32::DialogWindows dialogs_;  // destroyed first: they are owned by the window
};

}  // namespace

// The window's messages come through any loop of this thread.
std::unique_ptr<Desktop> CreatePlatformDesktop(EventLoop&) {
  return std::make_unique<WindowDesktop>();
}

}  // namespace zeph
