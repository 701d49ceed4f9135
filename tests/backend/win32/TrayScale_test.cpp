// The program's manifest, and its windows at the scales users run: the
// icons, the debug window, the three dialogs and the popup menu laid out at
// 96, 144 and 192 DPI with nothing cut off.
//
// Wine reads the DPI (HKCU\Control Panel\Desktop, LogPixels) when a process
// starts, so each scale runs in a child process of this program started
// after the value is set: the DISABLED_ tests below run only there.
#include <gtest/gtest.h>

#include <shlwapi.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "Driver.h"
#include "monitor/MainForm.h"
#include "system/PlatformChecks.h"
#include "system/fake/FakeSystem.h"
#include "system/win32/ModelessDialog.h"
#include "system/win32/Win32Seam.h"
#include "tray/Dialogs.h"
#include "tray/fake/FakeDesktop.h"
#include "tray/win32/Dpi.h"
#include "tray/win32/MainWindow.h"
#include "tray/win32/MainWindowIds.h"

namespace zeph::win32 {
namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// --- the manifest

// The attribute of the first element named `element` (with its namespace
// prefix, if any, left out) that has it; empty when there is none.
std::string Attribute(const std::string& xml, const std::string& element,
                      const std::string& attribute) {
  for (size_t at = xml.find("<" + element); at != std::string::npos;
       at = xml.find("<" + element, at + 1)) {
    const size_t end = xml.find('>', at);
    const std::string tag = xml.substr(at, end - at);
    const size_t name = tag.find(" " + attribute + "=\"");
    if (name == std::string::npos) continue;
    const size_t value = name + attribute.size() + 3;
    return tag.substr(value, tag.find('"', value) - value);
  }
  return {};
}

// The text inside the first element named `element`.
std::string ElementText(const std::string& xml, const std::string& element) {
  const size_t open = xml.find("<" + element);
  if (open == std::string::npos) return {};
  const size_t start = xml.find('>', open) + 1;
  return xml.substr(start, xml.find("</" + element, start) - start);
}

std::string ManifestOf(const std::string& exe) {
  HMODULE module = LoadLibraryExA(exe.c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (module == nullptr) return {};
  std::string text;
  if (HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24))) {
    HGLOBAL data = LoadResource(module, found);
    text.assign(static_cast<const char*>(LockResource(data)), SizeofResource(module, found));
  }
  FreeLibrary(module);
  return text;
}

