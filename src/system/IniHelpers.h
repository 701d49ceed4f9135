// The program's INI access: every read has the default "ERROR" and a
// 255-character buffer, so a value comes back cut to 254 characters.
#pragma once

#include <string>

#include "system/System.h"

namespace zeph {

// The value every INI read returns for a missing file, section or key.
extern const char* const kIniMissing;  // "ERROR"
constexpr size_t kIniBufferSize = 255;

std::string ReadIni(System& sys, const std::string& file, const std::string& section,
                    const std::string& key);
// Failures are not reported: a settings write that cannot be made is skipped.
void WriteIni(System& sys, const std::string& file, const std::string& section,
              const std::string& key, const std::string& value);

}  // namespace zeph
