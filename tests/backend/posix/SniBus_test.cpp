// The tray item on a private session bus of its own (a dbus-daemon started
// for each test), in this process: the program's side runs in the real
// event loop, the desktop's side (a watcher of ours) on a second
// connection pumped beside it. What the sni scenarios cannot see from
// outside: where the commands run, and the signals as they leave.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "system/posix/PosixEventLoop.h"
#include "tray/posix/SessionBus.h"
#include "tray/posix/StatusNotifierItem.h"

namespace zeph::posix {
namespace {

constexpr char kMenuInterface[] = "com.canonical.dbusmenu";
constexpr char kItemInterface[] = "org.kde.StatusNotifierItem";

std::vector<MenuItem> Menu(bool suspended) {
  return {{MenuEntry::About, "About...", true, false},
          {std::nullopt, "-", true, false},
          {MenuEntry::Suspend, "Suspend", true, suspended},
          {MenuEntry::Exit, "Exit", true, false}};
}

// Records each command with whether it ran inside a call of the bus; the
// Suspend entry waits a while in the loop, as a command does while a
// companion program starts.
class Commands final : public zeph::Commands {
 public:
  Commands(EventLoop& loop, SessionBus*& bus) : loop_(loop), bus_(bus) {}
  void OnTimer() override {}
  void OnExit() override {}
  void OnSuspendToggle() override {}
  void OnIconActivated() override { Record("activated"); }
  void OnMenuRequested() override { Record("menu requested"); }
  void OnMenuCommand(MenuEntry entry) override {
    if (entry != MenuEntry::Suspend) return Record(entry == MenuEntry::Exit ? "exit" : "other");
    Record("suspend begins");
    loop_.Sleep(150);
    Record("suspend ends");
  }
  std::vector<std::string> seen;

 private:
  void Record(const std::string& what) {
    const bool inside =
        bus_ != nullptr && bus_->Open() && sd_bus_get_current_message(bus_->Bus()) != nullptr;
    seen.push_back(inside ? what + " (inside a bus call)" : what);
  }
  EventLoop& loop_;
  SessionBus*& bus_;
};

class SniBus : public ::testing::Test {
 protected:
  void SetUp() override {
    int out[2];
    ASSERT_EQ(0, pipe(out));
    daemon_ = fork();
    ASSERT_GE(daemon_, 0);
    if (daemon_ == 0) {
      close(out[0]);
      const int null = open("/dev/null", O_WRONLY);
      if (null >= 0) dup2(null, STDERR_FILENO);  // its notes on the machine's limits
      const std::string fd = "--print-address=" + std::to_string(out[1]);
      execlp("dbus-daemon", "dbus-daemon", "--session", "--nofork", "--nopidfile", fd.c_str(),
             static_cast<char*>(nullptr));
      _exit(127);
    }
    close(out[1]);
    char buffer[512];
    std::string address;
    for (ssize_t got; address.find('\n') == std::string::npos &&
                      (got = read(out[0], buffer, sizeof buffer)) > 0;)
      address.append(buffer, static_cast<size_t>(got));
    close(out[0]);
    ASSERT_NE(std::string::npos, address.find('\n'))
        << "dbus-daemon (Debian package dbus) gave no address";
    address.resize(address.find('\n'));
    const char* old = getenv("DBUS_SESSION_BUS_ADDRESS");
    savedAddress_ = old != nullptr ? old : "";
    hadAddress_ = old != nullptr;
    setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);

    std::string why;
    bus_ = SessionBus::Connect(loop_, &why);
    ASSERT_NE(nullptr, bus_) << why;
    busForCommands_ = bus_.get();
    bus_->SetOnClosed([this](const std::string& why) { notes.push_back("closed: " + why); });
    ASSERT_GE(sd_bus_open_user(&desktop_), 0);
    sd_bus_add_object_vtable(desktop_, nullptr, "/StatusNotifierWatcher", kWatcherName,
                             kWatcherVtable, this);
    for (const char* member : {"ItemsPropertiesUpdated", "LayoutUpdated"})
      sd_bus_match_signal(desktop_, nullptr, nullptr, kMenuPath, kMenuInterface, member,
                          RecordSignal, this);
    for (const char* member : {"NewIcon", "NewToolTip"})
      sd_bus_match_signal(desktop_, nullptr, nullptr, kItemPath, kItemInterface, member,
                          RecordSignal, this);
  }

