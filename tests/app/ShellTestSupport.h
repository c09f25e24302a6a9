// Pads for the shell's tests: the virtual pad behind the in-memory USB device,
// a recording pad that keeps every frame the host wrote and answers as told,
// and a temporary port folder for the serial cases.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/PadEngine.h"
#include "hosts/UsbHost.h"
#include "padlink/DiscoveryThread.h"
#include "padlink/HidPort.h"
#include "padlink/PadCommandChannel.h"
#include "padlink/PadProtocol.h"
#include "padlink/PadUsbIds.h"
#include "padlink/PortResolver.h"
#include "padlink/SerialPort.h"
#include "padlink/hid/MemoryHidDevice.h"
#include "padsim/PadTestSupport.h"
#include "support/PadTimingHid.h"

namespace vellumix::app::test {

using padsim::test::Bytes;

// What the pad's trace shows for a probe and the welcome screen, in order.
inline const std::vector<std::string> kProbeAndWelcomeTrace = {
    "Probe",
    "SetFillColor r=255 g=255 b=255",
    "FillRectangle x=0 y=0 x2=319 y2=239",
    "SetFont b1=16 b2=12 b3=16 b4=0 b5=0 b6=3",
    "SetTextColor r=0 g=0 b=255",
    "SetTextMode mode=1",
    "DrawText x=105 y=30 count=7 text=\"NORVALE\"",
    "DrawText x=75 y=60 count=13 text=\"Vellumix Demo\"",
    "SetTextColor r=0 g=0 b=255",
    "DrawText x=100 y=160 count=7 text=\"Welcome\"",
};

// Polls `done` without running the event loop.
template <typename Predicate>
bool WaitUntil(Predicate done, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// A device with the pad's ids on an in-memory HID backend, and the HidPort
// over it. The port owns the backend; the device stays reachable here, and
// timing makes chosen commands slow (PadTimingHid.h).
struct MemoryUsb {
    MemoryUsb() {
        auto owned = std::make_unique<padlink::hid::MemoryHidBackend>();
        backend = owned.get();
        auto timed = std::make_unique<testsupport::PadTimingHidBackend>(std::move(owned));
        timing = timed.get();
        hid = std::make_unique<padlink::HidPort>(std::move(timed));
    }
    std::shared_ptr<padlink::hid::MemoryHidDevice> AddPadDevice() {
        return backend->AddDevice(padlink::PAD_USB_VENDOR_ID, padlink::PAD_USB_PRODUCT_ID);
    }

    padlink::hid::MemoryHidBackend* backend;
    testsupport::PadTimingHidBackend* timing;
    std::unique_ptr<padlink::HidPort> hid;
};

// The virtual pad on the in-memory USB device; its trace collects
// everything the pad was sent.
struct VirtualUsbPad {
    explicit VirtualUsbPad(MemoryUsb& usb) : device(usb.AddPadDevice()), host(engine, device) {
        host.Start();
    }

    // Trace lines since the last call are appended to `trace` and returned.
    const std::vector<std::string>& Trace() {
        for (std::string& line : engine.TakeTrace()) {
            trace.push_back(std::move(line));
        }
        return trace;
    }
    bool TraceHas(const std::string& line) {
        const auto& lines = Trace();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    padsim::engine::PadEngine engine;
    std::shared_ptr<padlink::hid::MemoryHidDevice> device;
    padsim::hosts::UsbHost host;
    std::vector<std::string> trace;
};

// Joins the host's output reports into frames, keeps them, and answers each
// frame: the probe with probeReply, everything else with the ACK frame.
class RecordingUsbPad {
public:
    explicit RecordingUsbPad(MemoryUsb& usb, Bytes probeReply = padsim::test::Ack())
        : m_device(usb.AddPadDevice()), m_probeReply(std::move(probeReply)) {
        m_device->SetOutputHandler(
            [this](const std::uint8_t* report, std::size_t length) { OnReport(report, length); });
    }
    ~RecordingUsbPad() { m_device->SetOutputHandler({}); }

    std::vector<Bytes> Frames() const {
        std::lock_guard lock(m_mutex);
        return m_frames;
    }
    std::size_t FrameCount() const {
        std::lock_guard lock(m_mutex);
        return m_frames.size();
    }

private:
    void OnReport(const std::uint8_t* report, std::size_t length) {
        namespace hidreport = padlink::hidreport;
        if (length <= hidreport::kChunkOffset) {
            return;
        }
        const std::uint8_t chunk = report[hidreport::kChunkOffset];
        const std::size_t count = std::min<std::size_t>(chunk & hidreport::kChunkCountMask,
                                                        length - hidreport::kDataOffset);
        Bytes reply;
        {
            std::lock_guard lock(m_mutex);
            m_partial.insert(m_partial.end(), report + hidreport::kDataOffset,
                             report + hidreport::kDataOffset + count);
            if ((chunk & hidreport::kChunkMore) != 0) {
                return;
            }
            reply = m_partial == padsim::test::kProbeFrame ? m_probeReply : padsim::test::Ack();
            m_frames.push_back(std::move(m_partial));
            m_partial.clear();
        }
        if (!reply.empty()) {
            m_device->PushInputData(reply.data(), reply.size());
        }
    }

    std::shared_ptr<padlink::hid::MemoryHidDevice> m_device;
    const Bytes m_probeReply;
    mutable std::mutex m_mutex;
    Bytes m_partial;
    std::vector<Bytes> m_frames;
};

// A fresh port folder under the test's XDG_RUNTIME_DIR, and a serial port
// that looks only there, never at a real device.
struct TempPortFolder {
    TempPortFolder() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        const char* runtime = std::getenv(padlink::kRuntimeDirVariable);
        const std::filesystem::path root = runtime != nullptr && *runtime != '\0'
                                               ? std::filesystem::path(runtime)
                                               : std::filesystem::temp_directory_path();
        path = root / ("shell-" + std::to_string(::getpid()) + "-" + info->name()) / "ports";
        std::filesystem::remove_all(path.parent_path());
        EXPECT_TRUE(padlink::CreatePortFolder(path));
    }
    ~TempPortFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path.parent_path(), ignored);
    }
    std::unique_ptr<padlink::SerialPort> MakeSerialPort() const {
        return std::make_unique<padlink::SerialPort>(path, std::vector<std::string>{});
    }

    std::filesystem::path path;
};

// Short pauses, so a test spends its time on the pad and not on sleeping.
inline padlink::DiscoveryTiming FastTiming() {
    padlink::DiscoveryTiming timing;
    timing.portPause = std::chrono::milliseconds(1);
    timing.passPause = std::chrono::milliseconds(1);
    timing.replyPause = std::chrono::milliseconds(20);
    timing.usbWait = std::chrono::milliseconds(100);
    return timing;
}

}  // namespace vellumix::app::test
