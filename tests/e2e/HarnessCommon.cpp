// The parts of the harness that are the same on both targets.
#include <cstdio>
#include <random>

#include "Harness.h"

namespace zeph::e2e {

std::string MonitorHarness::Exe(const std::string& base) {
  static const std::string tag = [] {
    char text[16];
    std::snprintf(text, sizeof text, "%06x", std::random_device{}() & 0xffffffu);
    return std::string(text);
  }();
  return base + "-" + tag + ".exe";
}

}  // namespace zeph::e2e
