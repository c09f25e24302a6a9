#include "app/WelcomeScreen.h"

#include <chrono>
#include <string_view>

#include "padlink/CommandPayloads.h"
#include "padlink/FontPresets.h"
#include "padlink/PadCommandChannel.h"
#include "padlink/PadProtocol.h"

namespace vellumix::app {

namespace {

constexpr padlink::ColorRef kWelcomeBackground = padlink::MakeColorRef(0xFF, 0xFF, 0xFF);
constexpr padlink::ColorRef kWelcomeTextColor = padlink::MakeColorRef(0x00, 0x00, 0xFF);

struct WelcomeLine {
    int x;
    int y;
    std::string_view text;
};
constexpr WelcomeLine kWelcomeMaker{105, 30, "NORVALE"};
constexpr WelcomeLine kWelcomeProduct{75, 60, "Vellumix Demo"};
constexpr WelcomeLine kWelcomeGreeting{100, 160, "Welcome"};

// Clearing the whole LCD and drawing text take the pad a while: the welcome
// screen's colours and its clear get the long wait (the pages' own use of
// these commands waits less); the font and text mode take the usual short one.
constexpr std::chrono::milliseconds kWelcomeDrawTimeout = padlink::kLongReplyTimeout;

}  // namespace

bool DrawWelcomeScreen(padlink::PadCommandChannel& channel, std::stop_token stop) {
    const auto send = [&stop](auto&& command) {
        if (stop.stop_requested()) {
            return false;
        }
        command();
        return true;
    };
    const auto text = [&](const WelcomeLine& line) {
        return send([&] { channel.DrawText(line.x, line.y, line.text); });
    };
    const auto textColor = [&] {
        return send([&] { channel.SetTextColor(kWelcomeTextColor, kWelcomeDrawTimeout); });
    };
    const padlink::FontBytes& font = padlink::kFontWelcome;
    return send([&] { channel.SetFillColor(kWelcomeBackground, kWelcomeDrawTimeout); }) &&
           send([&] {
               channel.FillRectangle(0, 0, padlink::kLcdMaxX, padlink::kLcdMaxY,
                                     kWelcomeDrawTimeout);
           }) &&
           send([&] { channel.SetFont(font[0], font[1], font[2], font[3], font[4], font[5]); }) &&
           textColor() && send([&] { channel.SetTextMode(padlink::kTextModeNoBackground); }) &&
           text(kWelcomeMaker) && text(kWelcomeProduct) &&
           // The pad has always been sent the text colour again before the
           // last line.
           textColor() && text(kWelcomeGreeting);
}

}  // namespace vellumix::app
