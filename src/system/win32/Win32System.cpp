// The process functions from psapi.dll rather than their K32 forms in
// kernel32, which systems before Windows 7 lack.
#define PSAPI_VERSION 1

#include "system/win32/Win32System.h"

#include <psapi.h>

#include <cstdio>

#include "system/Platform.h"

namespace zeph {

std::unique_ptr<System> CreatePlatformSystem(int /*argc*/, char** /*argv*/) {
  // The arguments are taken from GetCommandLineA instead: argv has lost the
  // quotes and the blanks that the argument text keeps.
  return std::make_unique<win32::Win32System>();
}

namespace win32 {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

HKEY RootKey(RegRoot root) {
  // Not a cast of the enum's value: the predefined keys are sign-extended
  // 32-bit values in a 64-bit build.
  return root == RegRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

std::string Trim(const std::string& s) {
  const char* blanks = " \t";
  const size_t first = s.find_first_not_of(blanks);
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(blanks) - first + 1);
}

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
  return Trim(std::string(path, n));
}

// The executable of a process that we may not read (elevated while we are not).
std::string ImagePathLimited(DWORD pid) {
  QueryImageNameFn query = QueryImageNameFunction();
  if (query == nullptr) return {};
  UniqueHandle process(::OpenProcess(kQueryLimitedInformation, FALSE, pid));
  if (!process) return {};
  char path[MAX_PATH];
  DWORD size = sizeof path;
  if (!query(process.Get(), 0, path, &size)) return {};
  return Trim(std::string(path, size));
}

class Win32ProcessHandle final : public ProcessHandle {
 public:
  explicit Win32ProcessHandle(UniqueHandle process) : process_(std::move(process)) {}
  bool ExitCode(uint32_t* code) override {
    DWORD value = 0;
    if (!GetExitCodeProcess(process_.Get(), &value)) return false;
    *code = value;
    return true;
  }

 private:
  UniqueHandle process_;
};

}  // namespace

std::string ArgsFromCommandLine(const std::string& commandLine) {
  size_t i = 0;
  bool quoted = false;
  for (; i < commandLine.size(); ++i) {
    const char c = commandLine[i];
    if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && IsBlank(c)) {
      break;
    }
  }
  while (i < commandLine.size() && IsBlank(commandLine[i])) ++i;
  return commandLine.substr(i);
}

std::string FolderOfPath(const std::string& path) {
  const size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string InstanceMutexName(const std::string& programFolder) {
  std::string lower = programFolder;
  if (!lower.empty()) CharLowerBuffA(&lower[0], static_cast<DWORD>(lower.size()));
  uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (unsigned char c : lower) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  char name[64];
  std::snprintf(name, sizeof name, "ZephMonitor.Instance.%016llx",
                static_cast<unsigned long long>(hash));
  return name;
}

Win32System::Win32System() : window_(GetModuleHandleA(nullptr)) {}

Win32System::~Win32System() = default;

// --- the program itself

std::string Win32System::ProgramFolder() {
  std::vector<char> path(MAX_PATH);
  for (;;) {
    const DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) return FolderOfPath(std::string(path.data(), n));
    path.resize(path.size() * 2);  // cut off: long path
  }
}

std::string Win32System::CommandArgs() { return ArgsFromCommandLine(GetCommandLineA()); }

bool Win32System::AnotherInstanceRunning() {
  // Asked again, our own mutex would answer; the first answer stands.
  if (instanceMutex_) return anotherInstance_;
  HANDLE mutex = CreateMutexA(nullptr, FALSE, InstanceMutexName(ProgramFolder()).c_str());
  const DWORD error = GetLastError();
  instanceMutex_.Reset(mutex);  // kept open for the life of the process
  anotherInstance_ = mutex != nullptr && error == ERROR_ALREADY_EXISTS;
  return anotherInstance_;
}

void Win32System::EndProgram() {
  // Every orderly end removes the icon first; this keeps a path that forgot
  // from leaving a dead icon in the notification area.
  window_.RemoveIcon();
  ExitProcess(0);
}

// --- files and folders

bool Win32System::FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Win32System::FolderExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<std::string> Win32System::ListFiles(const std::string& folder) {
  std::string pattern = folder;
  if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
  pattern += '*';
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  FindHandle find(FindFirstFileA(pattern.c_str(), &found));
  if (!find) return names;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
  } while (FindNextFileA(find.Get(), &found));
  return names;
}

bool Win32System::CreateEmptyFile(const std::string& path) {
  FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file.Valid();
}

bool Win32System::CreateFolder(const std::string& path) {
  return CreateDirectoryA(path.c_str(), nullptr) || FolderExists(path);
}

bool Win32System::ReadTextFile(const std::string& path, std::string* contents) {
  FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) return false;
  std::string text;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
    text.append(buffer, got);
  *contents = std::move(text);
  return true;
}

