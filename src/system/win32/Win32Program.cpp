// The running program on Windows, and the seam made once for main.cpp.
#include <cstdio>

#include "system/WinPath.h"
#include "system/win32/Win32Seam.h"

namespace zeph {

PlatformSystem CreatePlatformSystem(int /*argc*/, char** /*argv*/) {
  // The arguments are taken from GetCommandLineA instead: argv has lost the
  // quotes and the blanks that the argument text keeps.
  PlatformSystem s;
  s.program = std::make_unique<win32::RunningProgram>();
  s.files = std::make_unique<win32::FileSystem>();
  s.ini = std::make_unique<win32::ProfileFiles>();
  s.registry = std::make_unique<win32::SystemRegistry>();
  s.processes = std::make_unique<win32::ProcessTable>();
  s.loop = std::make_unique<win32::MessageLoop>();
  return s;
}

namespace win32 {

namespace {

// The full path of the running executable; empty when it cannot be read.
std::string ModulePath() {
  std::vector<char> path(MAX_PATH);
  for (;;) {
    const DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) return std::string(path.data(), n);
    path.resize(path.size() * 2);  // cut off: long path
  }
}

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

std::string InstanceMutexName(const std::string& programFolder) {
  std::string lower = programFolder;
  if (!lower.empty()) CharLowerBuffA(&lower[0], static_cast<DWORD>(lower.size()));
  return "ZephMonitor.Instance." + HashName(lower);
}

std::string RunningProgram::Folder() { return FolderOf(ModulePath()); }

std::string RunningProgram::ExeName() { return GetFileOnly(ModulePath()); }

std::string RunningProgram::Arguments() { return ArgsFromCommandLine(GetCommandLineA()); }

bool RunningProgram::AnotherInstanceRunning() {
  // Asked again, our own mutex would answer; the first answer stands.
  if (instanceMutex_) return anotherInstance_;
  HANDLE mutex = CreateMutexA(nullptr, FALSE, InstanceMutexName(Folder()).c_str());
  const DWORD error = GetLastError();
  instanceMutex_.Reset(mutex);  // kept open for the life of the process
  anotherInstance_ = mutex != nullptr && error == ERROR_ALREADY_EXISTS;
  return anotherInstance_;
}

void RunningProgram::End() { ExitProcess(0); }

OsVersion RunningProgram::Version() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
#ifdef _MSC_VER
#pragma warning(suppress : 4996)  // deprecated, but the platform check wants the real numbers
#endif
  if (!GetVersionExA(&info)) return {};
  return {info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion};
}

std::string RunningProgram::DataFolder() {
  // The user's local application data, which roaming profiles do not carry.
  char buffer[MAX_PATH];
  DWORD n = GetEnvironmentVariableA("LOCALAPPDATA", buffer, sizeof buffer);
  if (n > 0 && n < sizeof buffer) return std::string(buffer, n) + "\\ZephMonitor";
  n = GetEnvironmentVariableA("USERPROFILE", buffer, sizeof buffer);
  if (n > 0 && n < sizeof buffer) return std::string(buffer, n) + "\\AppData\\Local\\ZephMonitor";
  return {};
}

}  // namespace win32
}  // namespace zeph
