#include "padlink/PadProbe.h"

#include <array>
#include <thread>

#include "padlink/HidPort.h"
#include "padlink/PadCommandChannel.h"
#include "padlink/PadUsbIds.h"
#include "padlink/SerialPort.h"
#include "padlink/SerialSettings.h"

namespace vellumix::padlink {

namespace {

bool Cancelled(const DiscoveryOptions& options) {
    return options.cancel != nullptr && options.cancel->load();
}

bool Guarded(const DiscoveryOptions& options, const std::function<bool()>& probe) {
    if (!options.guard) {
        return probe();
    }
    bool result = false;
    options.guard([&] { result = probe(); });
    return result;
}

}  // namespace

bool IsPadAnswer(const std::uint8_t* reply, int count) {
    return reply != nullptr && count >= kMinPadAnswerBytes && reply[kAckOffset] == kAck;
}

bool ProbeUsb(HidPort& hid, std::chrono::milliseconds wait) {
    std::array<std::uint8_t, kReplyCapacity> reply{};
    const int count = PadCommandChannel::ProbeUsb(hid, reply, wait);
    return IsPadAnswer(reply.data(), count);
}

bool ProbeSerialSpec(SerialPort& serial, std::string_view portSpec,
                     std::chrono::milliseconds replyPause, PortChoice choice) {
    if (serial.IsOpen()) {
        serial.Close();
    }
    if (!serial.Open(portSpec, choice)) {
        return false;
    }
    std::array<std::uint8_t, kReplyCapacity> reply{};
    const int count = PadCommandChannel::ProbeSerial(serial, reply, replyPause);
    if (IsPadAnswer(reply.data(), count)) {
        return true;
    }
    serial.Close();
    return false;
}

bool ProbeSerialPort(SerialPort& serial, int n, std::chrono::milliseconds replyPause) {
    return ProbeSerialSpec(serial, DefaultPortSpec(n), replyPause, PortChoice::kScanned);
}

DiscoveryResult DiscoverPad(PadLink& link, const DiscoveryOptions& options) {
    DiscoveryResult result;
    bool usbPresent = false;
    bool usbAnswered = false;
    HidPort* const hid = link.Hid();
    if (options.tryUsb && hid != nullptr && !Cancelled(options)) {
        Guarded(options, [&] {
            usbPresent = hid->Open();
            result.usbFailure = hid->LastOpenFailure();
            if (result.usbFailure != OpenFailure::kNone) {
                result.usbFailureReason = hid->OpenFailureReason();
            }
            usbAnswered = usbPresent && ProbeUsb(*hid, options.usbWait);
            return usbAnswered;
        });
    }
    if (usbPresent) {
        // A device with the pad's ids is there: its answer decides, and the
        // serial ports wait for the next pass.
        if (usbAnswered) {
            link.Use(PadLinkKind::kUsb);
            result.link = PadLinkKind::kUsb;
        }
        return result;
    }
    SerialPort* const serial = link.Serial();
    if (!options.trySerial || serial == nullptr) {
        return result;
    }
    if (!options.portSpec.empty()) {
        if (Cancelled(options)) {
            return result;
        }
        if (Guarded(options, [&] {
                return ProbeSerialSpec(*serial, options.portSpec, options.replyPause);
            })) {
            link.Use(PadLinkKind::kSerial);
            result.link = PadLinkKind::kSerial;
        } else {
            result.openFailure = serial->LastOpenFailure();
            result.openFailureReason = serial->OpenFailureReason();
        }
        return result;
    }
    for (int n = kFirstComPort; n < kFirstComPort + kComPortCount; ++n) {
        if (Cancelled(options)) {
            break;
        }
        if (!options.pause) {
            std::this_thread::sleep_for(options.portPause);
        } else if (!options.pause(options.portPause)) {
            break;
        }
        OpenFailure why = OpenFailure::kNone;
        std::string reason;
        if (Guarded(options, [&] {
                const bool answered = ProbeSerialPort(*serial, n, options.replyPause);
                why = serial->LastOpenFailure();
                if (why != OpenFailure::kNone) {
                    reason = serial->OpenFailureReason();
                }
                return answered;
            })) {
            link.Use(PadLinkKind::kSerial);
            result.link = PadLinkKind::kSerial;
            result.comNumber = n;
            result.openFailure = OpenFailure::kNone;
            result.openFailureReason.clear();
            break;
        }
        if (why != OpenFailure::kNone && why != OpenFailure::kNoSuchPort &&
            why != OpenFailure::kLeftAlone) {
            result.openFailure = why;
            result.openFailureReason = std::move(reason);
        }
    }
    return result;
}

}  // namespace vellumix::padlink
