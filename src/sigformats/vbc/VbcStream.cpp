#include "sigformats/vbc/VbcStream.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <limits>

namespace vellumix::sigformats::vbc {
namespace {

struct DeviceProfile {
    std::uint16_t paramA;
    std::uint16_t paramB;
    std::uint16_t xRange;
    std::uint16_t yRange;
};

// Index = the 4-bit profile number of a VBC1.2 stream; 8-15 are invalid.
constexpr std::array<DeviceProfile, 8> kProfiles{{
    {273, 455, 1024, 1024},
    {279, 455, 1024, 1024},
    {288, 540, 1024, 1024},
    {419, 799, 1024, 1024},
    {256, 341, 1024, 1024},
    {227, 292, 1024, 1024},
    {256, 341, 922, 597},
    {227, 292, 922, 597},
}};
// Profiles 4 and 6 (5 and 7) share their parameters; the ranges pick one.
constexpr std::size_t kFirstWideProfile = 6;

constexpr unsigned kProfileIndexBits = 4;
constexpr unsigned kWidthByteBits = 8;
constexpr unsigned kWordBytes = 2;  // 16-bit byte fields
constexpr unsigned kByteBytes = 1;  // 8-bit byte fields
constexpr unsigned kNibbleBits = 4;
constexpr std::uint8_t kNibbleMask = 0x0F;
constexpr std::uint16_t kXMask = 0xFFFF;
// Bit 15 of a stored y is the stroke flag, so y keeps 15 bits.
constexpr std::uint16_t kYMask = 0x7FFF;

constexpr std::uint8_t WidthX(std::uint8_t width) {
    return width >> kNibbleBits;
}
constexpr std::uint8_t WidthY(std::uint8_t width) {
    return width & kNibbleMask;
}
constexpr bool EndsWidthList(std::uint8_t width) {
    return WidthX(width) == 0 || WidthY(width) == 0;
}

constexpr std::array<std::uint8_t, 256> kReversedBytes = [] {
    std::array<std::uint8_t, 256> table{};
    for (unsigned b = 0; b < 256; ++b) {
        unsigned r = 0;
        for (unsigned i = 0; i < 8; ++i) {
            r |= ((b >> i) & 1U) << (7 - i);
        }
        table[b] = static_cast<std::uint8_t>(r);
    }
    return table;
}();

// The low `bits` bits of value in reverse order: difference fields go out
// lowest bit first into a stream that is otherwise most significant first.
std::uint32_t ReverseLow(std::uint32_t value, unsigned bits) {
    if (bits <= 16) {
        const std::uint32_t reversed = (std::uint32_t{kReversedBytes[value & 0xFFU]} << 8) |
                                       kReversedBytes[(value >> 8) & 0xFFU];
        return reversed >> (16 - bits);
    }
    std::uint32_t reversed = 0;
    for (unsigned i = 0; i < 4; ++i) {
        reversed = (reversed << 8) | kReversedBytes[(value >> (8 * i)) & 0xFFU];
    }
    return reversed >> (32 - bits);
}

class BitReader {
public:
    explicit BitReader(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}

    std::size_t Position() const { return m_position; }
    void Seek(std::size_t position) { m_position = position; }
    bool Fits(std::size_t bits) const { return m_position + bits <= m_bytes.size() * 8; }

    // Most significant bit first; false (nothing read) when cut short.
    bool ReadMsb(unsigned bits, std::uint32_t& value) {
        if (!Fits(bits)) {
            return false;
        }
        value = Peek(bits);
        m_position += bits;
        return true;
    }

    // Low byte first, each byte most significant bit first.
    bool ReadByteField(unsigned bytes, std::uint32_t& value) {
        if (!Fits(bytes * 8)) {
            return false;
        }
        value = 0;
        for (unsigned i = 0; i < bytes; ++i) {
            std::uint32_t byte = 0;
            ReadMsb(8, byte);
            value |= byte << (8 * i);
        }
        return true;
    }

