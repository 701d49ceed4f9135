#include "tray/posix/Notifications.h"

#include <systemd/sd-bus.h>

#include "tray/posix/DbusText.h"

namespace zeph::posix {

namespace {

constexpr char kPath[] = "/org/freedesktop/Notifications";
// A server started by the bus for the call may take a while to come.
constexpr uint64_t kCallTimeout = 5 * 1000 * 1000;  // µs

std::string ErrorText(const sd_bus_error* error, int code) {
  if (error != nullptr && error->message != nullptr) return error->message;
  return BusErrorText(code);
}

}  // namespace

struct Notifications::Access {
  static int ActionInvoked(sd_bus_message* m, void* userdata, sd_bus_error*) {
    uint32_t id = 0;
    const char* key = nullptr;
    if (sd_bus_message_read(m, "us", &id, &key) > 0)
      static_cast<Notifications*>(userdata)->Answer(id, key != nullptr ? key : "");
    return 0;
  }
  static int Closed(sd_bus_message* m, void* userdata, sd_bus_error*) {
    uint32_t id = 0;
    uint32_t reason = 0;
    if (sd_bus_message_read(m, "uu", &id, &reason) > 0)
      static_cast<Notifications*>(userdata)->Answer(id, "");
    return 0;
  }
  static int OwnerChanged(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto& notes = *static_cast<Notifications*>(userdata);
    const char* name = nullptr;
    const char* before = nullptr;
    const char* after = nullptr;
    if (sd_bus_message_read(m, "sss", &name, &before, &after) <= 0) return 0;
    if (before != nullptr && before[0] != '\0') notes.AnswerAll();
    notes.capabilities_.clear();
    notes.capabilitiesKnown_ = after == nullptr || after[0] == '\0';
    if (!notes.capabilitiesKnown_) notes.AskCapabilities();
    return 0;
  }
  static int CapabilitiesReply(sd_bus_message* reply, void* userdata, sd_bus_error*) {
    auto& notes = *static_cast<Notifications*>(userdata);
    notes.capabilitiesCall_ = sd_bus_slot_unref(notes.capabilitiesCall_);
    notes.capabilities_.clear();
    notes.capabilitiesKnown_ = true;
    if (sd_bus_message_is_method_error(reply, nullptr) ||
        sd_bus_message_enter_container(reply, 'a', "s") < 0)
      return 0;  // no server: nothing it can do
    const char* capability = nullptr;
    while (sd_bus_message_read(reply, "s", &capability) > 0) notes.capabilities_.insert(capability);
    return 0;
  }
  static int NotifyReply(sd_bus_message* reply, void* userdata, sd_bus_error*) {
    auto& notes = *static_cast<Notifications*>(userdata);
    uint64_t cookie = 0;
    sd_bus_message_get_reply_cookie(reply, &cookie);
    uint32_t id = 0;
    const sd_bus_error* error = sd_bus_message_get_error(reply);
    int r = error != nullptr ? -sd_bus_message_get_errno(reply) : 0;
    if (r >= 0) r = sd_bus_message_read(reply, "u", &id);
    notes.Shown(cookie, r < 0 ? 0 : id, r < 0 ? ErrorText(error, r) : std::string());
    return 0;
  }
};

std::unique_ptr<Notifications> Notifications::Create(SessionBus& bus, std::string* why) {
  std::unique_ptr<Notifications> notes(new Notifications(bus));
  using A = Notifications::Access;
  sd_bus* b = bus.Bus();
  sd_bus_slot* slot[3] = {};
  int r = sd_bus_match_signal(b, &slot[0], nullptr, kPath, kNotificationsName, "ActionInvoked",
                              A::ActionInvoked, notes.get());
  if (r >= 0)
    r = sd_bus_match_signal(b, &slot[1], nullptr, kPath, kNotificationsName, "NotificationClosed",
                            A::Closed, notes.get());
  if (r >= 0)
    r = sd_bus_add_match(b, &slot[2],
                         "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
                         "interface='org.freedesktop.DBus',member='NameOwnerChanged',"
                         "arg0='org.freedesktop.Notifications'",
                         A::OwnerChanged, notes.get());
  for (sd_bus_slot* s : slot) {
    if (s != nullptr) notes->matches_.push_back(s);
  }
  if (r < 0) {
    if (why) *why = "cannot follow the notification server: " + BusErrorText(r);
    return nullptr;
  }
  notes->AskCapabilities();
  return notes;
}

Notifications::~Notifications() {
  // The calls under way and the matches end with their slots.
  for (auto& entry : sent_) sd_bus_slot_unref(entry.second.call);
  for (sd_bus_slot* slot : matches_) sd_bus_slot_unref(slot);
  sd_bus_slot_unref(capabilitiesCall_);
}

void Notifications::AskCapabilities() {
  capabilitiesCall_ = sd_bus_slot_unref(capabilitiesCall_);
  int r = bus_.Open() ? 0 : -ENOTCONN;
  if (r >= 0)
    r = sd_bus_call_method_async(bus_.Bus(), &capabilitiesCall_, kNotificationsName, kPath,
                                 kNotificationsName, "GetCapabilities", Access::CapabilitiesReply,
                                 this, nullptr);
  if (r < 0) capabilitiesKnown_ = true;
  bus_.Flush();
}

void Notifications::Show(const Notice& notice, uint32_t replaces, NoticeHandlers handlers) {
  const bool markup = capabilities_.count("body-markup") > 0;
  const std::string body = markup ? MarkupEscaped(DbusText(notice.body)) : DbusText(notice.body);
  sd_bus_message* call = nullptr;
  sd_bus_slot* slot = nullptr;
  int r = bus_.Open() ? 0 : -ENOTCONN;
  if (r >= 0)
    r = sd_bus_message_new_method_call(bus_.Bus(), &call, kNotificationsName, kPath,
                                       kNotificationsName, "Notify");
  if (r >= 0)
    r = sd_bus_message_append(call, "susss", "Thalix Monitor", replaces, notice.icon.c_str(),
                              DbusText(notice.summary).c_str(), body.c_str());
  if (r >= 0) r = sd_bus_message_open_container(call, 'a', "s");
  for (const auto& [key, label] : notice.actions) {
    if (r >= 0) r = sd_bus_message_append(call, "ss", key.c_str(), DbusText(label).c_str());
  }
  if (r >= 0) r = sd_bus_message_close_container(call);
  // Critical stays until the user closes it; the desktop entry names the
  // program to servers that group by it.
  if (r >= 0)
    r = sd_bus_message_append(call, "a{sv}i", 2, "urgency", "y",
                              static_cast<uint8_t>(notice.critical ? 2 : 1), "desktop-entry", "s",
                              "zephmonitor", -1);
  uint64_t cookie = 0;
  if (r >= 0)
    r = sd_bus_call_async(bus_.Bus(), &slot, call, Access::NotifyReply, this, kCallTimeout);
  if (r >= 0) r = sd_bus_message_get_cookie(call, &cookie);
  sd_bus_message_unref(call);
  if (r < 0) {
    sd_bus_slot_unref(slot);
    if (handlers.failed) {
      auto failed = std::move(handlers.failed);
      const std::string why = BusErrorText(r);
      bus_.Post([failed, why] { failed(why); });
    }
    return;
  }
  sent_[cookie] = Sent{slot, std::move(handlers)};
  bus_.Flush();  // it leaves now, also when the program ends next
}

void Notifications::Shown(uint64_t cookie, uint32_t id, const std::string& why) {
  auto it = sent_.find(cookie);
  if (it == sent_.end()) return;
  NoticeHandlers handlers = std::move(it->second.handlers);
  sd_bus_slot_unref(it->second.call);
  sent_.erase(it);
  // Registered now, inside the bus's processing: its answer may be the very
  // next message.
  if (id != 0 && handlers.answered) answers_[id] = std::move(handlers.answered);
  if (id != 0 && handlers.shown) {
    auto shown = std::move(handlers.shown);
    bus_.Post([shown, id] { shown(id); });
  }
  if (id == 0 && handlers.failed) {
    auto failed = std::move(handlers.failed);
    bus_.Post([failed, why] { failed(why); });
  }
}

void Notifications::Answer(uint32_t id, const std::string& key) {
  auto it = answers_.find(id);
  if (it == answers_.end()) return;  // not ours, or answered already
  std::function<void(const std::string&)> answer = std::move(it->second);
  answers_.erase(it);
  bus_.Post([answer, key] { answer(key); });
}

void Notifications::AnswerAll() {
  std::map<uint32_t, std::function<void(const std::string&)>> all;
  all.swap(answers_);
  for (auto& entry : all) {
    auto answer = std::move(entry.second);
    bus_.Post([answer] { answer(""); });
  }
}

}  // namespace zeph::posix
