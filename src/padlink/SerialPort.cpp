// The serial port's rules over its line (SerialLine.h): the read rule, the
// answer cut out of the byte stream, the pen data set aside, the owed
// answers and the waits that allow for the wire time. Nothing here knows the
// platform.
#include "padlink/SerialPort.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <climits>
#include <cstring>
#include <limits>
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
constexpr Clock::duration kNoWait = Clock::duration::zero();
// While the driver's output queue drains, it is looked at this often at
// most: a DrawLine frame takes 3.4 ms at 38400 baud.
constexpr std::chrono::microseconds kDrainPollLimit{1000};
// 8N1: a start bit, eight data bits and a stop bit a byte.
constexpr long long kBitsPerByte = 10;
// The read size when setting bytes aside: a driver queue's worth.
constexpr std::size_t kSetAsideChunk = 4096;

}  // namespace

SerialPort::SerialPort(std::filesystem::path portFolder, std::vector<std::string> devicePrefixes,
                       SystemRoots roots)
    : m_portFolder(std::move(portFolder)),
      m_devicePrefixes(std::move(devicePrefixes)),
      m_roots(std::move(roots)),
      m_line(MakeSystemSerialLine(m_roots)) {}

SerialPort::~SerialPort() {
    Close();
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
    const LineOpenResult opened = m_line->Open(device, *settings);
    if (opened.failure != OpenFailure::kNone) {
        m_openFailure = opened.failure;
        m_openFailureReason = opened.reason;
        return false;
    }
    m_baud = settings->baud;
    m_bOpen = true;
    m_bFailed = false;
    m_openFailure = OpenFailure::kNone;
    m_strSettings = parts->settings;
    return true;
}

void SerialPort::Close() {
    m_line->Close();
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
        const auto stallLeft = lastProgress + kWriteStallLimit - Clock::now();
        const LineTransfer sent = m_line->Send(std::span(data + done, length - done),
                                               std::max(stallLeft, Clock::duration::zero()));
        if (sent.failed) {
            return 0;
        }
        if (sent.bytes > 0) {
            done += sent.bytes;
            lastProgress = Clock::now();
            ReportWriteProgress(done, length);
        } else if (stallLeft <= Clock::duration::zero()) {
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
    std::size_t lastQueued = std::numeric_limits<std::size_t>::max();
    for (;;) {
        const std::optional<std::size_t> queued = m_line->QueuedOutput();
        if (!queued) {
            // A driver that cannot tell: the blocking wait is all there is.
            return m_line->WaitUntilSent();
        }
        if (*queued == 0) {
            return true;
        }
        const auto now = Clock::now();
        if (*queued < lastQueued) {
            lastQueued = *queued;
            lastProgress = now;
        } else if (now - lastProgress >= kWriteStallLimit) {
            return false;
        }
        std::this_thread::sleep_for(std::min<Clock::duration>(WireTime(*queued), kDrainPollLimit));
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
        const LineTransfer in = m_line->Receive(std::span(buffer + got, size - got), remaining);
        if (in.failed) {
            return fail();
        }
        if (in.bytes > 0) {
            got += in.bytes;
            deadline = std::min(totalDeadline, Clock::now() + kSerialInterByteTimeout);
        }
        // Nothing: the loop head decides whether the deadline passed.
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
        const LineTransfer in = m_line->Receive(std::span(reply + got, size - got), remaining);
        failed = in.failed;
        if (in.bytes == 0) {
            continue;
        }
        got += in.bytes;
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
    const LineTransfer in = m_line->Receive(std::span(buffer, size), kNoWait);
    if (in.failed) {
        m_bFailed = true;  // hang-up or error with nothing left to read
        return -1;
    }
    return static_cast<int>(in.bytes);
}

bool SerialPort::CheckLine() {
    if (!m_bOpen || m_bFailed) {
        return false;
    }
    if (m_line->HungUp()) {
        m_bFailed = true;
    }
    return !m_bFailed;
}

void SerialPort::WaitForInput(int waitMs) const {
    m_line->WaitForInput(std::chrono::milliseconds(std::max(waitMs, 0)));
}

void SerialPort::SetAside(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) {
        return;
    }
    m_pending.Append(bytes);
    m_line->Wake();
}

void SerialPort::SetAsideWaitingInput() {
    std::array<std::uint8_t, kSetAsideChunk> chunk{};
    // A far side that writes without pause must not hold the command back:
    // one stash's worth is all that is taken.
    std::size_t taken = 0;
    while (m_bOpen && !m_bFailed && taken < m_pending.Capacity()) {
        // A hang-up or error is left for the write and the reply read to
        // report as they always do.
        const LineTransfer in = m_line->Receive(chunk, kNoWait);
        if (in.failed || in.bytes == 0) {
            break;
        }
        SetAsideFromLine(std::span(chunk.data(), in.bytes));
        taken += in.bytes;
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
        const LineTransfer in = m_line->Receive(chunk, *m_owed.NextWriteOff() - now);
        if (in.failed) {
            m_bFailed = true;  // hang-up or error: the command is not sent
            break;
        }
        // Nothing: the loop head writes the debt off when its time has come.
        if (in.bytes > 0) {
            SetAsideFromLine(std::span(chunk.data(), in.bytes));
        }
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
