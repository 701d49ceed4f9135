// Text for a terminal from what profiles and game files hold. Their bytes
// are other people's: an escape sequence in them must not move the cursor,
// retitle the window or hide a line of the report, yet the reader should see
// that it is there.
#pragma once

#include <string>

namespace zeph {

// text with every control byte (below 0x20, and DEL) but the line ends LF
// and CR LF written as "\xNN" with two lowercase hex digits: ESC is "\x1b",
// a TAB "\x09", a CR that ends no line "\x0d". Backslashes are not doubled:
// the program's paths are full of them, and "\x" followed by the digits of
// a control byte is rare enough in a path name to read as that byte. Bytes
// from 0x80 up are text in the ANSI code page and pass as they are.
std::string TerminalText(const std::string& text);

}  // namespace zeph
