#include "HarnessTray.h"

#include <set>
#include <thread>

namespace zeph::e2e::tray {
namespace {

namespace d = zeph::driver;

constexpr char kDesktopSize[] = "1024x768";
constexpr DWORD kTaskBarWaitMs = 15000;

HWND TaskBar() { return FindWindowA("Shell_TrayWnd", nullptr); }

bool Fail(std::string* why, const std::string& text) {
  if (why) *why = text + " (error " + std::to_string(GetLastError()) + ")";
  return false;
}

void SetRegDword(HKEY root, const std::string& subkey, const std::string& name, DWORD value) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(root, subkey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return;
  RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                 sizeof value);
  RegCloseKey(key);
}

// xdotool's path in the Unix file system, as this process can start it.
std::string FindXdotool() {
  for (const char* folder : {"/usr/bin", "/usr/local/bin", "/bin"}) {
    std::string path = d::WindowsPath(std::string(folder) + "/xdotool");
    if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) return path;
  }
  return {};
}

}  // namespace

bool JoinTrayDesktop(std::string* why) {
  static bool joined = false;
  if (joined) return true;
  if (!d::UnderWine()) {
    // Windows' own desktop has the task bar already.
    joined = TaskBar() != nullptr;
    return joined || Fail(why, "no task bar on this desktop");
  }
  const std::string desktops = "Software\\Wine\\Explorer\\Desktops";
  SetRegString(HKEY_CURRENT_USER, desktops, kTrayDesktop, kDesktopSize);
  SetRegDword(HKEY_CURRENT_USER, desktops + "\\" + kTrayDesktop, "EnableShell", 1);
  HDESK desktop = CreateDesktopA(kTrayDesktop, nullptr, nullptr, 0, GENERIC_ALL, nullptr);
  if (desktop == nullptr) return Fail(why, "CreateDesktop failed");
  if (!SetThreadDesktop(desktop)) return Fail(why, "SetThreadDesktop failed");
  // The first window-manager call on a desktop starts its explorer, which
  // draws the task bar.
  GetDesktopWindow();
  for (DWORD start = GetTickCount(); TaskBar() == nullptr; Sleep(50)) {
    if (GetTickCount() - start >= kTaskBarWaitMs) return Fail(why, "no task bar on the desktop");
  }
  joined = true;
  return true;
}

POINT Center(const RECT& r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

std::vector<uint32_t> ScreenPixels(const RECT& r) {
  const int width = r.right - r.left;
  const int height = r.bottom - r.top;
  std::vector<uint32_t> pixels;
  if (width <= 0 || height <= 0) return pixels;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
  SelectObject(memory, old);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  pixels.resize(static_cast<size_t>(width) * height);
  if (!GetDIBits(memory, bitmap, 0, height, pixels.data(), &info, DIB_RGB_COLORS)) pixels.clear();
  for (uint32_t& p : pixels) p &= 0xFFFFFFu;
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return pixels;
}

bool HoldsAnImage(const std::vector<uint32_t>& pixels) {
  return std::set<uint32_t>(pixels.begin(), pixels.end()).size() > 1;
}

bool XClick(POINT at, int button, int count, std::string* why) {
  const std::string xdotool = FindXdotool();
  if (xdotool.empty()) return Fail(why, "xdotool is not installed");
  // Wine names the desktop's X window "<desktop> - Wine desktop".
  std::string command = "\"" + xdotool + "\" search --limit 1 --name \"^" + kTrayDesktop +
                        " - Wine desktop$\" mousemove --window %1 " + std::to_string(at.x) + " " +
                        std::to_string(at.y) + " click --repeat " + std::to_string(count) +
                        " --delay 80 " + std::to_string(button);
  std::vector<char> line(command.begin(), command.end());
  line.push_back('\0');
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &info))
    return Fail(why, "cannot start " + command);
  // Wine cannot wait on a Unix process: the caller waits for the effect.
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return true;
}

SIZE MenuSizeFor(const std::vector<d::MenuLine>& lines) {
  HDESK desktop = GetThreadDesktop(GetCurrentThreadId());
  std::thread shower([&] {
    // A new thread starts on the process's first desktop.
    SetThreadDesktop(desktop);
    HWND owner = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    HMENU menu = CreatePopupMenu();
    UINT id = 1;
    for (const d::MenuLine& line : lines) {
      if (line.text == "-") {
        AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
      } else {
        AppendMenuA(menu, MF_STRING | (line.checked ? MF_CHECKED : MF_UNCHECKED), id++,
                    line.text.c_str());
      }
    }
    TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY, 0, 0, 0, owner, nullptr);
    DestroyMenu(menu);
    DestroyWindow(owner);
  });
  SIZE size{};
  if (HWND window = d::WaitForPopupMenu(GetCurrentProcessId(), kTaskBarWaitMs)) {
    RECT r{};
    GetWindowRect(window, &r);
    size = {r.right - r.left, r.bottom - r.top};
    d::PostKey(window, VK_ESCAPE);
  }
  shower.join();
  return size;
}

// --- registry

bool RegString(HKEY root, const std::string& subkey, const std::string& name, std::string* value) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, subkey.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
  char data[1024] = {};
  DWORD size = sizeof data - 1;
  DWORD type = 0;
  LONG rc =
      RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS) return false;
  *value = data;
  return true;
}

void SetRegString(HKEY root, const std::string& subkey, const std::string& name,
                  const std::string& value) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(root, subkey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return;
  RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>(value.size() + 1));
  RegCloseKey(key);
}

void DeleteRegValue(HKEY root, const std::string& subkey, const std::string& name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, subkey.c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
  RegDeleteValueA(key, name.c_str());
  RegCloseKey(key);
}

SavedRegValue::SavedRegValue(HKEY root, std::string subkey, std::string name)
    : root_(root), subkey_(std::move(subkey)), name_(std::move(name)) {
  present_ = RegString(root_, subkey_, name_, &value_);
}

SavedRegValue::~SavedRegValue() {
  if (present_) {
    SetRegString(root_, subkey_, name_, value_);
  } else {
    DeleteRegValue(root_, subkey_, name_);
  }
}

}  // namespace zeph::e2e::tray
