// The icon images as a StatusNotifierItem sends them (IconPixmap): each
// size as width, height and ARGB32 pixels in network byte order, drawn by
// scripts/make-art beside the Windows icons (IconPixmapData.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tray/Desktop.h"

namespace zeph::posix {

struct Pixmap {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> bytes;  // A, R, G, B of each pixel, rows from the top
};

// ARGB values (alpha in the top byte) as bytes in network byte order.
std::vector<uint8_t> NetworkOrderArgb(const uint32_t* argb, size_t count);

// The image at every size drawn, smallest first.
std::vector<Pixmap> IconPixmaps(IconImage image);

// The icon theme's name of the image (the hicolor theme's apps icons).
const char* IconThemeName(IconImage image);

// The folders where icon themes are looked for: XDG_DATA_HOME (or
// ~/.local/share), then XDG_DATA_DIRS (or /usr/local/share:/usr/share).
std::vector<std::string> IconDataFolders();

// Whether the hicolor theme in one of folders holds an apps icon of that
// name (PNG at a fixed size, or scalable SVG): then a host can draw it
// from its own theme, sharp at any size.
bool ThemeIconInstalled(const std::string& name, const std::vector<std::string>& folders);

}  // namespace zeph::posix
