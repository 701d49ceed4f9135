// GetLastError (and the registry's return codes) as the seam's error: the
// code and the system's own text for it.
#pragma once

#include "system/Error.h"
#include "system/win32/WinApi.h"

namespace zeph::win32 {

inline SystemError Win32Error(DWORD code) {
  char* text = nullptr;
  DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = n > 0 && text ? std::string(text, n) : std::string();
  if (text) LocalFree(text);
  while (!message.empty() &&
         (message.back() == '\r' || message.back() == '\n' || message.back() == ' '))
    message.pop_back();
  return SystemError{static_cast<int64_t>(code), message};
}

inline SystemError LastError() { return Win32Error(GetLastError()); }

// Fails with the calling thread's last error; false.
inline bool FailLast(SystemError* err) { return Fail(err, LastError()); }

}  // namespace zeph::win32
