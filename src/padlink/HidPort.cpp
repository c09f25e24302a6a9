#include "padlink/HidPort.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <span>
#include <utility>

#include "padlink/PadProtocol.h"
#include "padlink/PadUsbIds.h"

namespace vellumix::padlink {

namespace {

// A pad that keeps the continuation bit set (or sends endless empty 0x80
// reports) must not hold the caller forever: a 512-byte reply needs 9 reports,
// a pen read a handful; this is the device's whole input queue.
constexpr std::size_t kMaxReportsPerRead = 4096;

constexpr int kWriteTimeoutMs = static_cast<int>(hidreport::kWriteTimeout.count());

using Clock = std::chrono::steady_clock;

// Setting waiting input aside must not wait for input still to come.
constexpr int kNoWait = 0;

// The pad answers a command before it sends more pen data, so only the pen
// reports already on the wire can come ahead of a reply: a handful. A pad
// that streams on and never answers ends the reply read after this many.
constexpr int kMaxStrayReadsPerReply = 8;

// Both directions must carry report id, chunk byte and 63 frame bytes, and fit
// the report buffer. A length of 0 means the device's capabilities could not
// be read.
bool UsableReportLength(std::size_t length) {
    return length >= hidreport::kReportLength && length <= hidreport::kReportBufferSize;
}

}  // namespace

HidPort::HidPort(std::unique_ptr<HidBackend> backend, HidTarget target)
    : m_backend(std::move(backend)), m_target(std::move(target)) {}

HidPort::~HidPort() = default;

std::vector<HidDeviceInfo> HidPort::ListTarget() const {
    std::vector<HidDeviceInfo> found;
    if (!m_backend) {
        return found;
    }
    if (m_target.path.empty()) {
        for (HidDeviceInfo& info :
             m_backend->Enumerate(m_target.ids.vendorId, m_target.ids.productId)) {
            if (info.vendorId == m_target.ids.vendorId &&
                info.productId == m_target.ids.productId) {
                found.push_back(std::move(info));
            }
        }
        return found;
    }
    for (HidDeviceInfo& info : m_backend->EnumerateAll()) {
        if (info.path == m_target.path) {
            found.push_back(std::move(info));
            break;
        }
    }
    return found;
}

bool HidPort::Open(std::uint16_t vendorId, std::uint16_t productId) {
    m_target = HidTarget{UsbIds{vendorId, productId}, {}};
    return Open();
}

bool HidPort::OpenPath(std::string path) {
    m_target = HidTarget{{}, std::move(path)};
    return Open();
}

bool HidPort::Open() {
    Close();
    m_openFailure = OpenFailure::kNone;
    m_openFailureReason.clear();
    const std::vector<HidDeviceInfo> listed = ListTarget();
    if (listed.empty() && !m_target.path.empty()) {
        m_openFailure = OpenFailure::kNoSuchPort;
    }
    for (const HidDeviceInfo& info : listed) {
        // A device that refuses to open may be held by another program or
        // lack permissions; another one with the same ids may still work.
        HidOpenResult opened = m_backend->Open(info);
        std::unique_ptr<HidDevice> device = std::move(opened.device);
        if (!device) {
            m_openFailure =
                opened.failure != OpenFailure::kNone ? opened.failure : OpenFailure::kDeviceError;
            m_openFailureReason = std::move(opened.reason);
            continue;
        }
        // An opened pad whose reports cannot hold the layout is a wrong or
        // broken device: give up rather than talk to it or to its twin.
        if (!UsableReportLength(device->InputReportLength()) ||
            !UsableReportLength(device->OutputReportLength())) {
            return false;
        }
        m_device = std::move(device);
        m_openFailure = OpenFailure::kNone;
        m_openFailureReason.clear();
        return true;
    }
    return false;
}

void HidPort::Close() {
    m_device.reset();
    m_pending.Clear();
    m_owed.Clear();
}

bool HidPort::IsOpen() const {
    return m_device != nullptr;
}

bool HidPort::DevicePresent() const {
    return m_device && !ListTarget().empty();
}

bool HidPort::Write(const std::uint8_t* frame, std::size_t length) {
    if (!m_device || frame == nullptr || length == 0) {
        return false;
    }
    const std::size_t reportLength = m_device->OutputReportLength();
    // Bytes past the data are written once as 0 and never touched again
    // until the last report, which clears behind its shorter data.
    std::array<std::uint8_t, hidreport::kReportBufferSize> report{};
    report[0] = hidreport::kReportId;
    std::uint8_t* data = report.data() + hidreport::kDataOffset;

    std::size_t offset = 0;
    while (length - offset > hidreport::kReportDataBytes) {
        report[hidreport::kChunkOffset] = hidreport::kChunkFull;
        std::memcpy(data, frame + offset, hidreport::kReportDataBytes);
        if (!m_device->WriteReport(report.data(), reportLength, kWriteTimeoutMs)) {
            return false;
        }
        offset += hidreport::kReportDataBytes;
        ReportWriteProgress(offset, length);
    }
    const std::size_t rest = length - offset;  // 1..63
    report[hidreport::kChunkOffset] = static_cast<std::uint8_t>(rest);
    std::memcpy(data, frame + offset, rest);
    std::fill(data + rest, report.data() + report.size(), std::uint8_t{0});
    if (!m_device->WriteReport(report.data(), reportLength, kWriteTimeoutMs)) {
        return false;
    }
    ReportWriteProgress(length, length);
    return true;
}

int HidPort::ReadOneReport(std::uint8_t out[64], int waitMs) {
    std::memset(out, 0, hidreport::kChunkAndData);
    if (!m_device) {
        return -1;
    }
    std::array<std::uint8_t, hidreport::kReportBufferSize> report{};
    const std::size_t want = std::min(m_device->InputReportLength(), report.size());
    const int got = m_device->ReadReport(report.data(), want, waitMs);
    if (got < 0) {
        // The handle is dead (unplugged); the next exchange opens afresh.
        Close();
        return -1;
    }
    // A device may claim more than it was given room for; trust only what
    // fits the buffer.
    const std::size_t held = std::min(static_cast<std::size_t>(got), want);
    if (held <= hidreport::kChunkOffset || report[hidreport::kChunkOffset] == 0) {
        return 0;  // nothing arrived; out[0] stays 0
    }
    const std::size_t copied = std::min(held - hidreport::kChunkOffset, hidreport::kChunkAndData);
    std::memcpy(out, report.data() + hidreport::kChunkOffset, copied);
    return static_cast<int>(copied - 1);
}

bool HidPort::ReadReport(std::uint8_t out[64], int waitMs) {
    return ReadOneReport(out, waitMs) >= 0;
}

int HidPort::Read(std::uint8_t* out, std::size_t capacity, int waitMs) {
    return ReadJoined(out, capacity, waitMs, nullptr);
}

int HidPort::ReadJoined(std::uint8_t* out, std::size_t capacity, int waitMs,
                        PendingInput* overflow) {
    if (out == nullptr || !m_device) {
        return 0;
    }
    std::array<std::uint8_t, hidreport::kChunkAndData> chunk{};
    std::size_t total = 0;
    for (std::size_t reports = 0; reports < kMaxReportsPerRead; ++reports) {
        const int held = ReadOneReport(chunk.data(), waitMs);
        if (held < 0) {
            break;
        }
        const std::uint8_t c = chunk[0];
        if (c == 0) {
            break;
        }
        // The count may claim more than a report carries, or than this report
        // really delivered.
        const std::size_t n = std::min(static_cast<std::size_t>(c & hidreport::kChunkCountMask),
                                       static_cast<std::size_t>(held));
        const std::size_t stored = std::min(n, capacity - total);
        std::memcpy(out + total, chunk.data() + 1, stored);
        total += stored;
        if (overflow != nullptr && stored < n) {
            overflow->Append(std::span(chunk.data() + 1 + stored, n - stored));
        }
        if ((c & hidreport::kChunkMore) == 0) {
            break;
        }
    }
    return static_cast<int>(total);
}

std::string HidPort::OpenFailureReason() const {
    if (!m_openFailureReason.empty()) {
        return m_openFailureReason;
    }
    return std::string(UsbOpenFailureText(m_openFailure));
}

int HidPort::Exchange(const std::uint8_t* frame, std::size_t length, std::uint8_t* reply,
                      std::size_t replySize, int timeoutMs) {
    if (!m_device && !Open()) {
        return -1;
    }
    // The capacity bounds the joined input reports: a pad that keeps the
    // continuation bit set cannot run the reply past the caller's buffer.
    return ExchangeOpen(frame, length, reply, replySize, timeoutMs);
}

int HidPort::ReadPen(std::uint8_t* buffer, std::size_t size, int waitMs) {
    if (!IsOpen()) {
        return -1;
    }
    const int n = ReadPenStream(buffer, size, waitMs);
    return n != 0 || IsOpen() ? n : -1;
}

int HidPort::ReadPenStream(std::uint8_t* out, std::size_t capacity, int waitMs) {
    if (out == nullptr || capacity == 0) {
        return 0;
    }
    if (m_pending.Empty() && m_owed.Active(Clock::now())) {
        // While an answer is owed every report passes its filter first: a
        // late answer read here is no pen data.
        SetAsideInput(waitMs);
        if (m_pending.Empty()) {
            return 0;
        }
    }
    if (!m_pending.Empty()) {
        return static_cast<int>(m_pending.Take(std::span(out, capacity)));
    }
    // Pen data past the caller's buffer is the stream's next bytes: keep them.
    return ReadJoined(out, capacity, waitMs, &m_pending);
}

void HidPort::SetAsideInput(int firstWaitMs) {
    std::array<std::uint8_t, hidreport::kChunkAndData> chunk{};
    int waitMs = firstWaitMs;
    for (std::size_t reports = 0; m_device && reports < kMaxReportsPerRead; ++reports) {
        const int held = ReadOneReport(chunk.data(), waitMs);
        waitMs = kNoWait;
        if (held < 0 || chunk[0] == 0) {
            break;
        }
        const std::size_t n =
            std::min(static_cast<std::size_t>(chunk[0] & hidreport::kChunkCountMask),
                     static_cast<std::size_t>(held));
        SetAsideFromDevice(std::span(chunk.data() + 1, n));
    }
    ReleaseHeldBack();
}

void HidPort::SetAsideFromDevice(std::span<const std::uint8_t> bytes) {
    const auto now = Clock::now();
    if (!m_owed.Active(now)) {
        m_pending.Append(bytes);
        return;
    }
    std::vector<std::uint8_t> pen;
    m_owed.Filter(bytes, now, pen);
    m_pending.Append(pen);
}

void HidPort::ReleaseHeldBack() {
    std::vector<std::uint8_t> pen;
    m_owed.Release(Clock::now(), pen);
    m_pending.Append(pen);
}

void HidPort::SettleOwedAnswers() {
    for (;;) {
        const auto now = Clock::now();
        if (!m_device || m_owed.Count(now) == 0) {
            break;
        }
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(*m_owed.NextWriteOff() - now);
        SetAsideInput(static_cast<int>(left.count()));
    }
    ReleaseHeldBack();
}

int HidPort::Exchange(std::uint16_t vendorId, std::uint16_t productId, const std::uint8_t* frame,
                      std::size_t length, std::uint8_t* reply, std::size_t replyCapacity,
                      int waitMs) {
    if (!m_device || !m_target.path.empty() || vendorId != m_target.ids.vendorId ||
        productId != m_target.ids.productId) {
        if (!Open(vendorId, productId)) {
            return -1;
        }
    }
    return ExchangeOpen(frame, length, reply, replyCapacity, waitMs);
}

int HidPort::ExchangeOpen(const std::uint8_t* frame, std::size_t length, std::uint8_t* reply,
                          std::size_t replyCapacity, int waitMs) {
    if (length > 0) {
        // Whatever is waiting now left the pad before it saw this frame: pen
        // reports, not the reply. Read as the reply, they would fail its ack
        // test and be lost to the pen reader.
        SetAsideInput(kNoWait);
        // An answer still owed comes before this frame's: waited for here, it
        // cannot pass for this frame's answer.
        SettleOwedAnswers();
        if (!m_device) {
            return -1;  // the pad went away meanwhile
        }
        if (!Write(frame, length)) {
            // Half a frame may be out; a fresh handle on the next exchange is
            // the only way back in step after an unplug.
            Close();
            return -1;
        }
    }
    if (reply == nullptr) {
        if (length > 0) {
            m_owed.Owe(Clock::now());  // sent without waiting: its answer is still to come
        }
        return 0;
    }
    // Every answer of the pad is a frame and begins with STX. Anything else
    // is pen data the pad sent while the frame was on its way in.
    for (int stray = 0; stray < kMaxStrayReadsPerReply; ++stray) {
        const int n = Read(reply, replyCapacity, waitMs);
        if (n <= 0 || reply[0] == kStx) {
            // A read that failed closed the device: the pad is gone.
            if (n == 0 && !m_device) {
                return -1;
            }
            if (n == 0) {
                m_owed.Owe(Clock::now());
            }
            return n;
        }
        m_pending.Append(std::span(reply, static_cast<std::size_t>(n)));
    }
    m_owed.Owe(Clock::now());
    return 0;
}

}  // namespace vellumix::padlink
