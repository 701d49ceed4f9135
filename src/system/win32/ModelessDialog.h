// The one modeless dialog of the program. Its keyboard messages (Tab, Enter,
// Escape, Alt+letter) only work when the message loop hands them to
// IsDialogMessage, so whoever shows the dialog registers it here and the loop
// consults it.
#pragma once

#include "system/win32/WinApi.h"

namespace zeph::win32 {

// The dialog open now; nullptr when it closes.
void SetModelessDialog(HWND dialog);
HWND ModelessDialog();

}  // namespace zeph::win32
