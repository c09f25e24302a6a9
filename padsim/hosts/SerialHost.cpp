#include "SerialHost.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <thread>

#include "padlink/PortResolver.h"

namespace vellumix::padsim::hosts {

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

// Longest sleep of the host thread with nothing due: pen input from another
// thread goes out within this even when nobody calls WakeUp.
constexpr std::chrono::milliseconds kIdlePoll{20};
constexpr std::size_t kReadChunk = 4096;
// Paced, the line moves this many bytes at a time, so a long frame still
// arrives as a trickle rather than in one lump after a long wait.
constexpr std::size_t kPaceChunk = 16;
// Paced bytes looked at within this long after the line's last ones were
// already waiting and follow them back to back; the host thread wakes that
// late from its sleeps (poll counts whole milliseconds). Later, the line was
// idle and they start now.
constexpr std::chrono::microseconds kBurstGap{2000};

void SetError(std::string* error, const std::string& what) {
    if (error != nullptr) {
        *error = what;
    }
}

std::string Errno(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

int PollTimeout(Clock::time_point now, Clock::time_point until) {
    if (until <= now) {
        return 0;
    }
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(until - now).count();
    return static_cast<int>(std::min<long long>(ms, kIdlePoll.count()));
}

bool ConfigureRaw(int fd) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~CRTSCTS;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, B38400);
    cfsetospeed(&tio, B38400);
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

// A link that points nowhere, or one whose lock we now hold, was left by a
// host that died without cleaning up; it may be replaced. Anything else at
// that name is someone's.
bool NameIsFree(const fs::path& link, bool ownLock) {
    std::error_code ec;
    const auto status = fs::symlink_status(link, ec);
    if (ec || status.type() == fs::file_type::not_found) {
        return true;
    }
    if (status.type() == fs::file_type::symlink && (ownLock || !fs::exists(link, ec))) {
        fs::remove(link, ec);
        return !ec;
    }
    return false;
}

// A resolver checking the lock holds it shared for a moment; the next try
// gets it.
constexpr int kLockTries = 20;
constexpr std::chrono::milliseconds kLockRetryPause{1};

// The lock beside a link: held for as long as the link is ours, so a
// resolver can tell a live link from one a killed host left behind. -1 when
// another host holds it.
int TakePortLock(const fs::path& lockPath) {
    const int fd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        return -1;
    }
    for (int k = 0; k < kLockTries; ++k) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
            return fd;
        }
        std::this_thread::sleep_for(kLockRetryPause);
    }
    close(fd);
    return -1;
}

}  // namespace

SerialHost::SerialHost(engine::PadEngine& engine, SerialHostOptions options)
    : m_engine(engine), m_options(std::move(options)), m_noise(m_options.penNoise) {}

SerialHost::~SerialHost() {
    Stop();
}

bool SerialHost::Start(std::string* error) {
    if (m_thread.joinable()) {
        SetError(error, "already running");
        return false;
    }
    const bool comValid = m_options.comNumber == 0 ||
                          (m_options.comNumber >= padlink::kFirstComPort &&
                           m_options.comNumber < padlink::kFirstComPort + padlink::kComPortCount);
    if (!comValid) {
        SetError(error, "port number must be 0 to 9");
        return false;
    }
    // Close-on-exec, both sides: a program the host's process starts must not
    // hold the line open, or pulling the cable would hang up nobody.
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0) {
        SetError(error, Errno("posix_openpt"));
        return false;
    }
    char name[128] = {};
    if (grantpt(m_master) != 0 || unlockpt(m_master) != 0 ||
        ptsname_r(m_master, name, sizeof name) != 0) {
        SetError(error, Errno("pseudo-terminal set-up"));
        CloseAll();
        return false;
    }
    m_slavePath = name;
    m_slave = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_slave < 0 || !ConfigureRaw(m_slave)) {
        SetError(error, Errno("opening the slave side"));
        CloseAll();
        return false;
    }
    // Non-blocking master: the host thread waits in poll(), where a stop
    // request can reach it, never inside read() or write().
    const int flags = fcntl(m_master, F_GETFL);
    m_wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (flags < 0 || fcntl(m_master, F_SETFL, flags | O_NONBLOCK) != 0 || m_wake.load() < 0) {
        SetError(error, Errno("master set-up"));
        CloseAll();
        return false;
    }
    const fs::path folder =
        m_options.portFolder.empty() ? padlink::DefaultPortFolder() : m_options.portFolder;
    if (!Publish(folder, error)) {
        CloseAll();
        return false;
    }
    m_stop = false;
    m_running = true;
    m_noise = engine::PenLineNoise(m_options.penNoise);
    m_penBytes = 0;
    m_penWritten = 0;
    m_thread = std::thread([this] { Run(); });
    return true;
}

