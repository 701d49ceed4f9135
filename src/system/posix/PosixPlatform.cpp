// The seam on Linux and other POSIX systems, made once for main.cpp.
#include "system/Seam.h"
#include "system/posix/PosixEventLoop.h"
#include "system/posix/PosixFileSystem.h"
#include "system/posix/PosixProcesses.h"
#include "system/posix/PosixProgram.h"
#include "system/posix/PosixRegistry.h"

namespace zeph {

PlatformSystem CreatePlatformSystem(int argc, char** argv) {
  PlatformSystem s;
  auto program = std::make_unique<posix::RunningProgram>(argc, argv);
  s.processes = std::make_unique<posix::ProcessTable>(program->Folder());
  s.program = std::move(program);
  s.files = std::make_unique<posix::FileSystem>();
  s.ini = std::make_unique<posix::IniFileSystem>();
  s.registry = std::make_unique<posix::FileRegistry>();
  s.loop = std::make_unique<posix::EventLoop>();
  return s;
}

}  // namespace zeph
