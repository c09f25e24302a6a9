#include "padlink/serial/PosixSerialLine.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <utility>

#include "padlink/DeviceAccess.h"

namespace vellumix::padlink::serial {

namespace {

using Clock = SerialLine::Clock;

struct Rate {
    int baud;
    speed_t code;
};
constexpr std::array kRates{
    Rate{110, B110},     Rate{300, B300},     Rate{600, B600},       Rate{1200, B1200},
    Rate{2400, B2400},   Rate{4800, B4800},   Rate{9600, B9600},     Rate{19200, B19200},
    Rate{38400, B38400}, Rate{57600, B57600}, Rate{115200, B115200}, Rate{230400, B230400},
};

constexpr std::optional<speed_t> SpeedCode(int baud) {
    for (const Rate& rate : kRates) {
        if (rate.baud == baud) {
            return rate.code;
        }
    }
    return std::nullopt;
}

// The settings parser accepts only rates this line can set.
static_assert(std::all_of(kSerialBauds.begin(), kSerialBauds.end(),
                          [](int baud) { return SpeedCode(baud).has_value(); }));

// poll() takes whole milliseconds; round up so a caller's loop never spins
// on a 0 ms wait just short of its deadline.
int PollMs(Clock::duration remaining) {
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(remaining).count();
    return static_cast<int>(std::clamp<decltype(ms)>(ms, 0, INT_MAX));
}

constexpr short kLineGone = POLLHUP | POLLERR | POLLNVAL;

}  // namespace

void ApplySerialSettings(const SerialSettings& settings, termios& tio) {
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~(CRTSCTS | CSIZE | CSTOPB | PARENB | PARODD | CMSPAR);
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    switch (settings.dataBits) {
        case 5:
            tio.c_cflag |= CS5;
            break;
        case 6:
            tio.c_cflag |= CS6;
            break;
        case 7:
            tio.c_cflag |= CS7;
            break;
        default:
            tio.c_cflag |= CS8;
            break;
    }
    if (settings.stopBits == 2) {
        tio.c_cflag |= CSTOPB;
    }
    switch (settings.parity) {
        case Parity::kNone:
            break;
        case Parity::kOdd:
            tio.c_cflag |= PARENB | PARODD;
            break;
        case Parity::kEven:
            tio.c_cflag |= PARENB;
            break;
        case Parity::kMark:
            tio.c_cflag |= PARENB | CMSPAR | PARODD;
            break;
        case Parity::kSpace:
            tio.c_cflag |= PARENB | CMSPAR;
            break;
    }
    // The line waits with poll(), never inside read(): VTIME counts tenths
    // of a second, too coarse for the 50 ms gap between bytes.
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    const speed_t code = SpeedCode(settings.baud).value_or(B38400);
    ::cfsetispeed(&tio, code);
    ::cfsetospeed(&tio, code);
}

PosixSerialLine::PosixSerialLine(SystemRoots roots)
    : m_roots(std::move(roots)), m_wakeFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

PosixSerialLine::~PosixSerialLine() {
    Close();
    if (m_wakeFd >= 0) {
        ::close(m_wakeFd);
    }
}

LineOpenResult PosixSerialLine::Open(const std::filesystem::path& device,
                                     const SerialSettings& settings) {
    const auto refuse = [&](OpenFailure why) {
        return LineOpenResult{why,
                              OpenRefusalReason(why, device, DeviceKind::kSerialPort, m_roots)};
    };
    if (m_fd >= 0) {
        return {OpenFailure::kBusy, {}};
    }
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return refuse(OpenFailureOfErrno(errno));
    }
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) {  // not a terminal
        ::close(fd);
        return {OpenFailure::kNotSerial, {}};
    }
    // One owner per pad: exclusive mode alone lets root through. Taken before
    // the line is touched, so a refused second program leaves the owner's
    // settings and buffered bytes alone; closing the descriptor lets it go.
    if (!LockDevice(fd)) {
        ::close(fd);
        return refuse(OpenFailure::kBusy);
    }
    // Keep other programs off the line while we talk to the pad. Refused only
    // on odd drivers, where the lock above still keeps our own kind away.
    ::ioctl(fd, TIOCEXCL);
    ApplySerialSettings(settings, tio);
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
        const int error = errno;
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        return refuse(OpenFailureOfErrno(error));
    }
    // The pad powers its line driver from DTR and RTS. A pseudo-terminal has
    // no modem lines and answers ENOTTY: the virtual pad must still open.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ::ioctl(fd, TIOCMBIS, &lines);
    // Whatever the pad sent before we were listening belongs to nobody.
    ::tcflush(fd, TCIOFLUSH);
    m_fd = fd;
    return {};
}

