// The two registry writers through which every registry value is set, and
// the string read of the start-up checks.
#pragma once

#include <cstdint>
#include <string>

#include "system/Registry.h"

namespace zeph {

// REG_SZ: the 8-bit text followed by its terminating zero.
bool WriteRegString(Registry& registry, RegRoot root, const std::string& subkey,
                    const std::string& valueName, const std::string& data,
                    SystemError* err = nullptr);
// REG_DWORD: four bytes, least significant first.
bool WriteRegDword(Registry& registry, RegRoot root, const std::string& subkey,
                   const std::string& valueName, int32_t value, SystemError* err = nullptr);

// A REG_SZ value's text without its terminating zero, at most 254
// characters; empty when the key or value is missing.
std::string ReadRegString(Registry& registry, RegRoot root, const std::string& subkey,
                          const std::string& valueName);

}  // namespace zeph
