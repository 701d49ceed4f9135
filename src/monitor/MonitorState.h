// What start-up sets and the watch list.
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
  bool SkipOsCheck = false;
  int16_t RefreshInterval = 1000;  // ms, watch-timer interval while active
  std::string ProfileFolder;       // program folder + "\wyn\"
  std::string ProfileExt;          // ".wyn"
  std::vector<WatchEntry> WatchList;
};

}  // namespace zeph
