// The desktop of a Linux session: the icon and its menu are a
// StatusNotifierItem on the session bus (StatusNotifierItem.h), shown by the
// desktop's panel; boxes and dialogs are desktop notifications
// (Notifications.h). The terminal stays beside them: it prints every box and
// dialog as before (with the answer given), shows the debug lines, and
// stands in for what the desktop lacks: the menu while no tray shows the
// icon (no watcher, a watcher without a host, or the bus gone), the boxes
// and dialogs while no notification server is there. When a tray appears
// later, the icon goes there.
#include <cstdio>
#include <memory>

#include "tray/Dialogs.h"
#include "tray/posix/DesktopBackends.h"
#include "tray/posix/Notifications.h"
#include "tray/posix/SessionBus.h"
#include "tray/posix/StatusNotifierItem.h"

namespace zeph::posix {

namespace {

void SayLine(const std::string& line) { PrintBlock("sni: " + line + "\n"); }

const char* BoxIconName(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::Critical: return "dialog-error";
    case BoxIcon::Question: return "dialog-question";
    case BoxIcon::Exclamation: return "dialog-warning";
    case BoxIcon::Information: return "dialog-information";
    case BoxIcon::None: break;
  }
  return "";
}

const char* AnswerKey(BoxAnswer answer) {
  switch (answer) {
    case BoxAnswer::Ok: return "ok";
    case BoxAnswer::Cancel: return "cancel";
    case BoxAnswer::Yes: return "yes";
    case BoxAnswer::No: return "no";
  }
  return "";
}

// The box's buttons, the default (first) one first.
std::vector<BoxAnswer> Buttons(BoxButtons buttons) {
  switch (buttons) {
    case BoxButtons::Ok: return {BoxAnswer::Ok};
    case BoxButtons::OkCancel: return {BoxAnswer::Ok, BoxAnswer::Cancel};
    case BoxButtons::YesNo: return {BoxAnswer::Yes, BoxAnswer::No};
  }
  return {BoxAnswer::Ok};
}

const char* ButtonLabel(BoxAnswer answer) {
  switch (answer) {
    case BoxAnswer::Ok: return "OK";
    case BoxAnswer::Cancel: return "Cancel";
    case BoxAnswer::Yes: return "Yes";
    case BoxAnswer::No: return "No";
  }
  return "";
}

class SniDesktop final : public Desktop {
 public:
  SniDesktop(EventLoop& loop, std::unique_ptr<SessionBus> bus,
             std::unique_ptr<StatusNotifierItem> item, std::unique_ptr<Notifications> notes)
      : loop_(loop),
        bus_(std::move(bus)),
        item_(std::move(item)),
        notes_(std::move(notes)),
        terminal_(MakeTerminalDesktop()) {
    bus_->SetOnClosed(
        [](const std::string& why) { SayLine(why + "; the terminal stands in for the icon"); });
  }

  bool Ready(SystemError* err) override { return terminal_->Ready(err); }
  void SetCommands(Commands* commands) override {
    item_->SetCommands(commands);
    terminal_->SetCommands(commands);
  }

