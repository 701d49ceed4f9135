// Descriptors that the POSIX event loop polls beside its own (the signal
// pipe, standard input, a child's pidfd): a desktop backend's connection,
// dispatched with the timer and the commands, in every wait. POSIX only:
// the Windows loop waits on handles and window messages, and its desktop
// needs neither.
#pragma once

#include <functional>

namespace zeph::posix {

class DescriptorWatch {
 public:
  virtual ~DescriptorWatch() = default;
  // From now on, whenever fd is readable, or closed or failed at its other
  // end, the loop's message processing (Run, Sleep, WaitForObject,
  // ProcessPendingMessages) calls onReadable, which reads what arrived or
  // unwatches fd (else it is called again at once). Watching fd again
  // replaces its callback.
  virtual void WatchDescriptor(int fd, std::function<void()> onReadable) = 0;
  // No more calls for fd, from now on (also inside a callback).
  virtual void UnwatchDescriptor(int fd) = 0;
};

}  // namespace zeph::posix
