#include "check/CheckPlatform.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <filesystem>

namespace zeph {

std::string SeamPath(const std::string& nativePath) {
  std::error_code ec;
  std::filesystem::path path = std::filesystem::absolute(nativePath, ec);
  if (ec) path = nativePath;
  std::string text = path.lexically_normal().make_preferred().string();
  // A drive's root keeps its backslash; any other folder loses it.
  while (text.size() > 3 && text.back() == '\\') text.pop_back();
  return text;
}

bool PosixSeam() { return false; }

void UseBinaryOutput() { _setmode(_fileno(stdout), _O_BINARY); }

}  // namespace zeph