  // A notification with the box's title and text; where there is more than
  // one button, the program waits for the one chosen, and the default one is
  // the answer when the notification closes without a choice. A box with
  // one button has nothing to wait for. The terminal prints it either way.
  BoxAnswer ShowBox(const std::string& text, const std::string& title, BoxButtons buttons,
                    BoxIcon icon, bool) override {
    const std::vector<BoxAnswer> choices = Buttons(buttons);
    Notice notice{title, text, BoxIconName(icon), icon == BoxIcon::Critical, {}};
    const bool wait = choices.size() > 1 && HasActions();
    if (wait) {
      for (BoxAnswer choice : choices)
        notice.actions.emplace_back(AnswerKey(choice), ButtonLabel(choice));
    }
    BoxAnswer answer = choices.front();
    if (wait) {
      bool shown = false;
      const std::string key = Await(notice, &shown);
      for (BoxAnswer choice : choices) {
        if (key == AnswerKey(choice)) answer = choice;
      }
    } else {
      Notify(notice, 0, {});
    }
    PrintBoxBlock(text, title, ButtonLabel(answer));
    return answer;
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

  // About: its texts, with the web page, the mail link and "System Info..."
  // as actions, carried out when chosen. Nothing waits for it: a second
  // About takes the place of the first.
  void ShowAbout(AboutForm& form) override {
    terminal_->ShowAbout(form);  // loads the form
    Notice notice{form.caption,
                  form.lblVersion + "\n" + kAboutInfoText + "\n" + kAuthorWebPage + "\n" +
                      kAuthorMail + "\n" + kAboutCredit,
                  DialogIcon(),
                  false,
                  {}};
    NoticeHandlers handlers;
    handlers.shown = [this](uint32_t id) { about_ = id; };
    if (HasActions()) {
      notice.actions = {{"web", "Web page"}, {"mail", "Mail"}, {"sysinfo", "System Info..."}};
      handlers.answered = [this, &form](const std::string& key) {
        about_ = 0;
        if (key == "web") form.lblWebLink_Click();
        if (key == "mail") form.lblMailLink_Click();
        if (key == "sysinfo") form.cmdSysInfo_Click();
      };
    }
    Notify(notice, about_, std::move(handlers));
  }

  // Startup settings: the setting as it is, with an action that switches
  // it. Closing the notification is closing the dialog: the setting is
  // written as shown. A switch writes it at once and shows it again. With
  // no server that takes actions, the terminal switches it.
  void ShowStartUp(StartUpForm& form) override {
    if (!HasActions()) {
      terminal_->ShowStartUp(form);
      Notify({"Startup Settings", StartUpLine(form.Form_Load()), DialogIcon(), false, {}}, 0, {});
      return;
    }
    ShowStartUpAs(form, form.Form_Load());
  }

  // The reminder waits for its answer: "Continue Anyhow...", "Exit", or
  // its check box ticked (and the start goes on). Closed without a choice,
  // or with no server that takes actions, it is "Continue Anyhow..." with
  // the box as it was, as the terminal answers.
  AttachedChoice ShowCheckAttached(CheckAttachedForm& form) override {
    if (!HasActions()) return terminal_->ShowCheckAttached(form);
    bool shown = false;
    const std::string key =
        Await({kReminderTitle,
               kReminderText,
               "dialog-warning",
               false,
               {{"continue", "Continue Anyhow..."}, {"ignore", kReminderIgnore}, {"exit", "Exit"}}},
              &shown);
    if (!shown) return terminal_->ShowCheckAttached(form);
    if (key == "ignore") form.chkIgnore_Click(true);
    const AttachedChoice choice = key == "exit" ? AttachedChoice::Exit : AttachedChoice::Continue;
    PrintBoxBlock(
        std::string(kReminderText) + (key == "ignore" ? "\n[x] " : "\n[ ] ") + kReminderIgnore,
        kReminderTitle, choice == AttachedChoice::Exit ? "Exit" : "Continue Anyhow...");
    return choice;
  }

 private:
  static std::string StartUpLine(bool ticked) {
    return std::string(ticked ? "[x] " : "[ ] ") + kStartUpText;
  }

  void ShowStartUpAs(StartUpForm& form, bool ticked) {
    NoticeHandlers handlers;
    handlers.shown = [this](uint32_t id) { startUp_ = id; };
    handlers.answered = [this, &form, ticked](const std::string& key) {
      startUp_ = 0;
      if (key == "switch") {
        form.Form_Unload(!ticked);
        PrintBoxBlock(StartUpLine(!ticked), "Startup Settings", "OK");
        ShowStartUpAs(form, !ticked);
        return;
      }
      form.Form_Unload(ticked);
    };
    handlers.failed = [&form, ticked](const std::string&) { form.Form_Unload(ticked); };
    Notify({"Startup Settings",
            StartUpLine(ticked),
            DialogIcon(),
            false,
            {{"switch", ticked ? "Clear the box" : "Tick the box"}, {"ok", "OK"}}},
           startUp_, std::move(handlers));
  }

  // The program's icon where the icon theme has it.
  const char* DialogIcon() const {
    return item_->ThemeIcons() ? "zephmonitor" : "dialog-information";
  }

  // Whether a notification server is there that shows buttons; until the
  // server has said what it can do, messages keep flowing.
  bool HasActions() {
    if (notes_ == nullptr) return false;
    while (!notes_->CapabilitiesKnown() && bus_->Open()) loop_.WaitForObject(-1, 1000);
    return notes_->Capabilities().count("actions") > 0;
  }

  // Sends the notification; when no server takes it, that is said once on
  // standard error (the terminal has printed it).
  void Notify(const Notice& notice, uint32_t replaces, NoticeHandlers handlers) {
    if (notes_ == nullptr) return;
    std::function<void(const std::string&)> failed = std::move(handlers.failed);
    handlers.failed = [this, failed](const std::string& why) {
      if (!noServerSaid_) SayLine("no notification shown (" + why + "); boxes are the terminal's");
      noServerSaid_ = true;
      if (failed) failed(why);
    };
    std::function<void(uint32_t)> shown = std::move(handlers.shown);
    handlers.shown = [this, shown](uint32_t id) {
      noServerSaid_ = false;
      if (shown) shown(id);
    };
    notes_->Show(notice, replaces, std::move(handlers));
  }

  // The key of the action chosen; "" when the notification closed without
  // one or the bus went away. shown says whether a server took it. Messages
  // keep flowing meanwhile.
  std::string Await(const Notice& notice, bool* shown) {
    struct Wait {
      bool done = false;
      bool shown = false;
      std::string key;
    };
    auto wait = std::make_shared<Wait>();
    NoticeHandlers handlers;
    handlers.shown = [wait](uint32_t) { wait->shown = true; };
    handlers.answered = [wait](const std::string& key) {
      wait->shown = true;
      wait->key = key;
      wait->done = true;
    };
    handlers.failed = [wait](const std::string&) { wait->done = true; };
    Notify(notice, 0, std::move(handlers));
    while (!wait->done && bus_->Open()) loop_.WaitForObject(-1, 1000);
    *shown = wait->shown;
    return wait->key;
  }

  EventLoop& loop_;
  // In this order: the item's and the notifications' callbacks refer to the
  // connection.
  std::unique_ptr<SessionBus> bus_;
  std::unique_ptr<StatusNotifierItem> item_;
  std::unique_ptr<Notifications> notes_;
  std::unique_ptr<Desktop> terminal_;
  uint32_t about_ = 0;    // the About notification while it is shown
  uint32_t startUp_ = 0;  // the Startup Settings notification while it is shown
  bool noServerSaid_ = false;
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
            std::string noNotes;  // boxes stay the terminal's
            std::unique_ptr<Notifications> notes = Notifications::Create(*bus, &noNotes);
            if (!notes) SayLine(noNotes);
            return std::make_unique<SniDesktop>(host.loop, std::move(bus), std::move(item),
                                                std::move(notes));
          }};
}

}  // namespace zeph::posix
