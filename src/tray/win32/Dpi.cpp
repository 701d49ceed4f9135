#include "tray/win32/Dpi.h"

#include <cstdlib>

namespace zeph::win32 {
namespace {

template <typename F>
F User32(const char* name) {
  return reinterpret_cast<F>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), name)));
}

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
using SystemParametersInfoForDpiFn = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);

UINT SystemDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSX) : 0;
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : kBaseDpi;
}

}  // namespace

UINT WindowDpi(HWND window) {
  static const auto getDpiForWindow = User32<GetDpiForWindowFn>("GetDpiForWindow");
  if (window != nullptr && getDpiForWindow != nullptr) {
    if (const UINT dpi = getDpiForWindow(window)) return dpi;
  }
  return SystemDpi();
}

int MetricForDpi(int index, UINT dpi) {
  static const auto forDpi = User32<GetSystemMetricsForDpiFn>("GetSystemMetricsForDpi");
  if (forDpi != nullptr) return forDpi(index, dpi);
  return MulDiv(GetSystemMetrics(index), static_cast<int>(dpi), static_cast<int>(SystemDpi()));
}

LOGFONTW MessageFontForDpi(UINT dpi) {
  static const auto forDpi = User32<SystemParametersInfoForDpiFn>("SystemParametersInfoForDpi");
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (forDpi != nullptr &&
      forDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi) != FALSE)
    return metrics.lfMessageFont;
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0) != FALSE) {
    // Given at the system's DPI.
    metrics.lfMessageFont.lfHeight = MulDiv(metrics.lfMessageFont.lfHeight, static_cast<int>(dpi),
                                            static_cast<int>(SystemDpi()));
    return metrics.lfMessageFont;
  }
  LOGFONTW font{};
  GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
  return font;
}

HICON LoadIconForDpi(HINSTANCE instance, int id, UINT dpi, bool small) {
  const int width = MetricForDpi(small ? SM_CXSMICON : SM_CXICON, dpi);
  const int height = MetricForDpi(small ? SM_CYSMICON : SM_CYICON, dpi);
  HANDLE icon = LoadImageA(instance, MAKEINTRESOURCEA(id), IMAGE_ICON, width, height, 0);
  // IDI_APPLICATION, shared: the system owns it (DestroyIcon leaves it be).
  if (icon == nullptr) icon = LoadIconA(nullptr, MAKEINTRESOURCEA(32512));
  return static_cast<HICON>(icon);
}

int NearestSize(const int* sizes, int count, int base, UINT dpi) {
  const int wanted = MulDiv(base, static_cast<int>(dpi), static_cast<int>(kBaseDpi));
  int best = 0;
  for (int i = 1; i < count; ++i) {
    // On a tie, the larger one.
    if (std::abs(sizes[i] - wanted) <= std::abs(sizes[best] - wanted)) best = i;
  }
  return best;
}

}  // namespace zeph::win32