TEST(Manifest, TheProgramCarriesItsManifest) {
  const std::string xml = ManifestOf(driver::WindowsPath(ZEPH_MONITOR_EXE));
  ASSERT_FALSE(xml.empty()) << "no RT_MANIFEST resource 1 in " << ZEPH_MONITOR_EXE;
  EXPECT_EQ("asInvoker", Attribute(xml, "requestedExecutionLevel", "level"));
  const size_t controls = xml.find("name=\"Microsoft.Windows.Common-Controls\"");
  ASSERT_NE(std::string::npos, controls) << "no Common Controls dependency";
  const std::string dependency = xml.substr(controls, xml.find("/>", controls) - controls);
  EXPECT_NE(std::string::npos, dependency.find("version=\"6.0.0.0\"")) << dependency;
  EXPECT_NE(std::string::npos, dependency.find("publicKeyToken=\"6595b64144ccf1df\""))
      << dependency;
  EXPECT_EQ("true/pm", Lower(ElementText(xml, "dpiAware")));
  EXPECT_EQ("permonitorv2", Lower(ElementText(xml, "dpiAwareness")));
  EXPECT_EQ("true", Lower(ElementText(xml, "longPathAware")));
  // Profiles are 8-bit text in the system's code page.
  EXPECT_EQ(std::string::npos, xml.find("activeCodePage"));
  for (const char* os : {"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",     // 7
                         "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",     // 8
                         "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",     // 8.1
                         "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}) {  // 10 and 11
    EXPECT_NE(std::string::npos, xml.find(std::string("<supportedOS Id=\"") + os + "\""))
        << "supportedOS " << os;
  }
}

// This program carries the same manifest (it links the program's resource
// script): the loader has activated it when the common controls in use are
// version 6.
TEST(Manifest, TheLoaderActivatesTheCommonControlsSix) {
  HMODULE controls = LoadLibraryA("comctl32.dll");
  ASSERT_NE(nullptr, controls);
  char path[MAX_PATH] = {};
  GetModuleFileNameA(controls, path, sizeof path);
  // Wine 8 loads the library of its 6.0 assembly but has it answer 5.81.
  if (!driver::UnderWine()) {
    using GetVersionFn = HRESULT(WINAPI*)(DLLVERSIONINFO*);
    auto getVersion = reinterpret_cast<GetVersionFn>(
        reinterpret_cast<void*>(GetProcAddress(controls, "DllGetVersion")));
    ASSERT_NE(nullptr, getVersion);
    DLLVERSIONINFO version{};
    version.cbSize = sizeof version;
    ASSERT_EQ(S_OK, getVersion(&version));
    EXPECT_EQ(6u, version.dwMajorVersion) << path;
  }
  EXPECT_NE(std::string::npos, Lower(path).find("microsoft.windows.common-controls_"))
      << "comctl32.dll not from its side-by-side assembly: " << path;
  EXPECT_NE(std::string::npos, Lower(path).find("_6.0.")) << path;
  FreeLibrary(controls);
}

// --- sizes read back

SIZE IconSize(HICON icon) {
  ICONINFO info{};
  if (!GetIconInfo(icon, &info)) return {};
  BITMAP bitmap{};
  GetObjectA(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
  if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
  if (info.hbmMask != nullptr) DeleteObject(info.hbmMask);
  // A mask without colour holds both halves.
  return {bitmap.bmWidth, info.hbmColor != nullptr ? bitmap.bmHeight : bitmap.bmHeight / 2};
}

RECT ClientOf(HWND window) {
  RECT r{};
  GetClientRect(window, &r);
  return r;
}

// The child's rectangle in its parent's client coordinates.
RECT InParent(HWND control) {
  RECT r{};
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

std::string Describe(const RECT& r) {
  return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + ")-(" +
         std::to_string(r.right) + "," + std::to_string(r.bottom) + ")";
}

bool Inside(const RECT& inner, const RECT& outer) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

// The text as drawn: "&" marks the next letter.
std::string Shown(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '&'), text.end());
  return text;
}

// The space a control's text takes in its font: one line, or wrapped to
// `wrapWidth` when that is given.
SIZE TextSize(HWND control, const std::string& text, int wrapWidth = 0) {
  HDC dc = GetDC(control);
  auto font = reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
  HGDIOBJ old = SelectObject(dc, font != nullptr ? font : GetStockObject(SYSTEM_FONT));
  SIZE size{};
  if (wrapWidth > 0) {
    RECT r{0, 0, wrapWidth, 0};
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &r,
              DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS);
    size = {r.right, r.bottom};
  } else {
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
  }
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return size;
}

