#include "system/RegistryWriters.h"

#include <vector>

namespace zeph {

bool WriteRegString(Registry& registry, RegRoot root, const std::string& subkey,
                    const std::string& valueName, const std::string& data, SystemError* err) {
  std::vector<uint8_t> bytes(data.begin(), data.end());
  bytes.push_back(0);
  return registry.SetValue(root, subkey, valueName, kRegSz, bytes, err);
}

bool WriteRegDword(Registry& registry, RegRoot root, const std::string& subkey,
                   const std::string& valueName, int32_t value, SystemError* err) {
  uint32_t bits = static_cast<uint32_t>(value);
  std::vector<uint8_t> bytes = {static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8),
                                static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(bits >> 24)};
  return registry.SetValue(root, subkey, valueName, kRegDword, bytes, err);
}

std::string ReadRegString(Registry& registry, RegRoot root, const std::string& subkey,
                          const std::string& valueName) {
  uint32_t type = 0;
  std::vector<uint8_t> data;
  if (registry.QueryValue(root, subkey, valueName, &type, &data, nullptr) != ReadResult::Ok)
    return "";
  std::string text(data.begin(), data.end());
  // The text ends at its first terminating zero, as a 255-character buffer
  // sees it.
  size_t nul = text.find('\0');
  if (nul != std::string::npos) text.resize(nul);
  if (text.size() > 254) text.resize(254);
  return text;
}

}  // namespace zeph
