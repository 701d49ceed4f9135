// The monitor's main window: hidden in normal use, the debug window in debug
// mode. It also owns what hangs off a window handle: the notification-area
// icon and the routing of its buttons to Commands.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "system/Error.h"
#include "system/EventLoop.h"
#include "system/win32/WinApi.h"
#include "tray/Desktop.h"

namespace zeph::win32 {

// Client-area geometry in twips (1440 to the inch, 15 to a pixel at 96
// DPI), converted with the window's DPI.
struct ControlRect {
  int left, top, width, height;
};
constexpr int kClientWidthTwips = 8940;
constexpr int kClientHeightTwips = 3450;
constexpr ControlRect kDebugListTwips{60, 90, 8820, 2595};
constexpr ControlRect kSuspendTwips{6375, 3030, 1185, 330};
constexpr ControlRect kExitTwips{7665, 3030, 1185, 330};

constexpr char kMainCaption[] = "Thalix Monitor - Debug Mode";
constexpr UINT kIconId = 1;
// The icon's messages arrive as this message of our own, the mouse message in
// lParam: a real mouse move over the window is never taken for one.
constexpr UINT kIconCallbackMessage = WM_APP + 1;

// Stores tip in the record's 64-character field, cut to 63 characters so the
// field always ends with its NUL.
void SetIconTip(NOTIFYICONDATAA* record, const std::string& tip);

class MainWindow {
 public:
  // Creates the window hidden. Created() tells whether that worked, and
  // CreationError() why not.
  explicit MainWindow(HINSTANCE instance);
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  bool Created() const { return window_ != nullptr; }
  const SystemError& CreationError() const { return creationError_; }
  HWND Handle() const { return window_; }

  void SetCommands(Commands* commands) { commands_ = commands; }
  void Show();
  void HideFromTaskList();
  void AddDebugLine(const std::string& line);
  void RemoveFirstDebugLine();
  void SelectDebugLine(int index);
  void SetSuspendCaption(const std::string& caption);

  // The popup menu's model, as last published.
  void SetMenu(const std::vector<MenuItem>& items) { menu_ = items; }
  const std::vector<MenuItem>& Menu() const { return menu_; }
  // The model's visible entries as a popup menu at the mouse position,
  // owned by this window; the entry chosen goes to the commands before this
  // returns.
  void ShowMenu();

  // Shell_NotifyIconA on the one icon record; its result.
  bool NotifyIcon(IconMessage message, IconImage image, const std::string& tip);
  // Removes the icon if it is in the notification area.
  void RemoveIcon();
  const NOTIFYICONDATAA& IconRecord() const { return icon_; }
  HICON IconHandle(IconImage image) const;
  // The DPI the window is laid out for.
  UINT Dpi() const { return dpi_; }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void CreateControls();
  // Sizes the window, its controls, their font and the icons for dpi; the
  // icon in the notification area is sent again at its new size.
  void ApplyDpi(UINT dpi);
  void LoadIcons(UINT dpi);
  // The popup menu of items; the entry chosen, none when it closed without
  // a choice.
  std::optional<MenuEntry> TrackMenu(const std::vector<MenuItem>& items);

  HINSTANCE instance_;
  HWND window_ = nullptr;
  HWND owner_ = nullptr;  // hidden; owning the window keeps it off the task bar
  HWND list_ = nullptr;
  HWND suspend_ = nullptr;
  HWND exit_ = nullptr;
  UINT dpi_ = 0;
  HFONT font_ = nullptr;
  // Drawn for dpi_: the two notification-area icons (small), and the
  // window's own large icon.
  HICON monitoringIcon_ = nullptr;
  HICON suspendedIcon_ = nullptr;
  HICON largeIcon_ = nullptr;
  IconImage image_ = IconImage::Monitoring;
  Commands* commands_ = nullptr;
  std::vector<MenuItem> menu_;
  UINT taskbarCreated_ = 0;
  NOTIFYICONDATAA icon_{};
  bool iconAdded_ = false;  // wanted in the notification area (re-added after a shell restart)
  SystemError creationError_;
};

}  // namespace zeph::win32
