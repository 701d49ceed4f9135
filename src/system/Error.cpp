#include "system/Error.h"

namespace zeph {

std::string SystemError::Describe() const {
  if (text.empty()) return "error " + std::to_string(code);
  return text + " (" + std::to_string(code) + ")";
}

bool Fail(SystemError* err, int64_t code, std::string text) {
  if (err) *err = SystemError{code, std::move(text)};
  return false;
}

bool Fail(SystemError* err, const SystemError& error) {
  if (err) *err = error;
  return false;
}

std::string DescribeRead(ReadResult result, const SystemError& error) {
  return result == ReadResult::Missing ? "not found" : error.Describe();
}

}  // namespace zeph
