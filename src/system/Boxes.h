// Message boxes: the one part of the desktop that every subsystem uses. The
// desktop (tray/Desktop.h) implements it; a component that only shows boxes
// gets only this.
#pragma once

#include <string>

namespace zeph {

enum class BoxButtons { Ok, OkCancel, YesNo };
enum class BoxIcon { None, Critical, Question, Exclamation, Information };
enum class BoxAnswer { Ok, Cancel, Yes, No };

// The program's title: the default box title.
inline constexpr const char* kProgramTitle = "Thalix Monitor";

class Boxes {
 public:
  virtual ~Boxes() = default;
  // Modal; messages keep flowing while it is open. A foreground box is
  // brought in front of other programs' windows (MB_SETFOREGROUND).
  virtual BoxAnswer ShowBox(const std::string& text, const std::string& title, BoxButtons buttons,
                            BoxIcon icon, bool foreground = false) = 0;
};

}  // namespace zeph
