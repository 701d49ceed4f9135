// Finds and drives the windows of another process on the same desktop: the
// monitor's message boxes, its main (debug) window, its popup menu and its
// dialogs. Used by the Windows end-to-end harness, the menu benchmark and
// the zephprobe tool.
//
// Everything goes by process id: a window belongs to the process that
// GetWindowThreadProcessId names. Messages that carry a buffer go through
// the wide SendMessageTimeoutW, which the system marshals between processes.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace zeph::driver {

// Caption of the monitor's main window while start-up has got that far.
inline constexpr char kMainWindowCaption[] = "Thalix Monitor - Debug Mode";
// Class name of dialogs, message boxes among them.
inline constexpr char kDialogClass[] = "#32770";
// The longest a message sent to another process may take before we give up
// on it (a handler that opens a modal box keeps a sent message waiting).
inline constexpr UINT kSendTimeoutMs = 2000;
// Class name of popup menu windows.
inline constexpr char kMenuClass[] = "#32768";
// The notification-area icon's callback message to the main window; wParam
// is the icon's id, lParam's low word the mouse message.
inline constexpr UINT kIconCallbackMessage = WM_APP + 1;
inline constexpr UINT kIconId = 1;

enum class Delivery {
  Send,  // SendMessageTimeout: returns once handled (or after kSendTimeoutMs)
  Post,  // PostMessage: returns at once
};

struct WindowInfo {
  HWND hwnd = nullptr;
  std::string className;
  std::string caption;
  bool visible = false;
  HWND owner = nullptr;
};

struct BoxButton {
  int id = 0;
  std::string caption;
};

struct MessageBoxInfo {
  HWND hwnd = nullptr;
  std::string title;
  std::string text;  // texts of the Static children, lines joined by "\n"
  std::vector<BoxButton> buttons;
  int defaultButton = 0;  // control id, 0 when the box has no buttons
  bool visible = false;
};

// --- windows of a process
// Top-level windows of the process, in z-order (topmost first).
std::vector<WindowInfo> TopLevelWindows(DWORD pid);
// True when any top-level window of the process is visible.
bool HasVisibleWindow(DWORD pid);

// --- message boxes
// The process's dialogs (#32770) other than its main window; only the
// visible ones unless asked (a box is shown once it is filled in).
std::vector<HWND> FindMessageBoxes(DWORD pid, bool visibleOnly = true);
// Reads title, text and buttons. False when the window is not there.
bool ReadMessageBox(HWND box, MessageBoxInfo* info);
// The button that Enter would press: the dialog's default id, else the push
// button styled as default, else OK or Yes, else the first button; 0 if none.
int DefaultButton(HWND box);
// Presses the box's button `id` (IDOK, IDCANCEL, IDYES, IDNO, ...). False when
// the box has no such button or the message could not be delivered.
bool PressBoxButton(HWND box, int id, Delivery how = Delivery::Send);
// Waits until the window no longer exists. False on timeout.
bool WaitUntilGone(HWND window, DWORD timeoutMs);

// --- the main window
// The process's main window: by caption, else the window that holds the
// debug list. Null when there is none (yet).
HWND FindMainWindow(DWORD pid);
// All lines of the debug list, as 8-bit text in the system code page.
bool ReadDebugList(HWND mainWindow, std::vector<std::string>* lines);
// Clicks the main window's button `controlId` (IDC_SUSPEND, IDC_EXIT) the way
// the button itself reports a click: WM_COMMAND/BN_CLICKED to its parent.
bool ClickButton(HWND mainWindow, int controlId, Delivery how = Delivery::Send);
// Asks the window to close, as its close button does. Posted: the close may
// end the process before a sent message could return.
bool RequestClose(HWND window);

// --- the icon and the popup menu
// True when this is Wine (it exports its version from ntdll).
bool UnderWine();
// The screen rectangle of the notification area's only icon, the first
// added, at the right end of Wine's task bar. False where the task bar is
// not there or not Wine's.
bool IconSlot(RECT* slot);
// Posts the icon's callback message for mouseMessage (WM_RBUTTONUP,
// WM_LBUTTONDBLCLK, ...) to the main window, as the shell does on a click.
bool PostIconMessage(HWND mainWindow, UINT mouseMessage);
// The process's visible popup menu window; null when no menu is open.
HWND FindPopupMenu(DWORD pid);
// Waits until the process shows a popup menu; null on timeout.
HWND WaitForPopupMenu(DWORD pid, DWORD timeoutMs);
// Posts a key press (down, then up) to a window. An open menu's loop reads
// keys posted to the menu window; typed keys need a focused desktop.
bool PostKey(HWND window, UINT virtualKey);
// Chooses the open menu's n-th entry (from 1, separators not counted) from
// the keyboard: Down n times, then Enter.
bool ChooseMenuEntry(HWND menuWindow, int n);

struct MenuLine {
  std::string text;  // "-" for a separator
  bool checked = false;
  bool operator==(const MenuLine& other) const {
    return text == other.text && checked == other.checked;
  }
  // How a test failure shows it.
  friend void PrintTo(const MenuLine& line, std::ostream* out) {
    *out << '"' << line.text << '"' << (line.checked ? " (checked)" : "");
  }
};
// The entries of an open menu, through the handle its window gives
// (MN_GETHMENU). False where the system keeps another process's menu to
// that process, as Wine does.
bool ReadPopupMenu(HWND menuWindow, std::vector<MenuLine>* lines);

// --- dialogs
// The process's visible dialog (#32770) with exactly this caption; null when
// there is none.
HWND FindDialog(DWORD pid, const std::string& caption);
HWND WaitForDialog(DWORD pid, const std::string& caption, DWORD timeoutMs);
// The text of the dialog's control `id`, asked with WM_GETTEXT. False when
// the control is not there or did not answer.
bool ControlText(HWND dialog, int id, std::string* text);
// BM_GETCHECK of the dialog's control `id`: BST_CHECKED, BST_UNCHECKED; -1
// when it is not there or did not answer.
int CheckState(HWND dialog, int id);
// Clicks the dialog's button or check box as the mouse does (BM_CLICK): a
// check box changes, then the dialog hears BN_CLICKED. Post it when the
// click opens a modal box or ends the process.
bool ClickControl(HWND dialog, int id, Delivery how = Delivery::Send);

// --- processes
// Calls visit with each other process whose image lies below folder (a
// Windows path, any case), its handle (query, terminate and wait rights)
// and its image path, in long form.
void ForEachProcessUnder(
    const std::string& folder,
    const std::function<void(HANDLE process, const std::string& image)>& visit);
// The paths of the DLLs and the image the process has loaded (a module
// snapshot); empty when it cannot be read.
std::vector<std::string> LoadedModules(DWORD pid);
// The long form of a path (GetLongPathName); the path itself when it has none.
std::string LongPath(const std::string& path);

// --- text helpers
std::string WindowText(HWND window);
std::string ClassName(HWND window);
// "\r\n" and lone "\r" become "\n".
std::string NormalizeLineEnds(const std::string& text);
std::string WideToAnsi(const std::wstring& text);
// A path this process can open: Unix paths (as the build gives them when
// cross-building) become DOS paths under Wine; '/' becomes '\'.
std::string WindowsPath(const std::string& path);

}  // namespace zeph::driver
