// padctl's commands through the capture service (--service): a pad found
// among the service's and claimed on the session bus, and each command as
// the service's call, failing with the texts and exit statuses padctl gives
// on a link of its own (the service words a pad's failures as padctl does).
// The claim ends when the object goes (or the process does).
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "padlink/LedWords.h"
#include "sigformats/PointTimes.h"
#include "sigformats/SignaturePoint.h"

namespace vellumix::padservice {
class ServiceClient;
}

namespace vellumix::tools::padctl {

struct ServiceFailure {
    int status = 1;
    std::string text;
};

// Which of the service's pads padctl may take: --port, --usb, or any, USB
// first as padctl's own search goes.
struct ServiceChoice {
    bool usb = false;
    std::string port;  // "COM1" or a device path; empty: any
};

class ServicePad {
public:
    using Batch = std::function<void(std::span<const sigformats::SignaturePoint> points,
                                     std::span<const sigformats::PointTime> times)>;

    // Claims the first pad of the choice that answers. busAddress: empty
    // for the session bus.
    static std::unique_ptr<ServicePad> Claim(const std::string& busAddress,
                                             const ServiceChoice& choice, ServiceFailure& failure);
    ~ServicePad();

    // Where the pad answered, as probe prints it: "USB" or its port.
    const std::string& LinkName() const { return m_linkName; }

    std::optional<ServiceFailure> Clear();
    std::optional<ServiceFailure> ShowText(int x, int y, const std::string& text);
    std::optional<ServiceFailure> ShowImage(const std::string& path);
    std::optional<ServiceFailure> SetLeds(padlink::LedWord word);
    // Captures until `seconds` have passed, interrupt is set, or the pad is
    // lost (lost is set then); each Points signal goes to onBatch with the
    // times in microseconds since the capture started. Returns the capture's
    // length in microseconds.
    std::optional<ServiceFailure> Capture(int seconds, const std::atomic<bool>* interrupt,
                                          const Batch& onBatch, bool& lost,
                                          sigformats::PointTime& duration);

private:
    ServicePad(std::unique_ptr<padservice::ServiceClient> client, std::string path,
               std::string linkName);
    template <typename F>
    std::optional<ServiceFailure> Call(F&& call);

    std::unique_ptr<padservice::ServiceClient> m_client;
    std::string m_path;
    std::string m_linkName;
};

}  // namespace vellumix::tools::padctl
