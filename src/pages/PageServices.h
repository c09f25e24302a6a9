// What the main frame hands every page: the prompts through which it asks the
// user, and the one command channel to the pad. Both belong to the main frame
// and outlive the pages.
#pragma once

namespace vellumix::app {
class IPrompts;
}
namespace vellumix::padlink {
class PadCommandChannel;
}

namespace vellumix::pages {

struct PageServices {
    app::IPrompts& prompts;
    padlink::PadCommandChannel& channel;
};

}  // namespace vellumix::pages
