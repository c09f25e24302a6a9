// The serial port against a real pseudo-terminal: the test holds the master
// side as the pad, the port opens the slave through a link in a temporary
// port folder. No system device is ever tried.
#include "padlink/SerialPort.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <sys/ioctl.h>
#include <atomic>
#include <chrono>
#include <fstream>
#include <numeric>
#include <thread>

#include "padlink/PadProtocol.h"
#include "padlink/SerialSettings.h"
#include "support/Pty.h"
#include "support/TempDir.h"

namespace vellumix::padlink {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

using testsupport::Pty;

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// The probe command as the pad sees it on the line.
const Bytes kProbeFrame = {kStx,          0x03, 0x00, cls::kProbe, kCommandMarker,
                           probe::kProbe, 0x3F, 0xBF, kEtx};

class SerialPortTest : public ::testing::Test {
protected:
    void Publish(const Pty& pty, int number) const {
        fs::create_symlink(pty.slave, PortLinkPath(m_folder, number));
    }
    // Published as COMn and opened with the default line settings.
    void OpenOn(const Pty& pty, int number = 0) {
        Publish(pty, number);
        ASSERT_TRUE(m_port.Open(DefaultPortSpec(number)));
    }
    // Exchanges the probe with a pad that takes the frame off the line and
    // acks it, with pen bytes before and after its ack on the same line;
    // request is what the pad received.
    int ExchangeWithAck(Pty& pty, Bytes& request, const Bytes& before = {},
                        const Bytes& after = {}) {
        std::thread pad([&] {
            request = pty.Receive(kProbeFrame.size());
            Bytes line = before;
            line.insert(line.end(), std::begin(kAckFrame), std::end(kAckFrame));
            line.insert(line.end(), after.begin(), after.end());
            pty.Send(line);
        });
        const int got = m_port.Exchange(kProbeFrame.data(), kProbeFrame.size(), m_buffer.data(),
                                        m_buffer.size(), 50);
        pad.join();
        return got;
    }

    testsupport::TempDir m_dir{"vellumix-serial"};
    const fs::path& m_folder = m_dir.path();
    SerialPort m_port{m_folder, {}};  // no device prefixes: never a real port
    Bytes m_buffer = Bytes(kReplyCapacity);
};

TEST_F(SerialPortTest, OpensLinkWithLineSettings) {
    Pty pty;
    OpenOn(pty, 3);
    EXPECT_EQ(m_port.Settings(), "baud=38400 parity=N stop=1 data=8");
    termios tio = pty.Line();
    EXPECT_EQ(cfgetospeed(&tio), B38400);
    EXPECT_EQ(tio.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8));
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), 0u);
    EXPECT_EQ(tio.c_lflag & (ECHO | ICANON), 0u);

    m_port.Close();
    EXPECT_FALSE(m_port.IsOpen());
    ASSERT_TRUE(m_port.Open("COM3/baud=9600/stop=2"));
    tio = pty.Line();
    EXPECT_EQ(cfgetospeed(&tio), B9600);
    EXPECT_NE(tio.c_cflag & CSTOPB, 0u);
}

TEST_F(SerialPortTest, RefusesBadSpecsAndDevices) {
    Pty pty;
    Publish(pty, 3);
    std::ofstream(m_folder / "plain").put('x');
    fs::create_symlink(m_folder / "plain", PortLinkPath(m_folder, 4));
    const std::string refused[] = {
        // Bad text is refused before a device is touched; SerialSettingsTest
        // covers the text rules themselves.
        "",
        "COM3/baud=38400/flow=on",   // unknown key, on a published port
        "COM5/baud=38400/parity=N",  // nothing published
        "COM4/baud=38400/parity=N",  // not a terminal
    };
    const OpenFailure why[] = {OpenFailure::kBadSpec, OpenFailure::kBadSpec,
                               OpenFailure::kNoSuchPort, OpenFailure::kNotSerial};
    for (std::size_t k = 0; k < std::size(refused); ++k) {
        EXPECT_FALSE(m_port.Open(refused[k])) << refused[k];
        EXPECT_FALSE(m_port.IsOpen()) << refused[k];
        EXPECT_EQ(m_port.LastOpenFailure(), why[k]) << refused[k];
    }
    EXPECT_TRUE(m_port.Open(pty.slave + "/baud=38400"));  // a device path works too
}

