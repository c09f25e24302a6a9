#include "padservice/ChannelSession.h"

#include <algorithm>
#include <cstdio>

#include "capture/PenReader.h"
#include "cli/Printf.h"
#include "padlink/CommandFailure.h"
#include "padlink/HidDevice.h"
#include "padlink/LedWords.h"
#include "padlink/PadCommandChannel.h"
#include "padlink/PadLink.h"
#include "padlink/PadLinkOpen.h"
#include "padservice/ServiceTexts.h"

namespace vellumix::padservice {

namespace {

namespace pl = padlink;

StepResult Step(pl::CommandResult r, std::string_view command, pl::Expect expect) {
    if (pl::CommandSucceeded(r.outcome, expect)) {
        return {};
    }
    switch (r.outcome) {
        case pl::PadOutcome::kLinkDown:
            return {StepError::kPadLost, pl::CommandFailureText(r.outcome, command, expect)};
        case pl::PadOutcome::kNoAnswer:
            return {StepError::kNoAnswer, pl::CommandFailureText(r.outcome, command, expect)};
        case pl::PadOutcome::kRefused:
            // The service checks every argument first; the channel's own
            // check is the last line.
            return {StepError::kRefused, cli::Printf(text::kNothingSent, std::string(command))};
        default:
            break;
    }
    return {StepError::kRefused, pl::CommandFailureText(r.outcome, command, expect)};
}

class ChannelSession : public PadSession {
public:
    ChannelSession(Candidate candidate, Events events, const ChannelEnvironment& environment)
        : m_candidate(std::move(candidate)), m_events(std::move(events)), m_env(environment) {}
    ~ChannelSession() override { Close(); }

    OpenResult Open() override {
        Close();
        pl::PadLinkOptions options = Options();
        if (m_candidate.transport == Transport::kUsb) {
            if (OpenResult other = OtherDevice(*options.hidBackend); !other.Ok()) {
                return other;
            }
        }
        pl::OpenedPadLink opened = pl::OpenPadLink(Where(), std::move(options));
        if (!opened.link) {
            return NoPad(opened);
        }
        m_link = std::move(opened.link);
        m_channel = std::make_unique<pl::PadCommandChannel>(*m_link);
        m_channel->SetLinkDownHandler(m_events.lost);
        return {};
    }

    void Close() override {
        const bool capturing = m_reader != nullptr;
        m_reader.reset();
        if (m_channel && capturing && !m_channel->LinkDown()) {
            m_channel->StopCapture();
        }
        m_channel.reset();
        m_link.reset();
    }

    bool CheckLink() override {
        if (!m_channel) {
            return false;
        }
        m_channel->CheckLink();
        return !m_channel->LinkDown();
    }

    StepResult Clear() override {
        if (!m_channel) {
            return Lost("ClearDisplay");
        }
        return Step(m_channel->ClearDisplay(), "ClearDisplay", pl::Expect::kAnswer);
    }

    StepResult ShowText(int x, int y, std::string_view text) override {
        if (!m_channel) {
            return Lost("DrawText");
        }
        return Step(m_channel->DrawText(x, y, text), "DrawText", pl::Expect::kAck);
    }

    StepResult ShowPixels(std::span<const std::uint8_t> pixels) override {
        if (!m_channel) {
            return Lost("DisplayImage");
        }
        return Step(m_channel->DisplayImage(pixels), "DisplayImage", pl::Expect::kAck);
    }

    StepResult SetLeds(pl::LedWord word) override {
        if (!m_channel) {
            return Lost("SetLedState");
        }
        const pl::LedCommand sent = pl::SetLeds(*m_channel, word);
        return Step(sent.result, sent.command, sent.expect);
    }

