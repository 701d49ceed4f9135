// What the notification icon's mouse messages mean. The shell reports them
// to the icon's window as a mouse move whose X is the message number (the
// window measures in pixels) and whose Y is 0.
#pragma once

#include <cstdint>
#include <optional>

namespace zeph {

enum class IconEvent { Activated, MenuRequested };

// Mouse messages of the notification icon, as the shell reports them.
constexpr uint32_t kIconLeftDoubleClick = 0x203;  // WM_LBUTTONDBLCLK
constexpr uint32_t kIconRightButtonUp = 0x205;    // WM_RBUTTONUP

// The event a mouse message over the icon stands for: a double click
// activates it, the right button released asks for its menu; none for the
// other messages, and for a move that is not the icon's (Y not 0).
std::optional<IconEvent> Form_MouseMove(int button, int shift, double x, double y);

}  // namespace zeph