// Permission and exclusive use are told apart from a missing port, and the
// reason names the device and its owner and group, the same whether the
// device was named by its COMn link or by its path. Root opens anything, so
// there only the missing port can be checked.
TEST_F(SerialPortTest, OpenSaysWhyAPortThatExistsWillNotOpen) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root bypasses permissions and exclusive mode";
    }
    Pty pty;
    Publish(pty, 3);
    const int holder = ::open(pty.slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::ioctl(holder, TIOCEXCL), 0);
    EXPECT_FALSE(m_port.Open(DefaultPortSpec(3)));
    EXPECT_EQ(m_port.LastOpenFailure(), OpenFailure::kBusy);
    ::ioctl(holder, TIOCNXCL);
    ::close(holder);

    // A pseudo-terminal belongs to its user and the group 'tty' (or the
    // user's own): joining 'dialout' would not help, and the text does not
    // say it would, but names the group.
    struct stat info {};
    ASSERT_EQ(::stat(pty.slave.c_str(), &info), 0);
    const group* owners = ::getgrgid(info.st_gid);
    ASSERT_NE(owners, nullptr);
    const std::string groupName = owners->gr_name;
    const auto mode = fs::status(pty.slave).permissions();
    fs::permissions(pty.slave, fs::perms::none);
    EXPECT_FALSE(m_port.Open(DefaultPortSpec(3)));
    EXPECT_EQ(m_port.LastOpenFailure(), OpenFailure::kPermissionDenied);
    const std::string byLink = m_port.OpenFailureReason();
    EXPECT_FALSE(m_port.Open(pty.slave + "/baud=38400"));
    EXPECT_EQ(m_port.OpenFailureReason(), byLink);
    EXPECT_NE(byLink.find(pty.slave), std::string::npos) << byLink;
    EXPECT_NE(byLink.find("group '" + groupName + "'"), std::string::npos) << byLink;
    EXPECT_EQ(byLink.find("dialout"), std::string::npos) << byLink;
    fs::permissions(pty.slave, mode);
    ASSERT_TRUE(m_port.Open(DefaultPortSpec(3)));
    EXPECT_EQ(m_port.LastOpenFailure(), OpenFailure::kNone);
}

// Two opens of one pseudo-terminal in one process are two open file
// descriptions, as two programs' are: the second is refused at once, root's
// too, naming who holds the port, and the owner's line keeps its settings and
// the bytes waiting on it. Closing the first lets the second in.
TEST_F(SerialPortTest, ASecondOwnerIsRefusedAsBusyEvenAsRoot) {
    Pty pty;
    OpenOn(pty, 3);
    pty.Send({1, 2, 3});
    std::this_thread::sleep_for(std::chrono::milliseconds(20));

    SerialPort second(m_folder, {});
    EXPECT_FALSE(second.Open("COM3/baud=9600"));
    EXPECT_EQ(second.LastOpenFailure(), OpenFailure::kBusy);
    const std::string byLink = second.OpenFailureReason();
    EXPECT_FALSE(second.Open(pty.slave + "/baud=9600"));
    EXPECT_EQ(second.OpenFailureReason(), byLink);
    EXPECT_NE(byLink.find(pty.slave + " is busy"), std::string::npos) << byLink;
    EXPECT_NE(byLink.find("(pid " + std::to_string(::getpid()) + ")"), std::string::npos) << byLink;

    const termios tio = pty.Line();
    EXPECT_EQ(cfgetospeed(&tio), B38400);
    EXPECT_EQ(m_port.Read(m_buffer.data(), m_buffer.size()), 3);

    m_port.Close();
    EXPECT_TRUE(second.Open(DefaultPortSpec(3)));
}