  void TearDown() override {
    item_.reset();
    busForCommands_ = nullptr;
    bus_.reset();
    if (desktop_ != nullptr) sd_bus_flush_close_unref(desktop_);
    if (daemon_ > 0) {
      kill(daemon_, SIGTERM);
      waitpid(daemon_, nullptr, 0);
    }
    if (hadAddress_) {
      setenv("DBUS_SESSION_BUS_ADDRESS", savedAddress_.c_str(), 1);
    } else {
      unsetenv("DBUS_SESSION_BUS_ADDRESS");
    }
  }

  // The item, on the menu of Menu(false) and the monitoring icon.
  void MakeItem() {
    std::string why;
    item_ = StatusNotifierItem::Create(
        *bus_, [this](const std::string& line) { notes.push_back(line); }, &why);
    ASSERT_NE(nullptr, item_) << why;
    item_->SetCommands(&commands);
    item_->SetMenu(Menu(false));
    item_->SetIcon(IconImage::Monitoring, "Thalix Monitor");
  }

  // The desktop's side takes the watcher's name (with a tray, or not yet).
  void StartWatcher(bool host) {
    host_ = host;
    ASSERT_GE(sd_bus_request_name(desktop_, kWatcherName, 0), 0);
  }
  void StopWatcher() { sd_bus_release_name(desktop_, kWatcherName); }
  void AddHost() {
    host_ = true;
    sd_bus_emit_signal(desktop_, "/StatusNotifierWatcher", kWatcherName,
                       "StatusNotifierHostRegistered", "");
  }

  // Runs both sides until done() or seconds have passed.
  bool Pump(const std::function<bool()>& done, int seconds = 5) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      loop_.WaitForObject(-1, 5);
      while (sd_bus_process(desktop_, nullptr) > 0) {
      }
      sd_bus_flush(desktop_);
    }
    return true;
  }
  // Runs both sides for a while: what was sent has arrived by then.
  void Settle() {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    Pump([&] { return std::chrono::steady_clock::now() > end; });
  }
  bool Noted(const std::string& text) {
    return Pump([&] {
      for (const std::string& line : notes)
        if (line.find(text) != std::string::npos) return true;
      return false;
    });
  }

  // A click on menu item id, as a host sends it.
  void Click(int32_t id) {
    ASSERT_GE(sd_bus_call_method_async(desktop_, nullptr, bus_->UniqueName().c_str(), kMenuPath,
                                       kMenuInterface, "Event", CountReply, this, "isvu", id,
                                       "clicked", "i", 0, 0u),
              0);
  }

  static int Register(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto* self = static_cast<SniBus*>(userdata);
    const char* service = nullptr;
    sd_bus_message_read(m, "s", &service);
    self->registrations.push_back(service);
    if (self->silent_) return 1;  // taken, never answered
    return sd_bus_reply_method_return(m, "");
  }
  static int HostThere(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply,
                       void* userdata, sd_bus_error*) {
    return sd_bus_message_append(reply, "b", static_cast<SniBus*>(userdata)->host_ ? 1 : 0);
  }
  static int CountReply(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto* self = static_cast<SniBus*>(userdata);
    self->replies.push_back(sd_bus_message_is_method_error(m, nullptr) ? "error" : "ok");
    return 0;
  }
  // The signal's name, and for a property update each item's id and
  // properties ("9 toggle-state=1").
  static int RecordSignal(sd_bus_message* m, void* userdata, sd_bus_error*) {
    std::string text = sd_bus_message_get_member(m);
    if (text == "ItemsPropertiesUpdated" &&
        sd_bus_message_enter_container(m, 'a', "(ia{sv})") > 0) {
      while (sd_bus_message_enter_container(m, 'r', "ia{sv}") > 0) {
        int32_t id = 0;
        sd_bus_message_read(m, "i", &id);
        text += " " + std::to_string(id);
        sd_bus_message_enter_container(m, 'a', "{sv}");
        while (sd_bus_message_enter_container(m, 'e', "sv") > 0) {
          const char* name = nullptr;
          sd_bus_message_read(m, "s", &name);
          char type = 0;
          const char* contents = nullptr;
          sd_bus_message_peek_type(m, &type, &contents);
          sd_bus_message_enter_container(m, 'v', contents);
          text += std::string(" ") + name + "=";
          if (contents[0] == 'i') {
            int32_t value = 0;
            sd_bus_message_read(m, "i", &value);
            text += std::to_string(value);
          } else {
            sd_bus_message_skip(m, contents);
            text += "?";
          }
          sd_bus_message_exit_container(m);
          sd_bus_message_exit_container(m);
        }
        sd_bus_message_exit_container(m);
        sd_bus_message_exit_container(m);
      }
    }
    static_cast<SniBus*>(userdata)->signals.push_back(text);
    return 0;
  }
  static const sd_bus_vtable kWatcherVtable[];

  EventLoop loop_;
  SessionBus* busForCommands_ = nullptr;
  Commands commands{loop_, busForCommands_};
  std::unique_ptr<SessionBus> bus_;
  std::unique_ptr<StatusNotifierItem> item_;
  sd_bus* desktop_ = nullptr;
  pid_t daemon_ = -1;
  bool host_ = false;
  bool silent_ = false;  // the watcher never answers a registration
  std::string savedAddress_;
  bool hadAddress_ = false;

  std::vector<std::string> notes;          // the item's lines and the bus's end
  std::vector<std::string> registrations;  // as the watcher was told
  std::vector<std::string> replies;        // to the clicks
  std::vector<std::string> signals;        // as they reached the desktop's side
};

