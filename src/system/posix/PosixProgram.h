// The running program on POSIX. Another copy is recognised by a lock file
// per program folder, so copies in different folders are different programs.
#pragma once

#include <string>

#include "system/Program.h"

namespace zeph::posix {

class RunningProgram final : public Program {
 public:
  RunningProgram(int argc, char** argv);
  ~RunningProgram() override;
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;

  std::string Folder() override { return folder_; }
  std::string ExeName() override;
  std::string Arguments() override { return args_; }
  bool AnotherInstanceRunning() override;
  [[noreturn]] void End() override;
  // There is no Windows version to report: all zero, which passes the check.
  OsVersion Version() override { return OsVersion{}; }
  std::string DataFolder() override;

 private:
  std::string folder_;
  std::string args_;
  int lockFd_ = -1;
};

// The lock file that tells copies in programFolder (Windows form) apart
// from copies elsewhere.
std::string InstanceLockPath(const std::string& programFolder);

}  // namespace zeph::posix
