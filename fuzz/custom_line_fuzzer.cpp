// Custom lines of a set-up block: split into fields at every "\,".
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "setup/BlockLines.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> fields{"left over"};
  const zeph::CustomLineError error = zeph::SplitCustomLine(line, &fields);
  if (error != zeph::CustomLineError::None) {
    if (!fields.empty()) abort();  // a failed line gives no fields at all
    return 0;
  }
  size_t separators = 0;
  for (size_t at = line.find("\\,"); at != std::string::npos; at = line.find("\\,", at + 2))
    ++separators;
  if (fields.size() != separators + 1 || fields.size() < 2) abort();
  // Each field lost its two quotes and the separators are gone: the fields
  // together are shorter than the line by at least that much.
  size_t total = 0;
  for (const std::string& field : fields) total += field.size() + 2;
  if (total + 2 * separators > line.size()) abort();
  return 0;
}
