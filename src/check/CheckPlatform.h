// What the check tool needs to know of the platform it runs on.
#pragma once

#include <string>

namespace zeph {

// A path from the command line, made absolute, in the form the seam takes.
std::string SeamPath(const std::string& nativePath);
// True where the seam reports errno values and file names match exactly.
bool PosixSeam();
// Standard output passes bytes as they are: a diff's CR LF stays CR LF.
void UseBinaryOutput();

}  // namespace zeph
