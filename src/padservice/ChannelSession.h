// The real pad side of the service: a candidate opened as a pad link of its
// own (padlink::OpenPadLink: a serial candidate by its port, a USB one by its
// HID device's path), with a command channel and a pen reader over it. Each
// claimed pad has its own link, so a service serves serial and USB pads side
// by side. Everything here is about how a link is made; the bus side sees
// only PadSession.
//
// Thread safety: as PadSession's. The lost event comes from the thread that
// found the line failed (the pen reader's or the worker's).
#pragma once

#include <filesystem>
#include <functional>
#include <memory>

#include "padlink/CommandPayloads.h"
#include "padlink/PadUsbIds.h"
#include "padservice/PadSession.h"

namespace vellumix::padlink {
class HidBackend;
}

namespace vellumix::padservice {

// Where StartCapture's prompt goes: the LCD's top left corner, a small
// margin in; in black, whatever colour the pad's text was left in.
inline constexpr int kPromptX = 8;
inline constexpr int kPromptY = 8;
inline constexpr padlink::ColorRef kPromptColour = padlink::MakeColorRef(0x00, 0x00, 0x00);

struct ChannelEnvironment {
    // Where the COMn links live (padlink::DefaultPortFolder() in the program).
    std::filesystem::path portFolder;
    // Makes the HID backend a USB session opens its device through: hidapi
    // in the program, in-memory devices in tests.
    std::function<std::unique_ptr<padlink::HidBackend>()> hidBackend;
    // The pad's USB ids: a USB candidate is opened only while the device at
    // its path has them.
    padlink::UsbIds usbIds;
};

class ChannelSessionFactory : public PadSessionFactory {
public:
    explicit ChannelSessionFactory(ChannelEnvironment environment);
    std::unique_ptr<PadSession> Create(const Candidate& candidate,
                                       PadSession::Events events) override;

private:
    ChannelEnvironment m_environment;
};

}  // namespace vellumix::padservice
