// Unified diffs of text files, exact to the byte: a line keeps its own line
// end (CR LF, LF, or none for a last line without one), so applying the diff
// to the old text gives the new text byte for byte.
#pragma once

#include <string>
#include <vector>

namespace zeph {

// The lines of text, each with its line end; a last line without a line end
// is a line too.
std::vector<std::string> SplitKeepingEnds(const std::string& text);

// "--- oldName", "+++ newName", then hunks with `context` lines around each
// change. "" when the texts are equal.
std::string UnifiedDiff(const std::string& before, const std::string& after,
                        const std::string& oldName, const std::string& newName, int context = 3);

// A unified diff applied to before; false when it does not fit.
bool ApplyUnifiedDiff(const std::string& before, const std::string& diff, std::string* after);

}  // namespace zeph
