// Desktop notifications (org.freedesktop.Notifications) on the session bus:
// how the Linux desktop shows boxes and dialogs. Nothing here waits for the
// server: a notification is sent and the program goes on (one shown before
// the program ends has left by then: the connection is flushed), and the
// server's reply, the action chosen and the notification's close come back
// through the event loop, never inside a call of the bus. What the server
// can do is asked when it appears and kept. A server that leaves the bus
// closes what it showed.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tray/posix/SessionBus.h"

inline constexpr char kNotificationsName[] = "org.freedesktop.Notifications";

struct sd_bus_slot;

namespace zeph::posix {

struct Notice {
  std::string summary;  // the title
  std::string body;     // plain text; escaped here where the server reads markup
  std::string icon;     // an icon theme name; "" for none
  bool critical = false;
  // (key, label) of each button; "default" is the key a click on the
  // notification itself gives.
  std::vector<std::pair<std::string, std::string>> actions;
};

// What becomes of a notification; each is called once at most, from the
// event loop, and may be left empty.
struct NoticeHandlers {
  std::function<void(uint32_t id)> shown;  // the server took it
  // The key of the action chosen, or "" when it closed without one
  // (expired, dismissed, the server gone).
  std::function<void(const std::string& key)> answered;
  std::function<void(const std::string& why)> failed;  // no server took it
};

class Notifications {
 public:
  // Follows the server on bus and asks what it can do; null with why when
  // it cannot.
  static std::unique_ptr<Notifications> Create(SessionBus& bus, std::string* why);
  ~Notifications();
  Notifications(const Notifications&) = delete;
  Notifications& operator=(const Notifications&) = delete;

  // Whether the server's answer to what it can do has come (or there is
  // none to ask); until then Capabilities is empty.
  bool CapabilitiesKnown() const { return capabilitiesKnown_; }
  // "actions", "body-markup", ...; empty when no server is there.
  const std::set<std::string>& Capabilities() const { return capabilities_; }
  // Shows notice in place of the notification replaces (0: a new one).
  void Show(const Notice& notice, uint32_t replaces, NoticeHandlers handlers);

  // For the bus's callbacks (Notifications.cpp).
  struct Access;

 private:
  explicit Notifications(SessionBus& bus) : bus_(bus) {}
  void AskCapabilities();
  void Shown(uint64_t cookie, uint32_t id, const std::string& why);
  void Answer(uint32_t id, const std::string& key);
  void AnswerAll();

  SessionBus& bus_;
  std::vector<sd_bus_slot*> matches_;
  sd_bus_slot* capabilitiesCall_ = nullptr;
  // Notifications sent whose reply has not come, by the call's cookie.
  struct Sent {
    sd_bus_slot* call;
    NoticeHandlers handlers;
  };
  std::map<uint64_t, Sent> sent_;
  bool capabilitiesKnown_ = false;
  std::set<std::string> capabilities_;
  // Notifications shown whose answer is awaited, by id.
  std::map<uint32_t, std::function<void(const std::string&)>> answers_;
};

}  // namespace zeph::posix
