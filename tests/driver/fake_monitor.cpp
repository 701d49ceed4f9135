// A stand-in with the monitor's windows, for testing the driver and the
// harness without the monitor itself: a main window with the debug list and
// the Suspend and Exit buttons, and message boxes owned by it.
//
// The argument text is a script of words, run in order once the message
// loop runs; every step leaves a debug line:
//   show           show the main window (it is hidden otherwise)
//   lines N        add "line 1" .. "line N"
//   long N         add a line of N 'x'
//   latin1         add "caf" + e-acute in the system code page
//   box            OK box "Fake Box": "First line\nSecond line"
//   yesno|yesno2   Yes/No box "Fake Question", default Yes | No
//   okcancel       OK/Cancel box "Fake Choice"
//   wait MS        pause, messages still processed
//   spawn PATH     start PATH (relative to this program's folder)
//   quit           end with exit code 5
// First words, before the window exists: "prebox" shows a box without owner;
// "dialogmain" makes the main window a dialog-class (#32770) window.
// Exit codes: 3 after the Exit button, 4 after the close button.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "tray/win32/MainWindowIds.h"

namespace {

constexpr UINT kRunScript = WM_APP + 1;
HWND g_main = nullptr;
HWND g_list = nullptr;
bool g_suspended = false;
WNDPROC g_dialogProc = nullptr;  // set when the main window is a dialog
std::vector<std::string> g_words;

std::string ArgumentText() {
  const char* line = GetCommandLineA();
  if (*line == '"') {
    ++line;
    while (*line && *line != '"') ++line;
    if (*line) ++line;
  } else {
    while (*line && *line != ' ' && *line != '\t') ++line;
  }
  while (*line == ' ' || *line == '\t') ++line;
  return line;
}

void AddLine(const std::string& line) {
  if (g_list) SendMessageA(g_list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
}

void Box(const char* text, const char* title, UINT type) {
  int answer = MessageBoxA(g_main, text, title, type);
  AddLine("answer " + std::to_string(answer));
}

std::string ProgramFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder = path;
  return folder.substr(0, folder.rfind('\\'));
}

void Spawn(const std::string& relative) {
  std::string path = ProgramFolder() + "\\" + relative;
  std::string commandLine = "\"" + path + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (CreateProcessA(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                     &startup, &info)) {
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    AddLine("spawned " + relative);
  } else {
    AddLine("spawn failed " + relative);
  }
}

void RunScript() {
  for (size_t i = 0; i < g_words.size(); ++i) {
    const std::string& word = g_words[i];
    std::string next = i + 1 < g_words.size() ? g_words[i + 1] : "";
    if (word == "show") {
      ShowWindow(g_main, SW_SHOWNORMAL);
    } else if (word == "lines") {
      int count = std::atoi(next.c_str());
      for (int n = 1; n <= count; ++n) AddLine("line " + std::to_string(n));
      ++i;
    } else if (word == "long") {
      AddLine(std::string(static_cast<size_t>(std::atoi(next.c_str())), 'x'));
      ++i;
    } else if (word == "latin1") {
      AddLine("caf\xe9");
    } else if (word == "box") {
      Box("First line\nSecond line", "Fake Box", MB_OK | MB_ICONINFORMATION);
    } else if (word == "yesno") {
      Box("Go on?", "Fake Question", MB_YESNO | MB_ICONQUESTION);
    } else if (word == "yesno2") {
      Box("Go on?", "Fake Question", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
    } else if (word == "okcancel") {
      Box("Choose", "Fake Choice", MB_OKCANCEL);
    } else if (word == "wait") {
      DWORD start = GetTickCount();
      DWORD ms = static_cast<DWORD>(std::atoi(next.c_str()));
      MSG msg;
      while (GetTickCount() - start < ms) {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        Sleep(10);
      }
      ++i;
    } else if (word == "spawn") {
      Spawn(next);
      ++i;
    } else if (word == "quit") {
      ExitProcess(5);
    }
  }
  AddLine("script done");
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wParam) == IDC_SUSPEND) {
        g_suspended = !g_suspended;
        SetWindowTextA(GetDlgItem(window, IDC_SUSPEND), g_suspended ? "Resume" : "Suspend");
        AddLine(g_suspended ? "suspended" : "resumed");
        return 0;
      }
      if (LOWORD(wParam) == IDC_EXIT) ExitProcess(3);
      break;
    case WM_CLOSE:
      ExitProcess(4);
    case kRunScript:
      RunScript();
      return 0;
    default:
      break;
  }
  if (g_dialogProc) return CallWindowProcA(g_dialogProc, window, message, wParam, lParam);
  return DefWindowProcA(window, message, wParam, lParam);
}

bool TakeFirstWord(const char* word) {
  if (g_words.empty() || g_words.front() != word) return false;
  g_words.erase(g_words.begin());
  return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  std::string args = ArgumentText();
  std::istringstream words(args);
  for (std::string word; words >> word;) g_words.push_back(word);
  if (TakeFirstWord("prebox")) MessageBoxA(nullptr, "Before the window", "Fake Early", MB_OK);
  bool dialogMain = TakeFirstWord("dialogmain");

  WNDCLASSA cls{};
  cls.lpfnWndProc = WindowProc;
  cls.hInstance = instance;
  cls.hCursor = LoadCursor(nullptr, IDC_ARROW);
  cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  cls.lpszClassName = "ZephFakeMonitor";
  RegisterClassA(&cls);
  g_main = CreateWindowExA(0, dialogMain ? "#32770" : cls.lpszClassName,
                           "Thalix Monitor - Debug Mode", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                           CW_USEDEFAULT, 480, 360, nullptr, nullptr, instance, nullptr);
  if (dialogMain) {
    g_dialogProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(g_main, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WindowProc)));
  }
  auto child = [&](const char* cls, const char* text, DWORD style, int x, int y, int w, int h,
                   int id) {
    return CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, g_main,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
  };
  g_list = child("LISTBOX", "", WS_VSCROLL | WS_BORDER | LBS_NOINTEGRALHEIGHT, 8, 8, 450, 260,
                 IDC_DEBUG_LIST);
  child("BUTTON", "Suspend", BS_PUSHBUTTON, 8, 280, 100, 28, IDC_SUSPEND);
  child("BUTTON", "Exit", BS_PUSHBUTTON, 120, 280, 100, 28, IDC_EXIT);
  AddLine("args: " + args);
  PostMessageA(g_main, kRunScript, 0, 0);

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}