// Every child of the window lies inside its client area, and every text fits
// its control: buttons on one line with room for their frame, check boxes
// beside their box, static texts wrapped to their width, list lines in
// their item height. Failures name the window and the control.
void ExpectLaidOutWithNothingCutOff(HWND window, const std::string& name) {
  const UINT dpi = WindowDpi(window);
  const RECT client = ClientOf(window);
  const int frame = 2 * MetricForDpi(SM_CXEDGE, dpi);
  for (HWND control = GetWindow(window, GW_CHILD); control != nullptr;
       control = GetWindow(control, GW_HWNDNEXT)) {
    if (!IsWindowVisible(control)) continue;
    const std::string where = name + ", control " + std::to_string(GetDlgCtrlID(control)) + " \"" +
                              driver::WindowText(control) + "\" at " + std::to_string(dpi) + " DPI";
    const RECT r = InParent(control);
    EXPECT_TRUE(Inside(r, client))
        << where << ": " << Describe(r) << " outside the client area " << Describe(client);
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    const std::string cls = Lower(driver::ClassName(control));
    const LONG style = GetWindowLongA(control, GWL_STYLE);
    const std::string text = Shown(driver::WindowText(control));
    if (cls == "button") {
      SIZE size = TextSize(control, text);
      const LONG kind = style & BS_TYPEMASK;
      if (kind == BS_AUTOCHECKBOX || kind == BS_CHECKBOX) {
        size.cx += MetricForDpi(SM_CXMENUCHECK, dpi) + MetricForDpi(SM_CXEDGE, dpi);
      } else {
        size.cx += 2 * frame;
        size.cy += frame;
      }
      EXPECT_LE(size.cx, width) << where << ": the text needs " << size.cx << " pixels";
      EXPECT_LE(size.cy, height) << where << ": the text needs " << size.cy << " pixels";
    } else if (cls == "static" && (style & SS_TYPEMASK) == SS_LEFT && !text.empty()) {
      const SIZE size = TextSize(control, text, width);
      EXPECT_LE(size.cx, width) << where << ": a word needs " << size.cx << " pixels";
      EXPECT_LE(size.cy, height) << where << ": the lines need " << size.cy << " pixels";
    } else if (cls == "listbox") {
      const SIZE line = TextSize(control, "Ag");
      const auto item = static_cast<int>(SendMessageA(control, LB_GETITEMHEIGHT, 0, 0));
      EXPECT_LE(line.cy, item) << where << ": a line needs " << line.cy << " pixels";
      EXPECT_LE(3 * item, height) << where << ": fewer than three lines show";
    }
  }
}

// The picture in a dialog: drawn for the DPI, and clear of the texts.
void ExpectPicture(HWND dialog, int id, int size100, const std::string& name) {
  const UINT dpi = WindowDpi(dialog);
  HWND picture = GetDlgItem(dialog, id);
  ASSERT_NE(nullptr, picture) << name;
  const RECT r = InParent(picture);
  const int sizes[] = {size100, size100 * 3 / 2, size100 * 2};
  const int wanted = sizes[NearestSize(sizes, 3, size100, dpi)];
  EXPECT_EQ(wanted, r.right - r.left) << name << " at " << dpi << " DPI";
  EXPECT_EQ(wanted, r.bottom - r.top) << name << " at " << dpi << " DPI";
  for (HWND control = GetWindow(dialog, GW_CHILD); control != nullptr;
       control = GetWindow(control, GW_HWNDNEXT)) {
    RECT other = InParent(control), overlap{};
    if (control != picture && IntersectRect(&overlap, &r, &other))
      ADD_FAILURE() << name << ": the picture " << Describe(r) << " covers control "
                    << GetDlgCtrlID(control) << " " << Describe(other) << " at " << dpi << " DPI";
  }
}

// Wine shows a desktop of this name as a virtual screen of this size: at
// 200 % the debug window is wider than the test display's 1024 pixels.
constexpr char kScaleDesktop[] = "zephscale";
constexpr char kScaleDesktopSize[] = "2560x1600";

