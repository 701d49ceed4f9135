// Every part of the seam between the monitor and its operating system, one
// interface per concern. The platform's parts are made once, in main.cpp;
// tests and benchmarks put their own in place of the parts they need.
#pragma once

#include <memory>

#include "system/EventLoop.h"
#include "system/Files.h"
#include "system/IniFiles.h"
#include "system/Processes.h"
#include "system/Program.h"
#include "system/Registry.h"

namespace zeph {

struct SystemSeam {
  Program& program;
  Files& files;
  IniFiles& ini;
  Registry& registry;
  Processes& processes;
  EventLoop& loop;
};

// The platform's own implementations, owned.
struct PlatformSystem {
  std::unique_ptr<Program> program;
  std::unique_ptr<Files> files;
  std::unique_ptr<IniFiles> ini;
  std::unique_ptr<Registry> registry;
  std::unique_ptr<Processes> processes;
  std::unique_ptr<EventLoop> loop;

  SystemSeam Seam() { return {*program, *files, *ini, *registry, *processes, *loop}; }
};

// Made for the platform this program was built for (system/posix or system/win32).
PlatformSystem CreatePlatformSystem(int argc, char** argv);

}  // namespace zeph
