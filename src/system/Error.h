// Why a call to the platform failed: the platform's own error code
// (GetLastError on Windows, errno elsewhere) and its text.
#pragma once

#include <cstdint>
#include <string>

namespace zeph {

struct SystemError {
  int64_t code = 0;
  std::string text;

  // "Access is denied. (5)": the text, then the code.
  std::string Describe() const;
};

// Stores {code, text} in *err when err is not null; returns false, so that a
// failing call can end with `return Fail(err, ...)`.
bool Fail(SystemError* err, int64_t code, std::string text);
bool Fail(SystemError* err, const SystemError& error);

// What a read found: the thing, nothing there, or something that could not
// be read (the error says why).
enum class ReadResult { Ok, Missing, Failed };

// Why a read did not give the thing: "not found", or the error's description.
std::string DescribeRead(ReadResult result, const SystemError& error);

}  // namespace zeph
