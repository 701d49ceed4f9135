// The desktops of the Linux program and how one is chosen when it starts:
// the backends are tried in their order, each probed first, and the first
// that can be used is the program's desktop: the tray on the session bus
// ("sni"), then the terminal, which always can. A backend passed over says
// why in one line on standard error. The environment variable
// ZEPHMONITOR_DESKTOP names a backend to take in their stead; one that is
// unknown or cannot be used is said on standard error, and the usual order
// follows.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "system/EventLoop.h"
#include "system/posix/DescriptorWatch.h"
#include "tray/Desktop.h"

namespace zeph::posix {

inline constexpr char kDesktopVariable[] = "ZEPHMONITOR_DESKTOP";

// What a backend may use of the rest of the program.
struct DesktopHost {
  zeph::EventLoop& loop;
  DescriptorWatch* descriptors;  // the loop's; null when it watches none
};

struct DesktopBackend {
  std::string name;  // as ZEPHMONITOR_DESKTOP names it
  // Whether it can be used here, and why not: a quick look that keeps
  // nothing open.
  std::function<bool(const DesktopHost& host, std::string* why)> probe;
  // The desktop; null, with why, when it cannot be made after all.
  std::function<std::unique_ptr<Desktop>(DesktopHost& host, std::string* why)> make;
};

// The Linux backends, in the order they are tried.
std::vector<DesktopBackend> LinuxDesktopBackends();

struct DesktopChoice {
  std::unique_ptr<Desktop> desktop;  // null when no backend could be used
  std::string name;
  // Why the backend asked for, and each one passed over before the one
  // taken, were not taken: one line each; "" when nothing was passed over.
  std::string note;
};

// The backend named by forced when it can be used (null or empty: none is
// asked for), else the first that can.
DesktopChoice ChooseDesktop(const std::vector<DesktopBackend>& backends, DesktopHost& host,
                            const char* forced);

// The terminal stands in for the desktop (tray/posix/TerminalDesktop.cpp).
std::unique_ptr<Desktop> MakeTerminalDesktop();
// Text on standard error in one write, so that other output never tears it.
void PrintBlock(const std::string& out);
// A box as the terminal prints it, with the answer it was given.
void PrintBoxBlock(const std::string& text, const std::string& title, const std::string& answer);

// The texts of the Startup Settings dialog and the attached reminder, as
// both Linux desktops show them.
inline constexpr char kStartUpText[] = "Launch the Thalix Monitor when Windows starts";
inline constexpr char kReminderTitle[] = " Thalix Not Found";
inline constexpr char kReminderText[] =
    "The Quenlar Thalix does not appear to be installed and selected as your primary "
    "joystick.\nThe Thalix Kinetra software will not function correctly until this has been "
    "corrected.";
inline constexpr char kReminderIgnore[] = "Do not display this error in the future";

// The icon and its menu on the session bus, the rest in the terminal
// (tray/posix/SniDesktop.cpp).
DesktopBackend SniBackend();

}  // namespace zeph::posix
