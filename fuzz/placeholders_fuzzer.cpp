// Placeholder expansion in custom lines, with button and motion tables that
// come from the input too, so that values holding placeholders (their own
// among them) are tried.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "setup/Placeholders.h"

namespace {

constexpr size_t kMaxValue = 64;

template <size_t N>
void Fill(FuzzedDataProvider* input, std::array<zeph::ItemTriple, N>* table) {
  for (zeph::ItemTriple& item : *table) {
    item.first = input->ConsumeRandomLengthString(kMaxValue);
    item.second = input->ConsumeRandomLengthString(kMaxValue);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  std::array<zeph::ItemTriple, 16> buttons;
  std::array<zeph::ItemTriple, 6> positive, negative;
  const std::string text = input.ConsumeRandomLengthString(4096);
  Fill(&input, &buttons);
  Fill(&input, &positive);
  Fill(&input, &negative);
  const std::string out = zeph::ExpandPlaceholders(text, buttons, positive, negative);
  // Each replacement takes out four characters at most and puts in one value.
  if (out.size() > text.size() + zeph::kMaxPlaceholderReplacements * kMaxValue) abort();
  // Without a marker there is nothing to expand.
  if (text.find_first_of("^\xa7\xa5\xa3") == std::string::npos && out != text) abort();
  return 0;
}
