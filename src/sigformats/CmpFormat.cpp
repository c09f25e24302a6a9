#include "sigformats/CmpFormat.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace vellumix::sigformats {

namespace {

enum class Mode { kChain, kSmall, kFree };

int Larger(int dx, int dy) {
    return std::max(std::abs(dx), std::abs(dy));
}

std::uint8_t SmallMoveByte(int dx, int dy) {
    return static_cast<std::uint8_t>((dx + cmp::kSmallMoveBias) |
                                     ((dy + cmp::kSmallMoveBias) << 4));
}

// The chain code of a step that moves exactly 2 along its larger axis.
int ChainCode(int dx, int dy) {
    if (dy == cmp::kChainStep) {
        return dx + 2;
    }
    if (dy == -cmp::kChainStep) {
        return 10 - dx;
    }
    if (dx == -cmp::kChainStep) {
        return dy + 14;
    }
    return 6 - dy;  // dx == 2
}

// All running state of one encoding: a fresh writer per call keeps the codec
// free of shared state.
class CmpWriter {
public:
    void Add(SignaturePoint p);
    std::vector<std::uint8_t> Finish();

private:
    void EmitCode(int code);
    void PenDown(int qx, int qy);
    void PenUp();
    void MoveTo(int qx, int qy);
    void ChainMoves(int qx, int qy);
    void SmallMoves(int dx, int dy, int m);
    void FreeMoves(int dx, int dy, int m);

