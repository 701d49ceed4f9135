// zephprobe: looks at and drives the monitor's windows from the command line.
//
//   zephprobe [--wait MS] boxes PID                  the message boxes of PID
//   zephprobe [--wait MS] press PID [ok|cancel|yes|no]  press a box's button
//                                                    (default: its default one)
//   zephprobe [--wait MS] debuglist PID              the debug list, a line each
//   zephprobe [--wait MS] click PID suspend|exit     a main-window button
//   zephprobe [--wait MS] caption PID suspend|exit   a main-window button's caption
//   zephprobe [--wait MS] close PID                  the main window's close button
//   zephprobe windows PID                            every top-level window of PID
//   zephprobe pids [NAME]                            processes (named NAME.exe or NAME):
//                                                    "PID path" a line
//
// Exit code 0 on success, 1 when the window or button is not there (after
// --wait, retried every 50 ms until MS have passed), 2 on a usage error.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "Driver.h"  // brings <windows.h>, which <tlhelp32.h> needs first

#include <tlhelp32.h>

#include "tray/win32/MainWindowIds.h"

namespace d = zeph::driver;

namespace {

// Why the last attempt failed; printed once, after the last retry.
std::string g_error;

void Fail(const std::string& why) { g_error = why; }

int Usage() {
  std::fprintf(stderr,
               "usage: zephprobe [--wait MS] boxes|press|debuglist|click|caption|close|windows PID "
               "[argument]\n"
               "       zephprobe [--wait MS] pids [NAME]\n"
               "  press PID [ok|cancel|yes|no]   click PID suspend|exit\n"
               "  caption PID suspend|exit\n");
  return 2;
}

bool ParseNumber(const char* text, unsigned long* value) {
  if (text == nullptr || *text == '\0') return false;
  char* end = nullptr;
  *value = std::strtoul(text, &end, 10);
  return *end == '\0';
}

int MainButtonId(const std::string& name) {
  if (name == "suspend") return IDC_SUSPEND;
  if (name == "exit") return IDC_EXIT;
  return 0;
}

void PrintLines(const char* label, const std::string& text) {
  size_t start = 0;
  for (;;) {
    size_t end = text.find('\n', start);
    std::printf("%s%s\n", label, text.substr(start, end - start).c_str());
    if (end == std::string::npos) break;
    start = end + 1;
  }
}

bool ListBoxes(DWORD pid) {
  auto boxes = d::FindMessageBoxes(pid);
  bool any = false;
  for (HWND box : boxes) {
    d::MessageBoxInfo info;
    if (!d::ReadMessageBox(box, &info)) continue;
    any = true;
    std::printf("box %p\n", static_cast<void*>(box));
    std::printf("title: %s\n", info.title.c_str());
    PrintLines("text: ", info.text);
    std::printf("buttons:");
    for (const auto& button : info.buttons) {
      const char* name = d::BoxButtonName(button.id);
      std::printf(" %s", *name ? name : std::to_string(button.id).c_str());
      if (button.id == info.defaultButton) std::printf("*");
    }
    std::printf("\n");
  }
  if (!any) Fail("no message box of process " + std::to_string(pid));
  return any;
}

bool Press(DWORD pid, int id) {
  auto boxes = d::FindMessageBoxes(pid);
  if (boxes.empty()) {
    Fail("no message box of process " + std::to_string(pid));
    return false;
  }
  HWND box = boxes.front();
  if (id == 0) id = d::DefaultButton(box);
  if (!d::PressBoxButton(box, id)) {
    Fail("the box has no button " + std::to_string(id));
    return false;
  }
  std::printf("pressed %s\n", *d::BoxButtonName(id) ? d::BoxButtonName(id) : "button");
  return true;
}

HWND MainWindowOrComplain(DWORD pid) {
  HWND main = d::FindMainWindow(pid);
  if (main == nullptr) Fail("no main window of process " + std::to_string(pid));
  return main;
}

bool DebugList(DWORD pid) {
  HWND main = MainWindowOrComplain(pid);
  std::vector<std::string> lines;
  if (main == nullptr) return false;
  if (!d::ReadDebugList(main, &lines)) {
    Fail("cannot read the debug list");
    return false;
  }
  for (const auto& line : lines) std::printf("%s\n", line.c_str());
  return true;
}

bool Click(DWORD pid, int id) {
  HWND main = MainWindowOrComplain(pid);
  if (main == nullptr) return false;
  if (!d::ClickButton(main, id)) {
    Fail("cannot click button " + std::to_string(id));
    return false;
  }
  return true;
}

bool Caption(DWORD pid, int id) {
  HWND main = MainWindowOrComplain(pid);
  if (main == nullptr) return false;
  if (GetDlgItem(main, id) == nullptr) {
    Fail("the main window has no button " + std::to_string(id));
    return false;
  }
  std::printf("%s\n", d::ButtonCaption(main, id).c_str());
  return true;
}

bool Close(DWORD pid) {
  HWND main = MainWindowOrComplain(pid);
  if (main == nullptr) return false;
  if (!d::RequestClose(main)) {
    Fail("cannot post WM_CLOSE");
    return false;
  }
  return true;
}

bool Windows(DWORD pid) {
  auto windows = d::TopLevelWindows(pid);
  for (const auto& w : windows) {
    std::printf("%p %s %s \"%s\"\n", static_cast<void*>(w.hwnd), w.visible ? "visible" : "hidden",
                w.className.c_str(), w.caption.c_str());
  }
  if (windows.empty()) Fail("no window of process " + std::to_string(pid));
  return !windows.empty();
}

// Under Wine the Windows process ids differ from the Unix ones; this is
// how a script learns the id to pass to the other commands.
bool Pids(const std::string& name) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return false;
  bool any = false;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    std::string exe = entry.szExeFile;
    if (!name.empty() && lstrcmpiA(exe.c_str(), name.c_str()) != 0 &&
        lstrcmpiA(exe.c_str(), (name + ".exe").c_str()) != 0) {
      continue;
    }
    std::string path = exe;
    if (HANDLE process =
            OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID)) {
      char image[MAX_PATH * 2] = {};
      DWORD size = sizeof image;
      if (QueryFullProcessImageNameA(process, 0, image, &size)) path.assign(image, size);
      CloseHandle(process);
    }
    std::printf("%lu %s\n", entry.th32ProcessID, path.c_str());
    any = true;
  }
  CloseHandle(snapshot);
  if (!any) Fail("no process named " + name);
  return any;
}

}  // namespace

