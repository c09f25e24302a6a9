#include "hosts/SerialHost.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include <fstream>

#include "padlink/PortResolver.h"
#include "support/TempDir.h"
#include "support/WaitUntil.h"

namespace vellumix::padsim {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A fresh, owner-only folder per test, so no test sees a real port or
// another test's links.
class SerialHostTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(root.path().empty()); }
    testsupport::TempDir root{"padsim"};
    fs::path folder = root / "ports";
    engine::PadEngine engine;
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

    hosts::SerialHost host(engine, {.portFolder = folder, .comNumber = 3});
    ASSERT_TRUE(host.Start());
    EXPECT_EQ(padlink::ResolvePortName("COM3", folder, {}), padlink::PortLinkPath(folder, 3));
    EXPECT_EQ(fs::read_symlink(padlink::PortLinkPath(folder, 3)), fs::path(host.SlavePath()));
    host.Stop();
    EXPECT_FALSE(fs::exists(padlink::PortLockPath(folder, 3)));
    close(stranger);
}

TEST_F(SerialHostTest, TakesTheFirstFreeNumberOrRefusesATakenOne) {
    hosts::SerialHost first(engine, {.portFolder = folder});
    ASSERT_TRUE(first.Start());
    engine::PadEngine other;
    hosts::SerialHost second(other, {.portFolder = folder});
    ASSERT_TRUE(second.Start());
    EXPECT_EQ(second.ComNumber(), 2);
    hosts::SerialHost clash(other, {.portFolder = folder, .comNumber = 1});
    std::string error;
    EXPECT_FALSE(clash.Start(&error));
    EXPECT_NE(error.find("COM1"), std::string::npos);
    hosts::SerialHost bad(other, {.portFolder = folder, .comNumber = 10});
    EXPECT_FALSE(bad.Start());
}

TEST_F(SerialHostTest, UnplugClosesTheLineAndRemovesTheLink) {
    hosts::SerialHost host(engine, {.portFolder = folder, .unplugAfter = 100ms});
    ASSERT_TRUE(host.Start());
    const fs::path link = host.LinkPath();
    const int client = ::open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(client, 0);
    EXPECT_TRUE(testsupport::WaitUntil([&] { return !host.IsRunning(); }, 3s));
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    pollfd p{client, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 1000), 1);
    EXPECT_NE(p.revents & POLLHUP, 0);
    ::close(client);
}

}  // namespace
}  // namespace vellumix::padsim
