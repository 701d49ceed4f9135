// Processes on POSIX: /proc listing, opened processes, and the children we
// start ourselves.
#pragma once

#include <sys/types.h>

#include <memory>
#include <unordered_map>
#include <string>
#include <vector>

#include "system/Processes.h"

namespace zeph::posix {

// Finds the program of a command line as CreateProcessA does without an
// application name. A quoted first word is the program as it is; an
// unquoted one is tried up to each blank in turn, shortest first, then
// whole, and the first that names an executable file wins. A name without
// a folder is looked for in programFolder, then the working folder, then
// $PATH. On success *program is the native path and *rest the text after it.
bool ResolveCommandLine(const std::string& commandLine, const std::string& programFolder,
                        std::string* program, std::string* rest);

// The exit code we report for a wait status: the status of a normal end,
// 128 + the signal number for a process ended by a signal (as shells do).
uint32_t ExitCodeFromStatus(int waitStatus);

// A child we started. Stays a zombie until reaped here, so its pid cannot
// be taken by another process while we still look at it.
struct ChildProcess {
  pid_t pid = 0;
  bool ended = false;
  uint32_t exitCode = 0;
};

// Starts program with args (argv[0] is program), stdin from /dev/null, our
// environment and working folder, signals at their defaults, in a process
// group of its own. Null, with *error, when it cannot be started.
std::shared_ptr<ChildProcess> SpawnChild(const std::string& program,
                                         const std::vector<std::string>& args,
                                         int* error = nullptr);
// Collects the child's status if it has ended (or waits for it with block).
// True once it has ended.
bool ReapChild(ChildProcess& child, bool block);
// Reaps every ended child we started, so none stays a zombie.
void ReapChildren();

// A pollable descriptor that turns readable when the process ends; -1 when
// the system has none (or the process is gone).
int OpenPidfd(pid_t pid);

// The processes of the seam: /proc read through a cache, our children, and
// the title registrations of other programs' windows.
class ProcessTable final : public Processes {
 public:
  explicit ProcessTable(std::string programFolder) : programFolder_(std::move(programFolder)) {}
  std::vector<ProcessInfo> List() override;
  std::unique_ptr<ProcessHandle> Open(uint32_t pid, SystemError* err) override;
  std::unique_ptr<ProcessHandle> Start(const std::string& commandLine, SystemError* err) override;
  bool CloseWindowByTitle(const std::string& title) override;
  bool StartShown(const std::string& commandLine, int showCommand, uint32_t* pid,
                  SystemError* err) override;
  bool ActivateMainWindow(uint32_t pid) override;
  bool OpenAddress(const std::string& address, int showCommand, SystemError* err) override;

 private:
  struct Known {
    uint64_t inode = 0;        // of its /proc entry: tells a reused id
    uint64_t generation = 0;   // the listing that saw it last
    bool noExe = false;        // a kernel thread (or a zombie)
    bool winePending = false;  // a Wine loader whose Windows program is not known yet
    std::string link;          // the exe link as read, to see an exec at once
    ProcessInfo info;          // id 0 until read
  };
  std::string programFolder_;  // Windows form: where a bare program name is looked for first
  std::unordered_map<uint32_t, Known> known_;
  uint64_t generation_ = 0;
};

}  // namespace zeph::posix
