// The game found last: what its activation knew of it. It is kept after the
// game ends, for the end-of-game pass.
#pragma once

#include <cstdint>
#include <string>

#include "system/Processes.h"

namespace zeph {

struct Game {
  std::string profile;  // the profile's path
  std::string appName;  // IDENTIFICATION / APPLICATION_NAME
  std::string folder;   // folder of the executable, without trailing "\"
  std::string exe;      // file name of the executable
  uint32_t processId = 0;
  WineRun wine;  // the prefix a Windows game runs in under Wine
};

// Told when the watch of a game begins and ends; the tray shows it in the
// icon's tip.
class WatchStatus {
 public:
  virtual ~WatchStatus() = default;
  virtual void WatchStarted(const Game& game) = 0;
  virtual void WatchEnded() = 0;
};

}  // namespace zeph
