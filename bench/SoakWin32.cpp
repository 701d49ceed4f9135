// bench_soak's Windows part (run under Wine here): the monitor and the game
// are started with CreateProcess; what the monitor holds comes from
// GetProcessMemoryInfo, GetProcessHandleCount and Toolhelp snapshots.
#define PSAPI_VERSION 1

#include <windows.h>  // first: <psapi.h> and <tlhelp32.h> need it

#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "SoakPlatform.h"

namespace zeph::bench::soak {
namespace {

namespace fs = std::filesystem;

std::string ErrorText(const std::string& what) {
  return what + " (error " + std::to_string(GetLastError()) + ")";
}

ULONGLONG CreationTime(HANDLE process) {
  FILETIME created{}, exited{}, kernel{}, user{};
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  return (static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

std::string ImagePath(HANDLE process) {
  char path[MAX_PATH * 2] = {};
  DWORD size = sizeof path;
  if (!QueryFullProcessImageNameA(process, 0, path, &size)) return {};
  return std::string(path, size);
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

std::string LongPath(const std::string& path) {
  char buffer[MAX_PATH * 2] = {};
  DWORD got = GetLongPathNameA(path.c_str(), buffer, sizeof buffer);
  return got > 0 && got < sizeof buffer ? std::string(buffer, got) : path;
}

// The handles of a process, counted in the system's handle table
// (NtQuerySystemInformation, SystemHandleInformation), for where
// GetProcessHandleCount answers 0: Wine 8 does not count them. The entry
// layout is Wine's (a 32-bit owner id); -1 when the table cannot be read.
long HandlesInTable(DWORD pid) {
  struct Entry {
    ULONG ownerPid;
    BYTE type;
    BYTE flags;
    USHORT handle;
    PVOID object;
    ULONG access;
  };
  struct Table {
    ULONG count;
    Entry entries[1];
  };
  using QueryFn = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
  auto query = reinterpret_cast<QueryFn>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
  if (!query) return -1;
  constexpr ULONG kSystemHandleInformation = 16;
  constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004L);
  std::vector<char> buffer(1 << 16);
  LONG status = 0;
  ULONG needed = 0;
  while ((status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()),
                         &needed)) == kInfoLengthMismatch &&
         buffer.size() < (64u << 20))
    buffer.resize(buffer.size() * 2);
  if (status != 0) return -1;
  const auto* table = reinterpret_cast<const Table*>(buffer.data());
  long count = 0;
  for (ULONG i = 0; i < table->count; ++i)
    if (table->entries[i].ownerPid == pid) ++count;
  return count;
}

struct Started {
  HANDLE process = nullptr;
  DWORD pid = 0;
};

bool Start(const fs::path& exe, Started* started, std::string* error) {
  const std::string path = exe.string();
  std::string commandLine = "\"" + path + "\"";
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  const std::string folder = exe.parent_path().string();
  if (!CreateProcessA(path.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.c_str(), &startup, &info)) {
    *error = ErrorText("cannot start " + path);
    return false;
  }
  CloseHandle(info.hThread);
  started->process = info.hProcess;
  started->pid = info.dwProcessId;
  return true;
}

bool Stop(Started* s, DWORD waitMs) {
  if (!s->process) return true;
  bool gone = true;
  if (WaitForSingleObject(s->process, 0) == WAIT_TIMEOUT) {
    TerminateProcess(s->process, 1);
    gone = WaitForSingleObject(s->process, waitMs) == WAIT_OBJECT_0;
  }
  CloseHandle(s->process);
  s->process = nullptr;
  s->pid = 0;
  return gone;
}

class Win32Platform final : public Platform {
 public:
  ~Win32Platform() override { EndAll(); }

  const char* MemoryName() override { return "WorkingSet"; }
  const char* HandlesName() override { return "handles"; }
  const char* ChildrenRule() override {
    return "live processes whose parent (Toolhelp) is the monitor and that started after it,\n"
           "            and live processes run from the program folder besides the monitor "
           "and the game";
  }

  std::string MonitorName() override { return "ZephMonitor.exe"; }
  unsigned long OwnProcessId() override { return GetCurrentProcessId(); }

