// Reading the value forms of a game profile: item lists, truth words,
// level words, numbers and the fixed map layouts.
#pragma once

#include <string>

namespace zeph {

// The three texts of a button or motion alias entry.
struct ItemTriple {
  std::string first, second, third;
};

// Splits an item list. With count 3 all three items are set, with count 2
// the first two. The list arrives with its enclosing quote pair already
// removed by the INI reader, so the first item only loses its last
// character, the second both ends and the third its first. A missing,
// comma-less or short text stands for " '', '', '' ". False when a needed
// piece is missing or too short to lose its quotes.
bool ParseItemList(int count, const std::string& text, std::string* item1, std::string* item2,
                   std::string* item3);

// "TRUE"/"FALSE" in any case, or a number (non-zero true). Anything else,
// the missing-key "ERROR" included, counts as false.
bool IsTrue(const std::string& value);
// Only "TRUE", in any case.
bool IsTRUE(const std::string& value);

// "BEGINNER" -> "BEG", "INTERMEDIATE" -> "INT", anything else -> "EXP".
std::string LevelCode(const std::string& level);

// A plain decimal number (no hexadecimal, no "inf"); false for other text.
bool ParseNumber(const std::string& text, double* value);

// A three-character gain field as a whole number in text ("050" -> "50",
// " 75" -> "75"); "ERROR" when the field is not a whole number.
std::string GainFieldText(const std::string& field);

}  // namespace zeph