    // A point's x and y differences, in one read when both are inside.
    void ReadDifferences(unsigned wx, std::uint32_t& dx, unsigned wy, std::uint32_t& dy) {
        if (!Fits(wx + wy)) {
            dx = ReadDifference(wx);
            dy = ReadDifference(wy);
            return;
        }
        const std::uint32_t both = Peek(wx + wy);
        m_position += wx + wy;
        dx = ReverseLow(both >> wy, wx);
        dy = ReverseLow(both & ((std::uint32_t{1} << wy) - 1), wy);
    }

    // Least significant bit first. Bits past the end read as 0: other
    // readers accept a stream cut inside its last difference field.
    std::uint32_t ReadDifference(unsigned bits) {
        if (Fits(bits)) {
            const std::uint32_t value = ReverseLow(Peek(bits), bits);
            m_position += bits;
            return value;
        }
        std::uint32_t value = 0;
        for (unsigned i = 0; i < bits; ++i) {
            const std::uint32_t bit = Fits(1) ? NextBit() : (++m_position, 0U);
            value |= bit << i;
        }
        return value;
    }

private:
    // The next `bits` (at most 32) bits, most significant first, from a
    // window of the five bytes they can touch; Fits(bits) holds.
    std::uint32_t Peek(unsigned bits) const {
        if (bits == 0) {
            return 0;
        }
        const std::size_t first = m_position / 8;
        std::uint64_t window = 0;
        if (first + 5 <= m_bytes.size()) {
            const std::uint8_t* at = m_bytes.data() + first;
            window = (std::uint64_t{at[0]} << 32) | (std::uint64_t{at[1]} << 24) |
                     (std::uint64_t{at[2]} << 16) | (std::uint64_t{at[3]} << 8) | at[4];
        } else {
            for (std::size_t k = 0; k < 5; ++k) {
                const std::size_t at = first + k;
                window = (window << 8) | (at < m_bytes.size() ? m_bytes[at] : 0U);
            }
        }
        const unsigned skip = static_cast<unsigned>(m_position % 8);
        return static_cast<std::uint32_t>((window >> (40 - skip - bits)) &
                                          ((std::uint64_t{1} << bits) - 1));
    }

    std::uint32_t NextBit() {
        const std::uint8_t byte = m_bytes[m_position / 8];
        const unsigned shift = 7 - static_cast<unsigned>(m_position % 8);
        ++m_position;
        return (byte >> shift) & 1U;
    }

    std::span<const std::uint8_t> m_bytes;
    std::size_t m_position = 0;
};

// Bits go out most significant first, through a 64-bit accumulator that is
// emptied a byte at a time: one shift and one or two stores per field rather
// than a pass per bit.
class BitWriter {
public:
    explicit BitWriter(std::size_t expectedBytes) { m_bytes.reserve(expectedBytes); }

    void WriteMsb(std::uint32_t value, unsigned bits) {
        Put(bits == 32 ? value : value & ((std::uint32_t{1} << bits) - 1), bits);
    }
    void WriteByteField(std::uint32_t value, unsigned bytes) {
        for (unsigned i = 0; i < bytes; ++i) {
            Put((value >> (8 * i)) & 0xFFU, 8);
        }
    }
    // Two's complement, low bits only, the lowest bit first.
    void WriteDifference(std::int32_t value, unsigned bits) {
        Put(ReverseLow(static_cast<std::uint32_t>(value), bits), bits);
    }
    // A point's x and y differences in one go (each at most 16 bits).
    void WriteDifferences(std::int32_t dx, unsigned wx, std::int32_t dy, unsigned wy) {
        Put((ReverseLow(static_cast<std::uint32_t>(dx), wx) << wy) |
                ReverseLow(static_cast<std::uint32_t>(dy), wy),
            wx + wy);
    }
    // The last byte is padded with zero bits.
    std::vector<std::uint8_t> Take() {
        if (m_pending > 0) {
            m_bytes.push_back(static_cast<std::uint8_t>(m_accumulator << (8 - m_pending)));
            m_pending = 0;
        }
        return std::move(m_bytes);
    }

private:
    // value holds no bits above `bits`; at most 32 bits at a time.
    void Put(std::uint32_t value, unsigned bits) {
        m_accumulator = (m_accumulator << bits) | value;
        m_pending += bits;
        while (m_pending >= 8) {
            m_pending -= 8;
            m_bytes.push_back(static_cast<std::uint8_t>(m_accumulator >> m_pending));
        }
    }

