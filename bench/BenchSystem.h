// The platform seam as the benchmarks use it: the real one (from
// CreatePlatformSystem), except for what belongs to the monitor's own program
// folder and user interface. The program folder is the benchmark's temporary
// one, there are no arguments and no other copy, boxes are printed and
// answered, and windows, icon and timer are left alone. Everything else --
// files, INI files, registry, processes, messages -- goes to the real seam.
//
// Not final: a benchmark may derive from it to time some of the calls.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "system/System.h"

#ifdef _WIN32
#include "system/win32/WinApi.h"
#else
#include <sys/utsname.h>
#endif

namespace zeph::bench {

class BenchSystem : public System {
 public:
  // name: the benchmark's name, for its messages.
  BenchSystem(System& real, std::string programFolder, std::string name)
      : real_(real), folder_(std::move(programFolder)), name_(std::move(name)) {}

  std::string ProgramFolder() override { return folder_; }
  std::string CommandArgs() override { return {}; }
  bool AnotherInstanceRunning() override { return false; }
  [[noreturn]] void EndProgram() override {
    std::fflush(stdout);
    std::fprintf(stderr, "%s: the monitor ended the program\n", name_.c_str());
    std::exit(1);
  }

  bool FileExists(const std::string& path) override { return real_.FileExists(path); }
  bool FolderExists(const std::string& path) override { return real_.FolderExists(path); }
  std::vector<std::string> ListFiles(const std::string& folder) override {
    return real_.ListFiles(folder);
  }
  bool CreateEmptyFile(const std::string& path) override { return real_.CreateEmptyFile(path); }
  bool CreateFolder(const std::string& path) override { return real_.CreateFolder(path); }
  bool ReadTextFile(const std::string& path, std::string* contents) override {
    return real_.ReadTextFile(path, contents);
  }
  bool WriteTextFile(const std::string& path, const std::string& contents) override {
    return real_.WriteTextFile(path, contents);
  }
  bool RemoveFile(const std::string& path) override { return real_.RemoveFile(path); }

  std::string ReadIniString(const std::string& file, const std::string& section,
                            const std::string& key, const std::string& def,
                            size_t bufferSize) override {
    return real_.ReadIniString(file, section, key, def, bufferSize);
  }
  bool WriteIniString(const std::string& file, const std::string& section, const std::string& key,
                      const std::string& value) override {
    return real_.WriteIniString(file, section, key, value);
  }

  bool RegSetValue(RegRoot root, const std::string& subkey, const std::string& name, uint32_t type,
                   const std::vector<uint8_t>& data) override {
    return real_.RegSetValue(root, subkey, name, type, data);
  }
  bool RegQueryValue(RegRoot root, const std::string& subkey, const std::string& name,
                     uint32_t* type, std::vector<uint8_t>* data) override {
    return real_.RegQueryValue(root, subkey, name, type, data);
  }
  bool RegDeleteValue(RegRoot root, const std::string& subkey, const std::string& name) override {
    return real_.RegDeleteValue(root, subkey, name);
  }

  std::vector<ProcessInfo> ListProcesses() override { return real_.ListProcesses(); }
  std::unique_ptr<ProcessHandle> OpenProcess(uint32_t pid) override {
    return real_.OpenProcess(pid);
  }
  int RunAndWait(const std::string& commandLine, bool noWait) override {
    return real_.RunAndWait(commandLine, noWait);
  }
  bool CloseWindowByTitle(const std::string& title) override {
    return real_.CloseWindowByTitle(title);
  }

  OsVersion GetOsVersion() override { return real_.GetOsVersion(); }

  void SetCommands(Commands*) override {}
  BoxAnswer MessageBox(const std::string& text, const std::string& title, BoxButtons,
                       BoxIcon) override {
    // The title and the start of the text: enough to tell which box it was.
    std::string head = text.substr(0, text.find_first_of("\r\n"));
    if (head.size() > 60) head = head.substr(0, 57) + "...";
    std::printf("  (box \"%s\", \"%s\", answered OK)\n", title.c_str(), head.c_str());
    std::fflush(stdout);
    return BoxAnswer::Ok;
  }
  void ShowMainWindow() override {}
  void HideFromTaskList() override {}
  void AddDebugLine(const std::string&) override {}
  void SelectDebugLine(int) override {}
  void NotifyIcon(IconMessage, IconImage, const std::string&) override {}
  void SetSuspendChecked(bool) override {}
  void SetSuspendCaption(const std::string&) override {}

  void SetTimerInterval(int) override {}
  void ProcessPendingMessages() override { real_.ProcessPendingMessages(); }
  void RunMessageLoop() override { real_.RunMessageLoop(); }
  void Sleep(int ms) override { real_.Sleep(ms); }
  std::string TimeOfDay() override { return real_.TimeOfDay(); }

 private:
  System& real_;
  std::string folder_;
  std::string name_;
};

// Where the benchmark runs: the system, and for the Windows build whether it
// runs under Wine.
inline std::string PlatformLabel() {
#ifdef _WIN32
  using WineVersionFn = const char*(__cdecl*)();
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  auto wineVersion = ntdll ? reinterpret_cast<WineVersionFn>(reinterpret_cast<void (*)()>(
                                 GetProcAddress(ntdll, "wine_get_version")))
                           : nullptr;
  if (wineVersion) return std::string("Windows build, run under Wine ") + wineVersion();
  return "Windows (native)";
#else
  utsname u{};
  if (uname(&u) == 0) return std::string(u.sysname) + " " + u.release + " (native)";
  return "POSIX (native)";
#endif
}

// A path in the form the seam takes (backslash separators).
inline std::string SeamPath(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

}  // namespace zeph::bench