bool SerialHost::Publish(const fs::path& folder, std::string* error) {
    if (!padlink::CreatePortFolder(folder)) {
        SetError(error, "cannot use the port folder " + folder.string());
        return false;
    }
    const int first = m_options.comNumber != 0 ? m_options.comNumber : kFirstPublishedCom;
    const int last = m_options.comNumber != 0 ? m_options.comNumber : kLastPublishedCom;
    for (int n = first; n <= last; ++n) {
        const fs::path link = padlink::PortLinkPath(folder, n);
        const int lock = TakePortLock(padlink::PortLockPath(folder, n));
        if (lock < 0) {
            continue;  // a live host holds this number
        }
        if (!NameIsFree(link, true)) {
            close(lock);
            continue;
        }
        // symlink() fails with EEXIST if another host took the name since
        // the test: then this number is not ours and the next one is tried.
        if (symlink(m_slavePath.c_str(), link.c_str()) == 0) {
            m_link = link;
            m_lock = lock;
            m_lockPath = padlink::PortLockPath(folder, n);
            m_com = n;
            return true;
        }
        const int saved = errno;
        close(lock);
        if (saved != EEXIST) {
            errno = saved;
            SetError(error, Errno("publishing the port link"));
            return false;
        }
    }
    SetError(error, m_options.comNumber != 0
                        ? "COM" + std::to_string(m_options.comNumber) + " is taken"
                        : std::string("no free COM number in ") + folder.string());
    return false;
}

void SerialHost::Unpublish() {
    if (m_link.empty()) {
        return;
    }
    // Only our own link goes: a new host may have taken the name already.
    std::error_code ec;
    if (fs::is_symlink(m_link, ec) && fs::read_symlink(m_link, ec) == fs::path(m_slavePath)) {
        fs::remove(m_link, ec);
    }
    if (m_lock >= 0) {
        fs::remove(m_lockPath, ec);
        close(m_lock);
        m_lock = -1;
    }
    m_lockPath.clear();
    m_link.clear();
    m_com = 0;
}

void SerialHost::CloseLine() {
    for (int* fd : {&m_master, &m_slave}) {
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
    }
}

void SerialHost::CloseAll() {
    CloseLine();
    // The wake descriptor goes last and only from the owner's thread, so a
    // WakeUp from elsewhere never writes to a number the system reused.
    const int wake = m_wake.exchange(-1);
    if (wake >= 0) {
        close(wake);
    }
}

void SerialHost::Stop() {
    m_stop = true;
    WakeUp();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    Unpublish();
    CloseAll();
    m_running = false;
}

void SerialHost::WakeUp() {
    const int fd = m_wake.load();
    if (fd >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto n = write(fd, &one, sizeof one);
    }
}

