// The registry: values under the current user's and the machine's roots.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "system/Error.h"
#include "system/Processes.h"

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
  // The registry a Windows program run by Wine reads: the one of its prefix.
  // This registry for an empty run (a native program, and every program on
  // Windows); null when this system cannot reach a Wine prefix. Owned by
  // this registry.
  virtual Registry* ForWine(const WineRun& wine) { return wine.Empty() ? this : nullptr; }
};

}  // namespace zeph
