#include "sigformats/vbc/VbcStream.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>
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

// The low `bits` (1..32) bits of value in reverse order, for the fields that
// go out most significant bit first.
std::uint32_t ReverseLow(std::uint32_t value, unsigned bits) {
    std::uint32_t reversed = 0;
    for (unsigned i = 0; i < 4; ++i) {
        reversed = (reversed << 8) | kReversedBytes[(value >> (8 * i)) & 0xFFU];
    }
    return reversed >> (32 - bits);
}

constexpr std::uint32_t LowMask(unsigned bits) {
    return bits >= 32 ? ~std::uint32_t{0} : (std::uint32_t{1} << bits) - 1;
}

// One load or store for the reader's window and the writer's word.
std::uint64_t LoadLe64(const std::uint8_t* at) {
    std::uint64_t value = 0;
    std::memcpy(&value, at, sizeof value);
    if constexpr (std::endian::native == std::endian::big) {
        value = __builtin_bswap64(value);
    }
    return value;
}

void StoreLe32(std::uint8_t* at, std::uint32_t value) {
    if constexpr (std::endian::native == std::endian::big) {
        value = __builtin_bswap32(value);
    }
    std::memcpy(at, &value, sizeof value);
}

// The stream packs bits most significant first, but its difference fields,
// almost all of its bits, run least significant first. Both the reader and
// the writer therefore work on the stream with the bits of every byte
// reversed: there a difference field is a plain little-endian bit field, and
// only the few most-significant-first fields (flags, width bytes, header and
// absolute coordinates) need turning around.
void ReverseEachByte(std::span<std::uint8_t> bytes) {
    for (std::uint8_t& b : bytes) {
        b = kReversedBytes[b];
    }
}

class BitReader {
public:
    explicit BitReader(std::span<const std::uint8_t> bytes)
        : m_bits(bytes.size() * 8), m_bytes(bytes.begin(), bytes.end()) {
        ReverseEachByte(m_bytes);
        // Room for a whole 8-byte load at the last byte.
        m_bytes.resize(m_bytes.size() + kLoadBytes, 0);
    }

    std::size_t Position() const { return m_position; }
    void Seek(std::size_t position) { m_position = position; }
    bool Fits(std::size_t bits) const { return m_position + bits <= m_bits; }

    // Most significant bit first; false (nothing read) when cut short.
    bool ReadMsb(unsigned bits, std::uint32_t& value) {
        if (!Fits(bits)) {
            return false;
        }
        value = ReverseLow(Take(bits), bits);
        return true;
    }

    // Low byte first, each byte most significant bit first.
    bool ReadByteField(unsigned bytes, std::uint32_t& value) {
        if (!Fits(bytes * 8)) {
            return false;
        }
        value = 0;
        for (unsigned i = 0; i < bytes; ++i) {
            value |= std::uint32_t{kReversedBytes[Take(8)]} << (8 * i);
        }
        return true;
    }

    // A point's x and y differences (each at most 16 bits), least
    // significant bit first. Bits past the end read as 0: other readers
    // accept a stream cut inside its last difference field.
    void ReadDifferences(unsigned wx, std::uint32_t& dx, unsigned wy, std::uint32_t& dy) {
        const std::uint32_t both = Take(wx + wy);
        dx = both & LowMask(wx);
        dy = both >> wx;
    }

    std::uint32_t ReadDifference(unsigned bits) { return Take(bits); }

private:
    static constexpr std::size_t kLoadBytes = 8;

    // The next `bits` (at most 32) bits as a little-endian field; bits past
    // the end read as 0.
    std::uint32_t Take(unsigned bits) {
        const std::size_t first = m_position / 8;
        const std::uint64_t window =
            first + kLoadBytes <= m_bytes.size() ? LoadLe64(m_bytes.data() + first) : 0;
        const auto value = static_cast<std::uint32_t>((window >> (m_position % 8)) & LowMask(bits));
        m_position += bits;
        return value;
    }

    std::size_t m_bits;  // of the stream itself, without the padding
    std::vector<std::uint8_t> m_bytes;
    std::size_t m_position = 0;
};

