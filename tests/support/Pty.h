// A pseudo-terminal whose master side the test holds as the far end of a
// serial line: what a port opened on the slave writes arrives here, and
// what is sent here arrives there. The master does not block.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vellumix::testsupport {

class Pty {
public:
    using Bytes = std::vector<std::uint8_t>;

    Pty() {
        char name[128] = {};
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0 ||
            ::ptsname_r(master, name, sizeof name) != 0) {
            ADD_FAILURE() << "no pseudo-terminal";
        }
        slave = name;
    }
    ~Pty() { Hangup(); }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    void Hangup() {
        if (master >= 0) {
            ::close(master);
        }
        master = -1;
    }
    void Send(const Bytes& bytes) const {
        ASSERT_EQ(::write(master, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }
    // Up to count bytes; stops after a second with nothing new.
    Bytes Receive(std::size_t count) const {
        Bytes out;
        pollfd p{master, POLLIN, 0};
        while (out.size() < count && ::poll(&p, 1, 1000) > 0) {
            const Bytes got = Drain(count - out.size());
            if (got.empty()) {
                break;
            }
            out.insert(out.end(), got.begin(), got.end());
        }
        return out;
    }
    // What is waiting now, up to count bytes.
    Bytes Drain(std::size_t count = 64) const {
        Bytes out(count);
        const ssize_t n = ::read(master, out.data(), out.size());
        out.resize(n > 0 ? std::size_t(n) : 0);
        return out;
    }
    // The master sees a hang-up while no slave descriptor is open.
    bool SlaveClosed() const {
        pollfd p{master, POLLIN, 0};
        return ::poll(&p, 1, 0) >= 0 && (p.revents & POLLHUP) != 0;
    }
    // The master reports the slave's line settings.
    termios Line() const {
        termios tio{};
        EXPECT_EQ(::tcgetattr(master, &tio), 0);
        return tio;
    }
    // "major:minor" of the slave, as sysfs writes a device number.
    std::string DeviceNumber() const {
        struct stat info {};
        EXPECT_EQ(::stat(slave.c_str(), &info), 0);
        return std::to_string(major(info.st_rdev)) + ":" + std::to_string(minor(info.st_rdev));
    }

    int master = -1;
    std::string slave;
};

}  // namespace vellumix::testsupport
