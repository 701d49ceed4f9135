// Runs the built stand-in programs from a temporary program folder and
// watches their windows. ProgramRunner.cpp is the portable part;
// ProgramRunnerPosix.cpp and ProgramRunnerWin32.cpp do the platform's part.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace zeph::companion_test {

// A path this test program can open for a path the build gives (under Wine
// the build's Unix paths become DOS paths).
std::string OpenablePath(const std::string& buildPath);

// A fresh folder of its own under the system's temporary folder, removed
// with everything in it at the end. Paths are native.
class TempFolder {
 public:
  TempFolder();  // throws std::runtime_error when no folder can be made
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const;
  // Copies a built program into the folder under `name`; returns its path.
  std::string AddProgram(const std::string& buildPath, const std::string& name) const;

 private:
  std::string path_;
};

// The whole file; "" when it cannot be read.
std::string ReadFile(const std::string& path);
bool WriteFile(const std::string& path, const std::string& contents);
bool FileExists(const std::string& path);
// The text split into lines; "\r\n" and "\n" both end a line.
std::vector<std::string> Lines(const std::string& text);

// Makes windows registered from now on private to this test (POSIX keeps
// registrations in a folder shared by the user's programs; Windows needs
// nothing, windows are told apart by their process).
void IsolateWindows(const TempFolder& folder);

// A started program. Ended (killed) when destroyed if still running.
class Process {
 public:
  // Starts program with args (each arrives as one argument), standard
  // output and error written to the files outPath and errPath. Throws
  // std::runtime_error when it cannot be started.
  static std::unique_ptr<Process> Start(const std::string& program,
                                        const std::vector<std::string>& args,
                                        const std::string& outPath, const std::string& errPath);
  virtual ~Process() = default;

  virtual unsigned long Pid() const = 0;
  // False when it still runs after timeoutMs.
  virtual bool WaitForExit(int timeoutMs, int* exitCode) = 0;
  // True when this process has a top-level window with exactly this title
  // (POSIX: has registered the title).
  virtual bool HasWindow(const std::string& title) = 0;
  // Asks that window to close, the way the monitor does, without waiting.
  virtual bool AskWindowToClose(const std::string& title) = 0;
  // The texts of that window's child controls, joined by "\n" (Windows);
  // "" on POSIX, where the programs print instead.
  virtual std::string WindowText(const std::string& title) = 0;
};

struct RunResult {
  int exitCode = -1;  // -1: did not end in time (and was killed)
  std::string out;
  std::string err;
};

// Runs a program to its end, its output kept in files beside outputStem.
RunResult Run(const std::string& program, const std::vector<std::string>& args,
              const std::string& outputStem, int timeoutMs = 30000);

// Polls condition every 20 ms until it holds or timeoutMs have passed.
template <typename Condition>
bool WaitFor(Condition condition, int timeoutMs);
void SleepMs(int ms);

template <typename Condition>
bool WaitFor(Condition condition, int timeoutMs) {
  for (int waited = 0;; waited += 20) {
    if (condition()) return true;
    if (waited >= timeoutMs) return false;
    SleepMs(20);
  }
}

}  // namespace zeph::companion_test
