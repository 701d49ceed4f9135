// Runs the real monitor in a temporary program folder and watches what it
// shows, on either target. Scenarios are written once against this class;
// HarnessPosix.cpp and HarnessWin32.cpp do the platform's part.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zeph::e2e {

struct BoxSeen {
  std::string title;
  std::string text;  // lines joined by "\n"
};

class MonitorHarness {
 public:
  // Makes a fresh program folder with a copy of the monitor and empty
  // "wyn" and "games" folders, and an environment of its own (registry,
  // previous-instance marker) so that tests do not see each other. The
  // folder's path holds a blank ("... my games/prog"), and a program sits at
  // the path's prefix ("... my", "... my.exe") that must never run.
  static std::unique_ptr<MonitorHarness> Create();
  virtual ~MonitorHarness() = default;  // ends every process it started

  // Program folder, in the test's native form (std::filesystem usable).
  virtual std::string Folder() = 0;

  // An executable name of this test run's own ("racer" -> "racer-5f3a2c.exe"),
  // so that runs side by side on one machine never see each other's games.
  std::string Exe(const std::string& base);
  // True when the program at the folder's prefix was started.
  virtual bool PlantedProgramRan() = 0;

  // True when path was read after it was last written (access times; false
  // when the file system does not keep them, see AccessTimesKept).
  virtual bool ReadSinceWritten(const std::string& path) = 0;
  virtual bool AccessTimesKept() = 0;

  // Starts one copy of the monitor with this argument text; returns its index.
  virtual int StartMonitor(const std::string& args) = 0;
  // Waits until copy `copy` has ended. False on timeout.
  virtual bool WaitForExit(int copy, int timeoutMs) = 0;
  virtual bool IsRunning(int copy) = 0;

  // Lines of the copy's debug list seen so far (debug mode).
  virtual std::vector<std::string> DebugLines(int copy) = 0;
  // Waits for the next message box of the copy, records it and answers it
  // with its default button. False on timeout.
  virtual bool NextMessageBox(int copy, int timeoutMs, BoxSeen* box) = 0;
  // The debug window's buttons and its close button.
  virtual void PressSuspend(int copy) = 0;
  virtual void PressExit(int copy) = 0;
  virtual void CloseMainWindow(int copy) = 0;
  // The terminal closing (POSIX: HUP); nothing on Windows.
  virtual void HangUp(int copy) = 0;
  // True when the copy shows a visible top-level window (Windows only;
  // always false elsewhere).
  virtual bool HasVisibleWindow(int copy) = 0;

  // Copies our stand-in companion programs (the control utility, the event
  // utility, the customizer and the web update utility) into Folder().
  virtual void InstallCompanions() = 0;

  // Copies the test child to Folder()/relativePath (for example
  // "games/Racer/racer.exe") and starts it there; returns a game index.
  virtual int StartGame(const std::string& relativePath) = 0;
  virtual void StopGame(int game) = 0;

  // Makes the file at path (native form) one the monitor may neither write
  // nor replace, until the harness ends: on Windows another process holds
  // it open without write or delete sharing; on Linux it gets the immutable
  // attribute, which binds root as well. False, with *why, when this
  // machine cannot.
  virtual bool ProtectFile(const std::string& path, std::string* why) = 0;

  // String values under the machine root of the registry the monitor sees.
  virtual void SetMachineString(const std::string& subkey, const std::string& name,
                                const std::string& value) = 0;
  // "" when the key or value is missing.
  virtual std::string MachineString(const std::string& subkey, const std::string& name) = 0;
};

}  // namespace zeph::e2e
