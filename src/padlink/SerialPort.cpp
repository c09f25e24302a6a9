// The serial port on POSIX terminals: termios for the line, poll() for the
// read rule and for writes that the driver cannot take at once.
#include "padlink/SerialPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <optional>
#include <span>
#include <thread>

#include "padlink/Frame.h"
#include "padlink/PadProtocol.h"
#include "padlink/SerialSettings.h"

namespace vellumix::padlink {

namespace {

using Clock = std::chrono::steady_clock;

// A UART without flow control always drains at line rate, so a write that
// makes no progress for this long means the other side (a virtual pad on a
// pseudo-terminal) has stopped reading; failing beats freezing the caller.
constexpr std::chrono::milliseconds kWriteStallLimit{5000};

// Setting waiting bytes aside looks at what the driver holds now.
constexpr int kNoWaitMs = 0;
// While the driver's output queue drains, it is looked at this often at
// most: a DrawLine frame takes 3.4 ms at 38400 baud.
constexpr std::chrono::microseconds kDrainPollLimit{1000};
// 8N1: a start bit, eight data bits and a stop bit a byte.
constexpr long long kBitsPerByte = 10;
// The read size when setting bytes aside: a driver queue's worth.
constexpr std::size_t kSetAsideChunk = 4096;

// poll() takes whole milliseconds; round up so the loop never spins on a
// 0 ms wait just short of a deadline.
int PollMs(Clock::duration remaining) {
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(remaining).count();
    return static_cast<int>(std::clamp<decltype(ms)>(ms, 0, INT_MAX));
}

}  // namespace

SerialPort::SerialPort(std::filesystem::path portFolder, std::vector<std::string> devicePrefixes,
                       SystemRoots roots)
    : m_portFolder(std::move(portFolder)),
      m_devicePrefixes(std::move(devicePrefixes)),
      m_roots(std::move(roots)),
      m_wakeFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

SerialPort::~SerialPort() {
    Close();
    if (m_wakeFd >= 0) {
        ::close(m_wakeFd);
    }
}

bool SerialPort::Open(std::string_view portSpec, PortChoice choice) {
    if (m_bOpen) {
        return false;
    }
    m_openFailure = OpenFailure::kBadSpec;
    m_openFailureReason.clear();
    if (portSpec.empty()) {
        return false;
    }
    // Everything about the text is checked before a device is touched.
    const std::optional<PortSpec> parts = SplitPortSpec(portSpec);
    if (!parts) {
        return false;
    }
    const std::optional<SerialSettings> settings = ParseSerialSettings(parts->settings);
    if (!settings) {
        return false;
    }
    m_openFailure = OpenFailure::kNoSuchPort;
    const std::filesystem::path device =
        ResolvePortName(parts->name, m_portFolder, m_devicePrefixes);
    if (device.empty()) {
        return false;
    }
    if (choice == PortChoice::kScanned && ScanSkipFor(device, m_roots.sysfs) != ScanSkip::kNone) {
        m_openFailure = OpenFailure::kLeftAlone;
        return false;
    }
    const auto refuse = [&](OpenFailure why) {
        m_openFailure = why;
        m_openFailureReason = OpenRefusalReason(why, device, DeviceKind::kSerialPort, m_roots);
        return false;
    };

    // Non-blocking for good: every wait happens in poll(), and an open of a
    // modem line must not hang waiting for carrier.
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return refuse(OpenFailureOfErrno(errno));
    }
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) {  // not a terminal
        ::close(fd);
        m_openFailure = OpenFailure::kNotSerial;
        return false;
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
    ApplySerialSettings(*settings, tio);
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
    m_baud = settings->baud;
    m_bOpen = true;
    m_bFailed = false;
    m_openFailure = OpenFailure::kNone;
    m_strSettings = parts->settings;
    return true;
}

void SerialPort::Close() {
    const int fd = m_fd.exchange(-1);
    if (fd >= 0) {
        // Exclusive mode belongs to the terminal, not to our descriptor: when
        // the virtual pad still holds its slave open, it would outlive this
        // close and lock out the next open of the same port.
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
    }
    m_bOpen = false;
    m_bFailed = false;
    m_strSettings.clear();
    m_pending.Clear();
    m_owed.Clear();
}

bool SerialPort::IsOpen() const {
    return m_bOpen;
}