    std::vector<std::uint8_t> m_out;
    bool m_started = false;
    std::uint8_t m_pen = 0;
    Mode m_mode = Mode::kChain;
    // A chain code waits for a second one to share its byte.
    bool m_pending = false;
    int m_pendingCode = 0;
    // The position the decoder is at, in quarter units.
    int m_px = 0;
    int m_py = 0;
};

void CmpWriter::EmitCode(int code) {
    if (!m_pending) {
        if (code == 0) {
            m_out.push_back(0x00);
        } else {
            m_pending = true;
            m_pendingCode = code;
        }
        return;
    }
    if (code != 0) {
        m_out.push_back(static_cast<std::uint8_t>(m_pendingCode | (code << 4)));
        m_pending = false;
        return;
    }
    // A zero high nibble would read as "enter small-move mode", so the code 0
    // waits as the low nibble of the next byte, which the decoder, now in
    // small-move mode, reads as "code 0, back to chain mode".
    m_out.push_back(static_cast<std::uint8_t>(m_pendingCode));
    m_pendingCode = 0;
}

void CmpWriter::PenDown(int qx, int qy) {
    // Pen lifts never leave free-move mode behind, so only two forms occur.
    m_out.push_back(m_mode == Mode::kSmall ? cmp::kSmallPenDown : cmp::kChainPenDown);
    // Short absolute form: one byte each, shifted left by 1 on decoding.
    m_out.push_back(static_cast<std::uint8_t>(qx >> 1));
    m_out.push_back(static_cast<std::uint8_t>(qy >> 1));
    m_px = qx;
    m_py = qy;
    m_pen |= cmp::kPenStateBit;
}

void CmpWriter::PenUp() {
    if (m_pending) {
        // The pending code's byte with a zero high nibble leaves the decoder
        // in small-move mode, where the pen-up code is 0x09.
        m_out.push_back(static_cast<std::uint8_t>(m_pendingCode));
        m_pending = false;
        m_out.push_back(cmp::kSmallPenUp);
        m_mode = Mode::kSmall;
    } else {
        if (m_mode == Mode::kFree) {
            // A zero free move is below the leave limit: back to small-move mode.
            m_out.push_back(0x00);
            m_out.push_back(0x00);
            m_mode = Mode::kSmall;
        }
        m_out.push_back(m_mode == Mode::kSmall ? cmp::kSmallPenUp : cmp::kChainPenUp);
    }
    m_pen &= static_cast<std::uint8_t>(~cmp::kPenStateBit);
}

void CmpWriter::ChainMoves(int qx, int qy) {
    int dx = qx - m_px;
    int dy = qy - m_py;
    int m = Larger(dx, dy);
    // What is left below 2 is carried into the next point's move.
    while (m >= cmp::kChainStep) {
        int sx = dx;
        int sy = dy;
        if (m != cmp::kChainStep) {
            const int hx = dx / 2;
            const int hy = dy / 2;
            if (Larger(hx, hy) == cmp::kChainStep) {
                sx = hx;
                sy = hy;
            } else {
                sx = dx - hx;
                sy = dy - hy;
            }
        }
        EmitCode(ChainCode(sx, sy));
        m_px += sx;
        m_py += sy;
        dx = qx - m_px;
        dy = qy - m_py;
        m = Larger(dx, dy);
    }
}

void CmpWriter::SmallMoves(int dx, int dy, int m) {
    if (m > cmp::kSmallSingleMax) {
        const int hx = dx / 2;
        const int hy = dy / 2;
        m_out.push_back(SmallMoveByte(hx, hy));
        m_px += hx;
        m_py += hy;
        dx -= hx;
        dy -= hy;
    }
    m_out.push_back(SmallMoveByte(dx, dy));
    m_px += dx;
    m_py += dy;
    if (m < cmp::kSmallToChain) {
        m_mode = Mode::kChain;
    }
}

void CmpWriter::FreeMoves(int dx, int dy, int m) {
    if (m_mode != Mode::kFree) {
        m_out.push_back(cmp::kSmallFreeMode);
        m_mode = Mode::kFree;
    }
    // A free move is one signed byte per axis. A longer jump inside a stroke
    // becomes several free moves along the line, so the stroke stays joined
    // and no difference wraps.
    const int pieces = (m + cmp::kFreeMax - 1) / cmp::kFreeMax;
    const int startX = m_px;
    const int startY = m_py;
    for (int i = 1; i <= pieces; ++i) {
        const int sx = startX + dx * i / pieces - m_px;
        const int sy = startY + dy * i / pieces - m_py;
        m_out.push_back(static_cast<std::uint8_t>(static_cast<std::int8_t>(sx)));
        m_out.push_back(static_cast<std::uint8_t>(static_cast<std::int8_t>(sy)));
        m_px += sx;
        m_py += sy;
        if (Larger(sx, sy) < cmp::kFreeToSmall) {
            m_mode = Mode::kSmall;
        }
    }
}

void CmpWriter::MoveTo(int qx, int qy) {
    const int dx = qx - m_px;
    const int dy = qy - m_py;
    const int m = Larger(dx, dy);
    if (m < cmp::kMinMove) {
        return;
    }
    if (m_mode == Mode::kChain) {
        if (m <= cmp::kChainMax) {
            ChainMoves(qx, qy);
            return;
        }
        if (m_pending) {
            // The pending code's byte with a zero high nibble also switches.
            m_out.push_back(static_cast<std::uint8_t>(m_pendingCode));
            m_pending = false;
        } else {
            m_out.push_back(cmp::kChainSmallMode);
        }
        m_mode = Mode::kSmall;
    }
    if (m_mode == Mode::kSmall && m <= cmp::kSmallMax) {
        SmallMoves(dx, dy, m);
        return;
    }
    FreeMoves(dx, dy, m);
}

void CmpWriter::Add(SignaturePoint p) {
    const bool down = p.x >= 0 && p.y >= 0;
    const std::uint8_t penByte = down ? cmp::kPenDownByte : cmp::kPenUpByte;
    if (!m_started) {
        m_out = {cmp::kStartByte, cmp::kXHeaderByte, cmp::kYHeaderByte, penByte};
        m_pen = penByte & static_cast<std::uint8_t>(~cmp::kPenStateBit);
        m_started = true;
    }
    const bool penIsDown = (m_pen & cmp::kPenStateBit) != 0;
    if (!down) {
        if (penIsDown) {
            PenUp();
        }
        return;
    }
    const int qx = p.x >> 2;
    const int qy = p.y >> 2;
    if (!penIsDown) {
        PenDown(qx, qy);
        return;
    }
    MoveTo(qx, qy);
}

std::vector<std::uint8_t> CmpWriter::Finish() {
    // A code still waiting for its byte is the last move of a list that does
    // not end with a pen lift; write it rather than lose the move.
    if (m_pending) {
        m_out.push_back(static_cast<std::uint8_t>(m_pendingCode));
        m_pending = false;
    }
    return std::move(m_out);
}

// The decoder, one byte at a time.
class CmpReader {
public:
    explicit CmpReader(const CmpHeaderInfo& header) : m_header(header) {}
    void Feed(std::uint8_t byte);
    std::vector<SignaturePoint> Take() { return std::move(m_points); }
    std::size_t PointCount() const { return m_points.size(); }

private:
    enum class State { kSeekPenDown, kAbsolute, kChain, kSmall, kFreeDx, kFreeDy, kPenByte };

