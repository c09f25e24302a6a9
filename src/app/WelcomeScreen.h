// The welcome screen the app draws on the pad's LCD once discovery found the
// pad, before it switches to the tabbed view: the LCD cleared to white, then
// three lines of blue text in the font the pad's demo screens have always
// used. Ten frames with the probe before them, in an order the pad has
// always been sent.
//
// Thread safety: runs on the thread that has the channel to itself at the
// time (the discovery worker, inside its announcement).
#pragma once

#include <stop_token>

namespace vellumix::padlink {
class PadCommandChannel;
}

namespace vellumix::app {

// Sends the frames in order, stopping before the next one once stop is
// requested. True when every frame went out (what the pad answered is not
// examined, as it never was).
bool DrawWelcomeScreen(padlink::PadCommandChannel& channel, std::stop_token stop);

}  // namespace vellumix::app
