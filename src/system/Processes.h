// Other programs: the running processes, the ones we start, and the windows
// of other programs that we ask to close.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "system/Error.h"

namespace zeph {

// The exit code the watch loop reads from a process that still runs.
constexpr uint32_t kStillActive = 259;

// Show commands of a started program's window (SW_...).
constexpr int kShowHidden = 0;
constexpr int kShowNormal = 1;     // normal, activated
constexpr int kShowMinimized = 2;  // minimized, activated

// A Windows program run by Wine on Linux: the prefix it runs in and the
// loader that runs it. Empty for every other process (and on Windows).
// Paths in the Windows form, like every path the core holds.
struct WineRun {
  std::string prefix;  // WINEPREFIX of the process, else ~/.wine
  std::string loader;  // the loader's executable; the prefix's `wine` is beside it
  bool Empty() const { return prefix.empty(); }
};

struct ProcessInfo {
  uint32_t id = 0;
  // Full path of the executable, Windows form; for a Wine program the
  // program it runs, with its folder as a path of this system.
  std::string imagePath;
  WineRun wine;
};

// An opened process. Closed when destroyed.
class ProcessHandle {
 public:
  virtual ~ProcessHandle() = default;
  // Whether it still runs and, once it has ended, its exit code (0 when the
  // platform cannot tell another program's code).
  virtual bool State(bool* running, uint32_t* exitCode, SystemError* err) = 0;
  // What the event loop can wait on until the process ends: a process
  // handle on Windows, a pollable descriptor on POSIX; -1 when there is none
  // (the loop then looks again after a while).
  virtual intptr_t WaitObject() const = 0;
};

class Processes {
 public:
  virtual ~Processes() = default;
  // The running processes whose executable path can be read, in the order
  // the system lists them.
  virtual std::vector<ProcessInfo> List() = 0;
  // Opens a process with the least rights that tell whether it runs; null
  // with err when it cannot.
  virtual std::unique_ptr<ProcessHandle> Open(uint32_t pid, SystemError* err) = 0;
  // Starts commandLine (its first word is the program, quoted or not) with
  // a hidden window, in the working folder and environment of this program.
  // Null with err when it cannot be started.
  virtual std::unique_ptr<ProcessHandle> Start(const std::string& commandLine,
                                               SystemError* err) = 0;
  // Asks the top-level window with exactly this title to close, without
  // waiting. False when there is no such window.
  virtual bool CloseWindowByTitle(const std::string& title) = 0;
  // Starts commandLine without waiting, its window shown as showCommand
  // says (kShowNormal, kShowMinimized); *pid gets the new process's id.
  virtual bool StartShown(const std::string& commandLine, int showCommand, uint32_t* pid,
                          SystemError* err) = 0;
  // Brings the main window of process pid to the foreground. False while
  // it has none (a program just started may not have made it yet).
  virtual bool ActivateMainWindow(uint32_t pid) = 0;
  // Opens a web or mail address (or a document) with the program the user
  // has chosen for it, its window shown as showCommand says.
  virtual bool OpenAddress(const std::string& address, int showCommand, SystemError* err) = 0;
};

}  // namespace zeph
