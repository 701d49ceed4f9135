// The companion programs the monitor drives: their files in the program
// folder, and the event utility's window title.
#pragma once

#include <string>

namespace zeph {

constexpr const char* kControlUtility = "Zephcontrol.exe";
constexpr const char* kEventUtility = "ZephEvent.exe";
constexpr const char* kCustomizer = "zephcfg.exe";
constexpr const char* kWebUpdate = "zephweb.exe";
constexpr const char* kEventWindowTitle = "ZephEvent";

// The settings files the event utility and the customizer read from the
// program folder, and the customizer's and web update utility's titles.
constexpr const char* kEventSettingsFile = "zephevent.ini";
constexpr const char* kCustomizerSettingsFile = "zephcfg.ini";
constexpr const char* kCustomizerTitle = "zephcfg";
constexpr const char* kWebUpdateTitle = "zephweb";

// The control utility's command line for one command:
// programFolder + "\Zephcontrol.exe " + command.
inline std::string ControlCommand(const std::string& programFolder, const std::string& command) {
  return programFolder + "\\" + kControlUtility + " " + command;
}

}  // namespace zeph