    std::vector<std::uint8_t> m_bytes;
    std::uint64_t m_accumulator = 0;  // the low m_pending bits are not yet out
    unsigned m_pending = 0;
};

std::int32_t SignExtend(std::uint32_t raw, unsigned bits) {
    const auto value = static_cast<std::int32_t>(raw);
    return (raw & (1U << (bits - 1))) != 0 ? value - (std::int32_t{1} << bits) : value;
}

std::optional<std::size_t> FindProfile(const StreamParams& params) {
    const bool wide = params.xRange == kProfiles[kFirstWideProfile].xRange &&
                      params.yRange == kProfiles[kFirstWideProfile].yRange;
    const std::size_t first = wide ? kFirstWideProfile : 0;
    const std::size_t last = wide ? kProfiles.size() : kFirstWideProfile;
    for (std::size_t i = first; i < last; ++i) {
        if (kProfiles[i].paramA == params.paramA && kProfiles[i].paramB == params.paramB) {
            return i;
        }
    }
    return std::nullopt;
}

// Largest |dx| and |dy| of the continuation points of one block; a block's
// first point is measured from the last point of the block before.
std::uint8_t WidthOfBlock(std::span<const StrokePoint> points, std::size_t begin, std::size_t end) {
    std::uint32_t maxX = 0;
    std::uint32_t maxY = 0;
    for (std::size_t i = std::max<std::size_t>(begin, 1); i < end; ++i) {
        if (points[i].strokeStart) {
            continue;
        }
        maxX = std::max(maxX, static_cast<std::uint32_t>(std::abs(points[i].x - points[i - 1].x)));
        maxY = std::max(maxY, static_cast<std::uint32_t>(std::abs(points[i].y - points[i - 1].y)));
    }
    // One bit more than the magnitude needs, for the sign.
    const unsigned wx = BitsFor(maxX) + 1;
    const unsigned wy = BitsFor(maxY) + 1;
    return static_cast<std::uint8_t>((wx << kNibbleBits) | wy);
}

}  // namespace

unsigned BitsFor(std::uint32_t value) {
    return static_cast<unsigned>(std::bit_width(value));
}

std::vector<std::uint8_t> BlockWidths(std::span<const StrokePoint> points,
                                      std::size_t blockLength) {
    std::vector<std::uint8_t> widths;
    for (std::size_t begin = 0; begin < points.size(); begin += blockLength) {
        widths.push_back(WidthOfBlock(points, begin, std::min(points.size(), begin + blockLength)));
    }
    return widths;
}

namespace {

// Bits of the largest |dx| and |dy| among the continuation points of one
// block: the bits of a maximum are the maximum of the bits, so blocks merge
// by taking the larger of each.
struct BlockBits {
    std::uint8_t x = 0;
    std::uint8_t y = 0;
};

std::uint8_t WidthOf(BlockBits b) {
    // One bit more than the magnitude needs, for the sign.
    return static_cast<std::uint8_t>(((b.x + 1U) << kNibbleBits) | (b.y + 1U));
}

struct BlockChoice {
    std::size_t blockLength = 0;
    std::vector<std::uint8_t> widths;
};

// The block search in one pass over the points: each point's move is
// measured once, and the blocks of each length are the pairs of the
// half-length blocks before them (a block of 2L at j covers the blocks of L
// at 2j and 2j + 1), so every length costs half the last.
BlockChoice ChooseBlocks(std::span<const StrokePoint> points) {
    const std::size_t count = points.size();
    const auto moveBits = [&points](std::size_t i) {
        if (i == 0 || i >= points.size() || points[i].strokeStart) {
            return BlockBits{};
        }
        return BlockBits{static_cast<std::uint8_t>(BitsFor(
                             static_cast<std::uint32_t>(std::abs(points[i].x - points[i - 1].x)))),
                         static_cast<std::uint8_t>(BitsFor(
                             static_cast<std::uint32_t>(std::abs(points[i].y - points[i - 1].y))))};
    };
    // Blocks of two, straight from the points.
    std::vector<BlockBits> level((count + 1) / 2);
    for (std::size_t j = 0; j < level.size(); ++j) {
        const BlockBits a = moveBits(2 * j);
        const BlockBits b = moveBits(2 * j + 1);
        level[j] = {std::max(a.x, b.x), std::max(a.y, b.y)};
    }
    BlockChoice best{count, {}};
    std::size_t bestCost = std::numeric_limits<std::size_t>::max();
    for (std::size_t candidate = 2;; candidate *= 2) {
        const std::size_t blockLength = std::min(candidate, count);
        std::size_t bits = 0;
        for (std::size_t block = 0; block < level.size(); ++block) {
            const std::size_t inBlock = std::min(blockLength, count - block * blockLength);
            bits += (level[block].x + level[block].y + 2U) * inBlock;
        }
        // The width list is costed at a byte per block; escapes are not
        // costed at all. Other writers search the same way, and the first
        // strictly smallest cost wins, so files come out identical.
        const std::size_t cost = count / blockLength + (bits + 7) / 8;
        if (cost < bestCost) {
            bestCost = cost;
            best.blockLength = blockLength;
            best.widths.resize(level.size());
            std::transform(level.begin(), level.end(), best.widths.begin(), WidthOf);
        }
        if (blockLength == count) {
            break;
        }
        // Block j of the next length from blocks 2j and 2j + 1 of this one.
        const std::size_t blocks = (level.size() + 1) / 2;
        for (std::size_t b = 0; b < blocks; ++b) {
            BlockBits m = level[2 * b];
            if (2 * b + 1 < level.size()) {
                m.x = std::max(m.x, level[2 * b + 1].x);
                m.y = std::max(m.y, level[2 * b + 1].y);
            }
            level[b] = m;
        }
        level.resize(blocks);
    }
    return best;
}

}  // namespace

std::size_t ChooseBlockLength(std::span<const StrokePoint> points) {
    return ChooseBlocks(points).blockLength;
}

std::vector<std::uint8_t> EncodeStream(std::span<const StrokePoint> points,
                                       const StreamParams& params) {
    const BlockChoice blocks = ChooseBlocks(points);
    const std::size_t blockLength = blocks.blockLength;
    const std::vector<std::uint8_t>& widths = blocks.widths;

    // Room for the header, the width list and points of the widest kind.
    BitWriter out(32 + widths.size() * 2 + points.size() * 4);
    const std::optional<std::size_t> profile = FindProfile(params);
    // A profile match always implies the ranges it was searched under.
    const bool rangesFromProfile = profile && params.xRange == kProfiles[*profile].xRange &&
                                   params.yRange == kProfiles[*profile].yRange;
    out.WriteMsb(rangesFromProfile ? 1 : 0, 1);
    out.WriteMsb(profile ? 1 : 0, 1);
    if (profile) {
        out.WriteMsb(static_cast<std::uint32_t>(*profile), kProfileIndexBits);
    } else {
        out.WriteByteField(params.paramA, kWordBytes);
        out.WriteByteField(params.paramB, kWordBytes);
    }
    if (!rangesFromProfile) {
        out.WriteByteField(params.xRange, kWordBytes);
        out.WriteByteField(params.yRange, kWordBytes);
    }
    out.WriteByteField(static_cast<std::uint32_t>(points.size()), kWordBytes);
    out.WriteByteField(0, kByteBytes);  // reduction: points are stored at full resolution
    out.WriteByteField(static_cast<std::uint32_t>(blockLength), kWordBytes);

    std::uint8_t previous = 0;
    for (std::uint8_t width : widths) {
        if (width == previous) {
            out.WriteMsb(1, 1);
        } else {
            out.WriteMsb(0, 1);
            out.WriteMsb(width, kWidthByteBits);
        }
        previous = width;
    }
    out.WriteMsb(0, 1);
    out.WriteMsb(0, kWidthByteBits);

    for (std::size_t block = 0; block < widths.size(); ++block) {
        const unsigned wx = WidthX(widths[block]);
        const unsigned wy = WidthY(widths[block]);
        const std::size_t end = std::min(points.size(), (block + 1) * blockLength);
        for (std::size_t i = block * blockLength; i < end; ++i) {
            if (points[i].strokeStart) {
                // Escape: two zero pairs, then the absolute position.
                out.WriteDifference(0, wx);
                out.WriteDifference(0, wy);
                out.WriteDifference(0, wx);
                out.WriteDifference(0, wy);
                out.WriteByteField(static_cast<std::uint32_t>(points[i].x), kWordBytes);
                out.WriteByteField(static_cast<std::uint32_t>(points[i].y), kWordBytes);
            } else {
                out.WriteDifferences(points[i].x - points[i - 1].x, wx,
                                     points[i].y - points[i - 1].y, wy);
            }
        }
    }
    return out.Take();
}

namespace {

StreamHeaderResult ReadHeaderFields(BitReader& in, VbcVersion version) {
    StreamHeaderResult result;
    StreamHeader& header = result.header;
    const auto fail = [&result] {
        result.error = VbcError::kBadHeader;
        return result;
    };
    std::uint32_t value = 0;
    bool explicitParams = true;
    bool explicitRanges = true;
    if (version == VbcVersion::k12) {
        std::uint32_t rangeFlag = 0;
        std::uint32_t profileFlag = 0;
        if (!in.ReadMsb(1, rangeFlag) || !in.ReadMsb(1, profileFlag)) {
            return fail();
        }
        if (profileFlag != 0) {
            if (!in.ReadMsb(kProfileIndexBits, value) || value >= kProfiles.size()) {
                return fail();
            }
            const DeviceProfile& profile = kProfiles[value];
            header.profile = static_cast<std::uint8_t>(value);
            header.params.paramA = profile.paramA;
            header.params.paramB = profile.paramB;
            explicitParams = false;
            if (rangeFlag != 0) {
                header.params.xRange = profile.xRange;
                header.params.yRange = profile.yRange;
                header.rangesFromProfile = true;
                explicitRanges = false;
            }
        } else if (rangeFlag != 0) {
            return fail();
        }
    }
    const auto readWord = [&in](std::uint16_t& field) {
        std::uint32_t word = 0;
        const bool ok = in.ReadByteField(kWordBytes, word);
        field = static_cast<std::uint16_t>(word);
        return ok;
    };
    if (explicitParams && (!readWord(header.params.paramA) || !readWord(header.params.paramB))) {
        return fail();
    }
    if (explicitRanges && (!readWord(header.params.xRange) || !readWord(header.params.yRange))) {
        return fail();
    }
    if (!readWord(header.pointCount) || !in.ReadByteField(kByteBytes, value)) {
        return fail();
    }
    header.reduction = static_cast<std::uint8_t>(value);
    if (!readWord(header.blockLength)) {
        return fail();
    }

    // VBC1.0 has a plain byte per block; later versions a repeat bit first.
    std::uint8_t previous = 0;
    for (;;) {
        std::uint32_t repeat = 0;
        if (version != VbcVersion::k10 && !in.ReadMsb(1, repeat)) {
            return fail();
        }
        std::uint32_t width = previous;
        if (repeat == 0 && !in.ReadMsb(kWidthByteBits, width)) {
            return fail();
        }
        if (EndsWidthList(static_cast<std::uint8_t>(width))) {
            break;
        }
        previous = static_cast<std::uint8_t>(width);
        header.widths.push_back(previous);
    }
    // Without a block length no point can be given its widths.
    if (header.pointCount > 0 && header.blockLength == 0) {
        return fail();
    }
    result.pointsBitOffset = in.Position();
    return result;
}

}  // namespace

StreamHeaderResult ReadStreamHeader(std::span<const std::uint8_t> stream, VbcVersion version) {
    BitReader in(stream);
    return ReadHeaderFields(in, version);
}

DecodedStream DecodeStream(std::span<const std::uint8_t> stream, VbcVersion version) {
    DecodedStream result;
    BitReader in(stream);
    StreamHeaderResult header = ReadHeaderFields(in, version);
    result.header = std::move(header.header);
    result.error = header.error;
    if (result.error != VbcError::kSuccess) {
        return result;
    }
    const StreamHeader& h = result.header;
    result.points.reserve(h.pointCount);
    StrokePoint previous;
    std::size_t block = 0;
    std::size_t leftInBlock = h.blockLength;
    for (std::size_t i = 0; i < h.pointCount; ++i) {
        if (leftInBlock == 0) {
            ++block;
            leftInBlock = h.blockLength;
        }
        --leftInBlock;
        // A width list shorter than the blocks it should cover is a cut or
        // damaged stream: keep what was read so far.
        if (block >= h.widths.size()) {
            break;
        }
        const unsigned wx = WidthX(h.widths[block]);
        const unsigned wy = WidthY(h.widths[block]);
        std::uint32_t dx = 0;
        std::uint32_t dy = 0;
        in.ReadDifferences(wx, dx, wy, dy);
        StrokePoint point = previous;
        point.strokeStart = false;
        if (dx == 0 && dy == 0) {
            // The look-ahead pair is read with this point's widths, even when
            // the next point lies in a wider block.
            const std::size_t mark = in.Position();
            if (in.ReadDifference(wx) == 0 && in.ReadDifference(wy) == 0) {
                std::uint32_t x = 0;
                std::uint32_t y = 0;
                if (!in.ReadByteField(kWordBytes, x) || !in.ReadByteField(kWordBytes, y)) {
                    break;
                }
                point = StrokePoint{static_cast<std::int32_t>(x),
                                    static_cast<std::int32_t>(y & kYMask), true};
            } else {
                in.Seek(mark);
            }
        } else {
            point.x = (previous.x + SignExtend(dx, wx)) & kXMask;
            point.y = (previous.y + SignExtend(dy, wy)) & kYMask;
        }
        result.points.push_back(point);
        previous = point;
    }
    return result;
}

void ExpandReduction(std::vector<StrokePoint>& points, StreamHeader& header) {
    if (header.reduction == 0) {
        return;
    }
    const std::int64_t factor = std::int64_t{header.reduction} + 1;
    const std::int64_t oldA = header.params.paramA == 0 ? kDefaultParamA : header.params.paramA;
    const std::int64_t newA = oldA * factor;
    header.params.paramA = static_cast<std::uint16_t>(newA);
    header.params.paramB = static_cast<std::uint16_t>(
        (header.params.paramB == 0 ? kDefaultParamB : header.params.paramB) * factor);
    // The producer divided positions down; scale them back to the resolution
    // the multiplied parameter A stands for.
    for (StrokePoint& p : points) {
        p.x = static_cast<std::int32_t>(p.x * newA / oldA);
        p.y = static_cast<std::int32_t>(p.y * newA / oldA);
    }

    constexpr float kInterpolateAt = 0.33333334F;
    std::vector<StrokePoint> filled;
    filled.reserve(points.size() * 2);
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (i > 0 && !points[i].strokeStart) {
            const StrokePoint& a = points[i - 1];
            const StrokePoint& b = points[i];
            filled.push_back(
                {a.x + static_cast<std::int32_t>(static_cast<float>(b.x - a.x) * kInterpolateAt),
                 a.y + static_cast<std::int32_t>(static_cast<float>(b.y - a.y) * kInterpolateAt),
                 false});
        }
        filled.push_back(points[i]);
    }

    constexpr int kSmoothingPasses = 3;
    constexpr float kOwnWeight = 0.2F;
    constexpr float kNextWeight = 0.8F;
    for (int pass = 0; pass < kSmoothingPasses; ++pass) {
        for (std::size_t i = 0; i + 1 < filled.size(); ++i) {
            if (!filled[i].strokeStart && !filled[i + 1].strokeStart) {
                filled[i].x =
                    static_cast<std::int32_t>(kOwnWeight * static_cast<float>(filled[i].x) +
                                              kNextWeight * static_cast<float>(filled[i + 1].x));
                filled[i].y =
                    static_cast<std::int32_t>(kOwnWeight * static_cast<float>(filled[i].y) +
                                              kNextWeight * static_cast<float>(filled[i + 1].y));
            }
        }
        filled.erase(std::unique(filled.begin(), filled.end()), filled.end());
    }
    points = std::move(filled);
}

}  // namespace vellumix::sigformats::vbc
