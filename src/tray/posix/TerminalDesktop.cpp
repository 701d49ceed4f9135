// The terminal as the desktop: a message box or dialog is printed
// to standard error and answered with its default button, and in debug mode
// each debug line goes to standard output. The icon, the check mark and the
// button caption have nothing to show. Menu commands arrive as signals and
// terminal lines (system/posix/PosixEventLoop.h); the menu, asked for, is
// printed from its latest model with the command of each entry.
#include <algorithm>
#include <cstdio>

#include "tray/Dialogs.h"
#include "tray/posix/DesktopBackends.h"

namespace zeph::posix {

namespace {

const char* TerminalCommand(MenuEntry entry) {
  switch (entry) {
    case MenuEntry::About: return "about";
    case MenuEntry::Customize: return "customize (or SIGUSR2)";
    case MenuEntry::EventUtility: return "";
    case MenuEntry::WebUpdate: return "web";
    case MenuEntry::Startup: return "startup";
    case MenuEntry::Suspend: return "suspend (or SIGUSR1)";
    case MenuEntry::Exit: return "exit (or SIGTERM)";
  }
  return "";
}

class TerminalDesktop final : public Desktop {
 public:
  bool Ready(SystemError*) override { return true; }
  void SetCommands(Commands*) override {}

  BoxAnswer ShowBox(const std::string& text, const std::string& title, BoxButtons buttons, BoxIcon,
                    bool) override {
    BoxAnswer answer = buttons == BoxButtons::YesNo ? BoxAnswer::Yes : BoxAnswer::Ok;
    PrintBoxBlock(text, title, answer == BoxAnswer::Yes ? "Yes" : "OK");
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
  void SetSuspendCaption(const std::string&) override {}
  void BringToForeground() override {}

  void SetMenu(const std::vector<MenuItem>& items) override { menu_ = items; }
  // The choice is typed as its command.
  void ShowMenu() override { PrintMenu(menu_); }

  void ShowAbout(AboutForm& form) override {
    form.Form_Load();
    PrintBoxBlock(form.lblVersion + "\n" + kAboutInfoText + "\n  " + kAuthorWebPage + "\n  " +
                      kAuthorMail + "\n" + kAboutCredit,
                  form.caption, "OK");
  }

  void ShowStartUp(StartUpForm& form) override {
    // The terminal's one action in this dialog is a click on its box.
    const bool ticked = !form.Form_Load();
    PrintBoxBlock(std::string(ticked ? "[x] " : "[ ] ") + kStartUpText, "Startup Settings", "OK");
    form.Form_Unload(ticked);
  }

  AttachedChoice ShowCheckAttached(CheckAttachedForm&) override {
    PrintBoxBlock(std::string(kReminderText) + "\n[ ] " + kReminderIgnore, kReminderTitle,
                  "Continue Anyhow...");
    return AttachedChoice::Continue;
  }

 private:
  static void PrintMenu(const std::vector<MenuItem>& items) {
    std::string out = "=== Popup Menu ===\n";
    for (const MenuItem& item : items) {
      if (!item.visible) continue;
      if (!item.entry) {
        out += "  ----\n";
        continue;
      }
      std::string line = std::string(item.checked ? "  [x] " : "      ") + item.caption;
      line.resize(std::max<size_t>(line.size() + 1, 28), ' ');
      out += line + TerminalCommand(*item.entry) + "\n";
    }
    PrintBlock(out + "=== end of menu ===\n");
  }

  bool debugMode_ = false;
  std::vector<MenuItem> menu_;  // the model last published
};

}  // namespace

void PrintBlock(const std::string& out) {
  std::fflush(stderr);
  std::fwrite(out.data(), 1, out.size(), stderr);
  std::fflush(stderr);
}

void PrintBoxBlock(const std::string& text, const std::string& title, const std::string& answer) {
  std::string out = "=== " + title + " ===\n";
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  PrintBlock(out + "\n=== " + answer + " ===\n");
}

std::unique_ptr<Desktop> MakeTerminalDesktop() { return std::make_unique<TerminalDesktop>(); }

}  // namespace zeph::posix
