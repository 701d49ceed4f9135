#include "system/win32/Win32Seam.h"

#include "system/win32/ModelessDialog.h"

namespace zeph::win32 {

namespace {

// The one loop of the process, for the timer's callback.
MessageLoop* g_loop = nullptr;
HWND g_modelessDialog = nullptr;

// One message taken from the queue; the modeless dialog's keys go through
// IsDialogMessage, which dispatches them itself.
void DispatchQueued(MSG* message) {
  if (g_modelessDialog != nullptr && IsDialogMessageA(g_modelessDialog, message)) return;
  TranslateMessage(message);
  DispatchMessageA(message);
}

}  // namespace

void SetModelessDialog(HWND dialog) { g_modelessDialog = dialog; }

HWND ModelessDialog() { return g_modelessDialog; }

MessageLoop::MessageLoop() { g_loop = this; }

MessageLoop::~MessageLoop() {
  if (timerId_ != 0) KillTimer(nullptr, timerId_);
  if (g_loop == this) g_loop = nullptr;
}

void CALLBACK MessageLoop::OnTimerMessage(HWND, UINT, UINT_PTR id, DWORD) {
  if (g_loop != nullptr && id == g_loop->timerId_ && g_loop->commands_ != nullptr)
    g_loop->commands_->OnTimer();
}

void MessageLoop::SetTimerInterval(int ms) {
  if (ms > 0) {
    // A thread timer: given its own id again, it restarts its count.
    UINT_PTR id = SetTimer(nullptr, timerId_, static_cast<UINT>(ms), &MessageLoop::OnTimerMessage);
    if (id != 0) timerId_ = id;
  } else if (timerId_ != 0) {
    KillTimer(nullptr, timerId_);
    timerId_ = 0;
  }
}

void MessageLoop::ProcessPendingMessages() {
  MSG message;
  // Nothing here posts WM_QUIT; should one arrive it is dropped with the rest.
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchQueued(&message);
}

void MessageLoop::Run() {
  MSG message;
  // The program ends through Program::End; WM_QUIT (0) or an error (-1)
  // only return to the caller.
  while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchQueued(&message);
}

void MessageLoop::WaitForObject(intptr_t object, int maxMs) {
  // Sleeps until the object is signalled or a message arrives; the menu and
  // the buttons keep working during a long wait.
  HANDLE handle = reinterpret_cast<HANDLE>(object);
  const DWORD count = object == -1 || handle == nullptr ? 0 : 1;
  const DWORD timeout = maxMs < 0 ? INFINITE : static_cast<DWORD>(maxMs);
  const DWORD woke = MsgWaitForMultipleObjects(count, &handle, FALSE, timeout, QS_ALLINPUT);
  if (woke == WAIT_OBJECT_0 + count) ProcessPendingMessages();
}

void MessageLoop::Sleep(int ms) {
  // A game's wait sleeps a quarter second per cycle: the icon's menu, the
  // buttons and the shell's questions are handled as they come, not at the
  // end of the cycle.
  const DWORD start = GetTickCount();
  const DWORD total = static_cast<DWORD>(ms > 0 ? ms : 0);
  for (;;) {
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= total) return;
    if (MsgWaitForMultipleObjects(0, nullptr, FALSE, total - elapsed, QS_ALLINPUT) == WAIT_OBJECT_0)
      ProcessPendingMessages();
  }
}

std::string MessageLoop::TimeOfDay() {
  char text[64];
  const int n = GetTimeFormatA(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, text, sizeof text);
  return n > 0 ? std::string(text, n - 1) : std::string();
}

}  // namespace zeph::win32
