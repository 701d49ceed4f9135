// Turning the paths of a game profile into real paths. GetFileOnly and
// GetPathOnly, which split a path at its last backslash, are shared with
// the rest of the program (system/WinPath.h).
#pragma once

#include <string>

#include "system/WinPath.h"

namespace zeph {

// varCopyUp resolved against the base folder varPathUp (ending in "\"):
// ".\" means the game folder, each leading "..\" climbs one folder, anything
// else is relative to the base. "ERROR" when it climbs above the drive.
std::string ResolveRelativePath(const std::string& gameFolder, std::string varPathUp,
                                std::string varCopyUp);

}  // namespace zeph
