// The program's connection to the session D-Bus (sd-bus), served by the
// event loop: its descriptor is one of the loop's watched descriptors, so
// what arrives is handled in every wait, like the timer and the commands;
// a timer descriptor beside it falls due when a call's answer is overdue.
// The tray item uses it now; a notifications backend can share it.
//
// Handlers that sd-bus calls must not end up in the loop again (sd-bus
// refuses to process a connection from inside its own callback), so what a
// call asks of the program is queued with Post and carried out once the
// connection has been processed, one at a time, like the signals: the
// caller already has its reply, and a command may wait and dispatch more.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "system/posix/DescriptorWatch.h"

struct sd_bus;

namespace zeph::posix {

// Whether a session bus can be looked for here: its address is set, or the
// user's runtime folder holds its socket. why says which is missing.
bool SessionBusAddressKnown(std::string* why);

class SessionBus {
 public:
  // The connection, watched by descriptors; null with why when the bus
  // cannot be reached.
  static std::unique_ptr<SessionBus> Connect(DescriptorWatch& descriptors, std::string* why);
  ~SessionBus();
  SessionBus(const SessionBus&) = delete;
  SessionBus& operator=(const SessionBus&) = delete;

  sd_bus* Bus() const { return bus_; }
  bool Open() const { return bus_ != nullptr; }
  const std::string& UniqueName() const { return uniqueName_; }

  // Called from the loop after the messages that arrived have been handled.
  void Post(std::function<void()> work);
  // Has the loop process the connection at its next wait: after a call
  // that waited for its reply, sd-bus may hold messages it read ahead, and
  // the descriptor will not say so.
  void Wake();
  // Called once when the connection ends (the bus went away); the bus is
  // closed by then.
  void SetOnClosed(std::function<void(const std::string& why)> onClosed) {
    onClosed_ = std::move(onClosed);
  }
  // Handles what has arrived (also what sd-bus read ahead during a call
  // that waited for its reply), writes what is queued, then runs the work
  // posted. The loop calls it; never call it from an sd-bus callback.
  void Process();
  // Writes out what is queued (signals and replies leave at once), and
  // sets the timer for the calls under way.
  void Flush();

 private:
  SessionBus(DescriptorWatch& descriptors, sd_bus* bus);
  void Close(const std::string& why);

  DescriptorWatch& descriptors_;
  sd_bus* bus_;
  int fd_ = -1;
  int wakeFd_ = -1;   // an eventfd, readable while a wake is due
  int timerFd_ = -1;  // a timerfd, readable when sd-bus has a timeout due
  std::string uniqueName_;
  std::deque<std::function<void()>> posted_;
  std::function<void(const std::string&)> onClosed_;
};

// The text of an sd-bus error code (a negative errno).
std::string BusErrorText(int code);

}  // namespace zeph::posix
