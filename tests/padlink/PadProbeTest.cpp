// The probe and one discovery pass, against scripted pseudo-terminals (one
// that never answers, one that acknowledges) and the in-memory USB device.
// Ports resolve only through a temporary port folder: no system device is
// ever tried.
#include "padlink/PadProbe.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "padlink/HidPort.h"
#include "padlink/PadProtocol.h"
#include "padlink/PadUsbIds.h"
#include "padlink/SerialPort.h"
#include "padlink/hid/MemoryHidDevice.h"
#include "support/Pty.h"
#include "support/RecordingUsbPad.h"
#include "support/TempDir.h"

namespace vellumix::padlink {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

const Bytes kProbeFrame{0x02, 0x03, 0x00, 0x78, 0x46, 0x01, 0x3F, 0xBF, 0x03};

TEST(IsPadAnswerTest, NeedsSevenBytesAndTheAckInByteThree) {
    struct Case {
        Bytes reply;
        int count;
        bool pad;
    };
    const Case cases[] = {
        {{0x02, 0x01, 0x00, 0x06, 0x06, 0x06, 0x03}, 7, true},
        {{0x02, 0x01, 0x00, 0x06, 0x06, 0x06, 0x03, 0x90}, 8, true},
        {{0x02, 0x01, 0x00, 0x06, 0x06, 0x06}, 6, false},        // one short
        {{0x02, 0x01, 0x00, 0x15, 0x15, 0x15, 0x03}, 7, false},  // NAK
        {{0x02, 0x01, 0x00, 0x06, 0x06, 0x06, 0x03}, 0, false},
        {{0x02, 0x01, 0x00, 0x06, 0x06, 0x06, 0x03}, -1, false},  // read failed
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsPadAnswer(c.reply.data(), c.count), c.pad) << "count " << c.count;
    }
    EXPECT_FALSE(IsPadAnswer(nullptr, 7));
}

// A device on the line that takes bytes and never answers.
using SilentPty = testsupport::Pty;

// A pad on the line: acknowledges every probe it reads, from its own thread.
struct AnsweringPty : testsupport::Pty {
    AnsweringPty() {
        thread = std::thread([this] {
            Bytes seen;
            while (!stop) {
                pollfd p{master, POLLIN, 0};
                if (::poll(&p, 1, 10) <= 0 || (p.revents & POLLIN) == 0) {
                    continue;
                }
                const Bytes got = Drain();
                seen.insert(seen.end(), got.begin(), got.end());
                if (seen.size() >= kProbeFrame.size()) {
                    seen.clear();
                    [[maybe_unused]] const auto n =
                        ::write(master, std::begin(kAckFrame), sizeof kAckFrame);
                }
            }
        });
    }
    ~AnsweringPty() {
        stop = true;
        thread.join();
    }
    std::atomic<bool> stop{false};
    std::thread thread;
};

class DiscoveryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_root.path().empty());
        ASSERT_TRUE(CreatePortFolder(m_folder));
    }
    // A serial port that looks only in the test's folder (and under
    // prefixes), and USB over backend.
    std::unique_ptr<PadLink> MakeLink(std::unique_ptr<HidBackend> backend,
                                      std::vector<std::string> prefixes = {},
                                      SystemRoots roots = {}, HidTarget usb = {}) const {
        return std::make_unique<PadLink>(
            std::make_unique<SerialPort>(m_folder, std::move(prefixes), std::move(roots)),
            std::make_unique<HidPort>(std::move(backend), std::move(usb)));
    }
    DiscoveryOptions Quick() const {
        DiscoveryOptions o;
        o.portPause = 1ms;
        o.replyPause = 20ms;
        o.usbWait = 100ms;
        return o;
    }

    testsupport::TempDir m_root{"vellumix-probe"};
    fs::path m_folder = m_root / "ports";
};

TEST_F(DiscoveryTest, SilentComOneIsClosedAndThePadOnComFourFoundInTheSamePass) {
    SilentPty other;
    fs::create_symlink(other.slave, PortLinkPath(m_folder, 1));
    AnsweringPty pad;
    fs::create_symlink(pad.slave, PortLinkPath(m_folder, 4));

    const auto link = MakeLink(std::make_unique<hid::MemoryHidBackend>());  // no USB device
    const auto started = Clock::now();
    const DiscoveryResult found = DiscoverPad(*link, Quick());

    EXPECT_EQ(found.link, PadLinkKind::kSerial);
    EXPECT_EQ(found.comNumber, 4);
    EXPECT_EQ(link->Kind(), PadLinkKind::kSerial);
    EXPECT_TRUE(link->Serial()->IsOpen());
    // COM1 got the probe, gave nothing back and was closed again.
    EXPECT_EQ(other.Drain(), kProbeFrame);
    EXPECT_TRUE(other.SlaveClosed());
    // One pass: COM1's read waits out its 500 ms, nothing more.
    EXPECT_LT(Clock::now() - started, 2s);
}

