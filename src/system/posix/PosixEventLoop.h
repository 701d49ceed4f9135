// The event loop on POSIX: one poll over the signal pipe, standard input,
// the descriptors a desktop backend watches (and, while a companion program
// runs, its pidfd), with the watch timer as its timeout. The terminal stands in for the
// notification icon:
//  - signals: TERM, INT and HUP mean Exit (closing the terminal must not
//    leave the event utility running and the mode file saying "ACTIVE"),
//    USR1 means Suspend/Resume, USR2 activates the icon (its double click:
//    the customizer); CHLD reaps our children;
//  - lines on standard input, one command each: "menu" (the icon asks for
//    its menu: the terminal prints it), and the menu's entries "about",
//    "customize", "web", "startup", "suspend", "exit".
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "system/EventLoop.h"
#include "system/posix/DescriptorWatch.h"

namespace zeph::posix {

inline constexpr char kTerminalCommands[] = "menu, about, customize, web, startup, suspend, exit";

class EventLoop final : public zeph::EventLoop, public DescriptorWatch {
 public:
  EventLoop();
  void SetCommands(Commands* commands) override { commands_ = commands; }
  void SetTimerInterval(int ms) override;
  void ProcessPendingMessages() override;
  void Run() override;
  void WaitForObject(intptr_t object, int maxMs) override;
  void Sleep(int ms) override;
  std::string TimeOfDay() override;
  void WatchDescriptor(int fd, std::function<void()> onReadable) override;
  void UnwatchDescriptor(int fd) override;

 private:
  using Clock = std::chrono::steady_clock;
  struct Watch {
    int fd;
    uint64_t id;  // tells a watch from a later one of the same descriptor
    std::function<void()> onReadable;
  };
  // One poll of everything for at most timeoutMs (-1: no limit), then the
  // dispatch of what arrived.
  void PollAndDispatch(intptr_t object, int timeoutMs);
  void DispatchWatches(const std::vector<uint64_t>& ready);
  void DispatchSignal(int sig);
  void DispatchPendingSignals();
  // Standard input: what has arrived, then each whole line as a command.
  bool TerminalReadable() const;
  void ReadTerminal();
  void DispatchTerminalLines();
  void DispatchTerminalCommand(const std::string& line);
  // Calls OnTimer when the timer has fallen due.
  void FireTimerIfDue();
  // Milliseconds until the timer falls due (rounded up); -1 when it is off.
  int MsUntilTimer() const;

  Commands* commands_ = nullptr;
  int timerMs_ = 0;
  bool terminalOpen_ = true;  // until standard input ends
  std::string terminalText_;  // read, not yet a whole line
  Clock::time_point timerDue_;
  std::vector<Watch> watches_;
  uint64_t lastWatchId_ = 0;
};

}  // namespace zeph::posix
