#include "tray/posix/SessionBus.h"

#include <sys/eventfd.h>
#include <sys/stat.h>
#include <sys/timerfd.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace zeph::posix {

std::string BusErrorText(int code) { return std::strerror(code < 0 ? -code : code); }

bool SessionBusAddressKnown(std::string* why) {
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address != nullptr && address[0] != '\0') return true;
  // Without the variable sd-bus takes the user's bus socket.
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  struct stat st;
  if (runtime != nullptr && runtime[0] == '/' &&
      stat((std::string(runtime) + "/bus").c_str(), &st) == 0 && S_ISSOCK(st.st_mode))
    return true;
  if (why) *why = "no session bus (DBUS_SESSION_BUS_ADDRESS is not set)";
  return false;
}

std::unique_ptr<SessionBus> SessionBus::Connect(DescriptorWatch& descriptors, std::string* why) {
  sd_bus* bus = nullptr;
  int r = sd_bus_open_user(&bus);
  const char* step = "connect";
  if (r >= 0) {
    // Waits for the bus's welcome, so that a bus that takes the connection
    // and then refuses us is found out here.
    const char* unique = nullptr;
    step = "join";
    r = sd_bus_get_unique_name(bus, &unique);
  }
  if (r < 0) {
    if (why) *why = std::string("cannot ") + step + " the session bus: " + BusErrorText(r);
    sd_bus_flush_close_unref(bus);
    return nullptr;
  }
  return std::unique_ptr<SessionBus>(new SessionBus(descriptors, bus));
}

SessionBus::SessionBus(DescriptorWatch& descriptors, sd_bus* bus)
    : descriptors_(descriptors),
      bus_(bus),
      fd_(sd_bus_get_fd(bus)),
      wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  const char* unique = nullptr;
  if (sd_bus_get_unique_name(bus_, &unique) >= 0 && unique != nullptr) uniqueName_ = unique;
  descriptors_.WatchDescriptor(fd_, [this] { Process(); });
  if (wakeFd_ >= 0) {
    descriptors_.WatchDescriptor(wakeFd_, [this] {
      uint64_t count = 0;  // drained; EAGAIN when nothing was due
      [[maybe_unused]] const ssize_t got = read(wakeFd_, &count, sizeof count);
      Process();
    });
  }
  timerFd_ = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
  if (timerFd_ >= 0) {
    descriptors_.WatchDescriptor(timerFd_, [this] {
      uint64_t expirations = 0;
      [[maybe_unused]] const ssize_t got = read(timerFd_, &expirations, sizeof expirations);
      Process();  // sd-bus ends the overdue calls with a timeout error
    });
  }
  Wake();  // the welcome may have brought more than the welcome
}

SessionBus::~SessionBus() {
  for (int fd : {wakeFd_, timerFd_}) {
    if (fd < 0) continue;
    descriptors_.UnwatchDescriptor(fd);
    close(fd);
  }
  if (bus_ == nullptr) return;
  descriptors_.UnwatchDescriptor(fd_);
  sd_bus_flush_close_unref(bus_);
}

void SessionBus::Post(std::function<void()> work) {
  posted_.push_back(std::move(work));
  Wake();
}

void SessionBus::Wake() {
  if (wakeFd_ < 0) return;
  const uint64_t one = 1;
  // Only a full counter refuses, and then a wake is due already.
  [[maybe_unused]] const ssize_t put = write(wakeFd_, &one, sizeof one);
}

void SessionBus::Process() {
  while (bus_ != nullptr) {
    const int r = sd_bus_process(bus_, nullptr);
    if (r < 0 || !sd_bus_is_open(bus_)) {
      Close("the session bus closed the connection" +
            (r < 0 ? " (" + BusErrorText(r) + ")" : std::string()));
      break;
    }
    if (r == 0) break;
  }
  Flush();
  // One at a time: a piece of work may itself wait, and the loop then
  // processes the bus again and takes the next.
  while (!posted_.empty()) {
    std::function<void()> work = std::move(posted_.front());
    posted_.pop_front();
    work();
  }
}

void SessionBus::Flush() {
  if (bus_ == nullptr) return;
  // A write that fails leaves the connection closed, which the next
  // Process finds (here it may be inside an sd-bus callback).
  sd_bus_flush(bus_);
  // sd-bus's next timeout is a point of the monotonic clock in µs, or none.
  uint64_t due = UINT64_MAX;
  if (timerFd_ < 0 || sd_bus_get_timeout(bus_, &due) < 0) return;
  itimerspec at{};
  if (due != UINT64_MAX) {
    due = std::max<uint64_t>(due, 1);  // 0 would disarm the timer: due now
    at.it_value.tv_sec = static_cast<time_t>(due / 1000000);
    at.it_value.tv_nsec = static_cast<long>(due % 1000000 * 1000);
  }
  timerfd_settime(timerFd_, TFD_TIMER_ABSTIME, &at, nullptr);
}

void SessionBus::Close(const std::string& why) {
  descriptors_.UnwatchDescriptor(fd_);
  sd_bus_close(bus_);
  sd_bus_unref(bus_);
  bus_ = nullptr;
  if (onClosed_) onClosed_(why);
}

}  // namespace zeph::posix
