// A file reader for tests: hands out a text in pieces of the sizes given,
// round and round, as a file may come, and counts what it handed out.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "system/Files.h"

namespace zeph::testing {

class PieceReader final : public FileReader {
 public:
  PieceReader(std::string text, std::vector<size_t> pieces)
      : text_(std::move(text)), pieces_(std::move(pieces)) {}
  bool Read(char* out, size_t size, size_t* got, SystemError*) override {
    *got = std::min({size, pieces_[next_++ % pieces_.size()], text_.size() - at_});
    text_.copy(out, *got, at_);
    at_ += *got;
    read += *got;
    return true;
  }
  size_t read = 0;

 private:
  std::string text_;
  std::vector<size_t> pieces_;
  size_t next_ = 0;
  size_t at_ = 0;
};

}  // namespace zeph::testing
