// The one seam between the monitor and the operating system.
//
// Everything the monitor asks of the platform goes through this interface.
// There are three implementations: Win32 (win32/), POSIX (posix/) and an
// in-memory recording fake for unit tests (fake/). Paths are always in the
// Windows form (backslash separators); the POSIX side translates them at the
// file-system boundary.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zeph {

// Exit code of a process that is still running.
constexpr uint32_t kStillActive = 259;

struct ProcessInfo {
  uint32_t id = 0;
  std::string imagePath;  // full path of the executable, Windows form
};

// An opened process whose exit code can be read. Closed when destroyed.
class ProcessHandle {
 public:
  virtual ~ProcessHandle() = default;
  // Stores kStillActive while the process runs. False when it cannot be read.
  virtual bool ExitCode(uint32_t* code) = 0;
};

// What the platform reports of its version (all zero when it cannot tell).
struct OsVersion {
  uint32_t platformId = 0;  // 1: Windows 95 family, 2: NT family
  uint32_t major = 0;
  uint32_t minor = 0;
};

enum class RegRoot : uint32_t { CurrentUser = 0x80000001u, LocalMachine = 0x80000002u };
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegDword = 4;

enum class BoxButtons { Ok, OkCancel, YesNo };
enum class BoxIcon { None, Critical, Question, Exclamation, Information };
enum class BoxAnswer { Ok, Cancel, Yes, No };

enum class IconMessage { Add, Modify, Delete };
enum class IconImage { Monitoring, Suspended };

// What reaches the program through its message processing: the timer,
// the debug window's buttons, the window's close button, and on POSIX the
// signals that stand in for the menu commands.
class Commands {
 public:
  virtual ~Commands() = default;
  virtual void OnTimer() = 0;          // tmrMonitor fell due
  virtual void OnExit() = 0;           // Exit button or menu, close button, TERM/INT
  virtual void OnSuspendToggle() = 0;  // Suspend button or menu, USR1
};

class System {
 public:
  virtual ~System() = default;

  // --- the program itself
  // Folder of the running executable, without a trailing backslash.
  virtual std::string ProgramFolder() = 0;
  // The argument text: the command line without the program's own name.
  virtual std::string CommandArgs() = 0;
  // True when another copy of this program is running. Never counts the
  // copy that asks; once asked, this copy counts for later copies.
  virtual bool AnotherInstanceRunning() = 0;
  // Ends the process at once. Nothing after the call runs.
  [[noreturn]] virtual void EndProgram() = 0;

  // --- files and folders
  virtual bool FileExists(const std::string& path) = 0;
  virtual bool FolderExists(const std::string& path) = 0;
  // Names (without folder) of the files directly in folder, in the order the
  // platform's listing gives them. Sub-folders are left out.
  virtual std::vector<std::string> ListFiles(const std::string& folder) = 0;
  // Creates an empty file; false when it cannot.
  virtual bool CreateEmptyFile(const std::string& path) = 0;
  // Creates one folder (its parent must exist); true when it exists afterwards.
  virtual bool CreateFolder(const std::string& path) = 0;
  // The whole file as 8-bit text; false when it cannot be read.
  virtual bool ReadTextFile(const std::string& path, std::string* contents) = 0;
  // Replaces the file's contents as a whole: a failed write leaves the old
  // file as it was, never half-written.
  virtual bool WriteTextFile(const std::string& path, const std::string& contents) = 0;
  virtual bool RemoveFile(const std::string& path) = 0;

  // --- INI files, with the Windows rules
  // At most bufferSize - 1 characters are returned; def when the file,
  // section or key is missing.
  virtual std::string ReadIniString(const std::string& file, const std::string& section,
                                    const std::string& key, const std::string& def,
                                    size_t bufferSize) = 0;
  // Creates file, section and key as needed; replaces a value in place.
  virtual bool WriteIniString(const std::string& file, const std::string& section,
                              const std::string& key, const std::string& value) = 0;

  // --- registry
  // Opens subkey under root, creating it and missing parents, and stores the value.
  virtual bool RegSetValue(RegRoot root, const std::string& subkey, const std::string& name,
                           uint32_t type, const std::vector<uint8_t>& data) = 0;
  // Reads a value without creating anything. False when key or value is missing.
  virtual bool RegQueryValue(RegRoot root, const std::string& subkey, const std::string& name,
                             uint32_t* type, std::vector<uint8_t>* data) = 0;
  virtual bool RegDeleteValue(RegRoot root, const std::string& subkey, const std::string& name) = 0;

  // --- processes and windows of other programs
  // The running processes whose executable path can be read, in system order.
  virtual std::vector<ProcessInfo> ListProcesses() = 0;
  // Opens a process with the least rights that read its exit code; null on failure.
  virtual std::unique_ptr<ProcessHandle> OpenProcess(uint32_t pid) = 0;
  // Runs commandLine hidden (its first word is the program). With noWait
  // false, waits for the end while processing messages and returns the exit
  // code; with noWait true returns 0 at once. -1 when it cannot be started.
  virtual int RunAndWait(const std::string& commandLine, bool noWait) = 0;
  // Asks the top-level window with exactly this title to close, without
  // waiting. False when there is no such window.
  virtual bool CloseWindowByTitle(const std::string& title) = 0;

  // --- platform
  virtual OsVersion GetOsVersion() = 0;

  // --- the monitor's own user interface
  virtual void SetCommands(Commands* commands) = 0;
  // Modal; processes messages while open.
  virtual BoxAnswer MessageBox(const std::string& text, const std::string& title,
                               BoxButtons buttons, BoxIcon icon) = 0;
  // Shows the debug window (debug mode). Otherwise it stays hidden.
  virtual void ShowMainWindow() = 0;
  // No task-bar button and no entry in the task list.
  virtual void HideFromTaskList() = 0;
  // The debug list exists, and receives lines, even while the window is hidden.
  virtual void AddDebugLine(const std::string& line) = 0;
  virtual void SelectDebugLine(int index) = 0;
  // The notification-area icon: one icon, identifier 1.
  virtual void NotifyIcon(IconMessage message, IconImage image, const std::string& tip) = 0;
  // Check mark of the popup menu's Suspend entry.
  virtual void SetSuspendChecked(bool checked) = 0;
  // Caption of the debug window's Suspend/Resume button.
  virtual void SetSuspendCaption(const std::string& caption) = 0;

  // --- timer, messages, time
  // The watch timer; 0 stops it. Setting it restarts its count.
  virtual void SetTimerInterval(int ms) = 0;
  // Dispatches the messages that are waiting, then returns.
  virtual void ProcessPendingMessages() = 0;
  // Dispatches messages until the program ends.
  virtual void RunMessageLoop() = 0;
  // Sleeps without processing messages.
  virtual void Sleep(int ms) = 0;
  // The current time of day in the system's time format.
  virtual std::string TimeOfDay() = 0;
};

}  // namespace zeph