int SerialPort::Write(const std::uint8_t* data, std::size_t length) {
    if (!m_bOpen || m_bFailed || data == nullptr || length == 0 ||
        length > static_cast<std::size_t>(INT_MAX)) {
        return 0;
    }
    std::size_t done = 0;
    auto lastProgress = Clock::now();
    while (done < length) {
        const ssize_t n = ::write(m_fd, data + done, length - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            lastProgress = Clock::now();
            ReportWriteProgress(done, length);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            return 0;
        }
        // The driver's queue is full: wait until it takes more.
        const auto remaining = lastProgress + kWriteStallLimit - Clock::now();
        if (remaining <= Clock::duration::zero()) {
            return 0;
        }
        pollfd p{m_fd, POLLOUT, 0};
        const int ready = ::poll(&p, 1, PollMs(remaining));
        if (ready < 0 && errno != EINTR) {
            return 0;
        }
        if (ready > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            return 0;
        }
    }
    // The pad's answer clock starts when the last byte has left; returning
    // while kilobytes still sit in the driver would start it far too early.
    if (!DrainOutput()) {
        return 0;
    }
    return static_cast<int>(done);
}

bool SerialPort::DrainOutput() {
    auto lastProgress = Clock::now();
    int lastQueued = INT_MAX;
    for (;;) {
        int queued = 0;
        if (::ioctl(m_fd, TIOCOUTQ, &queued) != 0) {
            // A driver that cannot tell: the blocking wait is all there is.
            return ::tcdrain(m_fd) == 0;
        }
        if (queued <= 0) {
            return true;
        }
        const auto now = Clock::now();
        if (queued < lastQueued) {
            lastQueued = queued;
            lastProgress = now;
        } else if (now - lastProgress >= kWriteStallLimit) {
            return false;
        }
        std::this_thread::sleep_for(
            std::min<Clock::duration>(WireTime(static_cast<std::size_t>(queued)), kDrainPollLimit));
    }
}

std::chrono::steady_clock::duration SerialPort::WireTime(std::size_t bytes) const {
    if (m_baud <= 0) {
        return Clock::duration::zero();
    }
    const long long micros = static_cast<long long>(bytes) * kBitsPerByte * 1'000'000LL / m_baud;
    return std::chrono::microseconds(micros);
}

int SerialPort::Read(std::uint8_t* buffer, std::size_t size) {
    if (!m_bOpen || m_bFailed || buffer == nullptr) {
        return -1;
    }
    size = std::min(size, static_cast<std::size_t>(INT_MAX));
    if (size == 0) {
        return 0;
    }
    const auto start = Clock::now();
    const auto totalDeadline = start + kSerialTotalReadTimeout;
    auto deadline = totalDeadline;
    std::size_t got = 0;
    // A hang-up or error after some bytes arrived: those bytes are the pad's
    // last words and go to the caller now; the failure shows next time.
    const auto fail = [&]() {
        m_bFailed = true;
        return got > 0 ? static_cast<int>(got) : -1;
    };

    while (got < size) {
        const auto remaining = deadline - Clock::now();
        if (remaining <= Clock::duration::zero()) {
            break;
        }
        pollfd p{m_fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, PollMs(remaining));
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return fail();
        }
        if (ready == 0) {
            continue;  // the loop head decides whether the deadline passed
        }
        // Data still queued when the other side hung up arrives as
        // POLLIN | POLLHUP: read it first, the next poll sees the hang-up.
        if ((p.revents & POLLIN) == 0) {
            return fail();
        }
        const ssize_t n = ::read(m_fd, buffer + got, size - got);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
            deadline = std::min(totalDeadline, Clock::now() + kSerialInterByteTimeout);
            continue;
        }
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
            continue;
        }
        // read() == 0 without a hang-up: someone else took the bytes poll saw
        // (a second program on the same port), or a terminal with VMIN 0 had
        // none. The line is still there.
        if (n == 0 && (p.revents & POLLHUP) == 0) {
            continue;
        }
        return fail();
    }
    return static_cast<int>(got);
}

