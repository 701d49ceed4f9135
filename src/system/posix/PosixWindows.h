// Top-level "windows" on POSIX: a program registers the title of its window
// so that another program can find it by that title and ask it to close.
//
// A registration is a file in $XDG_RUNTIME_DIR/zephmonitor-windows/ (else
// /tmp/zephmonitor-windows-<uid>/) named "<title as hex>.<pid>" and holding
// the owner's pid. The owner holds an exclusive lock on it for as long as
// the window exists, so the lock, not the pid, says whether it is still
// there: a process that ended (crashed, killed) leaves a stale file whose
// pid may by now belong to any other program. Stale files are removed and
// their pid never signalled. Closing a window sends TERM to its owner.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace zeph {

// Registers a window of this process with this title. False when the
// registration cannot be made.
bool RegisterWindowTitle(const std::string& title);
// Takes this process's registration of the title away again.
void UnregisterWindowTitle(const std::string& title);

namespace posix {

// The folder of the registrations (created as needed); "" when none can be had.
std::string WindowRegistrationFolder();
// The owners of the live windows with exactly this title, in folder order.
// Stale registrations found on the way are removed.
std::vector<pid_t> WindowOwners(const std::string& title);
// True when the process has a live window registration.
bool OwnsWindow(pid_t pid);
// Sends TERM to the owner of a live window with exactly this title (the
// first one found). False when there is none.
bool CloseRegisteredWindow(const std::string& title);

}  // namespace posix
}  // namespace zeph
