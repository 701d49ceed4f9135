// Processes on Windows: the listing, opened processes, started programs,
// and other programs' windows.
//
// The process functions from psapi.dll rather than their K32 forms in
// kernel32, which systems before Windows 7 lack.
#define PSAPI_VERSION 1

#include "system/win32/Win32Seam.h"  // brings <windows.h>, which <psapi.h> needs first

#include <psapi.h>

#include "system/WinPath.h"
#include "system/win32/Win32Error.h"

namespace zeph::win32 {

namespace {

// Only on Vista and later; looked up at run time so that the program still
// starts where kernel32 lacks it.
using QueryImageNameFn = BOOL(WINAPI*)(HANDLE, DWORD, LPSTR, PDWORD);
QueryImageNameFn QueryImageNameFunction() {
  static const QueryImageNameFn fn =
      reinterpret_cast<QueryImageNameFn>(reinterpret_cast<void (*)()>(
          GetProcAddress(GetModuleHandleA("kernel32.dll"), "QueryFullProcessImageNameA")));
  return fn;
}

constexpr DWORD kQueryLimitedInformation = 0x1000;  // PROCESS_QUERY_LIMITED_INFORMATION
constexpr DWORD kQueryAndRead = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;  // 0x410

// The executable of an opened process, through its first module.
std::string ImagePathFromModules(HANDLE process) {
  HMODULE modules[50];
  DWORD needed = 0;
  if (!EnumProcessModules(process, modules, sizeof modules, &needed) || needed == 0) return {};
  char path[260];
  const DWORD n = GetModuleFileNameExA(process, modules[0], path, sizeof path);
  return Trim(std::string(path, n), " \t");
}

// The executable of a process that we may not read (elevated while we are
// not), with the handle that read it.
std::string ImagePathLimited(DWORD pid, UniqueHandle* process) {
  QueryImageNameFn query = QueryImageNameFunction();
  if (query == nullptr) return {};
  process->Reset(::OpenProcess(kQueryLimitedInformation, FALSE, pid));
  if (!*process) return {};
  char path[MAX_PATH];
  DWORD size = sizeof path;
  if (!query(process->Get(), 0, path, &size)) return {};
  return Trim(std::string(path, size), " \t");
}

bool StillRunning(HANDLE process) {
  DWORD code = 0;
  return GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
}

class Win32ProcessHandle final : public ProcessHandle {
 public:
  explicit Win32ProcessHandle(UniqueHandle process) : process_(std::move(process)) {}
  bool State(bool* running, uint32_t* exitCode, SystemError* err) override {
    DWORD code = 0;
    if (!GetExitCodeProcess(process_.Get(), &code)) return FailLast(err);
    // The handle's signal says whether it ended: a program may end with
    // the code that also means "still running".
    const DWORD wait = WaitForSingleObject(process_.Get(), 0);
    *running = wait == WAIT_FAILED ? code == STILL_ACTIVE : wait == WAIT_TIMEOUT;
    *exitCode = *running ? kStillActive : code;
    return true;
  }
  intptr_t WaitObject() const override { return reinterpret_cast<intptr_t>(process_.Get()); }

 private:
  UniqueHandle process_;
};

// CreateProcessA with the window shown as show says; the caller closes
// both handles of *started.
bool CreateShown(const std::string& commandLine, WORD show, BOOL inheritHandles,
                 PROCESS_INFORMATION* started, SystemError* err) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = show;
  // CreateProcessA may write into the command line.
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  return CreateProcessA(nullptr, line.data(), nullptr, nullptr, inheritHandles,
                        NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, started) ||
         FailLast(err);
}

// ShellExecuteA reports a failure as a small number of its own (some of
// them system error codes): the number and what it means.
SystemError ShellExecuteError(int code) {
  const char* text = nullptr;
  switch (code) {
    case 0: text = "The system is out of memory or resources."; break;
    case SE_ERR_FNF: text = "The specified file was not found."; break;
    case SE_ERR_PNF: text = "The specified path was not found."; break;
    case ERROR_BAD_FORMAT: text = "The .exe file is invalid."; break;
    case SE_ERR_ACCESSDENIED: text = "Access to the specified file is denied."; break;
    case SE_ERR_OOM: text = "There is not enough memory to complete the operation."; break;
    case SE_ERR_SHARE: text = "A sharing violation occurred."; break;
    case SE_ERR_ASSOCINCOMPLETE:
      text = "The file name association is incomplete or invalid.";
      break;
    case SE_ERR_DDETIMEOUT: text = "The DDE transaction timed out."; break;
    case SE_ERR_DDEFAIL: text = "The DDE transaction failed."; break;
    case SE_ERR_DDEBUSY: text = "Other DDE transactions were being processed."; break;
    case SE_ERR_NOASSOC: text = "No program is associated with this kind of address."; break;
    case SE_ERR_DLLNOTFOUND: text = "The specified DLL was not found."; break;
    default: return Win32Error(static_cast<DWORD>(code));
  }
  return SystemError{code, text};
}

}  // namespace

