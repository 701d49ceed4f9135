#include "Driver.h"  // brings <windows.h>, which <tlhelp32.h> needs first

#include <tlhelp32.h>

#include <algorithm>
#include <cctype>

#include "tray/win32/MainWindowIds.h"

namespace zeph::driver {
namespace {

bool SameText(const std::string& a, const char* b) { return lstrcmpiA(a.c_str(), b) == 0; }

bool BelongsTo(HWND window, DWORD pid) {
  DWORD owner = 0;
  return GetWindowThreadProcessId(window, &owner) != 0 && owner == pid;
}

struct EnumState {
  DWORD pid;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM param) {
  auto* state = reinterpret_cast<EnumState*>(param);
  if (BelongsTo(window, state->pid)) state->found.push_back(window);
  return TRUE;
}

std::vector<HWND> TopLevelHandles(DWORD pid) {
  EnumState state{pid, {}};
  if (pid != 0) EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&state));
  return state.found;
}

struct ChildState {
  HWND parent;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectDirectChild(HWND window, LPARAM param) {
  auto* state = reinterpret_cast<ChildState*>(param);
  // EnumChildWindows walks all descendants; keep the direct children.
  if (GetAncestor(window, GA_PARENT) == state->parent) state->found.push_back(window);
  return TRUE;
}

std::vector<HWND> DirectChildren(HWND parent) {
  ChildState state{parent, {}};
  EnumChildWindows(parent, CollectDirectChild, reinterpret_cast<LPARAM>(&state));
  return state.found;
}

bool HoldsDebugList(HWND window) {
  HWND list = GetDlgItem(window, IDC_DEBUG_LIST);
  return list != nullptr && SameText(ClassName(list), "ListBox");
}

bool IsMainWindow(HWND window) {
  return WindowText(window) == kMainWindowCaption || HoldsDebugList(window);
}

// Sends and waits, giving up on a hung or busy receiver. The result is
// only meaningful when this returns true.
bool SendWide(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  DWORD_PTR out = 0;
  if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                           &out)) {
    return false;
  }
  if (result) *result = static_cast<LRESULT>(out);
  return true;
}

// Delivers WM_COMMAND as a clicked button would. A send that timed out was
// still delivered (the handler is busy, typically in a modal box); a send
// that failed because the receiver ended while handling it counts too.
bool DeliverCommand(HWND target, int id, HWND button, Delivery how) {
  WPARAM wParam = MAKEWPARAM(id, BN_CLICKED);
  LPARAM lParam = reinterpret_cast<LPARAM>(button);
  if (how == Delivery::Post) return PostMessageA(target, WM_COMMAND, wParam, lParam) != 0;
  DWORD_PTR out = 0;
  SetLastError(0);
  if (SendMessageTimeoutA(target, WM_COMMAND, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                          &out)) {
    return true;
  }
  return GetLastError() == ERROR_TIMEOUT || !IsWindow(target);
}

}  // namespace

// --- text helpers

std::string WindowText(HWND window) {
  int length = GetWindowTextLengthA(window);
  if (length <= 0) return {};
  std::string text(static_cast<size_t>(length) + 1, '\0');
  int got = GetWindowTextA(window, &text[0], length + 1);
  text.resize(static_cast<size_t>(std::max(got, 0)));
  return text;
}

std::string ClassName(HWND window) {
  char name[256] = {};
  int got = GetClassNameA(window, name, sizeof name);
  return std::string(name, static_cast<size_t>(std::max(got, 0)));
}

std::string NormalizeLineEnds(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string WideToAnsi(const std::wstring& text) {
  if (text.empty()) return {};
  int size = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                 nullptr, nullptr);
  if (size <= 0) return {};
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &out[0], size, nullptr,
                      nullptr);
  return out;
}