// Fields go out through a 64-bit accumulator, emptied four bytes at a time.
class BitWriter {
public:
    explicit BitWriter(std::size_t expectedBytes) : m_bytes(expectedBytes + kSlack) {}

    void WriteMsb(std::uint32_t value, unsigned bits) {
        Put(ReverseLow(value & LowMask(bits), bits), bits);
    }
    void WriteByteField(std::uint32_t value, unsigned bytes) {
        std::uint32_t field = 0;
        for (unsigned i = 0; i < bytes; ++i) {
            field |= std::uint32_t{kReversedBytes[(value >> (8 * i)) & 0xFFU]} << (8 * i);
        }
        Put(field, 8 * bytes);
    }
    // Two's complement, low bits only, the lowest bit first: x in wx bits,
    // then y in wy bits (each at most 16).
    void WriteDifferences(std::int32_t dx, unsigned wx, std::int32_t dy, unsigned wy) {
        Put((static_cast<std::uint32_t>(dx) & LowMask(wx)) |
                ((static_cast<std::uint32_t>(dy) & LowMask(wy)) << wx),
            wx + wy);
    }
    // The last byte is padded with zero bits.
    std::vector<std::uint8_t> Take() {
        m_bytes.resize(m_size);
        while (m_pending > 0) {
            m_bytes.push_back(static_cast<std::uint8_t>(m_accumulator));
            m_accumulator >>= 8;
            m_pending = m_pending > 8 ? m_pending - 8 : 0;
        }
        ReverseEachByte(m_bytes);
        return std::move(m_bytes);
    }

private:
    static constexpr std::size_t kSlack = 64;

    // value holds no bits above `bits`; at most 32 bits at a time.
    void Put(std::uint32_t value, unsigned bits) {
        m_accumulator |= std::uint64_t{value} << m_pending;
        m_pending += bits;
        if (m_size + 4 > m_bytes.size()) {
            m_bytes.resize(2 * m_bytes.size());
        }
        // The word is stored every time and kept only once 32 bits are
        // ready: when that happens follows the data, and a branch on it
        // would mostly be mispredicted. m_pending stays below 64.
        const unsigned full = m_pending >> 5;
        StoreLe32(m_bytes.data() + m_size, static_cast<std::uint32_t>(m_accumulator));
        m_size += 4 * full;
        m_accumulator >>= 32 * full;
        m_pending -= 32 * full;
    }

    std::vector<std::uint8_t> m_bytes;  // bits of each byte reversed until Take
    std::size_t m_size = 0;             // bytes of m_bytes written
    std::uint64_t m_accumulator = 0;    // the low m_pending bits are not yet out
    unsigned m_pending = 0;
};

// raw holds `bits` (1..16) bits of a two's complement number.
std::int32_t SignExtend(std::uint32_t raw, unsigned bits) {
    const unsigned unused = 32 - bits;
    return static_cast<std::int32_t>(raw << unused) >> unused;
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
    // bit_width of 0 takes a branch of its own, which moves of 0, coming at
    // random, would mostly mispredict; 2v + 1 is never 0 and one bit wider.
    return static_cast<unsigned>(std::bit_width((std::uint64_t{value} << 1) | 1U)) - 1;
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
    std::size_t pointBits = 0;  // of the points, escapes not counted
};

// |dx| and |dy| of point i from the point before it; nothing for a stroke
// start, whose position goes out whole.
struct Move {
    std::uint32_t x = 0;
    std::uint32_t y = 0;
};

Move MoveOf(std::span<const StrokePoint> points, std::size_t i) {
    if (points[i].strokeStart) {
        return {};
    }
    return {static_cast<std::uint32_t>(std::abs(points[i].x - points[i - 1].x)),
            static_cast<std::uint32_t>(std::abs(points[i].y - points[i - 1].y))};
}

// The blocks of two, straight from the points: the bits of the larger move
// of each pair (the first point has none).
std::vector<BlockBits> PairBits(std::span<const StrokePoint> points) {
    const std::size_t count = points.size();
    std::vector<BlockBits> pairs((count + 1) / 2);
    for (std::size_t j = 0; j < pairs.size(); ++j) {
        const std::size_t i = 2 * j;
        Move m = i == 0 ? Move{} : MoveOf(points, i);
        if (i + 1 < count) {
            const Move next = MoveOf(points, i + 1);
            m = {std::max(m.x, next.x), std::max(m.y, next.y)};
        }
        pairs[j] = {static_cast<std::uint8_t>(BitsFor(m.x)),
                    static_cast<std::uint8_t>(BitsFor(m.y))};
    }
    return pairs;
}