const sd_bus_vtable SniBus::kWatcherVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("RegisterStatusNotifierItem", "s", "", SniBus::Register, 0),
    SD_BUS_PROPERTY("IsStatusNotifierHostRegistered", "b", SniBus::HostThere, 0, 0),
    SD_BUS_SIGNAL("StatusNotifierHostRegistered", "", 0),
    SD_BUS_VTABLE_END,
};

TEST_F(SniBus, ClicksRunFromTheLoopAfterTheirReplyAndACommandThatWaitsTakesTheNext) {
  StartWatcher(true);
  MakeItem();
  item_->Add();
  ASSERT_TRUE(Noted("the desktop's tray shows the icon"));
  ASSERT_EQ(1u, registrations.size());
  EXPECT_EQ("org.kde.StatusNotifierItem-" + std::to_string(getpid()) + "-1", registrations[0]);
  EXPECT_TRUE(item_->Shown());

  // Suspend, then Exit while Suspend's command waits in the loop: Exit runs
  // inside that wait, as a message does during a wait on Windows; neither
  // runs inside the bus's own call, and both calls have their answer.
  Click(3);
  Click(4);
  ASSERT_TRUE(Pump([&] { return commands.seen.size() == 3 && replies.size() == 2; }));
  EXPECT_EQ((std::vector<std::string>{"suspend begins", "exit", "suspend ends"}), commands.seen);
  EXPECT_EQ((std::vector<std::string>{"ok", "ok"}), replies);

  // A separator and an unknown item: no command; the unknown one is an error.
  Click(2);
  Click(99);
  ASSERT_TRUE(Pump([&] { return replies.size() == 4; }));
  EXPECT_EQ("ok", replies[2]);
  EXPECT_EQ("error", replies[3]);

  // The primary click.
  ASSERT_GE(sd_bus_call_method_async(desktop_, nullptr, bus_->UniqueName().c_str(), kItemPath,
                                     kItemInterface, "Activate", CountReply, this, "ii", 1, 1),
            0);
  ASSERT_TRUE(Pump([&] { return commands.seen.size() == 4; }));
  EXPECT_EQ("activated", commands.seen.back());
}

TEST_F(SniBus, TheCheckMarkAndTheIconLeaveAsSignalsOnlyWhenTheyChange) {
  StartWatcher(true);
  MakeItem();
  item_->Add();
  ASSERT_TRUE(Noted("shows the icon"));
  signals.clear();
  item_->SetMenu(Menu(true));
  item_->SetMenu(Menu(true));  // no change, no signal
  item_->SetIcon(IconImage::Suspended, "Thalix Monitor - Suspended");
  item_->SetIcon(IconImage::Suspended, "Thalix Monitor - Watching: Game");
  item_->SetIcon(IconImage::Suspended, "Thalix Monitor - Watching: Game");
  ASSERT_TRUE(Pump([&] { return signals.size() >= 4; }));
  Settle();  // anything more would have arrived by now
  EXPECT_EQ((std::vector<std::string>{"ItemsPropertiesUpdated 3 toggle-state=1", "NewIcon",
                                      "NewToolTip", "NewToolTip"}),
            signals);
  // A menu of another shape is read again as a whole.
  signals.clear();
  std::vector<MenuItem> longer = Menu(true);
  longer.push_back({MenuEntry::WebUpdate, "Web update...", true, false});
  item_->SetMenu(longer);
  ASSERT_TRUE(Pump([&] { return !signals.empty(); }));
  EXPECT_EQ("LayoutUpdated", signals[0]);
}

