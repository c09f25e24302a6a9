#include "padlink/PadLink.h"

#include "padlink/HidPort.h"
#include "padlink/PadProtocol.h"
#include "padlink/SerialPort.h"
#include "padlink/SerialSettings.h"

namespace vellumix::padlink {

namespace {

// 8N1: a start bit, eight data bits and a stop bit a byte.
constexpr long long kBitsPerByte = 10;

// What a link made without any transport talks through: the link is down.
class NoTransport final : public PadTransport {
public:
    int Exchange(const std::uint8_t*, std::size_t, std::uint8_t*, std::size_t, int) override {
        return -1;
    }
    int ReadPen(std::uint8_t*, std::size_t, int) override { return -1; }
    bool WaitsOutsideReads() const override { return false; }
    bool CheckLine() override { return false; }
    bool IsOpen() const override { return false; }
    void Close() override {}
    OpenFailure LastOpenFailure() const override { return OpenFailure::kNoSuchPort; }
    std::string OpenFailureReason() const override {
        return std::string(OpenFailureText(OpenFailure::kNoSuchPort));
    }
};

}  // namespace

PadLink::PadLink(std::unique_ptr<SerialPort> serial, std::unique_ptr<HidPort> hid)
    : m_serial(std::move(serial)), m_hid(std::move(hid)) {}

PadLink::PadLink(std::unique_ptr<SerialPort> serial) : m_serial(std::move(serial)) {}

PadLink::PadLink(std::unique_ptr<HidPort> hid) : m_hid(std::move(hid)) {}

PadLink::~PadLink() = default;

bool PadLink::Use(PadLinkKind kind) {
    if ((kind == PadLinkKind::kUsb && !m_hid) || (kind == PadLinkKind::kSerial && !m_serial)) {
        return false;
    }
    if (kind == PadLinkKind::kSerial) {
        // Read here, on the thread that opened the port: the pen reader asks
        // for the wire time while another thread may reopen it.
        const auto settings = ParseSerialSettings(m_serial->Settings());
        m_baud = settings ? settings->baud : 0;
    }
    m_kind = kind;
    return true;
}

PadTransport& PadLink::Transport() const {
    switch (Kind()) {
        case PadLinkKind::kUsb:
            return *m_hid;
        case PadLinkKind::kSerial:
            return *m_serial;
        case PadLinkKind::kNone:
            break;
    }
    if (m_serial) {
        return *m_serial;
    }
    if (m_hid) {
        return *m_hid;
    }
    static NoTransport none;
    return none;
}

std::chrono::microseconds PadLink::WireTime(std::size_t bytes) const {
    if (&Transport() != static_cast<PadTransport*>(m_serial.get())) {
        return std::chrono::microseconds{0};
    }
    const int baud = m_baud.load() > 0 ? m_baud.load() : kSerialBaud;
    return std::chrono::microseconds{static_cast<long long>(bytes) * kBitsPerByte * 1'000'000LL /
                                     baud};
}

void PadLink::SetWriteProgress(const PadTransport::WriteProgress& progress) {
    if (m_serial) {
        m_serial->SetWriteProgress(progress);
    }
    if (m_hid) {
        m_hid->SetWriteProgress(progress);
    }
}

void PadLink::Close() {
    if (m_serial) {
        m_serial->Close();
    }
    if (m_hid) {
        m_hid->Close();
    }
}

}  // namespace vellumix::padlink
