// The INI reader and writer of the Linux build on any file's bytes: a read
// by scan, by index and from memory agree; a planned write applied to the
// file equals the write done in memory; and a value written reads back.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "system/IniText.h"

namespace {

// Names and values that the Windows rules keep as they are.
std::string PlainText(FuzzedDataProvider* input, size_t most) {
  std::string text = input->ConsumeRandomLengthString(most);
  for (char& c : text) c = static_cast<char>('a' + static_cast<unsigned char>(c) % 26);
  return text.empty() ? "k" : text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  // The wanted names either come from the file's bytes or are plain.
  const bool plain = input.ConsumeBool();
  const std::string section = plain ? PlainText(&input, 12) : input.ConsumeRandomLengthString(32);
  const std::string key = plain ? PlainText(&input, 12) : input.ConsumeRandomLengthString(32);
  const size_t bufferSize = input.ConsumeIntegralInRange<size_t>(1, 300);
  const std::string value = PlainText(&input, 40);
  const std::string contents = input.ConsumeRemainingBytesAsString();

  using namespace zeph::ini;
  const std::string got = GetString(contents, section, key, "dflt", bufferSize);
  StringSource source(contents);
  std::string scanned = "untouched";
  if (!ReadValue(&source, section, key, "dflt", bufferSize, &scanned) || scanned != got) abort();
  for (size_t entries : {size_t{20000}, size_t{3}}) {
    IndexLimits limits;
    limits.entries = entries;
    limits.nameLength = 8;
    Index index;
    std::string indexed = "untouched";
    if (!index.Build(&source, limits) ||
        !index.Read(&source, section, key, "dflt", bufferSize, &indexed) || indexed != got)
      abort();
  }

  const std::string written = SetString(contents, section, key, value);
  std::vector<Edit> edits;
  if (!PlanWrite(&source, section, key, value, &edits)) abort();
  std::string applied;
  if (!ApplyEdits(&source, edits,
                  [&](const char* bytes, size_t n) {
                    applied.append(bytes, n);
                    return true;
                  }) ||
      applied != written)
    abort();
  if (plain && GetString(written, section, key, "", 1024) != value) abort();
  return 0;
}
