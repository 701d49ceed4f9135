// The seam implementation of the platform this program was built for.
#pragma once

#include <memory>

#include "system/System.h"

namespace zeph {

std::unique_ptr<System> CreatePlatformSystem(int argc, char** argv);

}  // namespace zeph
