// Finds and drives the windows of another process on the same desktop: the
// monitor's message boxes and its main (debug) window. Used by the Windows
// end-to-end harness and by the zephprobe tool.
//
// Everything goes by process id: a window belongs to the process that
// GetWindowThreadProcessId names. Messages that carry a buffer go through
// the wide SendMessageTimeoutW, which the system marshals between processes.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

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
