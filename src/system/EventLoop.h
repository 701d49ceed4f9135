// The program's one thread of control: the watch timer, the messages that
// bring commands, waits that keep those messages flowing, and the clock.
#pragma once

#include <cstdint>
#include <string>

namespace zeph {

// What reaches the program through its message processing: the timer, the
// debug window's buttons and close button, the menu, and on POSIX the
// signals that stand in for the menu commands.
class Commands {
 public:
  virtual ~Commands() = default;
  virtual void OnTimer() = 0;          // the watch timer fell due
  virtual void OnExit() = 0;           // Exit button or menu, close button; TERM, INT, HUP
  virtual void OnSuspendToggle() = 0;  // Suspend button or menu; USR1
};

class EventLoop {
 public:
  virtual ~EventLoop() = default;
  virtual void SetCommands(Commands* commands) = 0;
  // The watch timer; 0 stops it. Setting it restarts its count.
  virtual void SetTimerInterval(int ms) = 0;
  // Dispatches the messages that are waiting, then returns.
  virtual void ProcessPendingMessages() = 0;
  // Dispatches messages until the program ends.
  virtual void Run() = 0;
  // Waits until object (ProcessHandle::WaitObject) is signalled, a message
  // arrives or maxMs have passed, and dispatches what arrived.
  virtual void WaitForObject(intptr_t object, int maxMs) = 0;
  // Sleeps without dispatching commands.
  virtual void Sleep(int ms) = 0;
  // The current time of day in the system's time format.
  virtual std::string TimeOfDay() = 0;
};

}  // namespace zeph