// The stream bits of the points in blocks of blockLength, given the sum of
// the blocks' widths (WX + WY) and the last block's width: every block is
// blockLength points long but the last, which holds what is left.
std::size_t PointBits(std::size_t count, std::size_t blockLength, std::size_t blocks,
                      std::size_t widthSum, std::size_t lastWidth) {
    return widthSum * blockLength - lastWidth * (blocks * blockLength - count);
}

std::size_t WidthOfBits(BlockBits b) {
    // One bit more than each magnitude needs, for the sign.
    return b.x + b.y + 2U;
}

// The block search in one pass over the points: each point's move is
// measured once, and the blocks of each length are the pairs of the
// half-length blocks before them (a block of 2L at j covers the blocks of L
// at 2j and 2j + 1), so every length costs half the last. A level is costed
// as it is merged.
BlockChoice ChooseBlocks(std::span<const StrokePoint> points) {
    const std::size_t count = points.size();
    std::vector<BlockBits> level = PairBits(points);
    std::size_t widthSum = 0;
    for (const BlockBits b : level) {
        widthSum += WidthOfBits(b);
    }
    BlockChoice best{count, {}};
    std::size_t bestCost = std::numeric_limits<std::size_t>::max();
    for (std::size_t candidate = 2;; candidate *= 2) {
        const std::size_t blockLength = std::min(candidate, count);
        const std::size_t bits =
            PointBits(count, blockLength, level.size(), widthSum, WidthOfBits(level.back()));
        // The width list is costed at a byte per block; escapes are not
        // costed at all. Other writers search the same way, and the first
        // strictly smallest cost wins, so files come out identical.
        const std::size_t cost = count / blockLength + (bits + 7) / 8;
        if (cost < bestCost) {
            bestCost = cost;
            best.blockLength = blockLength;
            best.pointBits = bits;
            best.widths.resize(level.size());
            std::transform(level.begin(), level.end(), best.widths.begin(), WidthOf);
        }
        if (blockLength == count) {
            break;
        }
        // Block j of the next length from blocks 2j and 2j + 1 of this one.
        const std::size_t blocks = (level.size() + 1) / 2;
        widthSum = 0;
        for (std::size_t b = 0; b < blocks; ++b) {
            BlockBits m = level[2 * b];
            if (2 * b + 1 < level.size()) {
                m.x = std::max(m.x, level[2 * b + 1].x);
                m.y = std::max(m.y, level[2 * b + 1].y);
            }
            level[b] = m;
            widthSum += WidthOfBits(m);
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

    // Room for the header, the width list and the points; each stroke start
    // takes more, and the writer grows for a signature of many strokes.
    BitWriter out(32 + widths.size() * 2 + blocks.pointBits / 8);
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
                out.WriteDifferences(0, wx, 0, wy);
                out.WriteDifferences(0, wx, 0, wy);
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

// The points of one block, appended to points; false when the stream ends
// inside a stroke start's position, which ends the point list.
bool ReadBlock(BitReader& in, std::uint8_t width, std::size_t count,
               std::vector<StrokePoint>& points, StrokePoint& previous) {
    const unsigned wx = WidthX(width);
    const unsigned wy = WidthY(width);
    for (std::size_t k = 0; k < count; ++k) {
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
                    return false;
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
        points.push_back(point);
        previous = point;
    }
    return true;
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
    // A width list shorter than the blocks it should cover is a cut or
    // damaged stream: keep what was read so far.
    for (std::size_t block = 0, done = 0; done < h.pointCount && block < h.widths.size(); ++block) {
        const std::size_t count = std::min<std::size_t>(h.blockLength, h.pointCount - done);
        if (!ReadBlock(in, h.widths[block], count, result.points, previous)) {
            break;
        }
        done += count;
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
