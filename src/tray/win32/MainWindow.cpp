#include "tray/win32/MainWindow.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>

#include "system/win32/Win32Error.h"
#include "tray/IconEvents.h"
#include "tray/win32/Dpi.h"
#include "tray/win32/MainWindowIds.h"

namespace zeph::win32 {
namespace {

constexpr char kWindowClass[] = "ZephMonitorMain";

bool RegisterWindowClass(HINSTANCE instance, WNDPROC procedure) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = procedure;
  wc.hInstance = instance;
  // The window sets its own icons, drawn for its DPI (WM_SETICON).
  wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kWindowClass;
  // A second window in the same process (tests) finds the class registered.
  return RegisterClassExA(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND CreateChild(HWND parent, HINSTANCE instance, const char* cls, const char* text, DWORD style,
                 DWORD exStyle, int id) {
  // Placed by ApplyDpi.
  return CreateWindowExA(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
}

void Place(HWND control, const ControlRect& twips, UINT dpi) {
  if (control == nullptr) return;
  MoveWindow(control, TwipsToPixels(twips.left, dpi), TwipsToPixels(twips.top, dpi),
             TwipsToPixels(twips.width, dpi), TwipsToPixels(twips.height, dpi), TRUE);
}

void DestroyOwnIcon(HICON icon) {
  if (icon != nullptr) DestroyIcon(icon);
}

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

}  // namespace

void SetIconTip(NOTIFYICONDATAA* record, const std::string& tip) {
  // szTip is 128 characters in the newer layouts; the shell reads the first
  // 64 of a record of the oldest size.
  constexpr size_t kTipField = 64;
  std::memset(record->szTip, 0, sizeof record->szTip);
  std::memcpy(record->szTip, tip.data(), std::min(tip.size(), kTipField - 1));
}

MainWindow::MainWindow(HINSTANCE instance) : instance_(instance) {
  // The buttons, check boxes and list of Common Controls 6 (the manifest's),
  // themed: the library is loaded before the first window is made.
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  taskbarCreated_ = RegisterWindowMessageA("TaskbarCreated");

  if (!RegisterWindowClass(instance, &MainWindow::Procedure)) {
    creationError_ = LastError();
  } else {
    // Not WS_VISIBLE: only debug mode shows the window. Sized once it is
    // made and its monitor, and so its DPI, is known.
    window_ = CreateWindowExA(0, kWindowClass, kMainCaption, kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                              0, 0, nullptr, nullptr, instance, this);
    if (window_ != nullptr) {
      CreateControls();
    } else {
      creationError_ = LastError();
    }
  }
  ApplyDpi(WindowDpi(window_));

  // The NOTIFYICONDATAA layout of the oldest shells: the 64-character tip and
  // nothing after it. Its size is 88 in a 32-bit build, 104 in a 64-bit one.
  icon_.cbSize = NOTIFYICONDATAA_V1_SIZE;
  icon_.hWnd = window_;
  icon_.uID = kIconId;
  icon_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  icon_.uCallbackMessage = kIconCallbackMessage;
  icon_.hIcon = monitoringIcon_;
}

MainWindow::~MainWindow() {
  RemoveIcon();
  if (window_ != nullptr) {
    SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
  if (owner_ != nullptr) DestroyWindow(owner_);
  DestroyOwnIcon(monitoringIcon_);
  DestroyOwnIcon(suspendedIcon_);
  DestroyOwnIcon(largeIcon_);
  if (font_ != nullptr) DeleteObject(font_);
}

void MainWindow::CreateControls() {
  list_ = CreateChild(window_, instance_, "LISTBOX", "",
                      WS_VSCROLL | WS_TABSTOP | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, WS_EX_CLIENTEDGE,
                      IDC_DEBUG_LIST);
  suspend_ = CreateChild(window_, instance_, "BUTTON", "Suspend", WS_TABSTOP | BS_PUSHBUTTON, 0,
                         IDC_SUSPEND);
  exit_ =
      CreateChild(window_, instance_, "BUTTON", "Exit", WS_TABSTOP | BS_PUSHBUTTON, 0, IDC_EXIT);
}

void MainWindow::LoadIcons(UINT dpi) {
  HICON monitoring = LoadIconForDpi(instance_, IDI_MONITORING, dpi, true);
  HICON suspended = LoadIconForDpi(instance_, IDI_SUSPENDED, dpi, true);
  HICON large = LoadIconForDpi(instance_, IDI_MONITORING, dpi, false);
  if (window_ != nullptr) {
    SendMessageA(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(monitoring));
    SendMessageA(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(large));
  }
  DestroyOwnIcon(monitoringIcon_);
  DestroyOwnIcon(suspendedIcon_);
  DestroyOwnIcon(largeIcon_);
  monitoringIcon_ = monitoring;
  suspendedIcon_ = suspended;
  largeIcon_ = large;
}

void MainWindow::ApplyDpi(UINT dpi) {
  if (dpi == dpi_) return;
  dpi_ = dpi;
  LoadIcons(dpi);
  icon_.hIcon = IconHandle(image_);
  if (iconAdded_) Shell_NotifyIconA(NIM_MODIFY, &icon_);
  if (window_ == nullptr) return;

  const LOGFONTW face = MessageFontForDpi(dpi);
  HFONT font = CreateFontIndirectW(&face);
  for (HWND control : {list_, suspend_, exit_}) {
    if (control != nullptr && font != nullptr)
      SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
  if (font_ != nullptr) DeleteObject(font_);
  font_ = font;
  Place(list_, kDebugListTwips, dpi);
  Place(suspend_, kSuspendTwips, dpi);
  Place(exit_, kExitTwips, dpi);
  // The client size the layout wants, inside the frame the window has now
  // (after WM_DPICHANGED the system has scaled it already).
  RECT outer{}, inner{};
  GetWindowRect(window_, &outer);
  GetClientRect(window_, &inner);
  const int width =
      TwipsToPixels(kClientWidthTwips, dpi) + (outer.right - outer.left) - inner.right;
  const int height =
      TwipsToPixels(kClientHeightTwips, dpi) + (outer.bottom - outer.top) - inner.bottom;
  SetWindowPos(window_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainWindow::Show() {
  if (window_ == nullptr) return;
  ShowWindow(window_, SW_SHOWNORMAL);
  UpdateWindow(window_);
}

void MainWindow::HideFromTaskList() {
  if (window_ == nullptr || owner_ != nullptr) return;
  // An owned window gets no task-bar button. The owner itself is never shown,
  // and as a tool window it would get none either.
  owner_ = CreateWindowExA(WS_EX_TOOLWINDOW, "STATIC", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                           instance_, nullptr);
  if (owner_ == nullptr) return;
  const bool visible = IsWindowVisible(window_) != FALSE;
  // The shell looks at ownership when a window is shown, so a visible window
  // is hidden and shown again around the change.
  if (visible) ShowWindow(window_, SW_HIDE);
  SetWindowLongPtrA(window_, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(owner_));
  if (visible) ShowWindow(window_, SW_SHOW);
}

void MainWindow::AddDebugLine(const std::string& line) {
  if (list_ != nullptr)
    SendMessageA(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
}

void MainWindow::RemoveFirstDebugLine() {
  if (list_ != nullptr) SendMessageA(list_, LB_DELETESTRING, 0, 0);
}

void MainWindow::SelectDebugLine(int index) {
  if (list_ != nullptr) SendMessageA(list_, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void MainWindow::SetSuspendCaption(const std::string& caption) {
  if (suspend_ != nullptr) SetWindowTextA(suspend_, caption.c_str());
}

HICON MainWindow::IconHandle(IconImage image) const {
  return image == IconImage::Suspended ? suspendedIcon_ : monitoringIcon_;
}

bool MainWindow::NotifyIcon(IconMessage message, IconImage image, const std::string& tip) {
  image_ = image;
  icon_.hIcon = IconHandle(image);
  SetIconTip(&icon_, tip);
  DWORD call = NIM_MODIFY;
  if (message == IconMessage::Add) {
    call = NIM_ADD;
    // Wanted even when the shell is not ready yet: TaskbarCreated adds it then.
    iconAdded_ = true;
  } else if (message == IconMessage::Delete) {
    call = NIM_DELETE;
    iconAdded_ = false;
  }
  return Shell_NotifyIconA(call, &icon_) != FALSE;
}

void MainWindow::RemoveIcon() {
  if (!iconAdded_) return;
  iconAdded_ = false;
  Shell_NotifyIconA(NIM_DELETE, &icon_);
}

void MainWindow::ShowMenu() {
  const std::optional<MenuEntry> chosen = TrackMenu(menu_);
  if (chosen && commands_ != nullptr) commands_->OnMenuCommand(*chosen);
}

std::optional<MenuEntry> MainWindow::TrackMenu(const std::vector<MenuItem>& items) {
  HMENU menu = CreatePopupMenu();
  if (menu == nullptr) return std::nullopt;
  for (const MenuItem& item : items) {
    if (!item.visible) continue;
    if (!item.entry) {
      AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
      continue;
    }
    const UINT_PTR command = IDM_FIRST_ENTRY + static_cast<UINT_PTR>(*item.entry);
    AppendMenuA(menu, MF_STRING | (item.checked ? MF_CHECKED : MF_UNCHECKED), command,
                item.caption.c_str());
  }
  POINT at{};
  GetCursorPos(&at);
  // Aligned as the user's settings want menus to drop (right-handed or
  // not); the command comes back as the result instead of a WM_COMMAND.
  const UINT align = GetSystemMetrics(SM_MENUDROPALIGNMENT) != 0 ? TPM_RIGHTALIGN : TPM_LEFTALIGN;
  const int command = TrackPopupMenu(menu, align | TPM_RIGHTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY,
                                     at.x, at.y, 0, window_, nullptr);
  // The documented idiom for a menu opened from a notification icon: a
  // message of our own after it makes the system switch to this program, so
  // that the next menu closes when the user clicks elsewhere.
  PostMessageA(window_, WM_NULL, 0, 0);
  DestroyMenu(menu);
  const int last = IDM_FIRST_ENTRY + static_cast<int>(MenuEntry::Exit);
  if (command < IDM_FIRST_ENTRY || command > last) return std::nullopt;
  return static_cast<MenuEntry>(command - IDM_FIRST_ENTRY);
}

LRESULT CALLBACK MainWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (self != nullptr && self->window_ == window) return self->OnMessage(message, wParam, lParam);
  return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT MainWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == taskbarCreated_ && taskbarCreated_ != 0) {
    // The shell restarted and forgot every icon.
    if (iconAdded_) Shell_NotifyIconA(NIM_ADD, &icon_);
    return 0;
  }
  switch (message) {
    case kIconCallbackMessage:
      // The icon's mouse message arrives as a mouse move at X = message, Y = 0.
      if (auto event = Form_MouseMove(0, 0, LOWORD(lParam), 0); event && commands_ != nullptr) {
        if (*event == IconEvent::Activated) commands_->OnIconActivated();
        if (*event == IconEvent::MenuRequested) commands_->OnMenuRequested();
      }
      return 0;
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED && commands_ != nullptr) {
        if (LOWORD(wParam) == IDC_SUSPEND) commands_->OnSuspendToggle();
        if (LOWORD(wParam) == IDC_EXIT) commands_->OnExit();
      }
      return 0;
    case WM_DPICHANGED: {
      // Moved to a monitor of another scale (or the scale changed): the
      // suggested frame first, then the layout inside it.
      const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(window_, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      ApplyDpi(LOWORD(wParam));
      return 0;
    }
    case WM_CLOSE:
      // Closing is the program's business (the closing sequence ends the
      // process); the window itself is never destroyed here.
      if (commands_ != nullptr) commands_->OnExit();
      return 0;
    default: return DefWindowProcA(window_, message, wParam, lParam);
  }
}

}  // namespace zeph::win32
