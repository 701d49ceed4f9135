// A reason for the program to stop. Routines below the main form never end
// the process: they return one of these, and the form, on top, shows its
// box and ends the program the way it says.
#pragma once

#include <optional>
#include <string>

#include "system/Boxes.h"

namespace zeph {

struct Stop {
  enum class Way {
    Closing,      // the closing sequence: event utility closed, mode cleared, icon removed
    ModeCleared,  // asked through the settings file: mode cleared and icon removed only
    AtOnce,       // nothing more: the process ends where it stands
  };
  struct Box {
    std::string text, title;
    BoxIcon icon = BoxIcon::Critical;
  };
  Way way = Way::Closing;
  std::optional<Box> box;  // shown before anything else

  static Stop Closing() { return {Way::Closing, std::nullopt}; }
  static Stop WithBox(Way way, std::string text, std::string title,
                      BoxIcon icon = BoxIcon::Critical) {
    return {way, Box{std::move(text), std::move(title), icon}};
  }
};

// The outcome of a routine that may ask the program to stop.
using MaybeStop = std::optional<Stop>;

}  // namespace zeph
