// Placeholders in the custom lines of a profile: a marker, a two-character
// number and one more character, replaced by what the game's profile
// assigns to that button or motion.
#pragma once

#include <array>
#include <string>

#include "activation/ProfileFormat.h"

namespace zeph {

// The markers as bytes of code page 1252.
constexpr char kButtonNameMarker = '^';     // item 2 of a button; removed when empty
constexpr char kButtonKeyMarker = '\xa7';   // item 1 of a button; empties the text
constexpr char kMotionNameMarker = '\xa5';  // item 2 of a motion alias
constexpr char kMotionKeyMarker = '\xa3';   // item 1 of a motion alias; empties the text

// A value that holds its own placeholder would be expanded without end: the
// expansion stops after this many replacements.
constexpr int kMaxPlaceholderReplacements = 256;

// text with its placeholders replaced, marker by marker, each time at the
// first occurrence of the marker.
std::string ExpandPlaceholders(std::string text, const std::array<ItemTriple, 16>& buttons,
                               const std::array<ItemTriple, 6>& motionPositive,
                               const std::array<ItemTriple, 6>& motionNegative);

// The first placeholder of text (as it stands after expansion) whose number
// no table has an entry for ("^16x", "\xa5" "-7x"): expansion leaves it as it
// is. "" when there is none.
std::string OutOfRangePlaceholder(const std::string& text);

}  // namespace zeph
