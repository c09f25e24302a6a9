// vellumix-padctl's commands that need no pad, and the USB ids and paths it
// is told: list against a port folder, a /dev and a sysfs of the test's own
// (never the machine's), udev-rule against the packaged rule, and --usb-id,
// VELLUMIX_USB_ID and --usb-path against in-memory USB devices.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "padctl/PadCtl.h"
#include "support/PadCtlRun.h"
#include "support/Pty.h"
#include "support/VirtualPads.h"

namespace vellumix::tools {
namespace {

namespace fs = std::filesystem;
namespace pl = padlink;
using padctl::kExitNoPad;
using padctl::kExitOk;
using padctl::kExitUsage;
using padctl::PadCtlEnvironment;
using padctl::RunPadCtl;

// A machine of the test's own: a port folder, /dev, sysfs and a HID bus.
struct Machine : testsupport::PadMachine {
    Machine() {
        fs::create_directories(dev);
        fs::create_directories(sys);
    }
    testsupport::PadCtlRun Run(const std::vector<std::string>& args,
                               std::optional<std::string> usbIdVariable = {}) {
        PadCtlEnvironment env = testsupport::MachineEnvironment(*this);
        env.devRoot = dev;
        env.roots = pl::SystemRoots{.proc = {}, .sysfs = sys};
        env.usbIdVariable = std::move(usbIdVariable);
        return testsupport::RunPadCtl(args, std::move(env));
    }

