// The lines of a profile's set-up blocks: copy entries 'source', 'destination'
// and custom lines 'file'\, 'MODIFY'\, 'old'\, 'new'\, 'ALWAYS'.
#pragma once

#include <string>
#include <vector>

namespace zeph {

// Why a custom line gives no fields.
enum class CustomLineError {
  None,
  ShortField,     // a field that cannot lose both of its quotes
  NoCommandWord,  // fewer than two fields
};

// Splits line at every "\," and takes each field with its blanks trimmed and
// its first and last character (its quotes) removed. Commas without a
// backslash belong to the field.
CustomLineError SplitCustomLine(const std::string& line, std::vector<std::string>* fields);

// A copy entry: the line with its blanks trimmed loses its first character
// (the source's opening quote), and the rest splits into two items as an
// item list does. False for a line of blanks or an item too short.
bool SplitCopyEntry(const std::string& line, std::string* source, std::string* destination);

}  // namespace zeph