int SerialPort::ReadAnswer(std::uint8_t* reply, std::size_t size, Clock::time_point waitFrom) {
    if (!m_bOpen || m_bFailed || reply == nullptr) {
        return -1;
    }
    size = std::min(size, static_cast<std::size_t>(INT_MAX));
    if (size == 0) {
        return 0;
    }
    const std::size_t maxPayload = size > kShortFrameOverhead ? size - kShortFrameOverhead : 0;
    const auto totalDeadline = std::max(waitFrom, Clock::now()) + kSerialTotalReadTimeout;
    auto deadline = totalDeadline;
    std::size_t got = 0;
    bool failed = false;

    while (!failed) {
        if (got == size) {
            // A full buffer and no answer: pen data streams in. Keep from the
            // first place a frame could still start; the rest is pen data.
            std::size_t keep = got;
            for (std::size_t i = 0; i < got; ++i) {
                std::size_t length = 0;
                if (reply[i] == kStx && i > 0 &&
                    CheckShortFrame(std::span<const std::uint8_t>(reply + i, got - i), maxPayload,
                                    &length) == FrameCheck::kIncomplete) {
                    keep = i;
                    break;
                }
            }
            if (keep == 0) {
                keep = got;
            }
            SetAside(std::span(reply, keep));
            std::memmove(reply, reply + keep, got - keep);
            got -= keep;
        }
        const auto remaining = deadline - Clock::now();
        if (remaining <= Clock::duration::zero()) {
            break;
        }
        pollfd p{m_fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, PollMs(remaining));
        if (ready < 0) {
            failed = errno != EINTR;
            continue;
        }
        if (ready == 0) {
            continue;
        }
        if ((p.revents & POLLIN) == 0) {
            failed = true;
            continue;
        }
        const ssize_t n = ::read(m_fd, reply + got, size - got);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
            continue;
        }
        if (n <= 0) {
            failed = n < 0 || (p.revents & POLLHUP) != 0;
            continue;
        }
        got += static_cast<std::size_t>(n);
        // Bytes that come before the frame can have crossed (pen data) are
        // no answer, and their gap must not end the wait for one.
        deadline =
            std::min(totalDeadline, std::max(Clock::now(), waitFrom) + kSerialInterByteTimeout);
        if (const std::optional<std::size_t> length = IsolateAnswer(std::span(reply, got))) {
            return static_cast<int>(*length);
        }
    }
    if (failed) {
        m_bFailed = true;
    }
    // No answer: whatever came is pen data.
    SetAside(std::span(reply, got));
    return failed ? -1 : 0;
}

std::string SerialPort::OpenFailureReason() const {
    if (!m_openFailureReason.empty()) {
        return m_openFailureReason;
    }
    return std::string(OpenFailureText(m_openFailure));
}

int SerialPort::ReadPen(std::uint8_t* buffer, std::size_t size, int /*waitMs*/) {
    return ReadPenStream(buffer, std::min(size, kSerialPenReadSize));
}

int SerialPort::ReadPenStream(std::uint8_t* buffer, std::size_t size) {
    if (buffer == nullptr || !m_bOpen) {
        return -1;
    }
    size = std::min(size, static_cast<std::size_t>(INT_MAX));
    if (m_owed.Active(Clock::now())) {
        // While an answer is owed the line's bytes pass its filter first: a
        // late answer read here is no pen data.
        SetAsideWaitingInput();
    }
    if (!m_pending.Empty() && size > 0) {
        return static_cast<int>(m_pending.Take(std::span(buffer, size)));
    }
    if (m_bFailed) {
        return -1;
    }
    if (size == 0) {
        return 0;
    }
    for (;;) {
        pollfd p{m_fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, kNoWaitMs);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0) {
            m_bFailed = true;
            return -1;
        }
        if (ready == 0) {
            return 0;
        }
        if ((p.revents & POLLIN) == 0) {
            m_bFailed = true;  // hang-up or error with nothing left to read
            return -1;
        }
        const ssize_t n = ::read(m_fd, buffer, size);
        if (n > 0) {
            return static_cast<int>(n);
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if ((n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) ||
            (n == 0 && (p.revents & POLLHUP) == 0)) {
            return 0;  // another reader took them: not a hang-up
        }
        m_bFailed = true;
        return -1;
    }
}

bool SerialPort::CheckLine() {
    if (!m_bOpen || m_bFailed) {
        return false;
    }
    pollfd p{m_fd, 0, 0};  // POLLHUP and POLLERR are always reported
    if (::poll(&p, 1, kNoWaitMs) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
        m_bFailed = true;
    }
    return !m_bFailed;
}

void SerialPort::WaitForInput(int waitMs) const {
    const int fd = m_fd.load();
    std::array<pollfd, 2> p{{{m_wakeFd, POLLIN, 0}, {fd, POLLIN, 0}}};
    // Without a port there is nothing to wake for but the time-out, so the
    // caller does not spin on a closed line.
    const nfds_t count = fd >= 0 ? 2 : 1;
    if (::poll(p.data(), count, std::max(waitMs, 0)) > 0 && (p[0].revents & POLLIN) != 0) {
        std::uint64_t drained = 0;
        [[maybe_unused]] const ssize_t n = ::read(m_wakeFd, &drained, sizeof drained);
    }
}

void SerialPort::SetAside(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) {
        return;
    }
    m_pending.Append(bytes);
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_wakeFd, &one, sizeof one);
}

