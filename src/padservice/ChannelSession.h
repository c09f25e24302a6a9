// The real pad side of the service: a candidate opened through the pad link
// as it is today (a SerialPort for the port folder's links and tty devices,
// a HidPort shown only the one hidraw device for USB), with the command
// channel and the pen reader over it. Everything here is about how a link is
// made; the bus side sees only PadSession.
//
// Until the link is an object of its own, the channel and the pen reader
// pick their transport by the process-wide padlink::g_usbConnected, which
// Open sets. So one process holds USB pads or serial pads, not both at
// once: while a session of one kind is open, opening the other kind fails
// with OpenError::kBusy, saying why. Several pads of one kind at once are
// fine: each session has its own ports and channel.
//
// Thread safety: as PadSession's. The lost event comes from the thread that
// found the line failed (the pen reader's or the worker's).
#pragma once

#include <filesystem>
#include <functional>
#include <memory>

#include "padlink/CommandPayloads.h"
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
    // Makes the HID backend a USB session looks through: hidapi in the
    // program, an in-memory device in tests.
    std::function<std::unique_ptr<padlink::HidBackend>()> hidBackend;
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
