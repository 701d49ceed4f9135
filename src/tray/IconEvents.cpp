#include "tray/IconEvents.h"

#include <cmath>

namespace zeph {

std::optional<IconEvent> Form_MouseMove(int, int, double x, double y) {
  if (y != 0) return std::nullopt;
  const auto message = static_cast<uint32_t>(std::lround(x));
  if (message == kIconLeftDoubleClick) return IconEvent::Activated;
  if (message == kIconRightButtonUp) return IconEvent::MenuRequested;
  return std::nullopt;
}

}  // namespace zeph