std::string WindowsPath(const std::string& path) {
  if (!path.empty() && path[0] == '/') {
    // Under Wine, a Unix path maps to a DOS path through Wine's own export;
    // the Z: drive (the Unix root) is the fallback.
    using ToDos = WCHAR*(CDECL*)(const char*);
    FARPROC proc = GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_dos_file_name");
    if (proc) {
      auto toDos = reinterpret_cast<ToDos>(reinterpret_cast<void*>(proc));
      if (WCHAR* dos = toDos(path.c_str())) {
        std::string out = WideToAnsi(dos);
        HeapFree(GetProcessHeap(), 0, dos);
        if (!out.empty()) return out;
      }
    }
    std::string out = "Z:" + path;
    std::replace(out.begin(), out.end(), '/', '\\');
    return out;
  }
  std::string out = path;
  std::replace(out.begin(), out.end(), '/', '\\');
  return out;
}

// --- windows of a process

std::vector<WindowInfo> TopLevelWindows(DWORD pid) {
  std::vector<WindowInfo> out;
  for (HWND window : TopLevelHandles(pid)) {
    WindowInfo info;
    info.hwnd = window;
    info.className = ClassName(window);
    info.caption = WindowText(window);
    info.visible = IsWindowVisible(window) != 0;
    info.owner = GetWindow(window, GW_OWNER);
    out.push_back(info);
  }
  return out;
}

bool HasVisibleWindow(DWORD pid) {
  for (HWND window : TopLevelHandles(pid)) {
    if (IsWindowVisible(window)) return true;
  }
  return false;
}

// --- message boxes

std::vector<HWND> FindMessageBoxes(DWORD pid, bool visibleOnly) {
  std::vector<HWND> out;
  for (HWND window : TopLevelHandles(pid)) {
    if (!SameText(ClassName(window), kDialogClass)) continue;
    if (IsMainWindow(window)) continue;  // the main window may be a dialog too
    if (visibleOnly && !IsWindowVisible(window)) continue;
    out.push_back(window);
  }
  return out;
}

bool ReadMessageBox(HWND box, MessageBoxInfo* info) {
  if (!IsWindow(box)) return false;
  MessageBoxInfo read;
  read.hwnd = box;
  read.title = WindowText(box);
  read.visible = IsWindowVisible(box) != 0;
  std::string text;
  for (HWND child : DirectChildren(box)) {
    std::string cls = ClassName(child);
    if (SameText(cls, "Static")) {
      // The icon is a Static without text.
      std::string part = NormalizeLineEnds(WindowText(child));
      if (part.empty()) continue;
      if (!text.empty()) text += '\n';
      text += part;
    } else if (SameText(cls, "Button")) {
      read.buttons.push_back({GetDlgCtrlID(child), WindowText(child)});
    }
  }
  read.text = text;
  read.defaultButton = DefaultButton(box);
  // The box may have closed while we read it.
  if (!IsWindow(box)) return false;
  *info = read;
  return true;
}

int DefaultButton(HWND box) {
  std::vector<int> ids;
  int styled = 0;
  for (HWND child : DirectChildren(box)) {
    if (!SameText(ClassName(child), "Button")) continue;
    int id = GetDlgCtrlID(child);
    ids.push_back(id);
    LONG_PTR style = GetWindowLongPtrA(child, GWL_STYLE);
    if (styled == 0 && (style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) styled = id;
  }
  if (ids.empty()) return 0;
  auto has = [&ids](int id) { return std::find(ids.begin(), ids.end(), id) != ids.end(); };
  LRESULT defId = 0;
  if (SendWide(box, DM_GETDEFID, 0, 0, &defId) && HIWORD(defId) == DC_HASDEFID &&
      has(LOWORD(defId))) {
    return LOWORD(defId);
  }
  if (styled != 0) return styled;
  if (has(IDOK)) return IDOK;
  if (has(IDYES)) return IDYES;
  return ids.front();
}

bool PressBoxButton(HWND box, int id, Delivery how) {
  HWND button = GetDlgItem(box, id);
  if (button == nullptr || !SameText(ClassName(button), "Button")) return false;
  return DeliverCommand(box, id, button, how);
}

bool WaitUntilGone(HWND window, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  while (IsWindow(window)) {
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(20);
  }
  return true;
}

// --- the main window

HWND FindMainWindow(DWORD pid) {
  HWND holder = nullptr;
  for (HWND window : TopLevelHandles(pid)) {
    if (WindowText(window) == kMainWindowCaption) return window;
    if (holder == nullptr && HoldsDebugList(window)) holder = window;
  }
  return holder;
}

bool ReadDebugList(HWND mainWindow, std::vector<std::string>* lines) {
  HWND list = GetDlgItem(mainWindow, IDC_DEBUG_LIST);
  if (list == nullptr) return false;
  LRESULT count = 0;
  if (!SendWide(list, LB_GETCOUNT, 0, 0, &count) || count == LB_ERR) return false;
  std::vector<std::string> out;
  for (LRESULT i = 0; i < count; ++i) {
    LRESULT length = 0;
    if (!SendWide(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0, &length)) return false;
    if (length == LB_ERR) break;  // lines went away while we read
    // Room to spare: the reply is copied in whole should the line have
    // changed since its length was asked.
    std::wstring buffer(static_cast<size_t>(length) * 2 + 256, L'\0');
    LRESULT got = 0;
    if (!SendWide(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&buffer[0]),
                  &got)) {
      return false;
    }
    if (got == LB_ERR) break;
    buffer.resize(std::min(static_cast<size_t>(got), wcslen(buffer.c_str())));
    out.push_back(WideToAnsi(buffer));
  }
  *lines = std::move(out);
  return true;
}

