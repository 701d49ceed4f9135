// The monitor's shared state: what start-up sets, the watch list, and the
// game found last.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zeph {

struct WatchEntry {
  std::string ProfileFile;  // profile file name, without folder
  std::string ExeName;      // executable file name exactly as the profile gives it
};

// The count of entries is a 16-bit signed number in the profile format's
// tradition; the list never grows past it.
constexpr size_t kMaxWatchEntries = 32767;

struct MonitorState {
  bool DebugMode = false;
  bool SkipOsCheck = false;
  int16_t RefreshInterval = 1000;  // ms, watch-timer interval while active
  std::string ProfileFolder;       // program folder + "\wyn\"
  std::string ProfileExt;          // ".wyn"
  std::string SettingsFile;        // empty until start-up has prepared it
  std::string CurrentMode;         // "ACTIVE", "SUSPEND" or empty
  std::vector<WatchEntry> WatchList;

  // The game found last; kept after it ends for the end-of-game pass.
  std::string ActiveProfile;
  std::string ActiveAppName;
  std::string GameFolder;
  std::string GameExe;
  std::string GameProcessId;
};

}  // namespace zeph