void PosixSerialLine::Close() {
    const int fd = m_fd.exchange(-1);
    if (fd >= 0) {
        // Exclusive mode belongs to the terminal, not to our descriptor: when
        // the virtual pad still holds its slave open, it would outlive this
        // close and lock out the next open of the same port.
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
    }
}

LineTransfer PosixSerialLine::Receive(std::span<std::uint8_t> buffer, Clock::duration wait) {
    const int fd = m_fd;
    const auto deadline = Clock::now() + wait;
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, PollMs(deadline - Clock::now()));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0) {
            return {0, true};
        }
        if (ready == 0) {
            return {};
        }
        // Data still queued when the other side hung up arrives as
        // POLLIN | POLLHUP: read it first, the next poll sees the hang-up.
        if ((p.revents & POLLIN) == 0) {
            return {0, true};
        }
        ssize_t n = 0;
        do {
            n = ::read(fd, buffer.data(), buffer.size());
        } while (n < 0 && errno == EINTR);
        if (n > 0) {
            return {static_cast<std::size_t>(n), false};
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return {};
        }
        // read() == 0 without a hang-up: someone else took the bytes poll saw
        // (a second program on the same port), or a terminal with VMIN 0 had
        // none. The line is still there.
        return {0, n < 0 || (p.revents & POLLHUP) != 0};
    }
}

LineTransfer PosixSerialLine::Send(std::span<const std::uint8_t> bytes,
                                   Clock::duration waitForRoom) {
    const int fd = m_fd;
    ssize_t n = 0;
    do {
        n = ::write(fd, bytes.data(), bytes.size());
    } while (n < 0 && errno == EINTR);
    if (n > 0) {
        return {static_cast<std::size_t>(n), false};
    }
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
        return {0, true};
    }
    // The driver's queue is full: wait until it takes more.
    if (waitForRoom <= Clock::duration::zero()) {
        return {};
    }
    pollfd p{fd, POLLOUT, 0};
    const int ready = ::poll(&p, 1, PollMs(waitForRoom));
    if (ready < 0 && errno != EINTR) {
        return {0, true};
    }
    return {0, ready > 0 && (p.revents & kLineGone) != 0};
}

std::optional<std::size_t> PosixSerialLine::QueuedOutput() {
    int queued = 0;
    if (::ioctl(m_fd, TIOCOUTQ, &queued) != 0) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(std::max(queued, 0));
}

bool PosixSerialLine::WaitUntilSent() {
    return ::tcdrain(m_fd) == 0;
}

bool PosixSerialLine::HungUp() {
    const int fd = m_fd;
    if (fd < 0) {
        return false;
    }
    pollfd p{fd, 0, 0};  // POLLHUP and POLLERR are always reported
    return ::poll(&p, 1, 0) > 0 && (p.revents & kLineGone) != 0;
}

void PosixSerialLine::WaitForInput(std::chrono::milliseconds wait) const {
    const int fd = m_fd.load();
    std::array<pollfd, 2> p{{{m_wakeFd, POLLIN, 0}, {fd, POLLIN, 0}}};
    // Without a device there is nothing to wake for but the time-out, so the
    // caller does not spin on a closed line.
    const nfds_t count = fd >= 0 ? 2 : 1;
    const int ms = static_cast<int>(std::clamp<long long>(wait.count(), 0, INT_MAX));
    if (::poll(p.data(), count, ms) > 0 && (p[0].revents & POLLIN) != 0) {
        std::uint64_t drained = 0;
        [[maybe_unused]] const ssize_t n = ::read(m_wakeFd, &drained, sizeof drained);
    }
}

void PosixSerialLine::Wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_wakeFd, &one, sizeof one);
}

}  // namespace vellumix::padlink::serial

// SerialLine.h declares the factory for every platform; this is the POSIX one.
namespace vellumix::padlink {

std::unique_ptr<SerialLine> MakeSystemSerialLine(const SystemRoots& roots) {
    return std::make_unique<serial::PosixSerialLine>(roots);
}

}  // namespace vellumix::padlink