// Another reader on the same line (a second program, opened as root) takes
// bytes between poll and read; the read then returns 0. That is no hang-up:
// the line stays up and the bytes that come later are read.
TEST_F(SerialPortTest, AZeroByteReadIsNotAHangUp) {
    Pty pty;
    Publish(pty, 3);
    // Opened first: the port's exclusive mode would keep it out otherwise.
    const int thief = ::open(pty.slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(thief, 0);
    ASSERT_TRUE(m_port.Open(DefaultPortSpec(3)));
    std::atomic<bool> stop{false};
    std::thread stealing([&] {
        std::uint8_t b[64];
        while (!stop) {
            pollfd p{thief, POLLIN, 0};
            if (::poll(&p, 1, 1) > 0) {
                [[maybe_unused]] const auto n = ::read(thief, b, sizeof b);
            }
        }
    });
    for (int i = 0; i < 300 && m_port.IsLineUp(); ++i) {
        pty.Send({0x80});
        m_port.ReadPenStream(m_buffer.data(), m_buffer.size());
        // The waiting read too; a stolen byte costs it its 500 ms.
        if (i % 30 == 0) {
            m_port.Read(m_buffer.data(), 1);
        }
    }
    stop = true;
    stealing.join();
    ::close(thief);
    EXPECT_TRUE(m_port.IsLineUp());
    pty.Send({0x80, 0, 0, 0, 0});
    EXPECT_GE(m_port.Read(m_buffer.data(), m_buffer.size()), 5);
}

TEST_F(SerialPortTest, OpenWhileOpenLeavesPortUntouched) {
    Pty first;
    Pty second;
    Publish(first, 1);
    Publish(second, 2);
    ASSERT_TRUE(m_port.Open(DefaultPortSpec(1)));
    first.Send({1, 2, 3});
    EXPECT_FALSE(m_port.Open(DefaultPortSpec(2)));
    EXPECT_FALSE(m_port.Open("COM1/baud=9600"));
    const termios tio = first.Line();
    EXPECT_EQ(cfgetospeed(&tio), B38400);
    // Not flushed by the refused opens either.
    EXPECT_EQ(m_port.Read(m_buffer.data(), m_buffer.size()), 3);
}

TEST_F(SerialPortTest, ReadEndsAfterGapTotalTimeOrFullBuffer) {
    Pty pty;
    OpenOn(pty);

    pty.Send(Bytes(9, 0x55));
    auto start = Clock::now();
    EXPECT_EQ(m_port.Read(m_buffer.data(), m_buffer.size()), 9);
    EXPECT_GE(MsSince(start), 40);
    EXPECT_LE(MsSince(start), 250);

    start = Clock::now();
    EXPECT_EQ(m_port.Read(m_buffer.data(), m_buffer.size()), 0);
    EXPECT_GE(MsSince(start), 450);
    EXPECT_LE(MsSince(start), 1200);

    Bytes sent(16);
    std::iota(sent.begin(), sent.end(), 0);
    pty.Send(sent);
    start = Clock::now();
    ASSERT_EQ(m_port.Read(m_buffer.data(), 8), 8);
    EXPECT_LE(MsSince(start), 45);  // the gap rule would take 50
    ASSERT_EQ(m_port.Read(m_buffer.data() + 8, 8), 8);
    EXPECT_EQ(Bytes(m_buffer.begin(), m_buffer.begin() + 16), sent);
}

TEST_F(SerialPortTest, WriteWaitsUntilLargeBlockIsOut) {
    Pty pty;
    OpenOn(pty);
    // Far more than a pseudo-terminal buffers: the write has to wait for the
    // far side to drain it.
    Bytes block(kImageBytes);
    std::iota(block.begin(), block.end(), 0);
    Bytes received;
    std::thread pad([&] { received = pty.Receive(block.size()); });
    EXPECT_EQ(m_port.Write(block.data(), block.size()), int(block.size()));
    pad.join();
    EXPECT_EQ(received, block);
}

TEST_F(SerialPortTest, HangUpReturnsDataThenFails) {
    Pty pty;
    OpenOn(pty);
    // The pad hangs up while the read waits out its 50 ms gap after the
    // data. Bytes still unread at the hang-up are gone with the line, so the
    // pad starts only once the read is about to begin.
    std::atomic<bool> reading{false};
    std::thread pad([&] {
        while (!reading) {
            std::this_thread::yield();
        }
        pty.Send({0x90, 1, 2, 3, 4});
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        pty.Hangup();
    });
    reading = true;
    EXPECT_EQ(m_port.Read(m_buffer.data(), kSerialPenReadSize), 5);
    pad.join();
    EXPECT_EQ(m_buffer[0], 0x90);
    EXPECT_EQ(m_port.Read(m_buffer.data(), kSerialPenReadSize), -1);
    EXPECT_EQ(m_port.ReadPenStream(m_buffer.data(), kSerialPenReadSize), -1);
    EXPECT_FALSE(m_port.IsLineUp());
    EXPECT_EQ(m_port.Write(m_buffer.data(), 1), 0);
}

TEST_F(SerialPortTest, ExchangeOpensFirstPublishedPort) {
    EXPECT_EQ(m_port.Exchange(kProbeFrame.data(), kProbeFrame.size(), m_buffer.data(),
                              m_buffer.size(), 50),
              -1);  // no port: the link is down
    EXPECT_FALSE(m_port.IsOpen());

    Pty pty;
    Publish(pty, 2);
    Bytes request;
    ASSERT_EQ(ExchangeWithAck(pty, request), int(sizeof kAckFrame));
    EXPECT_EQ(request, kProbeFrame);
    EXPECT_EQ(m_buffer[kAckOffset], kAck);

    // The time-out argument does not shorten the wait for a silent pad.
    const auto start = Clock::now();
    EXPECT_EQ(m_port.Exchange(kProbeFrame.data(), kProbeFrame.size(), m_buffer.data(),
                              m_buffer.size(), 1),
              0);
    EXPECT_GE(MsSince(start), 450);
}

// The pad streams pen reports; a command goes out while some still wait in
// the tty's buffer.
TEST_F(SerialPortTest, PenDataWaitingBeforeACommandIsNotTakenAsItsReply) {
    Pty pty;
    OpenOn(pty);
    const Bytes pen = {0x90, 0x01, 0x02, 0x06, 0x00, 0x80, 0x00, 0x00, 0x00, 0x00};
    // Byte 3 of the pen data is 6: read as the reply, it would even pass as an ack.
    const auto exchangeBehindPen = [&] {
        pty.Send(pen);
        // The bytes must have crossed the pseudo-terminal before the command goes out.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        Bytes request;
        const int got = ExchangeWithAck(pty, request);
        EXPECT_EQ(request, kProbeFrame);
        return got;
    };
    ASSERT_EQ(exchangeBehindPen(), int(sizeof kAckFrame));
    EXPECT_EQ(Bytes(m_buffer.begin(), m_buffer.begin() + sizeof kAckFrame),
              Bytes(std::begin(kAckFrame), std::end(kAckFrame)));
    EXPECT_EQ(m_port.PendingBytes(), pen.size());

    // The pen read hands the set-aside bytes out at once, in pieces as asked,
    // and then reads the line again.
    const auto start = Clock::now();
    ASSERT_EQ(m_port.ReadPenStream(m_buffer.data(), 6), 6);
    ASSERT_EQ(m_port.ReadPenStream(m_buffer.data() + 6, kSerialPenReadSize), 4);
    EXPECT_LE(MsSince(start), 45);
    EXPECT_EQ(Bytes(m_buffer.begin(), m_buffer.begin() + 10), pen);
    pty.Send({0x80, 0, 0, 0, 0});
    EXPECT_EQ(m_port.ReadPenStream(m_buffer.data(), kSerialPenReadSize), 5);

    // Closing the port lets go of what was set aside from it.
    ASSERT_EQ(exchangeBehindPen(), int(sizeof kAckFrame));
    m_port.Close();
    EXPECT_EQ(m_port.PendingBytes(), 0u);
}

// Pen reports the pad sends while the command is on its way in, and right
// after its answer, share one read with the answer. A report whose x low
// bits are 2 puts an STX-like byte in front of the real frame.
TEST_F(SerialPortTest, PenDataAroundTheAnswerIsCutAwayAndKept) {
    Pty pty;
    OpenOn(pty);
    const Bytes before = {0x90, 0x00, 0x02, 0x06, 0x00};
    const Bytes after = {0x80, 0x00, 0x00, 0x00, 0x00};
    Bytes request;
    const int got = ExchangeWithAck(pty, request, before, after);
    ASSERT_EQ(got, int(sizeof kAckFrame));
    EXPECT_EQ(Bytes(m_buffer.begin(), m_buffer.begin() + got),
              Bytes(std::begin(kAckFrame), std::end(kAckFrame)));
    Bytes pen = before;
    pen.insert(pen.end(), after.begin(), after.end());
    ASSERT_EQ(m_port.ReadPenStream(m_buffer.data(), kSerialPenReadSize), int(pen.size()));
    EXPECT_EQ(Bytes(m_buffer.begin(), m_buffer.begin() + pen.size()), pen);
}

}  // namespace
}  // namespace vellumix::padlink