// Puts this thread on the scale desktop (made first); the thread must own
// no window yet. The desktop, null when it could not be joined.
HDESK JoinScaleDesktop() {
  static HDESK joined = [] {
    RegSetKeyValueA(HKEY_CURRENT_USER, "Software\\Wine\\Explorer\\Desktops", kScaleDesktop, REG_SZ,
                    kScaleDesktopSize, sizeof kScaleDesktopSize);
    HDESK desktop = CreateDesktopA(kScaleDesktop, nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    return desktop != nullptr && SetThreadDesktop(desktop) ? desktop : nullptr;
  }();
  return joined;
}

// Runs `part` on a second thread while the main thread blocks in a modal
// dialog or menu; the part closes it, or, when it failed before that, it is
// closed for it.
class Beside {
 public:
  explicit Beside(std::function<void()> part)
      : thread_([this, part, desktop = GetThreadDesktop(GetCurrentThreadId())] {
          // A new thread starts on the process's first desktop.
          SetThreadDesktop(desktop);
          part();
          if (done_) return;
          for (const driver::WindowInfo& w : driver::TopLevelWindows(GetCurrentProcessId())) {
            if (w.className == driver::kDialogClass) PostMessageA(w.hwnd, WM_COMMAND, IDCANCEL, 0);
            if (w.className == driver::kMenuClass) driver::PostKey(w.hwnd, VK_ESCAPE);
          }
        }) {}
  ~Beside() { thread_.join(); }
  void Done() { done_ = true; }

 private:
  std::atomic<bool> done_{false};
  std::thread thread_;
};

HWND WaitForOurs(const char* cls, const char* caption) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() < end) {
    for (const driver::WindowInfo& w : driver::TopLevelWindows(GetCurrentProcessId())) {
      if (w.visible && w.className == cls && (caption == nullptr || w.caption == caption))
        return w.hwnd;
    }
    Sleep(10);
  }
  return nullptr;
}

// --- in the child: everything at this process's DPI

class AtScale : public ::testing::Test {
 protected:
  AtScale()
      : scaleDesktop(JoinScaleDesktop()),
        fakeDesktop(sys.log),
        desktop(CreatePlatformDesktop(sys.Seam().loop)) {}

  void SetUp() override {
    ASSERT_NE(nullptr, scaleDesktop) << "no desktop " << kScaleDesktop;
    const char* wanted = std::getenv("ZEPH_TEST_DPI");
    ASSERT_NE(nullptr, wanted) << "run by Scales.EachScaleFitsAndHasItsIcons";
    dpi = static_cast<UINT>(std::atoi(wanted));
    main = FindWindowA("ZephMonitorMain", nullptr);
    ASSERT_NE(nullptr, main);
    // LogPixels was read: this is the DPI the test asked for.
    ASSERT_EQ(dpi, WindowDpi(main));
  }

  HDESK scaleDesktop;
  FakeSystem sys;
  FakeDesktop fakeDesktop;
  std::unique_ptr<Desktop> desktop;
  UINT dpi = 0;
  HWND main = nullptr;
};

TEST_F(AtScale, DISABLED_IconsAreTheSizeTheSystemAsksFor) {
  const int small = MetricForDpi(SM_CXSMICON, dpi);
  // What the notification area is given, in both states.
  MainWindow window(GetModuleHandleA(nullptr));
  ASSERT_EQ(dpi, window.Dpi());
  window.NotifyIcon(IconMessage::Add, IconImage::Monitoring, "Thalix Monitor");
  EXPECT_EQ(small, IconSize(window.IconRecord().hIcon).cx) << "monitoring at " << dpi << " DPI";
  EXPECT_EQ(small, IconSize(window.IconRecord().hIcon).cy) << "monitoring at " << dpi << " DPI";
  window.NotifyIcon(IconMessage::Modify, IconImage::Suspended, "Thalix Monitor - Suspended");
  EXPECT_EQ(small, IconSize(window.IconRecord().hIcon).cx) << "suspended at " << dpi << " DPI";
  window.NotifyIcon(IconMessage::Delete, IconImage::Suspended, "");
  // The window's own, in its caption and in the task switcher.
  const auto caption = reinterpret_cast<HICON>(SendMessageA(main, WM_GETICON, ICON_SMALL, 0));
  EXPECT_EQ(small, IconSize(caption).cx) << "window's small icon at " << dpi << " DPI";
  const auto large = reinterpret_cast<HICON>(SendMessageA(main, WM_GETICON, ICON_BIG, 0));
  EXPECT_EQ(MetricForDpi(SM_CXICON, dpi), IconSize(large).cx) << "window's icon at " << dpi;
}

