// The seam on Linux and other POSIX systems.
//
// The terminal stands in for the monitor's own windows: message boxes are
// printed to standard error and answered with their default button, and in
// debug mode each debug line goes to standard output. Menu commands arrive
// as signals: TERM and INT mean Exit, USR1 means Suspend/Resume.
#pragma once

#include <chrono>
#include <string>

#include "system/System.h"

namespace zeph {

class PosixSystem final : public System {
 public:
  PosixSystem(int argc, char** argv);
  ~PosixSystem() override;
  PosixSystem(const PosixSystem&) = delete;
  PosixSystem& operator=(const PosixSystem&) = delete;

  std::string ProgramFolder() override;
  std::string CommandArgs() override;
  bool AnotherInstanceRunning() override;
  [[noreturn]] void EndProgram() override;

  bool FileExists(const std::string& path) override;
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

  OsVersion GetOsVersion() override;

  void SetCommands(Commands* commands) override;
  BoxAnswer MessageBox(const std::string& text, const std::string& title, BoxButtons buttons,
                       BoxIcon icon) override;
  void ShowMainWindow() override;
  void HideFromTaskList() override;
  void AddDebugLine(const std::string& line) override;
  void SelectDebugLine(int index) override;
  void NotifyIcon(IconMessage message, IconImage image, const std::string& tip) override;
  void SetSuspendChecked(bool checked) override;
  void SetSuspendCaption(const std::string& caption) override;

  void SetTimerInterval(int ms) override;
  void ProcessPendingMessages() override;
  void RunMessageLoop() override;
  void Sleep(int ms) override;
  std::string TimeOfDay() override;

 private:
  using Clock = std::chrono::steady_clock;

  void DispatchSignal(int sig);
  void DispatchPendingSignals();
  // Calls OnTimer when the timer has fallen due.
  void FireTimerIfDue();
  // Milliseconds until the timer falls due (rounded up); -1 when it is off.
  int MsUntilTimer() const;
  // Waits for fd (or, with -1, for nothing but the signals and the timer)
  // at most maxMs (-1: no limit), dispatching what arrives meanwhile.
  void WaitAndDispatch(int fd, int maxMs);

  std::string programFolder_;
  std::string args_;
  int lockFd_ = -1;
  Commands* commands_ = nullptr;
  bool debugMode_ = false;
  int timerMs_ = 0;
  Clock::time_point timerDue_;
};

// The lock file that tells copies in programFolder (Windows form) apart
// from copies elsewhere.
std::string InstanceLockPath(const std::string& programFolder);

}  // namespace zeph
