#include "system/IniHelpers.h"

namespace zeph {

const char* const kIniMissing = "ERROR";

std::string ReadIni(System& sys, const std::string& file, const std::string& section,
                    const std::string& key) {
  return sys.ReadIniString(file, section, key, kIniMissing, kIniBufferSize);
}

void WriteIni(System& sys, const std::string& file, const std::string& section,
              const std::string& key, const std::string& value) {
  sys.WriteIniString(file, section, key, value);
}

}  // namespace zeph
