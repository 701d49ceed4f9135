// The companion programs the monitor drives: their files in the program
// folder, the settings files shared with them, and the event utility's
// window title.
#pragma once

#include <string>

#include "system/ProcessHelpers.h"

namespace zeph {

constexpr const char* kControlUtility = "Zephcontrol.exe";
constexpr const char* kEventUtility = "ZephEvent.exe";
constexpr const char* kCustomizer = "zephcfg.exe";
constexpr const char* kWebUpdate = "zephweb.exe";
constexpr const char* kEventWindowTitle = "ZephEvent";

// The files in the program folder: the monitor's own settings, the event
// utility's and the customizer's settings, and the command script.
constexpr const char* kMonitorSettingsFile = "zephmon.ini";
constexpr const char* kEventSettingsFile = "zephevent.ini";
constexpr const char* kCustomizerSettingsFile = "zephcfg.ini";
constexpr const char* kCommandScriptFile = "active.zeph";
// The customizer's and the web update utility's window titles.
constexpr const char* kCustomizerTitle = "zephcfg";
constexpr const char* kWebUpdateTitle = "zephweb";

// The command line of a companion program in programFolder, followed by
// arguments when there are any: the program's path in double quotes, so
// that a blank in the folder cannot make another program run.
inline std::string CompanionCommand(const std::string& programFolder, const char* program,
                                    const std::string& arguments = "") {
  std::string line = QuotedProgram(programFolder + "\\" + program);
  return arguments.empty() ? line : line + " " + arguments;
}

// The control utility's command line for one command.
inline std::string ControlCommand(const std::string& programFolder, const std::string& command) {
  return CompanionCommand(programFolder, kControlUtility, command);
}

}  // namespace zeph
