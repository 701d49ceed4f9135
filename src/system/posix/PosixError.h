// errno as the seam's error: the number and the C library's text for it.
#pragma once

#include <cstring>

#include "system/Error.h"

namespace zeph::posix {

inline SystemError ErrnoError(int code) { return SystemError{code, std::strerror(code)}; }

}  // namespace zeph::posix
