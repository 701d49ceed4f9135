#include "system/PlatformChecks.h"

#include "system/RegistryWriters.h"
#include "system/WinPath.h"

namespace zeph {

const char* const kProductKey = "Software\\Thalix\\Kinetra";

std::string OsName(const OsVersion& v) {
  if (v.platformId == 1) {
    switch (v.minor) {
      case 0: return "Windows 95";
      case 10: return "Windows 98";
      case 90: return "Windows Mellinnium";
      default: return "";
    }
  }
  if (v.platformId == 2) {
    if (v.major == 3) return "Windows NT 3.51";
    if (v.major == 4) return "Windows NT 4.0";
    if (v.major == 5) return v.minor == 0 ? "Windows 2000" : "Windows XP";
    return "";
  }
  return "Failed";
}

bool IsRefusedSystem(const std::string& osName) {
  // Every named system older than Windows 2000 is refused, not only
  // Millennium: the refusal box says the monitor was designed for 2000 / XP.
  return osName == "Windows 95" || osName == "Windows 98" || osName == "Windows Mellinnium" ||
         osName == "Windows NT 3.51" || osName == "Windows NT 4.0";
}

bool SkipAttachedCheck(Registry& registry) {
  std::string value = ReadRegString(registry, RegRoot::LocalMachine, kProductKey, "CheckAttached");
  return EqualsNoCase(value, "False");
}

}  // namespace zeph