bool ClickButton(HWND mainWindow, int controlId, Delivery how) {
  HWND button = GetDlgItem(mainWindow, controlId);
  if (button == nullptr) return false;
  return DeliverCommand(mainWindow, controlId, button, how);
}

bool RequestClose(HWND window) {
  return IsWindow(window) && PostMessageA(window, WM_CLOSE, 0, 0) != 0;
}

// --- processes

std::string LongPath(const std::string& path) {
  char buffer[MAX_PATH * 2] = {};
  DWORD got = GetLongPathNameA(path.c_str(), buffer, sizeof buffer);
  return got > 0 && got < sizeof buffer ? std::string(buffer, got) : path;
}

void ForEachProcessUnder(
    const std::string& folder,
    const std::function<void(HANDLE process, const std::string& image)>& visit) {
  const std::string prefix = folder + "\\";
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    if (entry.th32ProcessID == GetCurrentProcessId()) continue;
    HANDLE process =
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE, FALSE,
                    entry.th32ProcessID);
    if (!process) continue;
    char image[MAX_PATH * 2] = {};
    DWORD size = sizeof image;
    if (QueryFullProcessImageNameA(process, 0, image, &size)) {
      std::string path = LongPath(std::string(image, size));
      if (path.size() > prefix.size() &&
          CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, path.c_str(),
                         static_cast<int>(prefix.size()), prefix.c_str(),
                         static_cast<int>(prefix.size())) == CSTR_EQUAL)
        visit(process, path);
    }
    CloseHandle(process);
  }
  CloseHandle(snapshot);
}

std::vector<std::string> LoadedModules(DWORD pid) {
  std::vector<std::string> paths;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
  if (snapshot == INVALID_HANDLE_VALUE) return paths;
  MODULEENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Module32First(snapshot, &entry); more; more = Module32Next(snapshot, &entry))
    paths.push_back(entry.szExePath);
  CloseHandle(snapshot);
  return paths;
}

// --- the icon and the popup menu

bool UnderWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool IconSlot(RECT* slot) {
  HWND bar = FindWindowA("Shell_TrayWnd", nullptr);
  RECT r{};
  if (!UnderWine() || bar == nullptr || !GetWindowRect(bar, &r)) return false;
  // Icons are laid out from the right end, each small icon with a border
  // of 2 pixels on either side.
  const int width = GetSystemMetrics(SM_CXSMICON) + 4;
  *slot = {r.right - width, r.top, r.right, r.bottom};
  return true;
}

bool PostIconMessage(HWND mainWindow, UINT mouseMessage) {
  return IsWindow(mainWindow) &&
         PostMessageA(mainWindow, kIconCallbackMessage, kIconId, static_cast<LPARAM>(mouseMessage));
}