    fs::path dev = dir / "dev";
    fs::path sys = dir / "sys";
};

// Everything that could be a pad, in the four sections; with --probe, the
// virtual pad on COM1 answers, the console behind COM0 is left alone and
// never written to, a USB device with other ids is not probed, and a device
// that is no terminal says so once, under each name that leads to it.
TEST(PadCtlList, ListsEveryKindOfCandidateAndProbesOnlyWhatMayBeProbed) {
    Machine m;
    const padsim::hosts::SerialHost& host = *m.SerialPad().serial;
    testsupport::Pty console;
    fs::create_symlink(console.slave, pl::PortLinkPath(m.ports, 0));
    fs::create_directories(m.sys / "class/tty/console");
    fs::create_directories(m.sys / "class/tty/ttyS0");
    testsupport::WriteFile(m.sys / "class/tty/console/active", "tty0 ttyS0\n");
    testsupport::WriteFile(m.sys / "class/tty/ttyS0/dev", console.DeviceNumber() + "\n");
    for (const char* name : {"ttyUSB0", "ttyACM1", "ttyS0", "ttyUSBx"}) {
        testsupport::WriteFile(m.dev / name, "");
    }
    fs::create_directories(m.dev / "serial/by-id");
    fs::create_symlink("../../ttyUSB0", m.dev / "serial/by-id/usb-Maker_Pad_42-if00-port0");
    m.UsbPad({0x1209, 0x0001}, {.product = "Virtual Pad"});
    m.hid->AddDevice(0x046d, 0xc52b, {.product = "USB Receiver"});

    // The listing, line by line, with what --probe adds to each.
    const std::string notSerial = "not a serial device";
    const std::string byId = (m.dev / "serial/by-id").string();
    const std::pair<std::string, std::string> lines[] = {
        {"HID devices:", ""},
        {"  1209:0001  memory:0  \"Virtual Pad\"", "the pad answered"},
        {"  046d:c52b  memory:1  \"USB Receiver\"", "not probed (looking for 1209:0001)"},
        {"COM links in " + m.ports.string() + ":", ""},
        {"  COM0 -> " + console.slave,
         std::string(pl::OpenFailureText(pl::OpenFailure::kLeftAlone))},
        {"  COM1 -> " + host.SlavePath(), "the pad answered"},
        {"Names in " + byId + ":", ""},
        {"  usb-Maker_Pad_42-if00-port0 -> " + (m.dev / "ttyUSB0").string(), notSerial},
        {"ttyUSB and ttyACM devices:", ""},
        {"  " + (m.dev / "ttyUSB0").string(), notSerial},
        {"  " + (m.dev / "ttyACM1").string(), notSerial},
    };
    const auto listing = [&](bool probe) {
        std::string text;
        for (const auto& [line, verdict] : lines) {
            text += line + (probe && !verdict.empty() ? ": " + verdict : "") + "\n";
        }
        return text;
    };
    for (const bool probe : {false, true}) {
        SCOPED_TRACE(probe ? "--probe" : "no probe");
        const testsupport::PadCtlRun r = m.Run(probe ? std::vector<std::string>{"list", "--probe"}
                                                     : std::vector<std::string>{"list"});
        EXPECT_EQ(r.status, kExitOk) << r.err;
        EXPECT_EQ(r.out, listing(probe));
        EXPECT_EQ(r.err, "");
    }
    EXPECT_TRUE(console.Drain().empty()) << "the console was written to";

    // Nothing there at all: each section says so, and no pad is needed.
    Machine empty;
    const testsupport::PadCtlRun none = empty.Run({"list"});
    EXPECT_EQ(none.status, kExitOk);
    EXPECT_EQ(none.out, "HID devices:\n  none\nCOM links in " + empty.ports.string() +
                            ":\n  none\nNames in " + (empty.dev / "serial/by-id").string() +
                            ":\n  none\nttyUSB and ttyACM devices:\n  none\n");
}

// The packaged rule is what udev-rule prints for the default ids, byte for
// byte, so the two cannot drift; other ids come out as lsusb writes them,
// which is what udev compares with.
TEST(PadCtlUdevRule, ThePackagedRuleIsThePrintedOneForTheDefaultIds) {
    std::ifstream in(VELLUMIX_UDEV_RULE_FILE, std::ios::binary);
    std::stringstream packaged;
    packaged << in.rdbuf();
    ASSERT_FALSE(packaged.str().empty()) << VELLUMIX_UDEV_RULE_FILE;
    Machine m;
    EXPECT_EQ(m.Run({"udev-rule", "1209:0001"}).out, packaged.str());

    const testsupport::PadCtlRun other = m.Run({"udev-rule", "2A3B:42"});
    EXPECT_EQ(other.status, kExitOk);
    EXPECT_NE(other.out.find("ATTRS{idVendor}==\"2a3b\", ATTRS{idProduct}==\"0042\""),
              std::string::npos)
        << other.out;
    EXPECT_EQ(m.Run({"udev-rule", "2a3b"}).status, kExitUsage);
}

// The ids on USB come from --usb-id, else VELLUMIX_USB_ID, else 1209:0001
// (which wins when both are given is PadUsbIdsTest's); a pad not found says
// which ids were looked for. Two pads with the same ids are told apart by
// their paths.
TEST(PadCtlUsbIds, TheIdsGivenFindTheirPadAndAFailureNamesThem) {
    Machine m;
    const padsim::engine::PadEngine& first = m.UsbPad({0x2a3b, 0x0042}).engine;
    const padsim::engine::PadEngine& second = m.UsbPad({0x2a3b, 0x0042}).engine;
    const struct {
        std::vector<std::string> args;
        std::optional<std::string> variable;
        int status;
        const char* text;  // the output, or the error line
    } cases[] = {
        {{"--usb", "probe"},
         {},
         kExitNoPad,
         "vellumix-padctl: no pad answered on USB (looked for 1209:0001)\n"},
        {{"probe"},
         {},
         kExitNoPad,
         "vellumix-padctl: no pad answered (tried USB 1209:0001 and COM0 to COM9)\n"},
        {{"--usb-id", "2a3b:0042", "--usb", "probe"}, {}, kExitOk, "Pad found on USB\n"},
        {{"probe"}, "2a3b:0042", kExitOk, "Pad found on USB\n"},
        {{"--usb-path", "memory:1", "leds", "red"}, {}, kExitOk, ""},
        {{"--usb-path", "memory:7", "probe"},
         {},
         kExitNoPad,
         "vellumix-padctl: no pad answered on memory:7: no such port\n"},
        // The capture service looks for the ids it was started with.
        {{"--service", "--usb-id", "2a3b:0042", "probe"},
         {},
         kExitUsage,
         "vellumix-padctl: --usb-id does not go with --service: the capture service looks for "
         "the ids it was started with (vellumix-padd --usb-id); see --help\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.front());
        const testsupport::PadCtlRun r = m.Run(c.args, c.variable);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_EQ(c.status == kExitOk ? r.out : r.err, c.text);
    }
    // Only the pad at the path was told to light its LED.
    EXPECT_TRUE(second.Snapshot().leds.red);
    EXPECT_FALSE(first.Snapshot().leds.red);
}

}  // namespace
}  // namespace vellumix::tools
