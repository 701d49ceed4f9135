// The Windows half of the program runner: CreateProcessA with the output
// going to files, and the programs' top-level windows found by process.
#include "Driver.h"  // <windows.h>, and the window helpers of the test driver

#include <stdexcept>

#include "ProgramRunner.h"

namespace zeph::companion_test {
namespace {

namespace d = zeph::driver;

// One argument as the C runtime splits it back: quoted when it holds a
// blank or a quote (or is empty), backslashes doubled before a quote.
std::string QuoteArgument(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, '\\');
  return out + "\"";
}

HANDLE OpenForChild(const std::string& path, bool write) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  return CreateFileA(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                     write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

class Win32Process : public Process {
 public:
  Win32Process(HANDLE process, DWORD pid) : process_(process), pid_(pid) {}
  ~Win32Process() override {
    if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
      TerminateProcess(process_, 1);
      WaitForSingleObject(process_, 5000);
    }
    CloseHandle(process_);
  }

  unsigned long Pid() const override { return pid_; }

  bool WaitForExit(int timeoutMs, int* exitCode) override {
    if (WaitForSingleObject(process_, static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0) return false;
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    *exitCode = static_cast<int>(code);
    return true;
  }

  bool HasWindow(const std::string& title) override { return Window(title) != nullptr; }

  // What the monitor does (FindWindowA + WM_CLOSE posted), kept to this
  // process's window so that other tests' copies are left alone.
  bool AskWindowToClose(const std::string& title) override {
    HWND window = Window(title);
    return window && PostMessageA(window, WM_CLOSE, 0, 0);
  }

  std::string WindowText(const std::string& title) override {
    HWND window = Window(title);
    std::string text;
    for (HWND child = window ? GetWindow(window, GW_CHILD) : nullptr; child;
         child = GetWindow(child, GW_HWNDNEXT)) {
      text += (text.empty() ? "" : "\n") + d::WindowText(child);
    }
    return text;
  }

 private:
  HWND Window(const std::string& title) {
    for (const d::WindowInfo& info : d::TopLevelWindows(pid_)) {
      if (info.caption == title) return info.hwnd;
    }
    return nullptr;
  }

  HANDLE process_;
  DWORD pid_;
};

}  // namespace

std::string OpenablePath(const std::string& buildPath) { return d::WindowsPath(buildPath); }

void IsolateWindows(const TempFolder&) {}

std::unique_ptr<Process> Process::Start(const std::string& program,
                                        const std::vector<std::string>& args,
                                        const std::string& outPath, const std::string& errPath) {
  std::string line = QuoteArgument(program);
  for (const std::string& arg : args) line += " " + QuoteArgument(arg);
  std::vector<char> buffer(line.begin(), line.end());
  buffer.push_back('\0');

  HANDLE in = OpenForChild("NUL", false);
  HANDLE out = OpenForChild(outPath, true);
  HANDLE err = OpenForChild(errPath, true);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION started = {};
  const bool ok = out != INVALID_HANDLE_VALUE && err != INVALID_HANDLE_VALUE &&
                  CreateProcessA(program.c_str(), buffer.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                 nullptr, &startup, &started);
  const DWORD error = GetLastError();
  for (HANDLE h : {in, out, err}) {
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
  if (!ok)
    throw std::runtime_error("cannot start " + program + " (error " + std::to_string(error) + ")");
  CloseHandle(started.hThread);
  return std::make_unique<Win32Process>(started.hProcess, started.dwProcessId);
}

}  // namespace zeph::companion_test