void SerialPort::SetAsideWaitingInput() {
    std::array<std::uint8_t, kSetAsideChunk> chunk{};
    // A far side that writes without pause must not hold the command back:
    // one stash's worth is all that is taken.
    std::size_t taken = 0;
    while (m_bOpen && !m_bFailed && taken < m_pending.Capacity()) {
        pollfd p{m_fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, kNoWaitMs);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        // A hang-up or error is left for the write and the reply read to
        // report as they always do.
        if (ready <= 0 || (p.revents & POLLIN) == 0) {
            break;
        }
        const ssize_t n = ::read(m_fd, chunk.data(), chunk.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        SetAsideFromLine(std::span(chunk.data(), static_cast<std::size_t>(n)));
        taken += static_cast<std::size_t>(n);
    }
    ReleaseHeldBack();
}

void SerialPort::SetAsideFromLine(std::span<const std::uint8_t> bytes) {
    const auto now = Clock::now();
    if (!m_owed.Active(now)) {
        SetAside(bytes);
        return;
    }
    std::vector<std::uint8_t> pen;
    m_owed.Filter(bytes, now, pen);
    SetAside(pen);
}

void SerialPort::ReleaseHeldBack() {
    std::vector<std::uint8_t> pen;
    m_owed.Release(Clock::now(), pen);
    SetAside(pen);
}

void SerialPort::SettleOwedAnswers() {
    std::array<std::uint8_t, kSetAsideChunk> chunk{};
    for (;;) {
        const auto now = Clock::now();
        if (!m_bOpen || m_bFailed || m_owed.Count(now) == 0) {
            break;
        }
        pollfd p{m_fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, PollMs(*m_owed.NextWriteOff() - now));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0 || (ready > 0 && (p.revents & POLLIN) == 0)) {
            m_bFailed = true;  // hang-up or error: the command is not sent
            break;
        }
        if (ready == 0) {
            continue;  // the loop head writes the debt off
        }
        const ssize_t n = ::read(m_fd, chunk.data(), chunk.size());
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
            continue;
        }
        if (n <= 0) {
            if (n < 0 || (p.revents & POLLHUP) != 0) {
                m_bFailed = true;
                break;
            }
            continue;
        }
        SetAsideFromLine(std::span(chunk.data(), static_cast<std::size_t>(n)));
    }
    ReleaseHeldBack();
}

int SerialPort::Exchange(const std::uint8_t* frame, std::size_t length, std::uint8_t* reply,
                         std::size_t replySize, int /*timeoutMs*/) {
    // This takes the first port that exists, not the one the pad is on;
    // discovery is what finds the pad.
    for (int number = kFirstComPort; !m_bOpen && number < kFirstComPort + kComPortCount; ++number) {
        Open(DefaultPortSpec(number), PortChoice::kScanned);
    }
    if (!m_bOpen) {
        return -1;
    }
    // Bytes on the line now left the pad before it saw this frame: pen
    // reports. As the front of the "reply" they would put a pen byte where
    // the ack is looked for, and be lost to the pen reader.
    SetAsideWaitingInput();
    // An answer still owed comes before this frame's: waited for here, it
    // cannot pass for this frame's answer.
    SettleOwedAnswers();
    if (m_bFailed) {
        return -1;
    }
    const auto sent = Clock::now();
    if (Write(frame, length) != static_cast<int>(length)) {
        return -1;
    }
    if (reply == nullptr || replySize == 0) {
        m_owed.Owe(Clock::now());  // sent without waiting: its answer is still to come
        return 0;
    }
    // On a pseudo-terminal the write returns while some 8 KB still wait
    // for the other side; a pad that takes its input at line rate answers
    // only after the last of them, so the answer's wait starts no earlier,
    // and allows for a line somewhat slower than the host's clock says.
    constexpr int kPercent = 100;
    const auto crossed = WireTime(length) * (kPercent + kSlowLineAllowancePercent) / kPercent;
    const int answer = ReadAnswer(reply, replySize, sent + crossed);
    if (answer == 0) {
        m_owed.Owe(Clock::now());
    }
    return answer;
}

std::optional<std::size_t> SerialPort::IsolateAnswer(std::span<std::uint8_t> reply) {
    // The line carries one byte stream: pen reports the pad sent while the
    // frame was on its way in come before its answer, and reports it sends
    // right after answering may follow in the same read. The answer is the
    // first whole, checked frame; what lies around it is pen data.
    const std::size_t maxPayload =
        reply.size() > kShortFrameOverhead ? reply.size() - kShortFrameOverhead : 0;
    for (std::size_t start = 0; start < reply.size(); ++start) {
        std::size_t length = 0;
        if (reply[start] != kStx ||
            CheckShortFrame(reply.subspan(start), maxPayload, &length) != FrameCheck::kWhole) {
            continue;
        }
        if (start == 0 && length == reply.size()) {
            return length;
        }
        SetAside(reply.first(start));
        SetAside(reply.subspan(start + length));
        std::memmove(reply.data(), reply.data() + start, length);
        return length;
    }
    return std::nullopt;
}

}  // namespace vellumix::padlink
