// Pads for the shell's tests: the virtual pad behind the in-memory USB
// device of a machine of the test's own, whose port folder the serial cases
// use (support/VirtualPads.h); a pad that only records is
// support/RecordingUsbPad.h.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "padlink/DiscoveryThread.h"
#include "padlink/HidPort.h"
#include "padlink/PadCommandChannel.h"
#include "padsim/PadTestSupport.h"
#include "support/PadTimingHid.h"
#include "support/VirtualPads.h"
#include "support/WaitUntil.h"

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

using testsupport::WaitUntil;

// A machine of the test's own (support/VirtualPads.h) and the program's
// USB side on it, through a timing backend that makes chosen commands slow
// (PadTimingHid.h).
struct ShellMachine : testsupport::PadMachine {
    std::unique_ptr<padlink::HidPort> TimedHidPort() {
        auto timed = std::make_unique<testsupport::PadTimingHidBackend>(HidBackend());
        timing = timed.get();
        return std::make_unique<padlink::HidPort>(std::move(timed));
    }
    testsupport::PadTimingHidBackend* timing = nullptr;  // owned by the port
};

// The virtual pad on the machine's USB; its trace collects everything the
// pad was sent.
struct VirtualUsbPad {
    explicit VirtualUsbPad(testsupport::PadMachine& machine) : engine(machine.UsbPad().engine) {}

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

    padsim::engine::PadEngine& engine;
    std::vector<std::string> trace;
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
