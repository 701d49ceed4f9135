// The notification area as the Windows tray scenarios see it: a desktop with
// a task bar for the monitor's icon, where the icon sits on it, what the
// screen shows there, clicks on it from the X side, and the registry values
// the tray's dialogs read and write.
//
// Under Wine, a desktop with a size in HKCU\Software\Wine\Explorer\Desktops
// is drawn as a virtual desktop window on the X display, and one with
// EnableShell gets Wine's task bar. The test process moves itself there and
// starts the monitor there, so that both see the same windows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Driver.h"

namespace zeph::e2e::tray {

inline constexpr char kTrayDesktop[] = "zephtray";

// Puts this thread on the tray desktop, which it makes first, and waits
// until the desktop's task bar is there. False, with why, when it cannot.
// The thread must not own a window yet.
bool JoinTrayDesktop(std::string* why);

POINT Center(const RECT& r);

// The colours of a screen rectangle, row by row (0x00RRGGBB).
std::vector<uint32_t> ScreenPixels(const RECT& r);
// True when the pixels hold more than one colour: something is drawn there.
bool HoldsAnImage(const std::vector<uint32_t>& pixels);

// Clicks `count` times with mouse button `button` (1 left, 3 right) at a
// point of the tray desktop, from the X side (xdotool, relative to the
// virtual desktop's X window). Returns once xdotool is started; its effect
// is for the caller to wait for. False, with why, when xdotool or the
// desktop's X window is not there.
bool XClick(POINT at, int button, int count, std::string* why);

// The size the system gives a popup menu of these entries: one shown by
// this process and closed again. Where another process's menu cannot be
// read, a menu window of the same size holds the same entries (another
// entry or a longer text changes it). Zero on failure.
SIZE MenuSizeFor(const std::vector<zeph::driver::MenuLine>& lines);

// --- registry
// A string value; false when the key or the value is missing.
bool RegString(HKEY root, const std::string& subkey, const std::string& name, std::string* value);
void SetRegString(HKEY root, const std::string& subkey, const std::string& name,
                  const std::string& value);
void DeleteRegValue(HKEY root, const std::string& subkey, const std::string& name);

// Keeps a string value as it was: saved when made, put back (or deleted,
// when it was missing) when destroyed.
class SavedRegValue {
 public:
  SavedRegValue(HKEY root, std::string subkey, std::string name);
  ~SavedRegValue();
  SavedRegValue(const SavedRegValue&) = delete;
  SavedRegValue& operator=(const SavedRegValue&) = delete;

 private:
  HKEY root_;
  std::string subkey_;
  std::string name_;
  bool present_ = false;
  std::string value_;
};

}  // namespace zeph::e2e::tray
