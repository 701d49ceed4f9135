// The seam on Windows: every operation is the real system function.
#pragma once

#include <string>
#include <vector>

#include "system/System.h"
#include "system/win32/Handles.h"
#include "system/win32/WinApi.h"
#include "tray/win32/MainWindow.h"

namespace zeph::win32 {

// The argument text of a command line: the program's name (quoted or not)
// and the blanks after it removed; trailing blanks are kept.
std::string ArgsFromCommandLine(const std::string& commandLine);

// Everything before the last backslash of path.
std::string FolderOfPath(const std::string& path);

// The name of the mutex that marks a running copy in this program folder.
// Case does not matter, as it does not for the folder; the name holds no
// backslash, which would make it a namespace path.
std::string InstanceMutexName(const std::string& programFolder);

class Win32System final : public System {
 public:
  Win32System();
  ~Win32System() override;

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

  MainWindow& Window() { return window_; }

 private:
  MainWindow window_;
  UniqueHandle instanceMutex_;
  bool anotherInstance_ = false;  // the answer of the first ask, kept with the mutex
};

}  // namespace zeph::win32
