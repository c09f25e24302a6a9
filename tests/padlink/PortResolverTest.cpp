#include "padlink/PortResolver.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "support/TempDir.h"

namespace vellumix::padlink {
namespace {

namespace fs = std::filesystem;

using testsupport::TempDir;

void Touch(const fs::path& file) {
    std::ofstream(file).put('\n');
}

TEST(DefaultPortFolder, FollowsRuntimeDirOrFallsBackToTmp) {
    const char* saved = std::getenv(kRuntimeDirVariable);
    const std::string old = saved ? saved : "";
    const fs::path fallback = "/tmp/vellumix-" + std::to_string(::getuid()) + "/ports";
    ::setenv(kRuntimeDirVariable, "/run/user/1234", 1);
    EXPECT_EQ(DefaultPortFolder(), fs::path("/run/user/1234/vellumix/ports"));
    ::setenv(kRuntimeDirVariable, "", 1);
    EXPECT_EQ(DefaultPortFolder(), fallback);
    ::unsetenv(kRuntimeDirVariable);
    EXPECT_EQ(DefaultPortFolder(), fallback);
    if (saved) {
        ::setenv(kRuntimeDirVariable, old.c_str(), 1);
    }
}

class ResolvePortNameTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(m_ports);
        fs::create_directory(m_dev);
        ::chmod(m_ports.c_str(), S_IRWXU);
        Touch(m_dev / "target");
        fs::create_symlink(m_dev / "target", PortLinkPath(m_ports, 2));
        fs::create_symlink(m_dev / "missing", PortLinkPath(m_ports, 6));
        for (const char* name : {"ttyUSB3", "ttyACM3", "ttyS3", "ttyS4", "ttyACM6"}) {
            Touch(m_dev / name);
        }
    }
    fs::path Resolve(std::string_view name) const {
        return ResolvePortName(name, m_ports, m_prefixes);
    }

    TempDir m_root{"vellumix-resolver"};
    fs::path m_ports = m_root.path() / "ports";
    fs::path m_dev = m_root.path() / "dev";
    std::vector<std::string> m_prefixes = {(m_dev / "ttyUSB").string(), (m_dev / "ttyACM").string(),
                                           (m_dev / "ttyS").string()};
};

TEST_F(ResolvePortNameTest, TakesFirstCandidateThatExists) {
    const struct {
        const char* name;
        fs::path expected;
    } cases[] = {
        {"COM2", m_ports / "COM2"},  // the folder's link comes first
        {"com2", m_ports / "COM2"},
        {"COM3", m_dev / "ttyUSB3"},
        {"COM4", m_dev / "ttyS4"},
        {"COM6", m_dev / "ttyACM6"},  // the link dangles
        {"COM5", {}},
        {"COM10", {}},
        {"COM", {}},
        {"LPT1", {}},
        {"COMx", {}},
        {"", {}},
        {"/dev/pts/7", "/dev/pts/7"},  // a path is taken as it is
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Resolve(c.name), c.expected) << c.name;
    }
}

TEST_F(ResolvePortNameTest, IgnoresFolderOthersCanWrite) {
    ::chmod(m_ports.c_str(), 0777);
    EXPECT_EQ(Resolve("COM2"), fs::path());
    EXPECT_EQ(Resolve("COM3"), m_dev / "ttyUSB3");
}

TEST(CreatePortFolder, MakesPrivateFolderAndParents) {
    TempDir root("vellumix-resolver");
    const fs::path folder = root.path() / "vellumix" / "ports";
    ASSERT_TRUE(CreatePortFolder(folder));
    EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_TRUE(CreatePortFolder(folder));  // already there
    Touch(root.path() / "file");
    EXPECT_FALSE(CreatePortFolder(root.path() / "file"));
}

}  // namespace
}  // namespace vellumix::padlink
