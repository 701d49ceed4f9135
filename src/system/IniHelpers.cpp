#include "system/IniHelpers.h"

namespace zeph {

const char* const kIniMissing = "ERROR";

std::string ReadIni(IniFiles& ini, const std::string& file, const std::string& section,
                    const std::string& key) {
  return ini.ReadString(file, section, key, kIniMissing, kIniBufferSize);
}

bool WriteIni(IniFiles& ini, const std::string& file, const std::string& section,
              const std::string& key, const std::string& value, SystemError* err) {
  return ini.WriteString(file, section, key, value, err);
}

}  // namespace zeph
