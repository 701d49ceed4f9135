// Top-level "windows" on POSIX: a program registers the title of its window
// so that another program can find it by that title and ask it to close.
//
// A registration is a file in $XDG_RUNTIME_DIR/zephmonitor-windows/ (else
// /tmp/zephmonitor-windows-<uid>/) named "<title as hex>.<pid>" and holding
// the owner's pid. Closing a window sends TERM to its owner.
#pragma once

#include <sys/types.h>

#include <string>

namespace zeph {

// Registers a window of this process with this title. False when the
// registration cannot be written.
bool RegisterWindowTitle(const std::string& title);
// Takes this process's registration of the title away again.
void UnregisterWindowTitle(const std::string& title);

namespace posix {

// The folder of the registrations (created as needed); "" when none can be had.
std::string WindowRegistrationFolder();
// The file name of the registration of title by pid.
std::string WindowRegistrationName(const std::string& title, pid_t pid);
// Sends TERM to the owner of a live window with exactly this title (the
// first one found). Registrations whose owner has ended are removed.
bool CloseRegisteredWindow(const std::string& title);

}  // namespace posix
}  // namespace zeph
