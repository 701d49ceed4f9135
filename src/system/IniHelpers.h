// The program's INI access: every read has the default "ERROR" and a
// 255-character buffer, so a value comes back cut to 254 characters.
#pragma once

#include <string>

#include "system/IniFiles.h"

namespace zeph {

// The value every INI read returns for a missing file, section or key.
extern const char* const kIniMissing;  // "ERROR"
constexpr size_t kIniBufferSize = 255;

std::string ReadIni(IniFiles& ini, const std::string& file, const std::string& section,
                    const std::string& key);
// A settings write that cannot be made is skipped; the result says whether
// it was made, for the callers that care.
bool WriteIni(IniFiles& ini, const std::string& file, const std::string& section,
              const std::string& key, const std::string& value, SystemError* err = nullptr);

}  // namespace zeph
