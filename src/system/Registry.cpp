#include "system/Registry.h"

#include <vector>

namespace zeph {

void WriteRegString(System& sys, RegRoot root, const std::string& subkey,
                    const std::string& valueName, const std::string& data) {
  std::vector<uint8_t> bytes(data.begin(), data.end());
  bytes.push_back(0);
  sys.RegSetValue(root, subkey, valueName, kRegSz, bytes);
}

void WriteRegDword(System& sys, RegRoot root, const std::string& subkey,
                   const std::string& valueName, int32_t value) {
  uint32_t bits = static_cast<uint32_t>(value);
  std::vector<uint8_t> bytes = {static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8),
                                static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(bits >> 24)};
  sys.RegSetValue(root, subkey, valueName, kRegDword, bytes);
}

std::string ReadRegString(System& sys, RegRoot root, const std::string& subkey,
                          const std::string& valueName) {
  uint32_t type = 0;
  std::vector<uint8_t> data;
  if (!sys.RegQueryValue(root, subkey, valueName, &type, &data)) return "";
  std::string text(data.begin(), data.end());
  // The text ends at its first terminating zero, as the 255-character
  // buffer of the original read saw it.
  size_t nul = text.find('\0');
  if (nul != std::string::npos) text.resize(nul);
  if (text.size() > 254) text.resize(254);
  return text;
}

}  // namespace zeph
