#include "system/posix/PosixSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

namespace zeph::posix {
namespace {

int g_pipe[2] = {-1, -1};

void OnSignal(int sig) {
  int saved = errno;
  unsigned char byte = static_cast<unsigned char>(sig);
  // A full pipe drops the signal: hundreds are already waiting.
  ssize_t written = write(g_pipe[1], &byte, 1);
  (void)written;
  errno = saved;
}

}  // namespace

void InstallSignalPipe() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (pipe2(g_pipe, O_NONBLOCK | O_CLOEXEC) != 0) return;
    struct sigaction sa = {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGUSR1, SIGUSR2}) sigaction(sig, &sa, nullptr);
    sa.sa_flags = SA_RESTART | SA_NOCLDSTOP;
    sigaction(SIGCHLD, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
  });
}

int SignalPipeFd() { return g_pipe[0]; }

int TakePendingSignal() {
  if (g_pipe[0] < 0) return 0;
  unsigned char byte = 0;
  for (;;) {
    ssize_t n = read(g_pipe[0], &byte, 1);
    if (n == 1) return byte;
    if (n < 0 && errno == EINTR) continue;
    return 0;
  }
}

}  // namespace zeph::posix