    void Move(int dx, int dy);
    void ChainMove(int code) { Move(cmp::kChainDx[code], cmp::kChainDy[code]); }
    void StartAbsolute(State back);
    void Chain(std::uint8_t byte);
    void ChainHighNibble(int hi);
    void Small(std::uint8_t byte);
    void Absolute(std::uint8_t byte);

    const CmpHeaderInfo m_header;
    std::vector<SignaturePoint> m_points;
    // Points of the byte being read: a pen-up point goes before them.
    std::array<SignaturePoint, 2> m_bytePoints{};
    std::size_t m_bytePointCount = 0;
    State m_state = State::kSeekPenDown;
    State m_back = State::kChain;  // where an absolute point or pen byte returns to
    std::uint8_t m_pen = 0;
    std::int16_t m_x = 0;
    std::int16_t m_y = 0;
    std::array<std::uint8_t, 3> m_abs{};
    std::size_t m_absCount = 0;
    std::int8_t m_freeDx = 0;
};

void CmpReader::Move(int dx, int dy) {
    // The running position is 16-bit, as the pad keeps it.
    m_x = static_cast<std::int16_t>(m_x + dx);
    m_y = static_cast<std::int16_t>(m_y + dy);
    m_bytePoints[m_bytePointCount++] = {m_x * cmp::kXScale / m_header.xDivisor,
                                        m_y * cmp::kYScale / m_header.yDivisor};
}

void CmpReader::StartAbsolute(State back) {
    m_pen |= cmp::kPenStateBit;
    m_back = back;
    m_absCount = 0;
    m_state = State::kAbsolute;
}

void CmpReader::Absolute(std::uint8_t byte) {
    m_abs[m_absCount++] = byte;
    const std::size_t need = m_header.shortAbsoluteForm ? 2 : 3;
    if (m_absCount < need) {
        return;
    }
    int x = 0;
    int y = 0;
    if (m_header.shortAbsoluteForm) {
        x = m_abs[0];
        y = m_abs[1];
    } else {
        // 12-bit x in the first byte and the high nibble of the second, 12-bit
        // y in the low nibble of the second and the third.
        x = (m_abs[0] << 4) | (m_abs[1] >> 4);
        y = ((m_abs[1] & 0x0F) << 8) | m_abs[2];
    }
    m_x = static_cast<std::int16_t>(x << m_header.absoluteShift);
    m_y = static_cast<std::int16_t>(y << m_header.absoluteShift);
    Move(0, 0);
    m_state = m_back;
}

void CmpReader::ChainHighNibble(int hi) {
    // A zero high nibble switches to small-move mode.
    if (hi == 0) {
        m_state = State::kSmall;
    } else {
        ChainMove(hi);
        m_state = State::kChain;
    }
}

void CmpReader::Chain(std::uint8_t byte) {
    const int lo = byte & 0x0F;
    const int hi = byte >> 4;
    if (lo != 0) {
        ChainMove(lo);
        ChainHighNibble(hi);
        return;
    }
    switch (byte) {
        case 0x00:
            ChainMove(0);
            break;
        case cmp::kChainSmallMode:
            m_state = State::kSmall;
            break;
        case cmp::kChainPenDown:
            StartAbsolute(State::kChain);
            break;
        case cmp::kChainPenUp:
            m_pen &= static_cast<std::uint8_t>(~cmp::kPenStateBit);
            break;
        case cmp::kChainPenByte:
            m_back = State::kChain;
            m_state = State::kPenByte;
            break;
        default:
            break;  // not a code: skipped
    }
}

void CmpReader::Small(std::uint8_t byte) {
    const int lo = byte & 0x0F;
    const int hi = byte >> 4;
    if (lo == 0) {
        ChainMove(0);
        ChainHighNibble(hi);
        return;
    }
    if (hi != 0) {
        const int dx = lo - cmp::kSmallMoveBias;
        const int dy = hi - cmp::kSmallMoveBias;
        Move(dx, dy);
        if (Larger(dx, dy) < cmp::kSmallToChain) {
            m_state = State::kChain;
        }
        return;
    }
    switch (byte) {
        case cmp::kSmallChainMode:
            m_state = State::kChain;
            break;
        case cmp::kSmallPenDown:
            StartAbsolute(State::kSmall);
            break;
        case cmp::kSmallPenUp:
            m_pen &= static_cast<std::uint8_t>(~cmp::kPenStateBit);
            break;
        case cmp::kSmallPenByte:
            m_back = State::kSmall;
            m_state = State::kPenByte;
            break;
        case cmp::kSmallFreeMode:
            m_state = State::kFreeDx;
            break;
        default:
            break;  // not a code: skipped
    }
}

void CmpReader::Feed(std::uint8_t byte) {
    m_bytePointCount = 0;
    switch (m_state) {
        case State::kSeekPenDown:
            // Until the first pen-down code, anything else is skipped.
            if (byte == cmp::kSmallPenDown || byte == cmp::kChainPenDown) {
                m_pen = cmp::kPenByteDrawing;
                StartAbsolute(State::kChain);
            }
            return;
        case State::kAbsolute:
            Absolute(byte);
            break;
        case State::kChain:
            Chain(byte);
            break;
        case State::kSmall:
            Small(byte);
            break;
        case State::kFreeDx:
            m_freeDx = static_cast<std::int8_t>(byte);
            m_state = State::kFreeDy;
            break;
        case State::kFreeDy: {
            const int dy = static_cast<std::int8_t>(byte);
            Move(m_freeDx, dy);
            m_state = Larger(m_freeDx, dy) < cmp::kFreeToSmall ? State::kSmall : State::kFreeDx;
            break;
        }
        case State::kPenByte:
            m_pen = byte;
            m_state = m_back;
            break;
    }
    if (m_pen == cmp::kPenByteLifted) {
        m_points.push_back(PEN_UP_POINT);
    }
    m_points.insert(m_points.end(), m_bytePoints.begin(),
                    m_bytePoints.begin() + static_cast<std::ptrdiff_t>(m_bytePointCount));
}

}  // namespace

