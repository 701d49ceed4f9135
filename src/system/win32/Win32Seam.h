// The seam on Windows: every part is the real system functions.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "system/Seam.h"
#include "system/win32/Handles.h"
#include "system/win32/WinApi.h"

namespace zeph::win32 {

// The argument text of a command line: the program's name (quoted or not)
// and the blanks after it removed; trailing blanks are kept.
std::string ArgsFromCommandLine(const std::string& commandLine);

// The name of the mutex that marks a running copy in this program folder.
// Case does not matter, as it does not for the folder; the name holds no
// backslash, which would make it a namespace path.
std::string InstanceMutexName(const std::string& programFolder);

class RunningProgram final : public Program {
 public:
  std::string Folder() override;
  std::string ExeName() override;
  std::string Arguments() override;
  bool AnotherInstanceRunning() override;
  [[noreturn]] void End() override;
  OsVersion Version() override;
  std::string DataFolder() override;

 private:
  UniqueHandle instanceMutex_;
  bool anotherInstance_ = false;  // the answer of the first ask, kept with the mutex
};

class FileSystem final : public Files {
 public:
  bool IsFile(const std::string& path) override;
  bool IsFolder(const std::string& path) override;
  bool List(const std::string& folder, std::vector<std::string>* names, SystemError* err) override;
  bool MakeEmptyFile(const std::string& path, SystemError* err) override;
  bool MakeFolder(const std::string& path, SystemError* err) override;
  bool MakePrivateFolder(const std::string& path, SystemError* err) override;
  std::string ResolvedPath(const std::string& path) override;
  ReadResult ReadText(const std::string& path, std::string* contents, SystemError* err) override;
  bool WriteText(const std::string& path, const std::string& contents, SystemError* err) override;
  bool WriteTextUnsynced(const std::string& path, const std::string& contents,
                         SystemError* err) override;
  std::unique_ptr<FileReader> OpenRead(const std::string& path, ReadResult* result,
                                       SystemError* err) override;
  std::unique_ptr<WorkFile> CreateWorkFile(const std::string& target, SystemError* err) override;
  bool Remove(const std::string& path, SystemError* err) override;
  bool ListFolders(const std::string& folder, std::vector<std::string>* names,
                   SystemError* err) override;
  bool RemoveFolder(const std::string& path, SystemError* err) override;
  ReadResult Size(const std::string& path, uint64_t* size, SystemError* err) override;
};

// GetPrivateProfileStringA and WritePrivateProfileStringA; many keys of one
// file at once by the INI rules, in one replace.
class ProfileFiles final : public IniFiles {
 public:
  std::string ReadString(const std::string& file, const std::string& section,
                         const std::string& key, const std::string& def,
                         size_t bufferSize) override;
  bool WriteString(const std::string& file, const std::string& section, const std::string& key,
                   const std::string& value, SystemError* err) override;
  bool WriteStrings(const std::string& file, const std::vector<IniEntry>& entries,
                    SystemError* err) override;
  std::unique_ptr<IniReader> Open(const std::string& file, ReadResult* result,
                                  SystemError* err) override;
};

class SystemRegistry final : public Registry {
 public:
  bool SetValue(RegRoot root, const std::string& subkey, const std::string& name, uint32_t type,
                const std::vector<uint8_t>& data, SystemError* err) override;
  ReadResult QueryValue(RegRoot root, const std::string& subkey, const std::string& name,
                        uint32_t* type, std::vector<uint8_t>* data, SystemError* err) override;
  bool DeleteValue(RegRoot root, const std::string& subkey, const std::string& name,
                   SystemError* err) override;
};

// The processes, read with EnumProcesses and, for a process not seen
// before, its first module's file name. What was read is kept with an open
// handle to the process: its id cannot be given to another process while
// the handle is open, and a process's image never changes, so a known
// process costs nothing more to list.
class ProcessTable final : public Processes {
 public:
  std::vector<ProcessInfo> List() override;
  std::unique_ptr<ProcessHandle> Open(uint32_t pid, SystemError* err) override;
  std::unique_ptr<ProcessHandle> Start(const std::string& commandLine, SystemError* err) override;
  bool CloseWindowByTitle(const std::string& title) override;
  bool StartShown(const std::string& commandLine, int showCommand, uint32_t* pid,
                  SystemError* err) override;
  bool ActivateMainWindow(uint32_t pid) override;
  bool OpenAddress(const std::string& address, int showCommand, SystemError* err) override;

 private:
  struct Known {
    UniqueHandle process;
    std::string imagePath;
  };
  std::unordered_map<DWORD, Known> known_;
};

// One thread timer (no window needed) and the thread's message queue.
class MessageLoop final : public EventLoop {
 public:
  MessageLoop();
  ~MessageLoop() override;
  void SetCommands(Commands* commands) override { commands_ = commands; }
  void SetTimerInterval(int ms) override;
  void ProcessPendingMessages() override;
  void Run() override;
  void WaitForObject(intptr_t object, int maxMs) override;
  void Sleep(int ms) override;
  std::string TimeOfDay() override;

 private:
  static void CALLBACK OnTimerMessage(HWND, UINT, UINT_PTR id, DWORD);
  Commands* commands_ = nullptr;
  UINT_PTR timerId_ = 0;
};

}  // namespace zeph::win32
