#include "system/posix/PosixEventLoop.h"

#include <poll.h>
#include <signal.h>
#include <time.h>

#include <cerrno>
#include <climits>
#include <ctime>

#include "system/posix/PosixProcesses.h"
#include "system/posix/PosixSignals.h"

namespace zeph::posix {

EventLoop::EventLoop() { InstallSignalPipe(); }

void EventLoop::SetTimerInterval(int ms) {
  timerMs_ = ms > 0 ? ms : 0;
  timerDue_ = Clock::now() + std::chrono::milliseconds(timerMs_);
}

void EventLoop::DispatchSignal(int sig) {
  switch (sig) {
    case SIGCHLD: ReapChildren(); break;
    case SIGTERM:
    case SIGINT:
    case SIGHUP:
      if (commands_) commands_->OnExit();
      break;
    case SIGUSR1:
      if (commands_) commands_->OnSuspendToggle();
      break;
    default: break;
  }
}

void EventLoop::DispatchPendingSignals() {
  // One at a time: a command may itself process messages and take the rest.
  while (int sig = TakePendingSignal()) DispatchSignal(sig);
}

void EventLoop::FireTimerIfDue() {
  if (timerMs_ <= 0 || Clock::now() < timerDue_) return;
  // Counted from now, before the handler runs: it may set the timer again.
  timerDue_ = Clock::now() + std::chrono::milliseconds(timerMs_);
  if (commands_) commands_->OnTimer();
}

int EventLoop::MsUntilTimer() const {
  if (timerMs_ <= 0) return -1;
  auto left = std::chrono::duration_cast<std::chrono::microseconds>(timerDue_ - Clock::now());
  if (left.count() <= 0) return 0;
  // Rounded up: waking a little early would only poll again at once.
  long long ms = (left.count() + 999) / 1000;
  return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

void EventLoop::WaitForObject(intptr_t object, int maxMs) {
  pollfd fds[2];
  nfds_t count = 0;
  if (SignalPipeFd() >= 0) fds[count++] = pollfd{SignalPipeFd(), POLLIN, 0};
  if (object >= 0) fds[count++] = pollfd{static_cast<int>(object), POLLIN, 0};
  int timeout = MsUntilTimer();
  if (maxMs >= 0 && (timeout < 0 || maxMs < timeout)) timeout = maxMs;
  poll(fds, count, timeout);  // an interruption just means: look again
  DispatchPendingSignals();
  FireTimerIfDue();
}

void EventLoop::ProcessPendingMessages() {
  DispatchPendingSignals();
  ReapChildren();
  FireTimerIfDue();
}

void EventLoop::Run() {
  for (;;) WaitForObject(-1, -1);
}

void EventLoop::Sleep(int ms) {
  if (ms <= 0) return;
  timespec left{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

std::string EventLoop::TimeOfDay() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[16];
  std::strftime(text, sizeof text, "%H:%M:%S", &local);
  return text;
}

}  // namespace zeph::posix
