// The desktop of a Linux session with a tray: the icon and its menu are a
// StatusNotifierItem on the session bus (StatusNotifierItem.h), shown by the
// desktop's panel. Boxes, debug lines and dialogs stay the terminal's for
// now, and so does the menu while no tray shows the icon (no watcher, a
// watcher without a host, or the bus gone): "menu" on standard input then
// prints it as before. When a tray appears later, the icon goes there.
// The connection belongs to the desktop, not to the item, so that other
// parts on the bus (notifications for the boxes) can share it.
#include <cstdio>

#include "tray/Dialogs.h"
#include "tray/posix/DesktopBackends.h"
#include "tray/posix/SessionBus.h"
#include "tray/posix/StatusNotifierItem.h"

namespace zeph::posix {

namespace {

void SayLine(const std::string& line) {
  const std::string out = "sni: " + line + "\n";
  std::fflush(stderr);
  std::fwrite(out.data(), 1, out.size(), stderr);
  std::fflush(stderr);
}

class SniDesktop final : public Desktop {
 public:
  SniDesktop(std::unique_ptr<SessionBus> bus, std::unique_ptr<StatusNotifierItem> item)
      : bus_(std::move(bus)), item_(std::move(item)), terminal_(MakeTerminalDesktop()) {
    bus_->SetOnClosed(
        [](const std::string& why) { SayLine(why + "; the terminal stands in for the icon"); });
  }

  bool Ready(SystemError* err) override { return terminal_->Ready(err); }
  void SetCommands(Commands* commands) override {
    item_->SetCommands(commands);
    terminal_->SetCommands(commands);
  }

  BoxAnswer ShowBox(const std::string& text, const std::string& title, BoxButtons buttons,
                    BoxIcon icon, bool foreground) override {
    return terminal_->ShowBox(text, title, buttons, icon, foreground);
  }
  void ShowMainWindow() override { terminal_->ShowMainWindow(); }
  void HideFromTaskList() override { terminal_->HideFromTaskList(); }
  void AddDebugLine(const std::string& line) override { terminal_->AddDebugLine(line); }
  void RemoveFirstDebugLine() override { terminal_->RemoveFirstDebugLine(); }
  void SelectDebugLine(int index) override { terminal_->SelectDebugLine(index); }

  void NotifyIcon(IconMessage message, IconImage image, const std::string& tip) override {
    switch (message) {
      case IconMessage::Add:
        item_->SetIcon(image, tip);
        item_->Add();
        break;
      case IconMessage::Modify: item_->SetIcon(image, tip); break;
      case IconMessage::Delete: item_->Remove(); break;
    }
  }
  void SetSuspendCaption(const std::string& caption) override {
    terminal_->SetSuspendCaption(caption);
  }
  void BringToForeground() override {}

  void SetMenu(const std::vector<MenuItem>& items) override {
    item_->SetMenu(items);
    terminal_->SetMenu(items);
  }
  // The tray's host shows the menu by itself; without one the terminal
  // prints it.
  void ShowMenu() override {
    if (!item_->Shown()) terminal_->ShowMenu();
  }

  void ShowAbout(AboutForm& form) override { terminal_->ShowAbout(form); }
  void ShowStartUp(StartUpForm& form) override { terminal_->ShowStartUp(form); }
  AttachedChoice ShowCheckAttached(CheckAttachedForm& form) override {
    return terminal_->ShowCheckAttached(form);
  }

 private:
  // In this order: the item's callbacks refer to the connection.
  std::unique_ptr<SessionBus> bus_;
  std::unique_ptr<StatusNotifierItem> item_;
  std::unique_ptr<Desktop> terminal_;
};

}  // namespace

DesktopBackend SniBackend() {
  return {"sni",
          [](const DesktopHost& host, std::string* why) {
            if (host.descriptors == nullptr) {
              *why = "the event loop watches no descriptors";
              return false;
            }
            return SessionBusAddressKnown(why);
          },
          [](DesktopHost& host, std::string* why) -> std::unique_ptr<Desktop> {
            std::unique_ptr<SessionBus> bus = SessionBus::Connect(*host.descriptors, why);
            if (!bus) return nullptr;
            std::unique_ptr<StatusNotifierItem> item =
                StatusNotifierItem::Create(*bus, SayLine, why);
            if (!item) return nullptr;
            return std::make_unique<SniDesktop>(std::move(bus), std::move(item));
          }};
}

}  // namespace zeph::posix
