// The Windows half of the end-to-end harness. The test runs as a Windows
// program itself (under Wine here), so it sees the monitor's windows on the
// same desktop and drives them with the test driver.
//
// ZEPH_MONITOR_EXE and ZEPH_TESTCHILD_EXE name the built programs; the build
// gives them as string literals (Unix paths when cross-building).
#include "HarnessWin32.h"

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

#include "HarnessTray.h"
#include "tray/win32/MainWindowIds.h"

#ifndef ZEPH_MONITOR_EXE
#error "ZEPH_MONITOR_EXE must name the monitor executable"
#endif
#ifndef ZEPH_TESTCHILD_EXE
#error "ZEPH_TESTCHILD_EXE must name the test child executable"
#endif

namespace zeph::e2e {
namespace {

namespace d = zeph::driver;

constexpr DWORD kPollMs = 50;
// How long a terminated process may take to be gone, and how long its files
// may stay locked after that.
constexpr DWORD kEndWaitMs = 5000;
constexpr DWORD kDeleteRetryMs = 5000;

std::string LastErrorText(const std::string& what) {
  return what + " (error " + std::to_string(GetLastError()) + ")";
}

bool DeleteTree(const std::string& folder) {
  bool ok = true;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      std::string path = folder + "\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        ok = DeleteTree(path) && ok;
      } else {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ok = DeleteFileA(path.c_str()) && ok;
      }
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  return RemoveDirectoryA(folder.c_str()) && ok;
}

// Creates every missing folder on the way to `folder`.
bool MakeFolders(const std::string& folder) {
  for (size_t at = folder.find('\\', 3);; at = folder.find('\\', at + 1)) {
    std::string part = folder.substr(0, at);
    if (!CreateDirectoryA(part.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
      return false;
    }
    if (at == std::string::npos) return true;
  }
}

struct Started {
  HANDLE process = nullptr;
  DWORD pid = 0;
};

// Last access and last write of a file, without touching either.
bool FileTimes(const std::string& path, ULONGLONG* access, ULONGLONG* write) {
  HANDLE h = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  FILETIME a{}, w{};
  BOOL ok = GetFileTime(h, nullptr, &a, &w);
  CloseHandle(h);
  *access = (static_cast<ULONGLONG>(a.dwHighDateTime) << 32) | a.dwLowDateTime;
  *write = (static_cast<ULONGLONG>(w.dwHighDateTime) << 32) | w.dwLowDateTime;
  return ok != FALSE;
}

class Win32Harness : public Win32MonitorHarness {
 public:
  // root holds the program folder "my games\prog" and the planted "my.exe".
  explicit Win32Harness(std::string root)
      : root_(std::move(root)), folder_(root_ + "\\my games\\prog") {}

  ~Win32Harness() override {
    for (auto* list : {&monitors_, &games_}) {
      for (Started& s : *list) Stop(&s);
    }
    // What the monitor started from its folder (the companions) ends too,
    // or its files stay locked.
    EndProcessesInFolder();
    DWORD start = GetTickCount();
    while (!DeleteTree(root_) && GetTickCount() - start < kDeleteRetryMs) {
      EndProcessesInFolder();
      Sleep(100);
    }
  }

  std::string Folder() override { return folder_; }
  std::string Root() const { return root_; }

  bool PlantedProgramRan() override {
    std::string log;
    HANDLE h = CreateFileA((root_ + "\\started.log").c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) log.append(buffer, got);
    CloseHandle(h);
    std::string planted = root_ + "\\my";
    for (size_t at = 0; (at = log.find(planted, at)) != std::string::npos; at += planted.size()) {
      char next = at + planted.size() < log.size() ? log[at + planted.size()] : '\n';
      if (next == '\n' || next == '\r' || next == '.') return true;
    }
    return false;
  }

  bool ReadSinceWritten(const std::string& path) override {
    ULONGLONG access = 0, write = 0;
    return FileTimes(path, &access, &write) && access >= write;
  }

  bool AccessTimesKept() override {
    static const bool kept = [this] {
      std::string probe = root_ + "\\atime-probe";
      HANDLE h = CreateFileA(probe.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             0, nullptr);
      if (h == INVALID_HANDLE_VALUE) return false;
      DWORD written = 0;
      WriteFile(h, "x", 1, &written, nullptr);
      FILETIME longAgo{1, 0};
      SetFileTime(h, nullptr, &longAgo, nullptr);
      CloseHandle(h);
      h = CreateFileA(probe.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                      nullptr);
      char c = 0;
      DWORD got = 0;
      if (h != INVALID_HANDLE_VALUE) {
        ReadFile(h, &c, 1, &got, nullptr);
        CloseHandle(h);
      }
      return ReadSinceWritten(probe);
    }();
    return kept;
  }

  int StartMonitor(const std::string& args) override {
    Started s = Start(folder_ + "\\ZephMonitor.exe", args);
    monitors_.push_back(s);
    return static_cast<int>(monitors_.size()) - 1;
  }

  bool WaitForExit(int copy, int timeoutMs) override {
    const Started* s = Monitor(copy);
    return s && WaitForSingleObject(s->process, static_cast<DWORD>(std::max(timeoutMs, 0))) ==
                    WAIT_OBJECT_0;
  }

  void InstallCompanions() override {
    std::string from = d::WindowsPath(ZEPH_COMPANION_DIR);
    for (const char* name : {"Zephcontrol.exe", "ZephEvent.exe", "zephcfg.exe", "zephweb.exe"}) {
      std::string source = from + "\\" + name;
      if (!CopyFileA(source.c_str(), (folder_ + "\\" + name).c_str(), FALSE))
        throw std::runtime_error(LastErrorText("cannot copy " + source));
    }
  }

  void SetMachineString(const std::string& subkey, const std::string& name,
                        const std::string& value) override {
    tray::SetRegString(HKEY_LOCAL_MACHINE, subkey, name, value);
  }

  std::string MachineString(const std::string& subkey, const std::string& name) override {
    std::string value;
    return tray::RegString(HKEY_LOCAL_MACHINE, subkey, name, &value) ? value : "";
  }

  bool IsRunning(int copy) override {
    const Started* s = Monitor(copy);
    return s && WaitForSingleObject(s->process, 0) == WAIT_TIMEOUT;
  }

  std::vector<std::string> DebugLines(int copy) override {
    std::vector<std::string> lines;
    const Started* s = Monitor(copy);
    if (!s) return lines;
    HWND main = d::FindMainWindow(s->pid);
    if (main && !d::ReadDebugList(main, &lines)) lines.clear();
    return lines;
  }

  bool NextMessageBox(int copy, int timeoutMs, BoxSeen* seen) override {
    const Started* s = Monitor(copy);
    if (!s) return false;
    DWORD start = GetTickCount();
    DWORD limit = static_cast<DWORD>(std::max(timeoutMs, 0));
    for (;;) {
      // Whether it has ended is asked first, so that a box shown just
      // before the end is not missed.
      bool ended = WaitForSingleObject(s->process, 0) == WAIT_OBJECT_0;
      for (HWND box : d::FindMessageBoxes(s->pid)) {
        d::MessageBoxInfo info;
        if (!d::ReadMessageBox(box, &info) || info.defaultButton == 0) continue;
        if (!d::PressBoxButton(box, info.defaultButton)) continue;
        DWORD spent = GetTickCount() - start;
        DWORD left = spent < limit ? limit - spent : 0;
        if (!d::WaitUntilGone(box, std::max<DWORD>(left, 2000))) return false;
        if (seen) *seen = {info.title, info.text};
        return true;
      }
      if (ended || GetTickCount() - start >= limit) return false;
      Sleep(kPollMs);
    }
  }

  void PressSuspend(int copy) override {
    // Sent: once it returns the monitor has taken the click in.
    if (HWND main = MainWindow(copy)) d::ClickButton(main, IDC_SUSPEND, d::Delivery::Send);
  }

  void PressExit(int copy) override {
    // Posted: the exit may end the process, or wait on companions, before
    // a sent message would return.
    if (HWND main = MainWindow(copy)) d::ClickButton(main, IDC_EXIT, d::Delivery::Post);
  }

  void CloseMainWindow(int copy) override {
    if (HWND main = MainWindow(copy)) d::RequestClose(main);
  }

  void HangUp(int) override {}

  bool HasVisibleWindow(int copy) override {
    const Started* s = Monitor(copy);
    return s && d::HasVisibleWindow(s->pid);
  }

  int StartGame(const std::string& relativePath) override {
    std::string relative = relativePath;
    std::replace(relative.begin(), relative.end(), '/', '\\');
    std::string path = folder_ + "\\" + relative;
    size_t slash = path.rfind('\\');
    if (!MakeFolders(path.substr(0, slash))) {
      throw std::runtime_error(LastErrorText("cannot create the folder of " + path));
    }
    std::string child = d::WindowsPath(ZEPH_TESTCHILD_EXE);
    if (!CopyFileA(child.c_str(), path.c_str(), FALSE)) {
      throw std::runtime_error(LastErrorText("cannot copy " + child + " to " + path));
    }
    games_.push_back(Start(path, ""));
    return static_cast<int>(games_.size()) - 1;
  }

  bool ProtectFile(const std::string& path, std::string* why) override {
    games_.push_back(Start(d::WindowsPath(ZEPH_TESTCHILD_EXE), "hold \"" + path + "\""));
    // Held once a writer that shares everything is refused.
    for (DWORD start = GetTickCount(); GetTickCount() - start < 10000; Sleep(50)) {
      HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
      if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION) return true;
      if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
    *why = "the holding process did not open " + path;
    return false;
  }

  void StopGame(int game) override {
    if (game >= 0 && game < static_cast<int>(games_.size())) Stop(&games_[game]);
  }

  DWORD Pid(int copy) override {
    const Started* s = Monitor(copy);
    return s ? s->pid : 0;
  }

  HWND MainWindow(int copy) override {
    const Started* s = Monitor(copy);
    return s ? d::FindMainWindow(s->pid) : nullptr;
  }

  void StartOnDesktop(const std::string& desktop) override { desktop_ = desktop; }

  bool ProgramRunning(const std::string& exeName) override {
    bool found = false;
    d::ForEachProcessUnder(folder_, [&](HANDLE, const std::string& image) {
      if (lstrcmpiA(image.c_str(), (folder_ + "\\" + exeName).c_str()) == 0) found = true;
    });
    return found;
  }

 private:
  // The process keeps the test's current folder: a program folder that is
  // some process's current folder could not be deleted, and a monitor that
  // leaned on its current folder would be caught.
  Started Start(const std::string& exe, const std::string& args) {
    std::string commandLine = "\"" + exe + "\"";
    if (!args.empty()) commandLine += " " + args;
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    std::vector<char> desktop(desktop_.begin(), desktop_.end());
    desktop.push_back('\0');
    if (!desktop_.empty()) startup.lpDesktop = desktop.data();
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(exe.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
      throw std::runtime_error(LastErrorText("cannot start " + commandLine));
    }
    CloseHandle(info.hThread);
    return {info.hProcess, info.dwProcessId};
  }

  static void Stop(Started* s) {
    if (!s->process) return;
    if (WaitForSingleObject(s->process, 0) == WAIT_TIMEOUT) {
      TerminateProcess(s->process, 1);
      WaitForSingleObject(s->process, kEndWaitMs);
    }
    CloseHandle(s->process);
    s->process = nullptr;
  }

  void EndProcessesInFolder() {
    d::ForEachProcessUnder(root_, [](HANDLE process, const std::string&) {
      TerminateProcess(process, 1);
      WaitForSingleObject(process, kEndWaitMs);
    });
  }

  const Started* Monitor(int copy) const {
    if (copy < 0 || copy >= static_cast<int>(monitors_.size())) return nullptr;
    return &monitors_[copy];
  }

  std::string root_;
  std::string folder_;
  std::vector<Started> monitors_;
  std::vector<Started> games_;
  std::string desktop_;
};

}  // namespace

std::unique_ptr<MonitorHarness> MonitorHarness::Create() {
  return Win32MonitorHarness::CreateWin32();
}

std::unique_ptr<Win32MonitorHarness> Win32MonitorHarness::CreateWin32() {
  static std::atomic<unsigned> counter{0};
  char temp[MAX_PATH] = {};
  DWORD got = GetTempPathA(sizeof temp, temp);
  if (got == 0 || got >= sizeof temp) throw std::runtime_error(LastErrorText("no temp folder"));
  std::string base = d::LongPath(temp);
  if (!base.empty() && base.back() == '\\') base.pop_back();

  std::string folder;
  for (;;) {
    folder = base + "\\zeph-e2e-" + std::to_string(GetCurrentProcessId()) + "-" +
             std::to_string(counter++) + "-" + std::to_string(GetTickCount());
    if (CreateDirectoryA(folder.c_str(), nullptr)) break;
    if (GetLastError() != ERROR_ALREADY_EXISTS) {
      throw std::runtime_error(LastErrorText("cannot create " + folder));
    }
  }
  // From here on the harness owns the folder and removes it should a step fail.
  auto harness = std::make_unique<Win32Harness>(folder);
  const std::string prog = harness->Folder();
  if (!MakeFolders(prog)) throw std::runtime_error(LastErrorText("cannot create " + prog));
  std::string monitor = d::WindowsPath(ZEPH_MONITOR_EXE);
  if (!CopyFileA(monitor.c_str(), (prog + "\\ZephMonitor.exe").c_str(), FALSE)) {
    throw std::runtime_error(LastErrorText("cannot copy " + monitor));
  }
  std::string child = d::WindowsPath(ZEPH_TESTCHILD_EXE);
  if (!CopyFileA(child.c_str(), (folder + "\\my.exe").c_str(), FALSE)) {
    throw std::runtime_error(LastErrorText("cannot copy " + child));
  }
  for (const char* sub : {"wyn", "games"}) {
    if (!CreateDirectoryA((prog + "\\" + sub).c_str(), nullptr)) {
      throw std::runtime_error(LastErrorText("cannot create " + prog + "\\" + sub));
    }
  }
  SetEnvironmentVariableA("ZEPH_TESTCHILD_LOG", (folder + "\\started.log").c_str());
  return harness;
}

}  // namespace zeph::e2e
