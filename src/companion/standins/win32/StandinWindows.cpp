// The stand-ins' platform part on Windows: their windows.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "companion/standins/StandinHost.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace zeph::standin {
namespace {

constexpr char kWindowClass[] = "ZephStandinWindow";
constexpr int kTextId = 1;

// The one window of the process, and what to do when it is asked to close.
const std::function<void()>* g_closing = nullptr;

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      if (g_closing) (*g_closing)();
      g_closing = nullptr;
      DestroyWindow(hwnd);
      return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: return DefWindowProcA(hwnd, message, wParam, lParam);
  }
}

std::string ImageOfProcess(DWORD pid) {
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (!process) return {};
  char path[MAX_PATH * 4] = {};
  DWORD size = sizeof path;
  std::string image = QueryFullProcessImageNameA(process, 0, path, &size) ? path : "";
  CloseHandle(process);
  return image;
}

struct CopySearch {
  const char* title;
  std::string self;  // our own program file
  bool found = false;
};

BOOL CALLBACK LookAtWindow(HWND hwnd, LPARAM data) {
  auto* search = reinterpret_cast<CopySearch*>(data);
  char caption[256] = {};
  GetWindowTextA(hwnd, caption, sizeof caption);
  if (std::strcmp(caption, search->title) != 0) return TRUE;
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid == GetCurrentProcessId()) return TRUE;
  std::string image = ImageOfProcess(pid);
  if (!image.empty() && lstrcmpiA(image.c_str(), search->self.c_str()) == 0) {
    search->found = true;
    return FALSE;
  }
  return TRUE;
}

// True when another process running this same program file has a
// top-level window with the title.
bool EarlierCopyExists(const std::string& title) {
  CopySearch search{title.c_str(), ImageOfProcess(GetCurrentProcessId())};
  if (search.self.empty()) return false;
  EnumWindows(LookAtWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace

bool WaitUntilNoEarlierCopy(const std::string& title, int timeoutMs) {
  const DWORD start = GetTickCount();
  while (EarlierCopyExists(title)) {
    if (GetTickCount() - start >= static_cast<DWORD>(timeoutMs)) return false;
    Sleep(20);
  }
  return true;
}

int RunWindowUntilClosed(const WindowOptions& options, const std::function<void()>& ready,
                         const std::function<void()>& closing) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = kWindowClass;
  if (!RegisterClassA(&windowClass)) {
    PrintError(options.title + ": RegisterClassA failed (error " + std::to_string(GetLastError()) +
               ")");
    return 1;
  }
  HWND window =
      CreateWindowExA(0, kWindowClass, options.title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                      CW_USEDEFAULT, 420, 130, nullptr, nullptr, instance, nullptr);
  if (!window) {
    PrintError(options.title + ": CreateWindowExA failed (error " + std::to_string(GetLastError()) +
               ")");
    return 1;
  }
  if (!options.text.empty()) {
    HWND text = CreateWindowExA(
        0, "STATIC", options.text.c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT, 16, 24, 372, 24, window,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kTextId)), instance, nullptr);
    if (text)
      SendMessageA(text, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), 0);
  }
  // SW_SHOWDEFAULT follows how we were started: hidden when our starter said so.
  if (options.shown) {
    ShowWindow(window, SW_SHOWDEFAULT);
    UpdateWindow(window);
  }
  g_closing = &closing;
  ready();
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  g_closing = nullptr;
  return 0;
}

}  // namespace zeph::standin