bool SerialHost::WaitFor(Clock::time_point until) {
    // Sleeps until `until` unless asked to stop; false when asked.
    while (!m_stop) {
        const auto now = Clock::now();
        if (now >= until) {
            return true;
        }
        // ppoll, not poll: a paced byte takes 260 us, and rounding each
        // wait up to a whole millisecond would slow the line by half.
        pollfd p{m_wake.load(), POLLIN, 0};
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(until - now).count();
        const timespec wait{static_cast<time_t>(ns / 1'000'000'000),
                            static_cast<long>(ns % 1'000'000'000)};
        // A wake-up asks for pen output to be looked at; the loop does that
        // after every write anyway, so it is taken here rather than left to
        // make this wait spin.
        if (ppoll(&p, 1, &wait, nullptr) > 0 && (p.revents & POLLIN) != 0) {
            std::uint64_t drained = 0;
            [[maybe_unused]] const auto n = read(p.fd, &drained, sizeof drained);
        }
    }
    return false;
}

SerialHost::Clock::time_point SerialHost::LineTime(Clock::time_point& lineFree, std::size_t bytes,
                                                   bool waiting) {
    // The line's own clock: bytes that follow a burst back to back cross
    // from where the burst ended, so waking late for one chunk does not slow
    // the next, as a UART's shift register would not; after a pause they
    // cross from now.
    const auto micros = static_cast<long long>(bytes) * 1'000'000LL / m_options.paceBytesPerSecond;
    const auto now = Clock::now();
    if (!waiting && now - lineFree > kBurstGap) {
        lineFree = now;
    }
    lineFree += std::chrono::microseconds(micros);
    return lineFree;
}

bool SerialHost::WriteAll(const std::uint8_t* data, std::size_t length, bool pen) {
    const int pace = m_options.paceBytesPerSecond;
    // Paced, a chunk reaches the other side once it has crossed the line:
    // the wait comes before the write.
    std::size_t onLine = 0;
    std::size_t written = 0;
    while (length > 0 && !m_stop) {
        const std::size_t chunk = pace > 0 ? std::min(length, kPaceChunk) : length;
        if (pace > 0 && onLine < chunk) {
            // After the first chunk of a write the rest was waiting.
            if (!WaitFor(LineTime(m_txLineFree, chunk - onLine, written > 0))) {
                return false;
            }
            onLine = chunk;
        }
        const ssize_t n = write(m_master, data, chunk);
        if (n < 0) {
            if (errno != EAGAIN && errno != EINTR) {
                return false;
            }
            // The client is not reading and the pty's buffer is full.
            pollfd p[2] = {{m_master, POLLOUT, 0}, {m_wake.load(), POLLIN, 0}};
            poll(p, 2, static_cast<int>(kIdlePoll.count()));
            continue;
        }
        data += n;
        length -= static_cast<std::size_t>(n);
        written += static_cast<std::size_t>(n);
        onLine -= std::min(onLine, static_cast<std::size_t>(n));
        if (pen && pace > 0 && m_options.onPenCrossed) {
            m_penWritten += static_cast<std::uint64_t>(n);
            m_options.onPenCrossed(m_penWritten, Clock::now());
        }
    }
    return length == 0;
}

void SerialHost::ApplyPenFault(std::vector<std::uint8_t>& bytes) {
    m_noise.Apply(bytes);
    const int n = m_options.dropEveryNthPenByte;
    if (n <= 0) {
        return;
    }
    std::vector<std::uint8_t> kept;
    kept.reserve(bytes.size());
    for (const std::uint8_t b : bytes) {
        if (++m_penBytes % static_cast<std::uint64_t>(n) != 0) {
            kept.push_back(b);
        }
    }
    bytes.swap(kept);
}

void SerialHost::Run() {
    const auto started = Clock::now();
    const bool unplugs = m_options.unplugAfter.count() > 0;
    const auto unplugAt = started + m_options.unplugAfter;
    std::vector<std::uint8_t> buffer(kReadChunk);
    const int pace = m_options.paceBytesPerSecond;
    while (!m_stop) {
        auto now = Clock::now();
        if (unplugs && now >= unplugAt) {
            // The cable comes out: the client's next read or write fails.
            Unpublish();
            CloseLine();
            m_running = false;
            return;
        }
        const auto answers = m_engine.Tick(now);
        if (!answers.empty() && !WriteAll(answers.data(), answers.size())) {
            break;
        }
        auto pen = m_engine.TakePenOutput(now);
        ApplyPenFault(pen);
        if (!pen.empty() && !WriteAll(pen.data(), pen.size(), true)) {
            break;
        }

        auto wakeAt = now + kIdlePoll;
        if (const auto next = m_engine.NextWakeTime()) {
            wakeAt = std::min(wakeAt, std::max(*next, now));
        }
        if (unplugs) {
            wakeAt = std::min(wakeAt, unplugAt);
        }
        pollfd p[2] = {{m_master, POLLIN, 0}, {m_wake.load(), POLLIN, 0}};
        if (poll(p, 2, PollTimeout(now, wakeAt)) < 0 && errno != EINTR) {
            break;
        }
        if ((p[1].revents & POLLIN) != 0) {
            std::uint64_t drained = 0;
            [[maybe_unused]] const auto n = read(m_wake.load(), &drained, sizeof drained);
        }
        if ((p[0].revents & POLLIN) == 0) {
            if ((p[0].revents & (POLLHUP | POLLERR)) != 0) {
                // Not expected while our own slave descriptor is open; wait
                // instead of spinning on it.
                WaitFor(Clock::now() + kIdlePoll);
            }
            continue;
        }
        const std::size_t want = pace > 0 ? kPaceChunk : buffer.size();
        const ssize_t n = read(m_master, buffer.data(), want);
        if (n <= 0) {
            continue;
        }
        // Bytes the host had queued behind the last chunk were on the line
        // back to back, however late this thread got to them.
        const bool waiting = m_rxBacklog;
        int queued = 0;
        m_rxBacklog = ioctl(m_master, FIONREAD, &queued) == 0 && queued > 0;
        if (pace > 0 && !WaitFor(LineTime(m_rxLineFree, static_cast<std::size_t>(n), waiting))) {
            break;
        }
        now = Clock::now();
        const auto replies =
            m_engine.Feed(std::span(buffer.data(), static_cast<std::size_t>(n)), now);
        if (!replies.empty() && !WriteAll(replies.data(), replies.size())) {
            break;
        }
    }
    m_running = false;
}

}  // namespace vellumix::padsim::hosts
