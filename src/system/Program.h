// The running program itself: where it lives, how it was started, whether
// another copy runs, and the platform it runs on.
#pragma once

#include <cstdint>
#include <string>

namespace zeph {

// What the platform reports of its version (all zero when it cannot tell).
struct OsVersion {
  uint32_t platformId = 0;  // 1: Windows 95 family, 2: NT family
  uint32_t major = 0;
  uint32_t minor = 0;
};

class Program {
 public:
  virtual ~Program() = default;
  // Folder of the running executable, Windows form, without a trailing backslash.
  virtual std::string Folder() = 0;
  // File name of the running executable ("ZephMonitor.exe"; on POSIX as the
  // file is named).
  virtual std::string ExeName() = 0;
  // The argument text: the command line without the program's own name.
  virtual std::string Arguments() = 0;
  // True when another copy of this program runs. Never counts the copy that
  // asks; once asked, this copy counts for later copies.
  virtual bool AnotherInstanceRunning() = 0;
  // Ends the process at once. Nothing after the call runs.
  [[noreturn]] virtual void End() = 0;
  virtual OsVersion Version() = 0;
  // The user's own data folder for this program, Windows form, without a
  // trailing backslash: %LOCALAPPDATA%\ZephMonitor on Windows,
  // $XDG_STATE_HOME/zephmonitor (~/.local/state/zephmonitor) elsewhere. It
  // may not exist yet; "" when the platform names none.
  virtual std::string DataFolder() = 0;
};

}  // namespace zeph
