// The platform checks made at start-up.
#pragma once

#include <string>

#include "system/Program.h"
#include "system/Registry.h"

namespace zeph {

extern const char* const kProductKey;  // "Software\Thalix\Kinetra" under the machine root

// The name of the running Windows version ("Windows XP", ...), empty for
// other members of a family, "Failed" for an unknown platform.
std::string OsName(const OsVersion& version);
// True for the systems the monitor refuses to run on.
bool IsRefusedSystem(const std::string& osName);

// True when start-up leaves the attached reminder out: the user ticked
// "Do not display this error in the future", stored as "False".
bool SkipAttachedCheck(Registry& registry);

}  // namespace zeph
