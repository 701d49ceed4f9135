// The companion programs as the activation, the end-of-game pass and the
// tray drive them: the control utility run once per command, and the event
// utility closed by its window.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "system/DebugList.h"
#include "system/EventLoop.h"
#include "system/Processes.h"
#include "system/Program.h"

namespace zeph {

class CompanionControl {
 public:
  CompanionControl(Program& program, Processes& processes, EventLoop& loop, DebugList& debugList)
      : program_(program), processes_(processes), loop_(loop), debugList_(debugList) {}

  // The controller back to its defaults.
  void ResetController();
  void CloseZephEvent();
  // Starts the event utility without waiting for it.
  void StartZephEvent();
  // Runs each command through the control utility, in order, each waited
  // for, while keepGoing() holds. Failures are debug lines in debug mode.
  void RunControlCommands(const std::vector<std::string>& commands,
                          const std::function<bool()>& keepGoing);
  // The reset's commands, as RunControlCommands takes them.
  static const std::vector<std::string>& ResetCommands();

 private:
  Program& program_;
  Processes& processes_;
  EventLoop& loop_;
  DebugList& debugList_;
};

}  // namespace zeph