  bool Prepare(const fs::path& root, std::string* error) override {
    folder_ = Lower(LongPath(fs::absolute(root / "prog").string())) + "\\";
    // The start-up reminder is a modal box on Windows that would hold the
    // start-up up: switched off, as bench/with-wine does for its prefix.
    const char* key = "Software\\Thalix\\Kinetra";
    const char value[] = "False";
    HKEY h = nullptr;
    if (RegCreateKeyA(HKEY_LOCAL_MACHINE, key, &h) != ERROR_SUCCESS ||
        RegSetValueExA(h, "CheckAttached", 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                       sizeof value) != ERROR_SUCCESS) {
      if (h) RegCloseKey(h);
      *error =
          "cannot set HKLM\\Software\\Thalix\\Kinetra CheckAttached to False (run it as "
          "administrator, or under Wine through bench/with-wine)";
      return false;
    }
    RegCloseKey(h);
    return true;
  }

  bool StartMonitor(const fs::path& exe, std::string* error) override {
    if (!Start(exe, &monitor_, error)) return false;
    monitorCreated_ = CreationTime(monitor_.process);
    return true;
  }

  bool MonitorRunning() override {
    return monitor_.process && WaitForSingleObject(monitor_.process, 0) == WAIT_TIMEOUT;
  }

  std::string MonitorOutput() override { return {}; }

  bool StartGame(const fs::path& exe, std::string* error) override {
    return Start(exe, &game_, error);
  }

  bool EndGame(std::string* error) override {
    const DWORD pid = game_.pid;
    if (Stop(&game_, 10000)) return true;
    *error = "the game " + std::to_string(pid) + " did not end within 10 s";
    return false;
  }

  Usage MonitorUsage() override {
    Usage u;
    if (!MonitorRunning()) return u;
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    DWORD handles = 0;
    if (!GetProcessMemoryInfo(monitor_.process, &memory, sizeof memory) ||
        !GetProcessHandleCount(monitor_.process, &handles))
      return u;
    u.memoryKiB = static_cast<double>(memory.WorkingSetSize) / 1024.0;
    u.handles = handles > 0 ? static_cast<long>(handles) : HandlesInTable(monitor_.pid);
    u.threads = 0;
    HANDLE threads = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (threads == INVALID_HANDLE_VALUE) return u;
    THREADENTRY32 t{};
    t.dwSize = sizeof t;
    for (BOOL more = Thread32First(threads, &t); more; more = Thread32Next(threads, &t))
      if (t.th32OwnerProcessID == monitor_.pid) ++u.threads;
    CloseHandle(threads);
    std::vector<DWORD> left = LeftBehind(&u.childNames);
    u.children = static_cast<long>(left.size());
    u.ok = true;
    return u;
  }

  void EndAll() override {
    Stop(&game_, 10000);
    Stop(&monitor_, 10000);
    // What the monitor started from its folder ends too, or its files stay locked.
    for (DWORD pid : LeftBehind(nullptr)) {
      HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
      if (!process) continue;
      TerminateProcess(process, 1);
      WaitForSingleObject(process, 5000);
      CloseHandle(process);
    }
  }

 private:
  // Live processes the monitor started (a parent id can be reused once its
  // process has ended, so only those created after the monitor count) and
  // live processes run from the program folder, besides monitor and game.
  std::vector<DWORD> LeftBehind(std::string* names) {
    std::vector<DWORD> found;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return found;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more;
         more = Process32Next(snapshot, &entry)) {
      const DWORD pid = entry.th32ProcessID;
      if (pid == monitor_.pid || pid == game_.pid || pid == GetCurrentProcessId()) continue;
      HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, pid);
      if (!process) continue;
      const bool live = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
      const bool child = monitor_.pid && entry.th32ParentProcessID == monitor_.pid &&
                         CreationTime(process) >= monitorCreated_;
      const std::string image = Lower(LongPath(ImagePath(process)));
      const bool inFolder = !folder_.empty() && image.compare(0, folder_.size(), folder_) == 0;
      CloseHandle(process);
      if (!live || !(child || inFolder)) continue;
      found.push_back(pid);
      if (names) {
        if (!names->empty()) *names += ", ";
        *names += std::string(entry.szExeFile) + " (" + std::to_string(pid) + ")";
      }
    }
    CloseHandle(snapshot);
    return found;
  }

  Started monitor_, game_;
  ULONGLONG monitorCreated_ = 0;
  std::string folder_;  // the program folder, lower case, with a trailing backslash
};

}  // namespace

std::unique_ptr<Platform> Platform::Create(std::string*) {
  return std::make_unique<Win32Platform>();
}

}  // namespace zeph::bench::soak