std::vector<ProcessInfo> ProcessTable::List() {
  // Grow the id buffer until the list no longer fills it.
  std::vector<DWORD> ids;
  DWORD size = 8;
  DWORD needed = 96;
  while (size <= needed) {
    size *= 2;
    ids.resize(size / sizeof(DWORD));
    if (!EnumProcesses(ids.data(), size, &needed)) return {};
  }
  ids.resize(needed / sizeof(DWORD));

  std::vector<ProcessInfo> processes;
  std::unordered_map<DWORD, Known> seen;
  seen.reserve(known_.size() + 16);
  for (DWORD pid : ids) {
    auto it = known_.find(pid);
    if (it != known_.end()) {
      // Ended, but listed while a handle (ours, until now) keeps it: gone.
      if (!StillRunning(it->second.process.Get())) continue;
      processes.push_back({static_cast<uint32_t>(pid), it->second.imagePath, {}});
      seen.emplace(pid, std::move(it->second));
      continue;
    }
    Known k;
    k.process.Reset(::OpenProcess(kQueryAndRead, FALSE, pid));
    if (k.process) k.imagePath = ImagePathFromModules(k.process.Get());
    // Also when the modules cannot be read (a 64-bit process seen from a
    // 32-bit build, a process still starting).
    if (k.imagePath.empty()) k.imagePath = ImagePathLimited(pid, &k.process);
    // Not readable (yet): tried again at the next listing.
    if (k.imagePath.empty() || !StillRunning(k.process.Get())) continue;
    processes.push_back({static_cast<uint32_t>(pid), k.imagePath, {}});
    seen.emplace(pid, std::move(k));
  }
  known_.swap(seen);  // the handles of processes that are gone close here
  return processes;
}

std::unique_ptr<ProcessHandle> ProcessTable::Open(uint32_t pid, SystemError* err) {
  UniqueHandle process(::OpenProcess(kQueryLimitedInformation | SYNCHRONIZE, FALSE, pid));
  // Systems before Vista do not know the limited right.
  if (!process) process.Reset(::OpenProcess(PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, pid));
  if (!process) {
    FailLast(err);
    return nullptr;
  }
  return std::make_unique<Win32ProcessHandle>(std::move(process));
}

std::unique_ptr<ProcessHandle> ProcessTable::Start(const std::string& commandLine,
                                                   SystemError* err) {
  PROCESS_INFORMATION started{};
  if (!CreateShown(commandLine, SW_HIDE, TRUE, &started, err)) return nullptr;
  UniqueHandle thread(started.hThread);
  return std::make_unique<Win32ProcessHandle>(UniqueHandle(started.hProcess));
}

bool ProcessTable::StartShown(const std::string& commandLine, int showCommand, uint32_t* pid,
                              SystemError* err) {
  PROCESS_INFORMATION started{};
  // A program the user works with: it inherits none of our handles.
  if (!CreateShown(commandLine, static_cast<WORD>(showCommand), FALSE, &started, err)) return false;
  UniqueHandle thread(started.hThread);
  UniqueHandle process(started.hProcess);
  if (pid != nullptr) *pid = started.dwProcessId;
  return true;
}

bool ProcessTable::ActivateMainWindow(uint32_t pid) {
  struct Search {
    DWORD pid;
    HWND found;
  } search{pid, nullptr};
  // The main window: top-level (all EnumWindows lists), visible and owned
  // by no other window, which leaves out tool palettes and dialogs.
  EnumWindows(
      [](HWND window, LPARAM param) -> BOOL {
        auto* s = reinterpret_cast<Search*>(param);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner != s->pid || !IsWindowVisible(window) || GetWindow(window, GW_OWNER) != nullptr)
          return TRUE;
        s->found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  if (search.found == nullptr) return false;
  // The system may refuse the foreground to us (another program has the
  // user's input); the window is there all the same.
  SetForegroundWindow(search.found);
  return true;
}

bool ProcessTable::OpenAddress(const std::string& address, int showCommand, SystemError* err) {
  // The program chosen for the address may be a shell extension, which
  // wants COM on the calling thread.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  const auto result = reinterpret_cast<INT_PTR>(
      ShellExecuteA(nullptr, nullptr, address.c_str(), nullptr, nullptr, showCommand));
  if (SUCCEEDED(com)) CoUninitialize();
  if (result > 32) return true;
  return Fail(err, ShellExecuteError(static_cast<int>(result)));
}

bool ProcessTable::CloseWindowByTitle(const std::string& title) {
  HWND window = FindWindowA(nullptr, title.c_str());
  if (window == nullptr) return false;
  return PostMessageA(window, WM_CLOSE, 0, 0) != FALSE;
}

}  // namespace zeph::win32
