// What the main frame hands every page: the prompts through which it asks the
// user, the one command channel to the pad, and the pad activity the pages
// of one view share (PadActivity.h). All of them outlive the pages.
#pragma once

namespace vellumix::padlink {
class PadCommandChannel;
}

namespace vellumix::pages {

class IPrompts;
class PadActivity;

struct PageServices {
    IPrompts& prompts;
    padlink::PadCommandChannel& channel;
    // Shared by the pages of one view, so that one page's long work holds
    // off the tab change; null: the page keeps one of its own.
    PadActivity* activity = nullptr;
};

}  // namespace vellumix::pages
