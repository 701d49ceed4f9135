#include "tray/posix/IconPixmaps.h"

#include <sys/stat.h>

#include <cstdlib>

#include "tray/posix/IconPixmapData.h"

namespace zeph::posix {

std::vector<uint8_t> NetworkOrderArgb(const uint32_t* argb, size_t count) {
  std::vector<uint8_t> bytes(count * 4);
  for (size_t i = 0; i < count; ++i) {
    bytes[4 * i] = static_cast<uint8_t>(argb[i] >> 24);
    bytes[4 * i + 1] = static_cast<uint8_t>(argb[i] >> 16);
    bytes[4 * i + 2] = static_cast<uint8_t>(argb[i] >> 8);
    bytes[4 * i + 3] = static_cast<uint8_t>(argb[i]);
  }
  return bytes;
}

std::vector<Pixmap> IconPixmaps(IconImage image) {
  std::vector<Pixmap> pixmaps;
  const auto& art =
      image == IconImage::Suspended ? art::kSuspendedPixmaps : art::kMonitoringPixmaps;
  for (const art::ArtPixmap& drawn : art) {
    Pixmap pixmap;
    pixmap.width = pixmap.height = drawn.size;
    pixmap.bytes = NetworkOrderArgb(drawn.argb, static_cast<size_t>(drawn.size) * drawn.size);
    pixmaps.push_back(std::move(pixmap));
  }
  return pixmaps;
}

const char* IconThemeName(IconImage image) {
  return image == IconImage::Suspended ? "zephmonitor-suspended" : "zephmonitor";
}

std::vector<std::string> IconDataFolders() {
  std::vector<std::string> folders;
  const char* home = std::getenv("XDG_DATA_HOME");
  const char* user = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') {
    folders.push_back(home);
  } else if (user != nullptr && user[0] == '/') {
    folders.push_back(std::string(user) + "/.local/share");
  }
  const char* dirs = std::getenv("XDG_DATA_DIRS");
  std::string list = dirs != nullptr && dirs[0] != '\0' ? dirs : "/usr/local/share:/usr/share";
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(':', start);
    if (end == std::string::npos) end = list.size();
    // Relative entries are invalid and ignored.
    if (end > start && list[start] == '/') folders.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  return folders;
}

bool ThemeIconInstalled(const std::string& name, const std::vector<std::string>& folders) {
  static const char* const kSizes[] = {"16x16", "22x22", "24x24",   "32x32",
                                       "48x48", "64x64", "128x128", "256x256"};
  struct stat st;
  for (const std::string& folder : folders) {
    const std::string theme = folder + "/icons/hicolor/";
    if (stat((theme + "scalable/apps/" + name + ".svg").c_str(), &st) == 0 && S_ISREG(st.st_mode))
      return true;
    for (const char* size : kSizes) {
      const std::string png = theme + size + "/apps/" + name + ".png";
      if (stat(png.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return true;
    }
  }
  return false;
}

}  // namespace zeph::posix