int main(int argc, char** argv) {
  int arg = 1;
  unsigned long waitMs = 0;
  if (arg < argc && std::strcmp(argv[arg], "--wait") == 0) {
    if (arg + 1 >= argc || !ParseNumber(argv[arg + 1], &waitMs)) return Usage();
    arg += 2;
  }
  if (argc - arg < 1) return Usage();
  std::string command = argv[arg];
  if (command == "pids") {
    if (argc - arg > 2) return Usage();
    std::string name = argc - arg == 2 ? argv[arg + 1] : "";
    DWORD start = GetTickCount();
    while (!Pids(name)) {
      if (GetTickCount() - start >= waitMs) {
        std::fprintf(stderr, "zephprobe: %s\n", g_error.c_str());
        return 1;
      }
      Sleep(50);
    }
    return 0;
  }
  if (argc - arg < 2) return Usage();
  unsigned long pidValue = 0;
  if (!ParseNumber(argv[arg + 1], &pidValue) || pidValue == 0) return Usage();
  DWORD pid = static_cast<DWORD>(pidValue);
  const char* extra = argc - arg >= 3 ? argv[arg + 2] : nullptr;
  if (argc - arg > 3) return Usage();

  std::function<bool()> action;
  if (command == "boxes" && !extra) {
    action = [pid] { return ListBoxes(pid); };
  } else if (command == "press") {
    int id = extra ? d::BoxButtonFromName(extra) : 0;
    if (extra && id == 0) return Usage();
    action = [pid, id] { return Press(pid, id); };
  } else if (command == "debuglist" && !extra) {
    action = [pid] { return DebugList(pid); };
  } else if ((command == "click" || command == "caption") && extra) {
    int id = MainButtonId(extra);
    if (id == 0) return Usage();
    if (command == "click") {
      action = [pid, id] { return Click(pid, id); };
    } else {
      action = [pid, id] { return Caption(pid, id); };
    }
  } else if (command == "close" && !extra) {
    action = [pid] { return Close(pid); };
  } else if (command == "windows" && !extra) {
    action = [pid] { return Windows(pid); };
  } else {
    return Usage();
  }

  DWORD start = GetTickCount();
  for (;;) {
    if (action()) return 0;
    if (GetTickCount() - start >= waitMs) {
      if (!g_error.empty()) std::fprintf(stderr, "zephprobe: %s\n", g_error.c_str());
      return 1;
    }
    Sleep(50);
  }
}