bool Win32System::WriteTextFile(const std::string& path, const std::string& contents) {
  // Written beside the target and moved over it, so a failure part-way
  // leaves the old file whole.
  const std::string temp = path + ".zeph-tmp";
  {
    FileHandle file(CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return false;
    DWORD written = 0;
    if (!WriteFile(file.Get(), contents.data(), static_cast<DWORD>(contents.size()), &written,
                   nullptr) ||
        written != contents.size() || !FlushFileBuffers(file.Get())) {
      file = FileHandle();
      DeleteFileA(temp.c_str());
      return false;
    }
  }
  if (!MoveFileExA(temp.c_str(), path.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileA(temp.c_str());
    return false;
  }
  return true;
}

bool Win32System::RemoveFile(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

// --- INI files

std::string Win32System::ReadIniString(const std::string& file, const std::string& section,
                                       const std::string& key, const std::string& def,
                                       size_t bufferSize) {
  if (bufferSize == 0) return {};
  std::vector<char> buffer(bufferSize);
  const DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), def.c_str(), buffer.data(),
                                           static_cast<DWORD>(bufferSize), file.c_str());
  return std::string(buffer.data(), n);
}

bool Win32System::WriteIniString(const std::string& file, const std::string& section,
                                 const std::string& key, const std::string& value) {
  return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str()) !=
         FALSE;
}

// --- registry

bool Win32System::RegSetValue(RegRoot root, const std::string& subkey, const std::string& name,
                              uint32_t type, const std::vector<uint8_t>& data) {
  RegKey key;
  if (RegCreateKeyA(RootKey(root), subkey.c_str(), key.Receive()) != ERROR_SUCCESS) return false;
  return RegSetValueExA(key.Get(), name.c_str(), 0, type, data.empty() ? nullptr : data.data(),
                        static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
}

bool Win32System::RegQueryValue(RegRoot root, const std::string& subkey, const std::string& name,
                                uint32_t* type, std::vector<uint8_t>* data) {
  RegKey key;
  if (RegOpenKeyA(RootKey(root), subkey.c_str(), key.Receive()) != ERROR_SUCCESS) return false;
  DWORD valueType = 0;
  DWORD size = 0;
  if (RegQueryValueExA(key.Get(), name.c_str(), nullptr, &valueType, nullptr, &size) !=
      ERROR_SUCCESS) {
    return false;
  }
  std::vector<uint8_t> value(size);
  for (;;) {
    size = static_cast<DWORD>(value.size());
    const LONG result = RegQueryValueExA(key.Get(), name.c_str(), nullptr, &valueType,
                                         value.empty() ? nullptr : value.data(), &size);
    if (result == ERROR_MORE_DATA) {  // grew since we asked for its size
      value.resize(size);
      continue;
    }
    if (result != ERROR_SUCCESS) return false;
    break;
  }
  value.resize(size);
  if (type != nullptr) *type = valueType;
  if (data != nullptr) *data = std::move(value);
  return true;
}

bool Win32System::RegDeleteValue(RegRoot root, const std::string& subkey, const std::string& name) {
  RegKey key;
  if (RegOpenKeyA(RootKey(root), subkey.c_str(), key.Receive()) != ERROR_SUCCESS) return false;
  return RegDeleteValueA(key.Get(), name.c_str()) == ERROR_SUCCESS;
}

// --- processes and windows of other programs

std::vector<ProcessInfo> Win32System::ListProcesses() {
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
  for (DWORD pid : ids) {
    std::string path;
    UniqueHandle process(::OpenProcess(kQueryAndRead, FALSE, pid));
    if (process) path = ImagePathFromModules(process.Get());
    // Also when the modules cannot be read (a 64-bit process seen from a
    // 32-bit build, a process still starting).
    if (path.empty()) path = ImagePathLimited(pid);
    if (!path.empty()) processes.push_back({static_cast<uint32_t>(pid), path});
  }
  return processes;
}

std::unique_ptr<ProcessHandle> Win32System::OpenProcess(uint32_t pid) {
  UniqueHandle process(::OpenProcess(kQueryLimitedInformation, FALSE, pid));
  // Systems before Vista do not know the limited right.
  if (!process) process.Reset(::OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid));
  if (!process) return nullptr;
  return std::make_unique<Win32ProcessHandle>(std::move(process));
}

