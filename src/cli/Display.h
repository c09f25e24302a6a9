// Whether a windowed Qt program will find a display, decided before Qt is
// started: without one Qt aborts with advice about reinstalling, where the
// program should say what to do instead.
#pragma once

#include <span>
#include <string_view>

namespace vellumix::cli {

// The environment the answer depends on; empty means unset.
struct DisplayEnvironment {
    std::string_view qpaPlatform;     // QT_QPA_PLATFORM
    std::string_view x11Display;      // DISPLAY
    std::string_view waylandDisplay;  // WAYLAND_DISPLAY
};

DisplayEnvironment CurrentDisplayEnvironment();

// False only when nothing can show a window: no -platform argument, no
// platform other than X11 or Wayland asked for, and neither of their
// displays named. args excludes the program name.
bool HasDisplay(std::span<const std::string_view> args, const DisplayEnvironment& env);

}  // namespace vellumix::cli
