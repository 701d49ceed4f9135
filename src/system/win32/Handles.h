// Move-only owners of Win32 handles, so that every handle is closed exactly once.
#pragma once

#include <windows.h>

#include <utility>

namespace zeph::win32 {

// Owns a handle and frees it with Traits::Close unless it is Traits::Invalid().
// (Traits rather than a constant: INVALID_HANDLE_VALUE is not a constant expression.)
template <typename Traits>
class Owned {
  using H = typename Traits::Type;

 public:
  Owned() = default;
  explicit Owned(H h) : h_(h) {}
  ~Owned() { Reset(); }
  Owned(Owned&& other) noexcept : h_(std::exchange(other.h_, Traits::Invalid())) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) {
      Reset();
      h_ = std::exchange(other.h_, Traits::Invalid());
    }
    return *this;
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;

  H Get() const { return h_; }
  bool Valid() const { return h_ != Traits::Invalid(); }
  explicit operator bool() const { return Valid(); }
  // For the many functions that fill in a handle through a pointer.
  H* Receive() {
    Reset();
    return &h_;
  }
  void Reset(H h = Traits::Invalid()) {
    if (h_ != Traits::Invalid()) Traits::Close(h_);
    h_ = h;
  }

 private:
  H h_ = Traits::Invalid();
};

struct NullHandleTraits {
  using Type = HANDLE;
  static HANDLE Invalid() { return nullptr; }
  static void Close(HANDLE h) { ::CloseHandle(h); }
};
struct FileHandleTraits {
  using Type = HANDLE;
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { ::CloseHandle(h); }
};
struct FindHandleTraits {
  using Type = HANDLE;
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { ::FindClose(h); }
};
struct RegKeyTraits {
  using Type = HKEY;
  static HKEY Invalid() { return nullptr; }
  static void Close(HKEY k) { ::RegCloseKey(k); }
};

// Processes, threads, mutexes: null means "none".
using UniqueHandle = Owned<NullHandleTraits>;
// CreateFile and FindFirstFile report failure with INVALID_HANDLE_VALUE.
using FileHandle = Owned<FileHandleTraits>;
using FindHandle = Owned<FindHandleTraits>;
using RegKey = Owned<RegKeyTraits>;

}  // namespace zeph::win32
