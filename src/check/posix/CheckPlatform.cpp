#include "check/CheckPlatform.h"

#include <filesystem>

#include "system/posix/PosixPaths.h"

namespace zeph {

std::string SeamPath(const std::string& nativePath) {
  std::error_code ec;
  std::filesystem::path path = std::filesystem::absolute(nativePath, ec);
  if (ec) path = nativePath;
  std::string text = path.lexically_normal().string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return ToWindowsPath(text);
}

bool PosixSeam() { return true; }

void UseBinaryOutput() {}

}  // namespace zeph
