// Signals, turned into bytes on a pipe so that they are handled in the
// message processing and never inside a signal handler.
#pragma once

namespace zeph::posix {

// Routes TERM, INT, HUP, USR1 and CHLD into the pipe and ignores PIPE. Once per
// process; later calls do nothing.
void InstallSignalPipe();
// The end to poll for readability; -1 before InstallSignalPipe.
int SignalPipeFd();
// The next signal waiting in the pipe, or 0 when none is waiting.
int TakePendingSignal();

}  // namespace zeph::posix