Encoded EncodeCmp(std::span<const SignaturePoint> points) {
    CmpWriter writer;
    for (const SignaturePoint& p : points) {
        // Quarter units of 0..1024 fit the one-byte absolute form (x >> 3 is
        // at most 128); larger values would wrap.
        if (p.x > kStoredUnitMax || p.y > kStoredUnitMax) {
            return CannotStore(cmp::kExtension);
        }
        writer.Add(p);
    }
    std::vector<std::uint8_t> file = writer.Finish();
    if (file.empty()) {
        return CannotStore(cmp::kExtension);
    }
    return file;
}

std::optional<CmpHeaderInfo> InspectCmp(std::span<const std::uint8_t> file) {
    const auto start = std::find(file.begin(), file.end(), cmp::kStartByte);
    const std::size_t offset = static_cast<std::size_t>(start - file.begin());
    if (file.size() - offset < cmp::kHeaderLength) {
        return std::nullopt;
    }
    CmpHeaderInfo info;
    info.startOffset = offset;
    info.xDivisor = file[offset + 1] & cmp::kDivisorMask;
    info.absoluteShift = (file[offset + 1] & cmp::kFlagBit) ? 1 : 0;
    info.yDivisor = file[offset + 2] & cmp::kDivisorMask;
    info.shortAbsoluteForm = (file[offset + 2] & cmp::kFlagBit) != 0;
    info.firstPenByte = file[offset + 3];
    info.streamBytes = file.size() - offset - cmp::kHeaderLength;
    // Output coordinates are divided by these.
    if (info.xDivisor == 0 || info.yDivisor == 0) {
        return std::nullopt;
    }
    return info;
}

Decoded DecodeCmp(std::span<const std::uint8_t> file) {
    const std::optional<CmpHeaderInfo> header = InspectCmp(file);
    if (!header) {
        return NotValidFile(cmp::kExtension);
    }
    CmpReader reader(*header);
    for (std::uint8_t byte : file.subspan(header->startOffset + cmp::kHeaderLength)) {
        reader.Feed(byte);
        if (reader.PointCount() > kMaxDecodedPoints) {
            return TooManyPoints();
        }
    }
    if (reader.PointCount() == 0) {
        return NoPointsIn(cmp::kExtension);
    }
    return DecodedPoints(reader.Take());
}

}  // namespace vellumix::sigformats