TEST_F(AtScale, DISABLED_DebugWindowIsLaidOutInTwipsWithTheMessageFont) {
  desktop->ShowMainWindow();
  const RECT client = ClientOf(main);
  EXPECT_EQ(TwipsToPixels(kClientWidthTwips, dpi), client.right);
  EXPECT_EQ(TwipsToPixels(kClientHeightTwips, dpi), client.bottom);
  const RECT list = InParent(GetDlgItem(main, IDC_DEBUG_LIST));
  EXPECT_EQ(TwipsToPixels(kDebugListTwips.width, dpi), list.right - list.left);
  desktop->AddDebugLine("Thalix Monitor - Debug Mode: a line of the list");
  LOGFONTW used{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageA(GetDlgItem(main, IDC_EXIT), WM_GETFONT, 0, 0)),
             sizeof used, &used);
  EXPECT_EQ(MessageFontForDpi(dpi).lfHeight, used.lfHeight);
  EXPECT_EQ(std::wstring(MessageFontForDpi(dpi).lfFaceName), std::wstring(used.lfFaceName));
  ExpectLaidOutWithNothingCutOff(main, "debug window");
  desktop->SetSuspendCaption("Resume");
  ExpectLaidOutWithNothingCutOff(main, "debug window (suspended)");
  ShowWindow(main, SW_HIDE);
}

// Shows a modal dialog by show() and, from beside it, checks its layout and
// its picture (pictureId at the given size at 100 %), then closes it.
void ExpectModalDialogFits(const char* title, int pictureId, int pictureSize, const char* label,
                           const std::function<void()>& show) {
  Beside user([&] {
    HWND dialog = WaitForOurs(driver::kDialogClass, title);
    ASSERT_NE(nullptr, dialog);
    ExpectLaidOutWithNothingCutOff(dialog, label);
    ExpectPicture(dialog, pictureId, pictureSize, label);
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    user.Done();
  });
  show();
}

TEST_F(AtScale, DISABLED_DialogsFitTheirTextsAndPictures) {
  AboutForm about(sys.Seam(), *desktop);
  ExpectModalDialogFits("About Thalix Monitor", IDC_ABOUT_LOGO, 64, "About",
                        [&] { desktop->ShowAbout(about); });
  CheckAttachedForm reminder(sys.Seam());
  ExpectModalDialogFits(" Thalix Not Found", IDC_REMINDER_PICTURE, 48, "reminder",
                        [&] { desktop->ShowCheckAttached(reminder); });
  StartUpForm startUp(sys.Seam(), *desktop, "ZephMonitor");
  desktop->ShowStartUp(startUp);
  HWND dialog = ModelessDialog();
  ASSERT_NE(nullptr, dialog);
  ExpectLaidOutWithNothingCutOff(dialog, "Startup Settings");
  SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
}

TEST_F(AtScale, DISABLED_MenuEntriesFitTheMenu) {
  MainForm form(sys.Seam(), fakeDesktop);
  desktop->SetMenu(form.TrayIcon().PopupMenuItems());
  {
    Beside user([&] {
      HWND window = WaitForOurs(driver::kMenuClass, nullptr);
      ASSERT_NE(nullptr, window);
      auto menu = reinterpret_cast<HMENU>(SendMessageA(window, 0x01E1, 0, 0));  // MN_GETHMENU
      ASSERT_NE(nullptr, menu);
      RECT frame{};
      GetWindowRect(window, &frame);
      NONCLIENTMETRICSA metrics{};
      metrics.cbSize = sizeof metrics;
      SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
      HFONT font = CreateFontIndirectA(&metrics.lfMenuFont);
      HDC dc = GetDC(window);
      HGDIOBJ old = SelectObject(dc, font);
      for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        char text[128] = {};
        GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
        RECT item{};
        ASSERT_TRUE(GetMenuItemRect(nullptr, menu, static_cast<UINT>(i), &item));
        const std::string where = "menu entry " + std::to_string(i) + " \"" + text + "\" at " +
                                  std::to_string(dpi) + " DPI";
        EXPECT_TRUE(Inside(item, frame))
            << where << ": " << Describe(item) << " outside " << Describe(frame);
        if (text[0] == '\0') continue;  // a separator
        SIZE size{};
        const std::string shown = Shown(text);
        GetTextExtentPoint32A(dc, shown.c_str(), static_cast<int>(shown.size()), &size);
        // The check mark's column before the text.
        const int needed = size.cx + MetricForDpi(SM_CXMENUCHECK, dpi);
        EXPECT_LE(needed, item.right - item.left) << where;
        EXPECT_LE(size.cy, item.bottom - item.top) << where;
      }
      SelectObject(dc, old);
      ReleaseDC(window, dc);
      DeleteObject(font);
      driver::PostKey(window, VK_ESCAPE);
      user.Done();
    });
    desktop->ShowMenu();
  }
}

