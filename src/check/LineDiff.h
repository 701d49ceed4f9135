// Unified diffs of text files, exact to the byte: a line keeps its own line
// end (CR LF, LF, or none for a last line without one), so applying the diff
// to the old text gives the new text byte for byte.
//
// Files are diffed as streams a window of lines at a time: memory holds the
// windows and the diff, never a whole file. Where a window ends inside a
// change, the part of the script past the window's last common line is
// searched again with the lines that follow, so the diff stays exact; it is
// the shortest one as long as no change spans more than a window.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "system/Files.h"
#include "system/TextStreams.h"

namespace zeph {

// The lines of text, each with its line end; a last line without a line end
// is a line too.
std::vector<std::string> SplitKeepingEnds(const std::string& text);

enum class DiffResult {
  Same,      // nothing to show
  Shown,     // the diff is there
  TooLarge,  // the diff is over its limit
  LongLine,  // a line of a side is over its limit
  Failed,    // a side could not be read (err says why)
};

struct DiffLimits {
  int context = 3;
  // Lines of each side held at a time, and their bytes (a line over the
  // byte limit still comes in whole).
  size_t windowLines = 20000;
  size_t windowBytes = size_t{4} << 20;
  size_t maxDiffBytes = size_t{4} << 20;
  size_t maxLine = kMaxLineBytes;
};

// "--- oldName", "+++ newName", then hunks with limits.context lines around
// each change, of before's lines against after's, read once each. *diff is
// empty unless the result is Shown.
DiffResult StreamUnifiedDiff(FileReader& before, FileReader& after, const std::string& oldName,
                             const std::string& newName, const DiffLimits& limits,
                             std::string* diff, SystemError* err);

// The same for two texts in memory, without limits. "" when they are equal.
std::string UnifiedDiff(const std::string& before, const std::string& after,
                        const std::string& oldName, const std::string& newName, int context = 3);

// A unified diff applied to before; false when it does not fit.
bool ApplyUnifiedDiff(const std::string& before, const std::string& diff, std::string* after);

}  // namespace zeph
