// A control utility that takes its time, for bench_menu: copied into the
// program folder as Zephcontrol.exe, it keeps the monitor inside a control
// utility run while the menu is timed. Each run waits ZEPH_SLOW_CONTROL_MS
// milliseconds (1500 when unset) and exits 0.
#include <chrono>
#include <cstdlib>
#include <thread>

int main() {
  const char* text = std::getenv("ZEPH_SLOW_CONTROL_MS");
  const long ms = text ? std::atol(text) : 1500;
  std::this_thread::sleep_for(std::chrono::milliseconds(ms > 0 ? ms : 1500));
  return 0;
}
