#include "cli/Display.h"

#include <cstdlib>

namespace vellumix::cli {

namespace {

std::string_view Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string_view(value) : std::string_view();
}

// The platforms that need a display server; any other (offscreen, vnc,
// eglfs, ...) brings its own screen.
bool NeedsServer(std::string_view platform) {
    return platform.empty() || platform.starts_with("xcb") || platform.starts_with("wayland");
}

}  // namespace

DisplayEnvironment CurrentDisplayEnvironment() {
    return {Env("QT_QPA_PLATFORM"), Env("DISPLAY"), Env("WAYLAND_DISPLAY")};
}

bool HasDisplay(std::span<const std::string_view> args, const DisplayEnvironment& env) {
    // Qt takes -platform NAME, --platform NAME and -platform=NAME alike, and
    // the argument wins over the environment.
    std::string_view platform = env.qpaPlatform;
    constexpr std::string_view kPlatform = "-platform";
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        if (arg.starts_with("--")) {
            arg.remove_prefix(1);
        }
        if (arg == kPlatform && i + 1 < args.size()) {
            platform = args[i + 1];
        } else if (arg.starts_with(kPlatform) && arg.size() > kPlatform.size() &&
                   arg[kPlatform.size()] == '=') {
            platform = arg.substr(kPlatform.size() + 1);
        }
    }
    return !NeedsServer(platform) || !env.x11Display.empty() || !env.waylandDisplay.empty();
}

}  // namespace vellumix::cli
