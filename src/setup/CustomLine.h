// The fields of a custom line: 'file'\, 'MODIFY'\, 'old'\, 'new'\, 'ALWAYS'.
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

}  // namespace zeph
