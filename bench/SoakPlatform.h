// The platform's part of bench_soak: starting and ending the monitor and the
// game, and what the running monitor holds. SoakPosix.cpp and SoakWin32.cpp
// implement it; SoakBench.cpp drives the runs on either.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace zeph::bench::soak {

// What the monitor holds at one moment; -1 where it could not be read.
struct Usage {
  bool ok = false;
  double memoryKiB = -1;  // resident (Linux VmRSS) or working set (Windows)
  long handles = -1;      // open descriptors (Linux) or handles (Windows)
  long threads = -1;
  long children = -1;      // processes it left behind
  std::string childNames;  // which, when there are any
};

class Platform {
 public:
  // The platform's part, or nullptr (with *error) when it cannot run here.
  static std::unique_ptr<Platform> Create(std::string* error);
  virtual ~Platform() = default;  // ends every process it started

  virtual const char* MemoryName() = 0;    // "VmRSS", "working set"
  virtual const char* HandlesName() = 0;   // "fds", "handles"
  virtual const char* ChildrenRule() = 0;  // how left-behind processes are found

  // The monitor's file name in the build's program folder.
  virtual std::string MonitorName() = 0;
  // This benchmark's process id: part of the game's name, so that runs side
  // by side on one machine never take each other's game for their own.
  virtual unsigned long OwnProcessId() = 0;

  // Whatever the monitor needs beside its folder (its registry, the
  // start-up reminder switched off); root is the benchmark's own folder.
  virtual bool Prepare(const std::filesystem::path& root, std::string* error) = 0;
  virtual bool StartMonitor(const std::filesystem::path& exe, std::string* error) = 0;
  virtual bool MonitorRunning() = 0;
  // What the monitor printed (its message boxes on Linux), for failures.
  virtual std::string MonitorOutput() = 0;
  virtual bool StartGame(const std::filesystem::path& exe, std::string* error) = 0;
  // Ends the game and waits until it is gone.
  virtual bool EndGame(std::string* error) = 0;
  virtual Usage MonitorUsage() = 0;
  // Ends the monitor, what it left running, and the game.
  virtual void EndAll() = 0;
};

}  // namespace zeph::bench::soak
