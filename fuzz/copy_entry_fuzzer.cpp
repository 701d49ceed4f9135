// Copy entries of a set-up block: 'source', 'destination'.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "setup/BlockLines.h"
#include "system/WinPath.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  std::string source, destination;
  if (!zeph::SplitCopyEntry(line, &source, &destination)) return 0;
  const std::string list = zeph::Trim(line).substr(1);
  if (list.find(',') == std::string::npos || list.size() < 8) {
    // Too short to be an entry: the items of an empty list.
    if (source != "'" || !destination.empty()) abort();
    return 0;
  }
  // Both items come out of the line, which also held the opening quote.
  if (source.size() + destination.size() >= line.size()) abort();
  if (line.find(source) == std::string::npos || line.find(destination) == std::string::npos)
    abort();
  return 0;
}