    StepResult StartCapture(const CaptureSetup& setup) override {
        if (!m_channel) {
            return Lost("StartCapture");
        }
        m_reader.reset();
        if (setup.clear) {
            if (StepResult r = Clear(); !r.Ok()) {
                return r;
            }
        }
        if (!setup.prompt.empty()) {
            if (StepResult r =
                    Step(m_channel->SetTextColor(kPromptColour), "SetTextColor", pl::Expect::kAck);
                !r.Ok()) {
                return r;
            }
            if (StepResult r = ShowText(kPromptX, kPromptY, setup.prompt); !r.Ok()) {
                return r;
            }
        }
        // As padctl and the Signature page: what the three frames answer is
        // not looked at; only a failed line stops the capture.
        const pl::CommandResult started = m_channel->StartCapture();
        if (started.outcome == pl::PadOutcome::kLinkDown) {
            return Step(started, "StartCapture", pl::Expect::kAnswer);
        }
        m_reader = std::make_unique<capture::PenReader>(*m_channel, m_events.points);
        m_reader->Start();
        return {};
    }

    StepResult StopCapture() override {
        m_reader.reset();
        if (!m_channel) {
            return Lost("StopCapture");
        }
        return Step(m_channel->StopCapture(), "StopCapture", pl::Expect::kAnswer);
    }

private:
    StepResult Lost(std::string_view command) const {
        return {StepError::kPadLost,
                pl::CommandFailureText(pl::PadOutcome::kLinkDown, command, pl::Expect::kAnswer)};
    }

    // Where the watch saw the pad: a serial candidate's key is its COMn
    // link or its device, a USB one's its HID device's path.
    pl::PadCandidate Where() const {
        return m_candidate.transport == Transport::kUsb ? pl::UsbPathCandidate(m_candidate.key)
                                                        : pl::SerialCandidate(m_candidate.key);
    }

    pl::PadLinkOptions Options() const {
        pl::PadLinkOptions options;
        options.portFolder = m_env.portFolder;
        // A COMn candidate is the port folder's link alone, never a system
        // device of that number.
        options.devicePrefixes = {};
        // Seen by the watch, not named by a user: the console is never
        // written to.
        options.portChoice = pl::PortChoice::kScanned;
        if (m_candidate.transport == Transport::kUsb) {
            options.hidBackend = m_env.hidBackend();
        }
        return options;
    }

    // A hidraw node's number is given afresh to the next device that comes:
    // the path the watch saw the pad at may lead to another device by now,
    // which is never written to.
    OpenResult OtherDevice(pl::HidBackend& hid) const {
        for (const pl::HidDeviceInfo& device : hid.EnumerateAll()) {
            const pl::UsbIds ids{device.vendorId, device.productId};
            if (device.path == m_candidate.key && ids != m_env.usbIds) {
                return {OpenError::kNoAnswer,
                        cli::Printf(text::kOtherDevice, m_candidate.port, pl::FormatUsbIds(ids),
                                    pl::FormatUsbIds(m_env.usbIds))};
            }
        }
        return {};
    }

    OpenResult NoPad(const pl::OpenedPadLink& opened) const {
        if (opened.failure == pl::OpenFailure::kNone) {
            return {OpenError::kNoAnswer, opened.reason};  // "no pad answered on ..."
        }
        return {opened.failure == pl::OpenFailure::kBusy ? OpenError::kBusy : OpenError::kNoAnswer,
                cli::Printf(text::kPortFailed, m_candidate.port, opened.reason)};
    }

    Candidate m_candidate;
    Events m_events;
    ChannelEnvironment m_env;
    // This pad's own link; outlives the channel over it.
    std::unique_ptr<pl::PadLink> m_link;
    std::unique_ptr<pl::PadCommandChannel> m_channel;
    // Destroyed (stopped) before the channel it reads.
    std::unique_ptr<capture::PenReader> m_reader;
};

}  // namespace

ChannelSessionFactory::ChannelSessionFactory(ChannelEnvironment environment)
    : m_environment(std::move(environment)) {}

std::unique_ptr<PadSession> ChannelSessionFactory::Create(const Candidate& candidate,
                                                          PadSession::Events events) {
    return std::make_unique<ChannelSession>(candidate, std::move(events), m_environment);
}

}  // namespace vellumix::padservice