int Win32System::RunAndWait(const std::string& commandLine, bool noWait) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION started{};
  // CreateProcessA may write into the command line.
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS, nullptr,
                      nullptr, &startup, &started)) {
    return -1;
  }
  UniqueHandle process(started.hProcess);
  UniqueHandle thread(started.hThread);
  if (noWait) return 0;

  // Sleep until the process ends or a message arrives; the menu and the
  // buttons keep working during a long wait.
  HANDLE waitFor = process.Get();
  for (;;) {
    const DWORD woke = MsgWaitForMultipleObjects(1, &waitFor, FALSE, INFINITE, QS_ALLINPUT);
    if (woke == WAIT_OBJECT_0 + 1) {
      ProcessPendingMessages();
      continue;
    }
    if (woke == WAIT_FAILED) WaitForSingleObject(waitFor, INFINITE);
    break;
  }
  DWORD code = 0;
  if (!GetExitCodeProcess(waitFor, &code)) return -1;
  return static_cast<int>(code);
}

bool Win32System::CloseWindowByTitle(const std::string& title) {
  HWND window = FindWindowA(nullptr, title.c_str());
  if (window == nullptr) return false;
  return PostMessageA(window, WM_CLOSE, 0, 0) != FALSE;
}

// --- platform

OsVersion Win32System::GetOsVersion() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
#ifdef _MSC_VER
#pragma warning(suppress : 4996)  // deprecated, but the platform check wants the real numbers
#endif
  if (!GetVersionExA(&info)) return {};
  return {info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion};
}

// --- the monitor's own user interface

void Win32System::SetCommands(Commands* commands) { window_.SetCommands(commands); }

BoxAnswer Win32System::MessageBox(const std::string& text, const std::string& title,
                                  BoxButtons buttons, BoxIcon icon) {
  UINT type = MB_OK;
  BoxAnswer refused = BoxAnswer::Ok;  // the answer when no box could be shown
  if (buttons == BoxButtons::OkCancel) {
    type = MB_OKCANCEL;
    refused = BoxAnswer::Cancel;
  } else if (buttons == BoxButtons::YesNo) {
    type = MB_YESNO;
    refused = BoxAnswer::No;
  }
  switch (icon) {
    case BoxIcon::Critical: type |= MB_ICONHAND; break;
    case BoxIcon::Question: type |= MB_ICONQUESTION; break;
    case BoxIcon::Exclamation: type |= MB_ICONEXCLAMATION; break;
    case BoxIcon::Information: type |= MB_ICONASTERISK; break;
    case BoxIcon::None: break;
  }
  switch (MessageBoxA(window_.Handle(), text.c_str(), title.c_str(), type)) {
    case IDOK: return BoxAnswer::Ok;
    case IDCANCEL: return BoxAnswer::Cancel;
    case IDYES: return BoxAnswer::Yes;
    case IDNO: return BoxAnswer::No;
    default: return refused;
  }
}

void Win32System::ShowMainWindow() { window_.Show(); }
void Win32System::HideFromTaskList() { window_.HideFromTaskList(); }
void Win32System::AddDebugLine(const std::string& line) { window_.AddDebugLine(line); }
void Win32System::SelectDebugLine(int index) { window_.SelectDebugLine(index); }
void Win32System::NotifyIcon(IconMessage message, IconImage image, const std::string& tip) {
  // Like the shell's own callers, the monitor does not act on a failure.
  window_.NotifyIcon(message, image, tip);
}
void Win32System::SetSuspendChecked(bool checked) { window_.SetSuspendChecked(checked); }
void Win32System::SetSuspendCaption(const std::string& caption) {
  window_.SetSuspendCaption(caption);
}

// --- timer, messages, time

void Win32System::SetTimerInterval(int ms) { window_.SetTimerInterval(ms); }

void Win32System::ProcessPendingMessages() {
  MSG message;
  // Nothing here posts WM_QUIT; should one arrive it is dropped with the rest.
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

void Win32System::RunMessageLoop() {
  MSG message;
  // The program ends through EndProgram; WM_QUIT (0) or an error (-1) only
  // return to the caller.
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

void Win32System::Sleep(int ms) {
  // Posted messages (menu commands, timer) wait until the next message
  // processing, as with a plain sleep; but messages other programs *send*
  // (the shell asking about the icon, a window query) are answered at once,
  // so a sleeping monitor never holds another program up for 250 ms.
  const DWORD start = GetTickCount();
  const DWORD total = static_cast<DWORD>(ms > 0 ? ms : 0);
  for (;;) {
    DWORD elapsed = GetTickCount() - start;
    if (elapsed >= total) return;
    DWORD woke = MsgWaitForMultipleObjectsEx(0, nullptr, total - elapsed, QS_SENDMESSAGE, 0);
    if (woke == WAIT_TIMEOUT) return;
    MSG msg;
    // Peeking for sent messages only dispatches them; nothing is removed.
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

std::string Win32System::TimeOfDay() {
  char text[64];
  const int n = GetTimeFormatA(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, text, sizeof text);
  return n > 0 ? std::string(text, n - 1) : std::string();
}

}  // namespace win32
}  // namespace zeph
