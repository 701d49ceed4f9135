// What the Windows harness offers beyond the scenarios of both targets: the
// monitor's process and main window, the desktop its programs run on, and
// the companions it started. For the Windows-only tray scenarios.
#pragma once

#include <memory>
#include <string>

#include "Driver.h"
#include "Harness.h"

namespace zeph::e2e {

class Win32MonitorHarness : public MonitorHarness {
 public:
  // The same program folder and environment as MonitorHarness::Create().
  static std::unique_ptr<Win32MonitorHarness> CreateWin32();

  // The copy's process id; 0 when there is no such copy.
  virtual DWORD Pid(int copy) = 0;
  // The copy's main window; null before it has one.
  virtual HWND MainWindow(int copy) = 0;
  // Programs started from now on (monitors, games) run on this desktop, and
  // what they start runs there too; "" for the desktop of the test's start.
  virtual void StartOnDesktop(const std::string& desktop) = 0;
  // True when a program runs from Folder()\exeName.
  virtual bool ProgramRunning(const std::string& exeName) = 0;
};

}  // namespace zeph::e2e
