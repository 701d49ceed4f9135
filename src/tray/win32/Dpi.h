// Sizes for a window's DPI. The per-monitor functions of user32 came with
// Windows 10 1607; they are looked up at run time, and on older systems the
// system's DPI (one for every monitor) stands in.
#pragma once

#include "system/win32/WinApi.h"

namespace zeph::win32 {

constexpr UINT kBaseDpi = 96;

// The DPI of the monitor the window is on; the system's for a null window.
UINT WindowDpi(HWND window);
// GetSystemMetrics at dpi.
int MetricForDpi(int index, UINT dpi);
// The system's message font at dpi.
LOGFONTW MessageFontForDpi(UINT dpi);
// A size designed in twips (1440 to the inch), in pixels at dpi.
inline int TwipsToPixels(int twips, UINT dpi) { return MulDiv(twips, static_cast<int>(dpi), 1440); }
// Icon `id` of the module at the notification area's (small) or the
// window's (large) icon size for dpi; the caller destroys it. The icon file
// holds several sizes: the one drawn for that size is taken, not a scaled one.
HICON LoadIconForDpi(HINSTANCE instance, int id, UINT dpi, bool small);
// Of bitmaps drawn at `sizes` pixels for 96 DPI and larger, the index of the
// one nearest to base pixels scaled to dpi.
int NearestSize(const int* sizes, int count, int base, UINT dpi);

}  // namespace zeph::win32
