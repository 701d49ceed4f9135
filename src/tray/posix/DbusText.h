// Text for the bus. D-Bus strings are UTF-8, and a connection that is sent
// anything else is refused the message; the program's own texts are bytes
// in the Windows code page (profiles, game names, paths), so what is not
// UTF-8 already is read as that code page.
#pragma once

#include <string>

namespace zeph::posix {

// text itself when it is valid UTF-8 without NULs; otherwise each byte read
// as Windows-1252 (its five unassigned bytes as the C1 controls), NULs left
// out.
std::string DbusText(const std::string& text);

// For a notification body on a server that reads markup: '&', '<' and '>'
// as entities.
std::string MarkupEscaped(const std::string& text);

}  // namespace zeph::posix
