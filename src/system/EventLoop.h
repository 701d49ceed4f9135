// The program's one thread of control: the watch timer, the messages that
// bring commands, waits that keep those messages flowing, and the clock.
#pragma once

#include <cstdint>
#include <string>

namespace zeph {

// The entries of the notification icon's popup menu that carry a command.
enum class MenuEntry { About, Customize, EventUtility, WebUpdate, Startup, Suspend, Exit };

// What reaches the program through its message processing: the timer, the
// debug window's buttons and close button, the icon and its menu, and on
// POSIX the signals and terminal commands that stand in for them.
class Commands {
 public:
  virtual ~Commands() = default;
  virtual void OnTimer() = 0;          // the watch timer fell due
  virtual void OnExit() = 0;           // Exit button, close button; TERM, INT, HUP
  virtual void OnSuspendToggle() = 0;  // Suspend button; USR1
  // The icon was activated: on Windows its double click; a desktop host's primary click.
  virtual void OnIconActivated() = 0;
  // The icon asks for its menu: on Windows the right button released over it.
  virtual void OnMenuRequested() = 0;
  // An entry chosen from the popup menu (or its terminal command).
  virtual void OnMenuCommand(MenuEntry entry) = 0;
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
  // Waits ms, dispatching messages as they arrive, so that the menu and
  // the buttons answer at once; the wait lasts ms whatever arrives.
  virtual void Sleep(int ms) = 0;
  // The current time of day in the system's time format.
  virtual std::string TimeOfDay() = 0;
};

}  // namespace zeph
