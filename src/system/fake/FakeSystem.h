// An in-memory system for unit tests: files, INI files, registry, processes
// and time are plain data the test sets up, and every effect is recorded in
// `log` in the order it happened. Each part of the seam is a small class of
// its own over this one world; Seam() hands them out together.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "system/Seam.h"

namespace zeph {

class FakeSystem {
 public:
  // Thrown by Program::End, so a test sees the program end where it would.
  struct ProgramEnded {};

  // Another program's process, listed from startMs until endMs.
  struct Process {
    uint32_t id = 0;
    std::string path;       // full executable path
    int64_t startMs = 0;    // listed from this time on
    int64_t endMs = -1;     // and until this time (-1: runs forever)
    uint32_t exitCode = 0;  // after the end
    bool openable = true;
    WineRun wine;  // run by Wine in this prefix
  };

  FakeSystem();
  ~FakeSystem();
  FakeSystem(const FakeSystem&) = delete;
  FakeSystem& operator=(const FakeSystem&) = delete;

  SystemSeam Seam();

  // --- set up by the test
  std::string programFolder = "C:\\Zeph";
  std::string exeName = "ZephMonitor.exe";
  // Program::DataFolder; the test makes it (and its parents) as it needs.
  std::string dataFolder = "C:\\Users\\me\\AppData\\Local\\ZephMonitor";
  // A program started with a shown window has it this long after its start
  // (-1: never).
  int windowAfterMs = 0;
  std::string commandArgs;
  bool otherInstance = false;
  OsVersion osVersion{2, 5, 1};
  std::vector<Process> processes;
  // The exit code of a program started by the monitor (0 when unset); -1
  // means it cannot be started at all.
  std::function<int(const std::string& commandLine)> onRun;
  // How long such a program runs (0 when unset); the fake clock moves on
  // meanwhile, and timer ticks and scheduled actions fall due.
  std::function<int(const std::string& commandLine)> runMs;
  // Paths whose writes fail (a locked or read-only file), and whose deletes do.
  std::vector<std::string> unwritable;
  std::vector<std::string> undeletable;
  // Fault injection: the failCall-th call that can fail (counted from 1 over
  // files, INI files and the registry, reads and writes of open files
  // included) fails with an I/O error. 0: none fails.
  int failCall = 0;
  // The registry as "hklm\subkey\name" in lower case -> (type, bytes); a
  // Wine prefix's values as "<prefix>|hklm\subkey\name".
  std::map<std::string, std::pair<uint32_t, std::vector<uint8_t>>> regValues;
  // Whether the registries of Wine prefixes can be reached (as on Linux).
  bool reachesWine = false;

  void AddFile(const std::string& path, const std::string& contents);
  void AddFolder(const std::string& path);
  void DropFile(const std::string& path);
  bool HasFile(const std::string& path) const;
  std::string FileContents(const std::string& path) const;
  // A value as the monitor would read it ("ERROR" when missing).
  std::string IniValue(const std::string& file, const std::string& section,
                       const std::string& key) const;
  // Runs action at the first message processing at or after atMs.
  void At(int64_t atMs, std::function<void()> action);
  // Lets time pass as the message loop would: timer ticks fall due and
  // scheduled actions run, until untilMs.
  void RunUntil(int64_t untilMs);

  // --- recorded
  int64_t nowMs = 0;
  std::vector<std::string> log;
  std::vector<std::string> runs;  // every command line started
  std::vector<std::string> closedWindows;
  std::vector<std::pair<uint32_t, int64_t>> shownStarts;  // pid, start time
  uint32_t nextShownPid = 7000;
  int failableCalls = 0;  // calls that could have failed so far
  std::vector<int> timerIntervals;
  int timerInterval = 0;
  int timerExpiries = 0;  // times the timer fell due and OnTimer was called

 private:
  class FakeProgram;
  class FakeFiles;
  class FakeIni;
  class FakeRegistry;
  class FakeProcesses;
  class FakeLoop;
  friend class FakeProgram;
  friend class FakeFiles;
  friend class FakeIni;
  friend class FakeRegistry;
  friend class FakeProcesses;
  friend class FakeLoop;

  struct Started {
    int64_t endMs = 0;
    uint32_t exitCode = 0;
  };

  // Counts a call that can fail; true (err set) when it is the one to fail.
  bool Injected(SystemError* err);
  bool Unwritable(const std::string& path) const;
  bool Undeletable(const std::string& path) const;
  bool FolderExists(const std::string& path) const;
  // Time of the next thing due: a timer tick, a scheduled action.
  int64_t NextDueMs() const;
  void FireDue();

  std::vector<std::pair<std::string, std::string>> fileList_;  // in creation order
  std::vector<std::string> folderList_;
  std::vector<std::pair<int64_t, std::function<void()>>> scheduled_;
  std::vector<Started> started_;
  Commands* commands_ = nullptr;
  int64_t timerDueMs_ = -1;

  std::unique_ptr<FakeProgram> programPart_;
  std::unique_ptr<FakeFiles> filesPart_;
  std::unique_ptr<FakeIni> iniPart_;
  std::unique_ptr<FakeRegistry> registryPart_;
  std::vector<std::unique_ptr<FakeRegistry>> wineRegistries_;
  std::unique_ptr<FakeProcesses> processesPart_;
  std::unique_ptr<FakeLoop> loopPart_;
};

}  // namespace zeph
