#include "hosts/SerialHost.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include <fstream>

#include "PadTestSupport.h"
#include "padlink/PortResolver.h"
#include "support/TempDir.h"

namespace vellumix::padsim {
namespace {

namespace fs = std::filesystem;
namespace pl = padlink;
using namespace std::chrono_literals;
using test::Bytes;
using test::Clock;

// A fresh, owner-only folder per test, so no test sees a real port or
// another test's links.
class SerialHostTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(root.path().empty()); }
    void TearDown() override {
        if (client >= 0) {
            close(client);
        }
    }
    void OpenClient(const fs::path& link) {
        client = open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(client, 0);
        termios tio{};
        ASSERT_EQ(tcgetattr(client, &tio), 0);
        cfmakeraw(&tio);
        ASSERT_EQ(tcsetattr(client, TCSANOW, &tio), 0);
    }
    void Write(const Bytes& b) const {
        ASSERT_EQ(write(client, b.data(), b.size()), static_cast<ssize_t>(b.size()));
    }
    // Reads until `want` bytes came or the wait ran out.
    Bytes Read(std::size_t want, std::chrono::milliseconds wait = 2000ms) const {
        Bytes out;
        const auto until = Clock::now() + wait;
        while (out.size() < want && Clock::now() < until) {
            pollfd p{client, POLLIN, 0};
            if (poll(&p, 1, 20) > 0 && (p.revents & POLLIN) != 0) {
                std::uint8_t buf[512];
                const ssize_t n = read(client, buf, sizeof buf);
                if (n > 0) {
                    out.insert(out.end(), buf, buf + n);
                }
            }
        }
        return out;
    }

    testsupport::TempDir root{"padsim"};
    fs::path folder = root / "ports";
    int client = -1;
    PadEngine engine;
};

// A host killed with SIGKILL leaves its link and an unlocked lock file; the
// pty number behind the link may belong to another process by now.
TEST_F(SerialHostTest, AStaleLinkIsNeverFollowedAndIsReplacedAtStart) {
    ASSERT_TRUE(padlink::CreatePortFolder(folder));
    const int stranger = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(stranger, 0);
    ASSERT_EQ(unlockpt(stranger), 0);
    fs::create_symlink(ptsname(stranger), padlink::PortLinkPath(folder, 3));
    std::ofstream(padlink::PortLockPath(folder, 3)).put('\n');
    EXPECT_TRUE(padlink::ResolvePortName("COM3", folder, {}).empty());

    SerialHost host(engine, {.portFolder = folder, .comNumber = 3});
    ASSERT_TRUE(host.Start());
    EXPECT_EQ(padlink::ResolvePortName("COM3", folder, {}), padlink::PortLinkPath(folder, 3));
    EXPECT_EQ(fs::read_symlink(padlink::PortLinkPath(folder, 3)), fs::path(host.SlavePath()));
    host.Stop();
    EXPECT_FALSE(fs::exists(padlink::PortLockPath(folder, 3)));
    close(stranger);
}

TEST_F(SerialHostTest, TakesTheFirstFreeNumberOrRefusesATakenOne) {
    SerialHost first(engine, {.portFolder = folder});
    ASSERT_TRUE(first.Start());
    PadEngine other;
    SerialHost second(other, {.portFolder = folder});
    ASSERT_TRUE(second.Start());
    EXPECT_EQ(second.ComNumber(), 2);
    SerialHost clash(other, {.portFolder = folder, .comNumber = 1});
    std::string error;
    EXPECT_FALSE(clash.Start(&error));
    EXPECT_NE(error.find("COM1"), std::string::npos);
    SerialHost bad(other, {.portFolder = folder, .comNumber = 10});
    EXPECT_FALSE(bad.Start());
}

TEST_F(SerialHostTest, UnplugClosesTheLineAndRemovesTheLink) {
    SerialHost host(engine, {.portFolder = folder, .unplugAfter = 100ms});
    ASSERT_TRUE(host.Start());
    const fs::path link = host.LinkPath();
    OpenClient(link);
    const auto until = Clock::now() + 3s;
    while (host.IsRunning() && Clock::now() < until) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_FALSE(host.IsRunning());
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    pollfd p{client, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 1000), 1);
    EXPECT_NE(p.revents & POLLHUP, 0);
}

}  // namespace
}  // namespace vellumix::padsim
