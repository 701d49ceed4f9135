// Zephcontrol.exe, the stand-in control utility: one command per run.
#include <string>
#include <vector>

#include "companion/standins/ControlUtility.h"

int main(int argc, char** argv) {
  return zeph::standin::RunControlUtility(std::vector<std::string>(argv + 1, argv + argc));
}
