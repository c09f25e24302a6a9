#include "padctl/ServicePad.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <vector>

#include "cli/Printf.h"
#include "padctl/PadCtl.h"
#include "padlink/PortResolver.h"
#include "padservice/Interface.h"
#include "padservice/ServiceClient.h"

namespace vellumix::tools::padctl {

namespace {

namespace ps = padservice;
using Clock = std::chrono::steady_clock;

// A Points wait is cut into slices so Ctrl-C ends a capture promptly.
constexpr std::chrono::milliseconds kProcessSlice{50};
constexpr std::string_view kUsbName = "USB";

// The status padctl gives a call's error: its own usage status for a
// refused argument, "no pad" for a pad that cannot be had, "failed" for the
// rest.
int StatusOf(const std::string& error) {
    if (error == ps::error::kBadArgument) {
        return kExitUsage;
    }
    if (error == ps::error::kBusy) {
        return kExitNoPad;
    }
    return kExitFailed;
}

// "COM1" or a device path as the service's Port shows it.
bool SamePort(const std::string& wanted, const std::string& port) {
    if (wanted.size() == port.size() &&
        std::equal(wanted.begin(), wanted.end(), port.begin(),
                   [](char a, char b) { return std::toupper(a) == std::toupper(b); })) {
        return true;
    }
    return wanted == port;
}

}  // namespace

ServicePad::ServicePad(std::unique_ptr<ps::ServiceClient> client, std::string path,
                       std::string linkName)
    : m_client(std::move(client)), m_path(std::move(path)), m_linkName(std::move(linkName)) {}

ServicePad::~ServicePad() {
    try {
        m_client->Release(m_path);
    } catch (const ps::ServiceError&) {
        // Gone already; leaving the bus ends the claim anyway.
    }
}

std::unique_ptr<ServicePad> ServicePad::Claim(const std::string& busAddress,
                                              const ServiceChoice& choice,
                                              ServiceFailure& failure) {
    std::unique_ptr<ps::ServiceClient> client;
    std::vector<ps::PadInfo> pads;
    try {
        client = std::make_unique<ps::ServiceClient>(busAddress);
        for (const std::string& path : client->PadPaths()) {
            pads.push_back(client->Pad(path));
        }
    } catch (const ps::ServiceError& e) {
        failure = {kExitNoPad, cli::Printf(msg::kNoService, e.Message())};
        return nullptr;
    }
    // USB first, as padctl's own search goes.
    std::stable_partition(pads.begin(), pads.end(),
                          [](const ps::PadInfo& p) { return p.transport == ps::kTransportUsb; });
    std::optional<ServiceFailure> telling;
    for (const ps::PadInfo& pad : pads) {
        const bool usb = pad.transport == ps::kTransportUsb;
        if ((choice.usb && !usb) || (!choice.port.empty() && !SamePort(choice.port, pad.port))) {
            continue;
        }
        try {
            client->Claim(pad.path);
            return std::unique_ptr<ServicePad>(new ServicePad(
                std::move(client), pad.path, usb ? std::string(kUsbName) : pad.port));
        } catch (const ps::ServiceError& e) {
            // A pad another program holds says more than a silent one.
            if (!telling || e.Name() == ps::error::kBusy) {
                telling = ServiceFailure{kExitNoPad, e.Message()};
            }
        }
    }
    if (telling) {
        failure = *telling;
    } else if (!choice.port.empty()) {
        failure = {kExitNoPad, cli::Printf(msg::kNoPadOnPort, choice.port) +
                                   cli::Printf(msg::kBecause, msg::kNoSuchServicePort)};
    } else {
        failure = {kExitNoPad, choice.usb ? msg::kNoServiceUsbPad : msg::kNoServicePad};
    }
    return nullptr;
}

template <typename F>
std::optional<ServiceFailure> ServicePad::Call(F&& call) {
    try {
        call();
    } catch (const ps::ServiceError& e) {
        return ServiceFailure{StatusOf(e.Name()), e.Message()};
    }
    return std::nullopt;
}

std::optional<ServiceFailure> ServicePad::Clear() {
    return Call([&] { m_client->Clear(m_path); });
}

std::optional<ServiceFailure> ServicePad::ShowText(int x, int y, const std::string& text) {
    return Call([&] { m_client->ShowText(m_path, x, y, text); });
}

std::optional<ServiceFailure> ServicePad::ShowImage(const std::string& path) {
    // Read and checked before the first command; the service checks again.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return ServiceFailure{kExitUsage,
                              cli::Printf(msg::kCannotReadPicture, path) + std::strerror(errno)};
    }
    auto failure = Call([&] { m_client->ShowImage(m_path, fd); });
    ::close(fd);
    return failure;
}

std::optional<ServiceFailure> ServicePad::SetLeds(padlink::LedWord word) {
    return Call([&] {
        m_client->SetLeds(m_path, std::string(padlink::kLedWords[static_cast<int>(word)]));
    });
}

std::optional<ServiceFailure> ServicePad::Capture(int seconds, const std::atomic<bool>* interrupt,
                                                  const Batch& onBatch, bool& lost,
                                                  sigformats::PointTime& duration) {
    lost = false;
    std::vector<sigformats::SignaturePoint> points;
    sigformats::PointTimes times;
    m_client->OnPoints(m_path, [&](const std::vector<ps::ReceivedPoint>& batch) {
        points.clear();
        times.clear();
        for (const ps::ReceivedPoint& p : batch) {
            points.push_back(p.down ? sigformats::SignaturePoint{p.x, p.y}
                                    : sigformats::PEN_UP_POINT);
            times.push_back(std::llround(p.ms * 1000.0));
        }
        onBatch(points, times);
    });
    m_client->OnPadLost(m_path, [&] { lost = true; });
    const auto start = Clock::now();
    if (auto failure = Call([&] { m_client->StartCapture(m_path); })) {
        return failure;
    }
    const auto deadline = start + std::chrono::seconds(seconds);
    while (!lost && Clock::now() < deadline && !(interrupt != nullptr && interrupt->load())) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (!m_client->Process(std::clamp(left, std::chrono::milliseconds{0}, kProcessSlice))) {
            lost = true;
        }
    }
    if (lost) {
        return std::nullopt;
    }
    auto failure = Call([&] { m_client->StopCapture(m_path); });
    // Every Points signal of the capture came before StopCapture's answer;
    // the ones that arrived during the call are handled now.
    m_client->Process(std::chrono::milliseconds{0});
    duration = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
    return failure;
}

}  // namespace vellumix::tools::padctl
