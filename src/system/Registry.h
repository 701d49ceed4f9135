// The registry: values under the current user's and the machine's roots.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "system/Error.h"

namespace zeph {

enum class RegRoot : uint32_t { CurrentUser = 0x80000001u, LocalMachine = 0x80000002u };
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegDword = 4;

class Registry {
 public:
  virtual ~Registry() = default;
  // Opens subkey under root, creating it and missing parents, and stores the value.
  virtual bool SetValue(RegRoot root, const std::string& subkey, const std::string& name,
                        uint32_t type, const std::vector<uint8_t>& data, SystemError* err) = 0;
  // Reads a value without creating anything. Missing when key or value is.
  virtual ReadResult QueryValue(RegRoot root, const std::string& subkey, const std::string& name,
                                uint32_t* type, std::vector<uint8_t>* data, SystemError* err) = 0;
  virtual bool DeleteValue(RegRoot root, const std::string& subkey, const std::string& name,
                           SystemError* err) = 0;
};

}  // namespace zeph
