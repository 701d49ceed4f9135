// What the end-of-game pass reads and decides, told as it happens, for a
// tool that shows what a profile will do. The monitor itself has none.
#pragma once

#include <string>
#include <vector>

namespace zeph {

enum class CustomLineStatus {
  Parsed,         // a command line: its entry follows
  UnknownWord,    // a command word the monitor does not know: passed over
  Empty,          // an empty line: the block ends there, failed
  ShortField,     // the block ends with code 102
  NoCommandWord,  // ... 103
  TooManyFields,  // ... 104
};

class SetupObserver {
 public:
  virtual ~SetupObserver() = default;
  // The marker file was looked at: whether it was there and is current. The
  // observer may set *current, to see the pass as it runs on an installation
  // that is set up already.
  virtual void MarkerChecked(const std::string& path, bool exists, bool* current) = 0;
  // A line of the custom block, and its entry (fields in order, placeholders
  // expanded) when it has one.
  virtual void CustomLine(const std::string& line, CustomLineStatus status,
                          const std::vector<std::string>& entry) = 0;
  // The entry of the line just told runs now, or is skipped because the
  // installation is set up already and the entry is not marked ALWAYS.
  virtual void EntryDecided(bool runs) = 0;
};

}  // namespace zeph