// A sysfs and a /dev of the test's own: COM0 is a port-folder link to the
// kernel console (known by its device number), COM1 is /dev/ttyS1 with no
// UART behind it, the pad is on COM2. A scan, the first-port fallback of an
// exchange included, writes to neither of the first two; a port named by the
// user is used.
TEST_F(DiscoveryTest, AScanLeavesTheConsoleAndPortsWithoutAUartAlone) {
    SilentPty console;
    SilentPty noUart;
    AnsweringPty pad;
    const fs::path dev = m_root / "dev";
    const fs::path sys = m_root / "sys";
    fs::create_directories(dev);
    fs::create_symlink(console.slave, PortLinkPath(m_folder, 0));
    fs::create_symlink(noUart.slave, dev / "ttyS1");
    fs::create_symlink(pad.slave, PortLinkPath(m_folder, 2));
    fs::create_directories(sys / "class/tty/console");
    fs::create_directories(sys / "class/tty/ttyS0");
    fs::create_directories(sys / "dev/char" / noUart.DeviceNumber());
    testsupport::WriteFile(sys / "class/tty/console/active", "tty0 ttyS0\n");
    testsupport::WriteFile(sys / "class/tty/ttyS0/dev", console.DeviceNumber() + "\n");
    testsupport::WriteFile(sys / "dev/char" / noUart.DeviceNumber() / "type", "0\n");

    const auto link = MakeLink(std::make_unique<hid::MemoryHidBackend>(), SystemDevicePrefixes(dev),
                               SystemRoots{.proc = {}, .sysfs = sys});
    SerialPort& serial = *link->Serial();
    const DiscoveryResult found = DiscoverPad(*link, Quick());
    EXPECT_EQ(found.link, PadLinkKind::kSerial);
    EXPECT_EQ(found.comNumber, 2);
    EXPECT_EQ(found.openFailure, OpenFailure::kNone);  // leaving alone is no failure

    serial.Close();
    Bytes reply(kReplyCapacity);
    EXPECT_EQ(
        serial.Exchange(kProbeFrame.data(), kProbeFrame.size(), reply.data(), reply.size(), 50),
        static_cast<int>(sizeof kAckFrame));
    EXPECT_TRUE(console.Drain().empty());
    EXPECT_TRUE(noUart.Drain().empty());

    serial.Close();
    DiscoveryOptions named = Quick();
    named.portSpec = "COM0/baud=38400";
    DiscoverPad(*link, named);
    EXPECT_EQ(console.Drain(), kProbeFrame);
}

// USB first, and there the pad is what the link's USB target names: its ids
// (the default or the user's), or one device by its path, so a second pad
// with the same ids is never taken for it. A pad with other ids is not
// looked at, and the pad on the serial port is found instead.
TEST_F(DiscoveryTest, UsbPadIsFoundFirstByTheIdsOrThePathLookedFor) {
    constexpr UsbIds kMakers{0x2a3b, 0x0042};
    const struct {
        const char* name;
        std::vector<UsbIds> devices;  // the last one answers
        HidTarget target;
        PadLinkKind link;
    } cases[] = {
        {"default ids", {kDefaultUsbIds}, {}, PadLinkKind::kUsb},
        {"the maker's ids", {kMakers}, {kMakers, {}}, PadLinkKind::kUsb},
        {"other ids than looked for", {kMakers}, {}, PadLinkKind::kSerial},
        {"the second of two by its path", {kMakers, kMakers}, {{}, "memory:1"}, PadLinkKind::kUsb},
    };
    AnsweringPty serialPad;
    fs::create_symlink(serialPad.slave, PortLinkPath(m_folder, 2));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto backend = std::make_unique<hid::MemoryHidBackend>();
        std::vector<std::shared_ptr<hid::MemoryHidDevice>> devices;
        for (std::size_t i = 0; i + 1 < c.devices.size(); ++i) {
            devices.push_back(backend->AddDevice(c.devices[i].vendorId, c.devices[i].productId));
        }
        const testsupport::RecordingUsbPad answering(*backend, c.devices.back());

        const auto link = MakeLink(std::move(backend), {}, {}, c.target);
        const DiscoveryResult found = DiscoverPad(*link, Quick());
        EXPECT_EQ(found.link, c.link);
        EXPECT_EQ(link->Kind(), c.link);
        EXPECT_EQ(link->Serial()->IsOpen(), c.link == PadLinkKind::kSerial);
        for (std::size_t i = 0; i < devices.size(); ++i) {
            EXPECT_EQ(devices[i]->OutputReportCount(), 0u) << "device " << i;
        }
        link->Close();
    }
}

TEST_F(DiscoveryTest, SilentUsbDeviceKeepsTheSerialPortsUntried) {
    AnsweringPty serialPad;
    fs::create_symlink(serialPad.slave, PortLinkPath(m_folder, 2));
    auto backend = std::make_unique<hid::MemoryHidBackend>();
    auto device = backend->AddDevice(PAD_USB_VENDOR_ID, PAD_USB_PRODUCT_ID);  // nobody answers
    const auto link = MakeLink(std::move(backend));
    const DiscoveryResult found = DiscoverPad(*link, Quick());
    EXPECT_EQ(found.link, PadLinkKind::kNone);
    EXPECT_FALSE(link->Serial()->IsOpen());
    EXPECT_GE(device->OutputReportCount(), 1u);  // the probe went out on USB
}

TEST_F(DiscoveryTest, CancelledPassTriesNoPort) {
    SilentPty other;
    fs::create_symlink(other.slave, PortLinkPath(m_folder, 0));
    const auto link = MakeLink(std::make_unique<hid::MemoryHidBackend>());
    const std::atomic<bool> cancel{true};
    DiscoveryOptions o = Quick();
    o.cancel = &cancel;
    EXPECT_EQ(DiscoverPad(*link, o).link, PadLinkKind::kNone);
    EXPECT_TRUE(other.Drain().empty());
}

}  // namespace
}  // namespace vellumix::padlink