// --- the parent: a child per scale

class SavedLogPixels {
 public:
  SavedLogPixels() {
    DWORD size = sizeof value_;
    present_ = RegGetValueA(HKEY_CURRENT_USER, kKey, "LogPixels", RRF_RT_REG_DWORD, nullptr,
                            &value_, &size) == ERROR_SUCCESS;
  }
  ~SavedLogPixels() {
    if (present_) {
      Set(value_);
    } else {
      RegDeleteKeyValueA(HKEY_CURRENT_USER, kKey, "LogPixels");
    }
  }
  static void Set(DWORD dpi) {
    RegSetKeyValueA(HKEY_CURRENT_USER, kKey, "LogPixels", REG_DWORD, &dpi, sizeof dpi);
  }

 private:
  static constexpr char kKey[] = "Control Panel\\Desktop";
  DWORD value_ = 0;
  bool present_ = false;
};

// Runs this program's disabled tests of `filter`, with the environment
// variable `name` set to value; its exit code, and its output in *output.
int RunChild(const std::string& filter, const char* name, const std::string& value,
             std::string* output) {
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, sizeof self);
  char folder[MAX_PATH] = {}, log[MAX_PATH] = {};
  GetTempPathA(sizeof folder, folder);
  GetTempFileNameA(folder, "zsc", 0, log);
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE file = CreateFileA(log, GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = file;
  startup.hStdError = file;
  std::string line =
      "\"" + std::string(self) + "\" --gtest_also_run_disabled_tests --gtest_filter=" + filter;
  SetEnvironmentVariableA(name, value.c_str());
  PROCESS_INFORMATION child{};
  const BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      nullptr, &startup, &child);
  SetEnvironmentVariableA(name, nullptr);
  CloseHandle(file);
  DWORD code = 255;
  if (started) {
    if (WaitForSingleObject(child.hProcess, 60000) == WAIT_TIMEOUT) {
      TerminateProcess(child.hProcess, 254);
      output->append("(the child took longer than a minute)\n");
    }
    GetExitCodeProcess(child.hProcess, &code);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
  }
  HANDLE in = CreateFileA(log, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  char buffer[4096];
  DWORD got = 0;
  while (in != INVALID_HANDLE_VALUE && ReadFile(in, buffer, sizeof buffer, &got, nullptr) &&
         got > 0)
    output->append(buffer, got);
  if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
  DeleteFileA(log);
  return static_cast<int>(code);
}

TEST(Scales, EachScaleFitsAndHasItsIcons) {
  if (!driver::UnderWine()) GTEST_SKIP() << "the scale is the display's own outside Wine";
  SavedLogPixels saved;
  for (UINT dpi : {96u, 144u, 192u}) {
    SavedLogPixels::Set(dpi);
    std::string output;
    int code = RunChild("AtScale.DISABLED_*", "ZEPH_TEST_DPI", std::to_string(dpi), &output);
    // The child that makes the scale desktop may be ended, as Wine starts
    // the desktop's explorer, before it prints a line: once more then.
    if (output.empty())
      code = RunChild("AtScale.DISABLED_*", "ZEPH_TEST_DPI", std::to_string(dpi), &output);
    EXPECT_EQ(0, code) << "at " << dpi << " DPI:\n" << output;
    EXPECT_NE(std::string::npos, output.find("[  PASSED  ] 4 tests")) << "at " << dpi << " DPI:\n"
                                                                      << output;
  }
}

