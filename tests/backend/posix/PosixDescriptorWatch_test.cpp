// The POSIX event loop's watched descriptors on real pipes: dispatched in
// every kind of wait as they become readable, and never after they are
// unwatched.
#include <gtest/gtest.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "system/posix/PosixEventLoop.h"

namespace zeph::posix {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

long ElapsedMs(Clock::time_point since) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

double CpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_nsec) / 1e6;
}

struct Pipe {
  Pipe() { EXPECT_EQ(pipe(fds), 0); }
  ~Pipe() {
    for (int fd : fds)
      if (fd >= 0) close(fd);
  }
  int in() const { return fds[0]; }
  void Write(char c) { EXPECT_EQ(write(fds[1], &c, 1), 1); }
  void CloseWriteEnd() {
    close(fds[1]);
    fds[1] = -1;
  }
  // One byte read; '\0' at the end of input.
  char Read() {
    char c = 0;
    return read(fds[0], &c, 1) == 1 ? c : '\0';
  }
  int fds[2] = {-1, -1};
};

// A new loop reads its standard input's end (under ctest, say) first: then
// that end wakes no wait of the test.
void Settle(EventLoop& loop) { loop.ProcessPendingMessages(); }

// Writes c into the pipe after ms, from another thread.
std::thread WriteLater(Pipe& p, char c, std::chrono::milliseconds ms) {
  return std::thread([&p, c, ms] {
    std::this_thread::sleep_for(ms);
    p.Write(c);
  });
}

TEST(DescriptorWatch, ReadableDescriptorIsDispatchedInEveryKindOfWait) {
  EventLoop loop;
  Settle(loop);
  Pipe p;
  std::string got;
  long gotAtMs = -1;
  Clock::time_point start = Clock::now();
  loop.WatchDescriptor(p.in(), [&] {
    got += p.Read();
    gotAtMs = ElapsedMs(start);
  });

  // Sleep: at once, and the sleep still lasts its time.
  std::thread writer = WriteLater(p, 'a', 100ms);
  loop.Sleep(400);
  writer.join();
  EXPECT_EQ("a", got);
  EXPECT_LT(gotAtMs, 300) << "dispatched only at the end of the sleep";
  EXPECT_GE(ElapsedMs(start), 390);

  // WaitForObject: it returns when the byte arrives.
  start = Clock::now();
  writer = WriteLater(p, 'b', 100ms);
  loop.WaitForObject(-1, 3000);
  writer.join();
  EXPECT_EQ("ab", got);
  EXPECT_LT(ElapsedMs(start), 2000);

  // ProcessPendingMessages: what waits, and no call when nothing does.
  p.Write('c');
  loop.ProcessPendingMessages();
  loop.ProcessPendingMessages();
  EXPECT_EQ("abc", got);
  loop.UnwatchDescriptor(p.in());
}

TEST(DescriptorWatch, NoCallAfterUnwatchingEvenOfADescriptorAlreadyFoundReady) {
  EventLoop loop;
  Settle(loop);
  Pipe first, second;
  std::string got;
  loop.WatchDescriptor(first.in(), [&] {
    got += first.Read();
    loop.UnwatchDescriptor(second.in());  // both are ready in the same poll
  });
  loop.WatchDescriptor(second.in(), [&] { got += second.Read(); });
  second.Write('2');
  first.Write('1');
  loop.ProcessPendingMessages();
  EXPECT_EQ("1", got);

  // Watched again, a descriptor calls its new callback only.
  loop.WatchDescriptor(first.in(), [&] { got += "old"; });
  loop.WatchDescriptor(first.in(), [&] { got += first.Read(); });
  first.Write('3');
  loop.ProcessPendingMessages();
  EXPECT_EQ("13", got);

  loop.UnwatchDescriptor(first.in());
  first.Write('4');
  loop.ProcessPendingMessages();
  EXPECT_EQ("13", got);
}

TEST(DescriptorWatch, ClosedEndIsToldOnceAndAnIdleWatchDoesNotBusyPoll) {
  EventLoop loop;
  Settle(loop);
  Pipe p;
  int calls = 0;
  loop.WatchDescriptor(p.in(), [&] {
    ++calls;
    if (p.Read() == '\0') loop.UnwatchDescriptor(p.in());  // the other end closed
  });
  const double cpu = CpuMs();
  Clock::time_point start = Clock::now();
  loop.WaitForObject(-1, 300);
  EXPECT_GE(ElapsedMs(start), 290);
  EXPECT_EQ(0, calls);
  EXPECT_LT(CpuMs() - cpu, 30.0);

  p.CloseWriteEnd();
  loop.WaitForObject(-1, 3000);
  EXPECT_EQ(1, calls);
  start = Clock::now();
  loop.WaitForObject(-1, 200);
  EXPECT_GE(ElapsedMs(start), 190) << "the unwatched end still woke the loop";
  EXPECT_EQ(1, calls);
}

}  // namespace
}  // namespace zeph::posix
