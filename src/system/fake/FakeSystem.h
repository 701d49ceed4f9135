// An in-memory system for unit tests: files, registry, processes and time
// are plain data the test sets up, and every effect is recorded in `log`
// in the order it happened.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "system/System.h"

namespace zeph {

class FakeSystem : public System {
 public:
  // Thrown by EndProgram, so a test sees the program end where it would.
  struct ProgramEnded {};

  struct Process {
    uint32_t id = 0;
    std::string path;       // full executable path
    int64_t startMs = 0;    // listed from this time on
    int64_t endMs = -1;     // and until this time (-1: runs forever)
    uint32_t exitCode = 0;  // after the end
    bool openable = true;
  };

  struct Box {
    std::string text, title;
    BoxButtons buttons;
    BoxIcon icon;
  };

  struct IconCall {
    IconMessage message;
    IconImage image;
    std::string tip;
  };

  // --- set up by the test
  std::string programFolder = "C:\\Zeph";
  std::string commandArgs;
  bool otherInstance = false;
  OsVersion osVersion{2, 5, 1};
  std::vector<Process> processes;
  std::deque<BoxAnswer> boxAnswers;              // answers in turn; the default button when empty
  std::function<int(const std::string&)> onRun;  // exit code of a RunAndWait; 0 by default

  void AddFile(const std::string& path, const std::string& contents);
  void AddFolder(const std::string& path);
  void DropFile(const std::string& path);
  // Paths whose writes fail (a locked or read-only file).
  std::vector<std::string> unwritable;
  bool HasFile(const std::string& path) const;
  std::string FileContents(const std::string& path) const;
  // Runs action at the first message processing at or after atMs.
  void At(int64_t atMs, std::function<void()> action);
  // Lets time pass as the message loop would: timer ticks fall due and
  // scheduled actions run, until untilMs.
  void RunUntil(int64_t untilMs);

  // --- recorded
  int64_t nowMs = 0;
  std::vector<std::string> log;
  std::vector<std::string> debugLines;
  int selectedLine = -1;
  std::vector<Box> boxes;
  std::vector<IconCall> iconCalls;
  std::vector<std::string> runs;
  std::vector<std::string> closedWindows;
  std::vector<int> timerIntervals;
  bool mainWindowShown = false;
  bool hiddenFromTaskList = false;
  bool suspendChecked = false;
  std::string suspendCaption = "Suspend";
  int timerInterval = 0;
  int timerExpiries = 0;  // times the timer fell due and OnTimer was called

  // --- System
  std::string ProgramFolder() override { return programFolder; }
  std::string CommandArgs() override { return commandArgs; }
  bool AnotherInstanceRunning() override { return otherInstance; }
  [[noreturn]] void EndProgram() override;
  bool FileExists(const std::string& path) override { return HasFile(path); }
  bool FolderExists(const std::string& path) override;
  std::vector<std::string> ListFiles(const std::string& folder) override;
  bool CreateEmptyFile(const std::string& path) override;
  bool CreateFolder(const std::string& path) override;
  bool ReadTextFile(const std::string& path, std::string* contents) override;
  bool WriteTextFile(const std::string& path, const std::string& contents) override;
  bool RemoveFile(const std::string& path) override;
  std::string ReadIniString(const std::string& file, const std::string& section,
                            const std::string& key, const std::string& def,
                            size_t bufferSize) override;
  bool WriteIniString(const std::string& file, const std::string& section, const std::string& key,
                      const std::string& value) override;
  bool RegSetValue(RegRoot root, const std::string& subkey, const std::string& name, uint32_t type,
                   const std::vector<uint8_t>& data) override;
  bool RegQueryValue(RegRoot root, const std::string& subkey, const std::string& name,
                     uint32_t* type, std::vector<uint8_t>* data) override;
  bool RegDeleteValue(RegRoot root, const std::string& subkey, const std::string& name) override;
  std::vector<ProcessInfo> ListProcesses() override;
  std::unique_ptr<ProcessHandle> OpenProcess(uint32_t pid) override;
  int RunAndWait(const std::string& commandLine, bool noWait) override;
  bool CloseWindowByTitle(const std::string& title) override;
  OsVersion GetOsVersion() override { return osVersion; }
  void SetCommands(Commands* commands) override { commands_ = commands; }
  BoxAnswer MessageBox(const std::string& text, const std::string& title, BoxButtons buttons,
                       BoxIcon icon) override;
  void ShowMainWindow() override;
  void HideFromTaskList() override { hiddenFromTaskList = true; }
  void AddDebugLine(const std::string& line) override;
  void SelectDebugLine(int index) override { selectedLine = index; }
  void NotifyIcon(IconMessage message, IconImage image, const std::string& tip) override;
  void SetSuspendChecked(bool checked) override { suspendChecked = checked; }
  void SetSuspendCaption(const std::string& caption) override { suspendCaption = caption; }
  void SetTimerInterval(int ms) override;
  void ProcessPendingMessages() override;
  void RunMessageLoop() override;
  void Sleep(int ms) override;
  std::string TimeOfDay() override { return "12:00:00"; }

  // The registry as "ROOT\subkey\name" (lower case) -> (type, bytes).
  std::map<std::string, std::pair<uint32_t, std::vector<uint8_t>>> registry;

 private:
  std::vector<std::pair<std::string, std::string>> files_;  // in creation order
  std::vector<std::string> folders_;
  std::vector<std::pair<int64_t, std::function<void()>>> scheduled_;
  Commands* commands_ = nullptr;
  int64_t timerDueMs_ = -1;
  void FireDue();
};

}  // namespace zeph
