// The event loop on POSIX: one poll over the signal pipe (and, while a
// companion program runs, its pidfd), with the watch timer as its timeout.
// Signals are the menu commands: TERM, INT and HUP mean Exit (closing the
// terminal must not leave the event utility running and the mode file
// saying "ACTIVE"), USR1 means Suspend/Resume; CHLD reaps our children.
#pragma once

#include <chrono>

#include "system/EventLoop.h"

namespace zeph::posix {

class EventLoop final : public zeph::EventLoop {
 public:
  EventLoop();
  void SetCommands(Commands* commands) override { commands_ = commands; }
  void SetTimerInterval(int ms) override;
  void ProcessPendingMessages() override;
  void Run() override;
  void WaitForObject(intptr_t object, int maxMs) override;
  void Sleep(int ms) override;
  std::string TimeOfDay() override;

 private:
  using Clock = std::chrono::steady_clock;
  void DispatchSignal(int sig);
  void DispatchPendingSignals();
  // Calls OnTimer when the timer has fallen due.
  void FireTimerIfDue();
  // Milliseconds until the timer falls due (rounded up); -1 when it is off.
  int MsUntilTimer() const;

  Commands* commands_ = nullptr;
  int timerMs_ = 0;
  Clock::time_point timerDue_;
};

}  // namespace zeph::posix
