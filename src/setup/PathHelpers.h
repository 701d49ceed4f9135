// Splitting Windows-form paths at their last backslash.
#pragma once

#include <string>

namespace zeph {

// The part after the last "\" (the whole text when there is none).
std::string GetFileOnly(const std::string& fullPath);
// The part up to and including the last "\" (empty when there is none).
std::string GetPathOnly(const std::string& fullPath);

// varCopyUp resolved against the base folder varPathUp (ending in "\"):
// ".\" means the game folder, each leading "..\" climbs one folder, anything
// else is relative to the base. "ERROR" when it climbs above the drive.
std::string ResolveRelativePath(const std::string& gameFolder, std::string varPathUp,
                                std::string varCopyUp);

}  // namespace zeph