HWND FindPopupMenu(DWORD pid) {
  for (HWND window : TopLevelHandles(pid)) {
    if (SameText(ClassName(window), kMenuClass) && IsWindowVisible(window)) return window;
  }
  return nullptr;
}

HWND WaitForPopupMenu(DWORD pid, DWORD timeoutMs) {
  for (DWORD start = GetTickCount();; Sleep(10)) {
    if (HWND menu = FindPopupMenu(pid)) return menu;
    if (GetTickCount() - start >= timeoutMs) return nullptr;
  }
}

bool PostKey(HWND window, UINT virtualKey) {
  // Repeat count 1; the key-up also carries the previous-state and
  // transition bits.
  return PostMessageA(window, WM_KEYDOWN, virtualKey, 1) &&
         PostMessageA(window, WM_KEYUP, virtualKey, static_cast<LPARAM>(0xC0000001u));
}

bool ChooseMenuEntry(HWND menuWindow, int n) {
  for (int i = 0; i < n; ++i) {
    if (!PostKey(menuWindow, VK_DOWN)) return false;
  }
  return PostKey(menuWindow, VK_RETURN);
}

bool ReadPopupMenu(HWND menuWindow, std::vector<MenuLine>* lines) {
  LRESULT handle = 0;
  if (!SendWide(menuWindow, MN_GETHMENU, 0, 0, &handle) || handle == 0) return false;
  HMENU menu = reinterpret_cast<HMENU>(handle);
  int count = GetMenuItemCount(menu);
  if (count < 0) return false;
  std::vector<MenuLine> out;
  for (int i = 0; i < count; ++i) {
    wchar_t text[256] = {};
    MENUITEMINFOW item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_STRING;
    item.dwTypeData = text;
    item.cch = 255;
    if (!GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &item)) return false;
    MenuLine line;
    line.text = (item.fType & MFT_SEPARATOR) ? "-" : WideToAnsi(text);
    line.checked = (item.fState & MFS_CHECKED) != 0;
    out.push_back(line);
  }
  *lines = std::move(out);
  return true;
}

// --- dialogs

HWND FindDialog(DWORD pid, const std::string& caption) {
  for (HWND window : TopLevelHandles(pid)) {
    if (SameText(ClassName(window), kDialogClass) && IsWindowVisible(window) &&
        WindowText(window) == caption) {
      return window;
    }
  }
  return nullptr;
}

HWND WaitForDialog(DWORD pid, const std::string& caption, DWORD timeoutMs) {
  for (DWORD start = GetTickCount();; Sleep(20)) {
    if (HWND dialog = FindDialog(pid, caption)) return dialog;
    if (GetTickCount() - start >= timeoutMs) return nullptr;
  }
}

bool ControlText(HWND dialog, int id, std::string* text) {
  HWND control = GetDlgItem(dialog, id);
  if (control == nullptr) return false;
  LRESULT length = 0;
  if (!SendWide(control, WM_GETTEXTLENGTH, 0, 0, &length)) return false;
  std::wstring buffer(static_cast<size_t>(length) + 256, L'\0');
  LRESULT got = 0;
  if (!SendWide(control, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(&buffer[0]), &got))
    return false;
  buffer.resize(std::min(static_cast<size_t>(got), wcslen(buffer.c_str())));
  *text = WideToAnsi(buffer);
  return true;
}

int CheckState(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  LRESULT state = 0;
  if (control == nullptr || !SendWide(control, BM_GETCHECK, 0, 0, &state)) return -1;
  return static_cast<int>(state);
}

bool ClickControl(HWND dialog, int id, Delivery how) {
  HWND control = GetDlgItem(dialog, id);
  if (control == nullptr) return false;
  if (how == Delivery::Post) return PostMessageA(control, BM_CLICK, 0, 0) != 0;
  DWORD_PTR out = 0;
  SetLastError(0);
  if (SendMessageTimeoutA(control, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &out))
    return true;
  return GetLastError() == ERROR_TIMEOUT || !IsWindow(control);
}

}  // namespace zeph::driver
