#include "padlink/PadLinkOpen.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "cli/Printf.h"
#include "padlink/HidPort.h"
#include "padlink/SerialSettings.h"
#include "padlink/hid/HidapiBackend.h"

namespace vellumix::padlink {

namespace {

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string NoAnswer(const std::string& where) {
    return cli::Printf(kNoPadAnsweredText, where);
}

OpenedPadLink Failed(OpenFailure failure, std::string reason) {
    return {nullptr, failure, std::move(reason)};
}

OpenedPadLink OpenSerial(const PadCandidate& candidate, PadLinkOptions& options) {
    const std::optional<std::string> portText = PortSpecForName(candidate.location);
    if (!portText) {
        return Failed(OpenFailure::kBadSpec, std::string(OpenFailureText(OpenFailure::kBadSpec)));
    }
    auto link = std::make_unique<PadLink>(std::make_unique<SerialPort>(
        options.portFolder.empty() ? DefaultPortFolder() : options.portFolder,
        std::move(options.devicePrefixes), std::move(options.roots)));
    SerialPort& serial = *link->Serial();
    if (!ProbeSerialSpec(serial, *portText, options.replyPause, options.portChoice)) {
        const OpenFailure why = serial.LastOpenFailure();
        return Failed(why, why == OpenFailure::kNone ? NoAnswer(candidate.location)
                                                     : serial.OpenFailureReason());
    }
    link->Use(PadLinkKind::kSerial);
    return {std::move(link), OpenFailure::kNone, {}};
}

OpenedPadLink OpenUsb(const PadCandidate& candidate, PadLinkOptions& options) {
    std::unique_ptr<HidBackend> backend = std::move(options.hidBackend);
    if (!backend) {
        backend = std::make_unique<hid::HidapiBackend>();
    }
    const bool byPath = candidate.kind == PadCandidate::Kind::kUsbPath;
    const std::string where = byPath ? candidate.location : "USB " + FormatUsbIds(candidate.ids);
    auto link = std::make_unique<PadLink>(
        std::make_unique<HidPort>(std::move(backend), byPath ? HidTarget{{}, candidate.location}
                                                             : HidTarget{candidate.ids, {}}));
    HidPort& hid = *link->Hid();
    if (!hid.Open()) {
        // Nothing listed for ids is no failure to the search, which goes on
        // to the serial ports; for one candidate it is no such device.
        const OpenFailure why = hid.LastOpenFailure() == OpenFailure::kNone
                                    ? OpenFailure::kNoSuchPort
                                    : hid.LastOpenFailure();
        return Failed(why, hid.LastOpenFailure() == OpenFailure::kNone
                               ? std::string(UsbOpenFailureText(why))
                               : hid.OpenFailureReason());
    }
    if (!ProbeUsb(hid, options.usbWait)) {
        return Failed(OpenFailure::kNone, NoAnswer(where));
    }
    link->Use(PadLinkKind::kUsb);
    return {std::move(link), OpenFailure::kNone, {}};
}

}  // namespace

OpenedPadLink OpenPadLink(const PadCandidate& candidate, PadLinkOptions options) {
    if (candidate.kind == PadCandidate::Kind::kSerialPort) {
        return OpenSerial(candidate, options);
    }
    return OpenUsb(candidate, options);
}

std::optional<std::string> PortSpecForName(std::string_view name) {
    const std::string lower = Lower(name);
    const std::string prefix = Lower(kComPortPrefix);
    if (lower.size() == prefix.size() + 1 && lower.starts_with(prefix) &&
        std::isdigit(static_cast<unsigned char>(lower.back())) != 0) {
        return DefaultPortSpec(lower.back() - '0');
    }
    if (name.starts_with('/')) {
        return std::string(name) + std::string(kDefaultPortSettings);
    }
    return std::nullopt;
}

}  // namespace vellumix::padlink
