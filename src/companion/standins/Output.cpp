// Output of the stand-ins: one line at a time, written at once.
#include <cstdio>

#include "companion/standins/StandinHost.h"

namespace zeph::standin {

namespace {

void Print(FILE* stream, const std::string& line) {
  std::string out = line + "\n";
  std::fwrite(out.data(), 1, out.size(), stream);
  std::fflush(stream);
}

}  // namespace

void PrintLine(const std::string& line) { Print(stdout, line); }
void PrintError(const std::string& line) { Print(stderr, line); }

}  // namespace zeph::standin
