#include "system/posix/PosixEventLoop.h"

#include <poll.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
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
    case SIGUSR2:
      if (commands_) commands_->OnIconActivated();
      break;
    default: break;
  }
}

void EventLoop::DispatchPendingSignals() {
  // One at a time: a command may itself process messages and take the rest.
  while (int sig = TakePendingSignal()) DispatchSignal(sig);
}

bool EventLoop::TerminalReadable() const {
  // A copy in the background of its terminal must not read it: the read
  // would stop the process (SIGTTIN) or fail.
  return terminalOpen_ && (!isatty(STDIN_FILENO) || tcgetpgrp(STDIN_FILENO) == getpgrp());
}

void EventLoop::ReadTerminal() {
  char chunk[512];
  const ssize_t n = read(STDIN_FILENO, chunk, sizeof chunk);
  if (n <= 0) {
    if (n == 0 || (errno != EINTR && errno != EAGAIN)) terminalOpen_ = false;  // end of input
    return;
  }
  terminalText_.append(chunk, static_cast<size_t>(n));
  if (terminalText_.size() > 4096) terminalText_.erase(0, terminalText_.size() - 4096);
}

void EventLoop::DispatchTerminalLines() {
  // One at a time, like the signals: a command may process messages itself.
  size_t end;
  while ((end = terminalText_.find('\n')) != std::string::npos) {
    std::string line = terminalText_.substr(0, end);
    terminalText_.erase(0, end + 1);
    DispatchTerminalCommand(line);
  }
}

void EventLoop::DispatchTerminalCommand(const std::string& line) {
  std::string word;
  for (char c : line) {
    if (!std::isspace(static_cast<unsigned char>(c)))
      word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  if (word.empty() || !commands_) return;
  if (word == "menu") return commands_->OnMenuRequested();
  static const struct {
    const char* word;
    MenuEntry entry;
  } kWords[] = {{"about", MenuEntry::About},     {"customize", MenuEntry::Customize},
                {"web", MenuEntry::WebUpdate},   {"startup", MenuEntry::Startup},
                {"suspend", MenuEntry::Suspend}, {"exit", MenuEntry::Exit}};
  for (const auto& known : kWords) {
    if (word == known.word) return commands_->OnMenuCommand(known.entry);
  }
  std::fprintf(stderr, "unknown command \"%s\"; commands: %s\n", word.c_str(), kTerminalCommands);
  std::fflush(stderr);
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

void EventLoop::PollAndDispatch(intptr_t object, int timeoutMs) {
  std::vector<pollfd> fds;
  fds.reserve(3 + watches_.size());
  if (SignalPipeFd() >= 0) fds.push_back(pollfd{SignalPipeFd(), POLLIN, 0});
  if (object >= 0) fds.push_back(pollfd{static_cast<int>(object), POLLIN, 0});
  const size_t terminal = fds.size();
  const bool readTerminal = TerminalReadable();
  if (readTerminal) fds.push_back(pollfd{STDIN_FILENO, POLLIN, 0});
  const size_t firstWatch = fds.size();
  for (const Watch& watch : watches_) fds.push_back(pollfd{watch.fd, POLLIN, 0});
  std::vector<uint64_t> ready;
  // An interruption just means: look again.
  const int polled = poll(fds.data(), fds.size(), timeoutMs);
  if (polled > 0) {
    if (readTerminal && fds[terminal].revents != 0) ReadTerminal();
    for (size_t i = firstWatch; i < fds.size(); ++i) {
      if (fds[i].revents != 0) ready.push_back(watches_[i - firstWatch].id);
    }
  }
  // A wait that timed out saw the signal pipe empty: the idle tick reads
  // nothing. A signal caught since wakes the next wait at once.
  if (polled != 0) DispatchPendingSignals();
  DispatchTerminalLines();
  DispatchWatches(ready);
}

void EventLoop::DispatchWatches(const std::vector<uint64_t>& ready) {
  for (uint64_t id : ready) {
    // Looked up afresh: a callback may have unwatched or replaced another.
    auto it = std::find_if(watches_.begin(), watches_.end(),
                           [id](const Watch& watch) { return watch.id == id; });
    if (it == watches_.end()) continue;
    // A copy: the callback may unwatch its own descriptor.
    const std::function<void()> onReadable = it->onReadable;
    onReadable();
  }
}

void EventLoop::WatchDescriptor(int fd, std::function<void()> onReadable) {
  UnwatchDescriptor(fd);
  watches_.push_back(Watch{fd, ++lastWatchId_, std::move(onReadable)});
}

void EventLoop::UnwatchDescriptor(int fd) {
  watches_.erase(std::remove_if(watches_.begin(), watches_.end(),
                                [fd](const Watch& watch) { return watch.fd == fd; }),
                 watches_.end());
}

void EventLoop::WaitForObject(intptr_t object, int maxMs) {
  int timeout = MsUntilTimer();
  if (maxMs >= 0 && (timeout < 0 || maxMs < timeout)) timeout = maxMs;
  PollAndDispatch(object, timeout);
  FireTimerIfDue();
}

void EventLoop::ProcessPendingMessages() {
  PollAndDispatch(-1, 0);
  ReapChildren();
  FireTimerIfDue();
}

void EventLoop::Run() {
  for (;;) WaitForObject(-1, -1);
}

void EventLoop::Sleep(int ms) {
  // Signals and terminal commands are handled as they come.
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(ms > 0 ? ms : 0);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
    if (left.count() <= 0) return;
    WaitForObject(-1, static_cast<int>(left.count()));
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