// --- the platform check: with the manifest's supportedOS the system
// reports its own version (without it, 6.2 on every later Windows)

TEST(TrueVersion, DISABLED_IsReadAndPasses) {
  const char* wanted = std::getenv("ZEPH_TEST_VERSION");
  ASSERT_NE(nullptr, wanted) << "run by TrueVersion.TheSystemsOwnVersionPassesTheCheck";
  RunningProgram program;
  const OsVersion version = program.Version();
  EXPECT_EQ(wanted, std::to_string(version.platformId) + "." + std::to_string(version.major) + "." +
                        std::to_string(version.minor));
  EXPECT_FALSE(IsRefusedSystem(OsName(version)));
}

TEST(TrueVersion, TheSystemsOwnVersionPassesTheCheck) {
  if (!driver::UnderWine()) GTEST_SKIP() << "Wine is told which version to report";
  // Wine reports the version of its AppDefaults key for this program, and
  // 6.2 instead to a program whose manifest does not name Windows 10.
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, sizeof self);
  const std::string path = self;
  const std::string key = "Software\\Wine\\AppDefaults\\" + path.substr(path.rfind('\\') + 1);
  RegSetKeyValueA(HKEY_CURRENT_USER, key.c_str(), "Version", REG_SZ, "win10", sizeof "win10");
  std::string output;
  const int code = RunChild("TrueVersion.DISABLED_*", "ZEPH_TEST_VERSION", "2.10.0", &output);
  RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str());
  EXPECT_EQ(0, code) << output;
  EXPECT_NE(std::string::npos, output.find("[  PASSED  ] 1 test")) << output;
}

// --- a change of DPI while running (another monitor, or a new scale)

TEST(DpiChange, RedoesTheLayoutTheFontAndTheIconsAndSendsTheIconAgain) {
  MainWindow window(GetModuleHandleA(nullptr));
  ASSERT_TRUE(window.Created());
  HWND main = window.Handle();
  window.NotifyIcon(IconMessage::Add, IconImage::Suspended, "Thalix Monitor - Suspended");
  // To 150 %: at 200 % the window would be wider than the test display.
  const UINT to = window.Dpi() * 3 / 2;
  RECT suggested{10, 10, 10 + TwipsToPixels(kClientWidthTwips, to),
                 10 + TwipsToPixels(kClientHeightTwips, to)};
  SendMessageA(main, WM_DPICHANGED, MAKEWPARAM(to, to), reinterpret_cast<LPARAM>(&suggested));
  EXPECT_EQ(to, window.Dpi());
  const RECT client = ClientOf(main);
  EXPECT_EQ(TwipsToPixels(kClientWidthTwips, to), client.right);
  EXPECT_EQ(TwipsToPixels(kClientHeightTwips, to), client.bottom);
  const RECT exit = InParent(GetDlgItem(main, IDC_EXIT));
  EXPECT_EQ(TwipsToPixels(kExitTwips.left, to), exit.left);
  EXPECT_EQ(TwipsToPixels(kExitTwips.height, to), exit.bottom - exit.top);
  LOGFONTW used{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageA(GetDlgItem(main, IDC_EXIT), WM_GETFONT, 0, 0)),
             sizeof used, &used);
  EXPECT_EQ(MessageFontForDpi(to).lfHeight, used.lfHeight);
  const int small = MetricForDpi(SM_CXSMICON, to);
  const auto caption = reinterpret_cast<HICON>(SendMessageA(main, WM_GETICON, ICON_SMALL, 0));
  EXPECT_EQ(small, IconSize(caption).cx);
  // The record the shell was sent again: the image shown, at the new size.
  EXPECT_EQ(window.IconHandle(IconImage::Suspended), window.IconRecord().hIcon);
  EXPECT_EQ(small, IconSize(window.IconRecord().hIcon).cx);
  window.RemoveIcon();
}

}  // namespace
}  // namespace zeph::win32
