#include "padservice/ChannelSession.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "capture/PenReader.h"
#include "padlink/CommandFailure.h"
#include "padlink/HidDevice.h"
#include "padlink/HidPort.h"
#include "padlink/LedWords.h"
#include "padlink/PadCommandChannel.h"
#include "padlink/PadLink.h"
#include "padlink/PadProbe.h"
#include "padlink/PadUsbIds.h"
#include "padlink/PortResolver.h"
#include "padlink/SerialPort.h"
#include "padlink/SerialSettings.h"
#include "padlink/hid/MemoryHidDevice.h"
#include "padservice/ServiceTexts.h"

namespace vellumix::padservice {

namespace {

namespace pl = padlink;

std::string Format(const char* format, const std::string& a, const std::string& b = {}) {
    const int n = std::snprintf(nullptr, 0, format, a.c_str(), b.c_str());
    std::string out(static_cast<std::size_t>(std::max(n, 0)), '\0');
    std::snprintf(out.data(), out.size() + 1, format, a.c_str(), b.c_str());
    return out;
}

// The process-wide transport choice: open sessions of each kind. Goes when
// links become objects of their own.
class TransportGuard {
public:
    static bool Acquire(Transport kind) {
        std::lock_guard lock(s_lock);
        if (s_open[Other(kind)] > 0) {
            return false;
        }
        ++s_open[Index(kind)];
        return true;
    }
    static void Release(Transport kind) {
        std::lock_guard lock(s_lock);
        --s_open[Index(kind)];
    }

private:
    static int Index(Transport kind) { return kind == Transport::kUsb ? 0 : 1; }
    static int Other(Transport kind) { return 1 - Index(kind); }
    static inline std::mutex s_lock;
    static inline int s_open[2] = {0, 0};
};

// Lists only the one device a USB session is for, so HidPort opens that
// device and no other with the same ids.
class OnePathBackend : public pl::HidBackend {
public:
    OnePathBackend(std::unique_ptr<pl::HidBackend> inner, std::string path)
        : m_inner(std::move(inner)), m_path(std::move(path)) {}
    std::vector<pl::HidDeviceInfo> Enumerate(std::uint16_t vendorId,
                                             std::uint16_t productId) override {
        std::vector<pl::HidDeviceInfo> devices = m_inner->Enumerate(vendorId, productId);
        std::erase_if(devices, [&](const pl::HidDeviceInfo& d) { return d.path != m_path; });
        return devices;
    }
    pl::HidOpenResult Open(const pl::HidDeviceInfo& info) override { return m_inner->Open(info); }

private:
    std::unique_ptr<pl::HidBackend> m_inner;
    std::string m_path;
};

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
            return {StepError::kRefused, Format(text::kNothingSent, std::string(command))};
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
        if (!TransportGuard::Acquire(m_candidate.transport)) {
            return {OpenError::kBusy,
                    Format(text::kOtherTransport,
                           m_candidate.transport == Transport::kUsb ? "serial" : "USB")};
        }
        m_holdsTransport = true;
        const OpenResult opened =
            m_candidate.transport == Transport::kUsb ? OpenUsb() : OpenSerial();
        if (!opened.Ok()) {
            Close();
            return opened;
        }
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
        if (m_holdsTransport) {
            TransportGuard::Release(m_candidate.transport);
            m_holdsTransport = false;
        }
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

    OpenResult NoPad(pl::OpenFailure failure, std::string_view reason) const {
        if (failure == pl::OpenFailure::kBusy) {
            return {OpenError::kBusy,
                    Format(text::kPortFailed, m_candidate.port, std::string(reason))};
        }
        if (failure == pl::OpenFailure::kNone) {
            return {OpenError::kNoAnswer, Format(text::kNoPadOn, m_candidate.port)};
        }
        return {OpenError::kNoAnswer,
                Format(text::kPortFailed, m_candidate.port, std::string(reason))};
    }

    OpenResult OpenSerial() {
        // No system devices: a candidate names its device or its link.
        m_link = std::make_unique<pl::PadLink>(
            std::make_unique<pl::SerialPort>(m_env.portFolder, std::vector<std::string>{}));
        pl::SerialPort& serial = *m_link->Serial();
        const std::string& key = m_candidate.key;
        const bool comLink =
            key.size() == pl::kComPortPrefix.size() + 1 && key.starts_with(pl::kComPortPrefix);
        const std::string spec = comLink ? pl::DefaultPortSpec(key.back() - '0')
                                         : key + std::string(pl::kDefaultPortSettings);
        if (!pl::ProbeSerialSpec(serial, spec)) {
            return NoPad(serial.LastOpenFailure(), serial.OpenFailureReason());
        }
        m_link->Use(pl::PadLinkKind::kSerial);
        return {};
    }

    OpenResult OpenUsb() {
        m_link = std::make_unique<pl::PadLink>(std::make_unique<pl::HidPort>(
            std::make_unique<OnePathBackend>(m_env.hidBackend(), m_candidate.key)));
        pl::HidPort& hid = *m_link->Hid();
        if (!hid.Open(pl::PAD_USB_VENDOR_ID, pl::PAD_USB_PRODUCT_ID)) {
            const pl::OpenFailure failure = hid.LastOpenFailure();
            return NoPad(failure == pl::OpenFailure::kNone ? pl::OpenFailure::kNoSuchPort : failure,
                         hid.OpenFailureReason().empty()
                             ? pl::OpenFailureText(pl::OpenFailure::kNoSuchPort)
                             : hid.OpenFailureReason());
        }
        if (!pl::ProbeUsb(hid)) {
            return NoPad(pl::OpenFailure::kNone, {});
        }
        m_link->Use(pl::PadLinkKind::kUsb);
        return {};
    }

    Candidate m_candidate;
    Events m_events;
    ChannelEnvironment m_env;
    bool m_holdsTransport = false;
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
