// Text files a line at a time, over the seam's streamed reads and work
// files: nothing here holds more than a buffer and the line at hand.
//
// Text is single-byte: every byte passes through as it is except the line
// ends. A line ends at CR LF, at LF, or at a CR alone (as the Windows profile
// functions read it); the last line needs no line end.
//
// A line is held whole, so its length is limited: a longer one (a binary or
// zero-filled file has no line end at all) fails the read with
// kLineTooLongCode instead of taking memory in proportion to the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "system/Files.h"

namespace zeph {

constexpr size_t kMaxLineBytes = size_t{1} << 20;
// The code of a read that met a line longer than kMaxLineBytes, on every
// platform: Windows' ERROR_FILE_TOO_LARGE.
constexpr int64_t kLineTooLongCode = 223;

enum class LineRead { Line, End, Failed };

class LineReader {
 public:
  // name is the file's, for the error of a line that is too long.
  explicit LineReader(std::unique_ptr<FileReader> file, std::string name = std::string(),
                      size_t maxLine = kMaxLineBytes);

  // The next line, without its line end.
  LineRead Next(std::string* line, SystemError* err);
  // True when no line is left. A read error counts as the end: Failed()
  // tells, and err says why.
  bool AtEnd(SystemError* err);
  bool Failed() const { return failed_; }
  // The line end of the line Next gave last: "\r\n", "\n", "\r", or "" for a
  // last line without one.
  const char* LastEnding() const { return lastEnding_; }

 private:
  bool Fill(SystemError* err);
  LineRead TooLong(SystemError* err);

  std::unique_ptr<FileReader> file_;
  std::string name_;
  size_t maxLine_;
  std::string buffer_;
  size_t begin_ = 0;  // first byte of buffer_ not yet given out
  size_t end_ = 0;    // bytes of buffer_ that hold data
  bool eof_ = false;
  bool failed_ = false;
  const char* lastEnding_ = "";
};

// Opens path for reading a line at a time; null (with *result) when it cannot.
std::unique_ptr<LineReader> OpenLines(Files& files, const std::string& path, ReadResult* result,
                                      SystemError* err);

// Writes to a work file through a buffer; Commit flushes it and puts the
// work file in its target's place.
class LineWriter {
 public:
  explicit LineWriter(std::unique_ptr<WorkFile> file);

  // line followed by CR LF.
  bool WriteLine(const std::string& line, SystemError* err);
  bool Write(const char* data, size_t size, SystemError* err);
  bool Commit(SystemError* err);

 private:
  bool Flush(SystemError* err);

  std::unique_ptr<WorkFile> file_;
  std::string buffer_;
};

// Copies source over destination through a work file: destination holds its
// old contents or the whole copy, never a part, with source's permissions.
bool CopyFileOver(Files& files, const std::string& source, const std::string& destination,
                  SystemError* err);

}  // namespace zeph
