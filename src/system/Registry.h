// The two registry writers through which every registry value is set.
// Nothing is reported: a write the system refuses leaves the value as it was.
#pragma once

#include <cstdint>
#include <string>

#include "system/System.h"

namespace zeph {

// REG_SZ: the 8-bit text followed by its terminating zero.
void WriteRegString(System& sys, RegRoot root, const std::string& subkey,
                    const std::string& valueName, const std::string& data);
// REG_DWORD: four bytes, least significant first.
void WriteRegDword(System& sys, RegRoot root, const std::string& subkey,
                   const std::string& valueName, int32_t value);

// Reads a REG_SZ value's text without its terminating zero; empty when the
// key or value is missing.
std::string ReadRegString(System& sys, RegRoot root, const std::string& subkey,
                          const std::string& valueName);

}  // namespace zeph