TEST_F(SniBus, TheIconFollowsTheWatcherAndItsTrayAndOutlivesTheBus) {
  MakeItem();
  item_->Add();
  ASSERT_TRUE(Noted("no StatusNotifierWatcher on the session bus; the terminal stands in"));
  EXPECT_FALSE(item_->Shown());

  StartWatcher(false);  // a watcher, but nothing draws the icon yet
  ASSERT_TRUE(Noted("has no tray"));
  EXPECT_EQ(1u, registrations.size());
  EXPECT_FALSE(item_->Shown());
  AddHost();
  ASSERT_TRUE(Noted("shows the icon"));
  EXPECT_TRUE(item_->Shown());

  StopWatcher();
  ASSERT_TRUE(Noted("the StatusNotifierWatcher left the session bus"));
  EXPECT_FALSE(item_->Shown());
  StartWatcher(true);
  ASSERT_TRUE(Pump([&] { return registrations.size() == 2 && item_->Shown(); }));

  // Each change said once, in order.
  const std::vector<std::string> expected = {
      "no StatusNotifierWatcher on the session bus; the terminal stands in for the icon until a "
      "tray shows it",
      "the StatusNotifierWatcher has no tray (IsStatusNotifierHostRegistered is false); the "
      "terminal stands in for the icon until a tray shows it",
      "the desktop's tray shows the icon",
      "the StatusNotifierWatcher left the session bus; the terminal stands in for the icon until "
      "a tray shows it",
      "the desktop's tray shows the icon",
  };
  EXPECT_EQ(expected, notes);

  // The bus ends: the connection is closed, the icon is no longer shown,
  // and the loop goes on without it.
  kill(daemon_, SIGTERM);
  waitpid(daemon_, nullptr, 0);
  daemon_ = -1;
  ASSERT_TRUE(Noted("closed: the session bus closed the connection"));
  EXPECT_FALSE(bus_->Open());
  EXPECT_FALSE(item_->Shown());
  item_->SetMenu(Menu(true));
  item_->SetIcon(IconImage::Suspended, "tip");
  item_->Remove();
  loop_.WaitForObject(-1, 10);
}

TEST_F(SniBus, AWatcherThatNeverAnswersIsGivenUpWhenTheCallTimesOut) {
  silent_ = true;
  StartWatcher(true);
  MakeItem();
  item_->Add();
  ASSERT_TRUE(Pump([&] { return !registrations.empty(); }));
  // Nothing arrives on the connection meanwhile: only the call's own time
  // limit can end the wait.
  ASSERT_TRUE(Pump(
      [&] {
        return !notes.empty() && notes.back().find("did not take the icon") != std::string::npos;
      },
      15));
  EXPECT_NE(std::string::npos, notes.back().find("timed out")) << notes.back();
  EXPECT_FALSE(item_->Shown());
  // The next watcher is asked again, and answers.
  silent_ = false;
  StopWatcher();
  StartWatcher(true);
  ASSERT_TRUE(Noted("shows the icon"));
  EXPECT_EQ(2u, registrations.size());
}

TEST_F(SniBus, OtherConnectionsComingAndGoingDoNotWakeTheProgram) {
  StartWatcher(true);
  MakeItem();
  item_->Add();
  ASSERT_TRUE(Noted("shows the icon"));
  Settle();
  for (int i = 0; i < 5; ++i) {
    sd_bus* other = nullptr;
    ASSERT_GE(sd_bus_open_user(&other), 0);
    ASSERT_GE(sd_bus_request_name(other, "org.example.Other", 0), 0);
    sd_bus_flush_close_unref(other);
  }
  // By the time a call of the desktop's side comes back, the bus has sent
  // the signals of those names' owners to whoever asked for them.
  ASSERT_GE(sd_bus_call_method(desktop_, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                               "org.freedesktop.DBus", "GetId", nullptr, nullptr, ""),
            0);
  pollfd connection{sd_bus_get_fd(bus_->Bus()), POLLIN, 0};
  EXPECT_EQ(0, poll(&connection, 1, 100));
}

}  // namespace
}  // namespace zeph::posix
