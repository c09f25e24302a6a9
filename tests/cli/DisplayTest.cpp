#include <gtest/gtest.h>

#include <vector>

#include "cli/Display.h"

namespace vellumix::cli {
namespace {

TEST(HasDisplayTest, ServerPlatformsNeedADisplayOthersDoNot) {
    const struct {
        std::vector<std::string_view> args;
        DisplayEnvironment env;
        bool has;
    } kCases[] = {
        {{}, {}, false},
        {{}, {"", ":0", ""}, true},
        {{}, {"", "", "wayland-0"}, true},
        {{}, {"xcb", "", ""}, false},
        {{}, {"wayland", "", ""}, false},
        {{}, {"offscreen", "", ""}, true},
        {{"-platform", "offscreen"}, {}, true},
        {{"--platform", "offscreen"}, {}, true},
        {{"-platform=vnc"}, {}, true},
        {{"-platform", "xcb"}, {"offscreen", "", ""}, false},  // the argument wins
        {{"-platform"}, {}, false},                            // no name given
        {{"--headless", "-platformx"}, {}, false},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(HasDisplay(c.args, c.env), c.has)
            << (c.args.empty() ? "" : c.args[0]) << " QT_QPA_PLATFORM=" << c.env.qpaPlatform
            << " DISPLAY=" << c.env.x11Display;
    }
}

}  // namespace
}  // namespace vellumix::cli
