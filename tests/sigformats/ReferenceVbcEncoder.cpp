// A copy of the encoder before it was sped up, its block search and bit
// writer kept unchanged on purpose; the header in the explicit form only.
#include "sigformats/ReferenceVbcEncoder.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace vellumix::sigformats::vbc::reference {
namespace {

constexpr unsigned kWidthByteBits = 8;
constexpr unsigned kWordBytes = 2;  // 16-bit byte fields
constexpr unsigned kByteBytes = 1;  // 8-bit byte fields
constexpr unsigned kNibbleBits = 4;
constexpr std::uint8_t kNibbleMask = 0x0F;

constexpr std::uint8_t WidthX(std::uint8_t width) {
    return width >> kNibbleBits;
}
constexpr std::uint8_t WidthY(std::uint8_t width) {
    return width & kNibbleMask;
}

class BitWriter {
public:
    void WriteMsb(std::uint32_t value, unsigned bits) {
        for (unsigned i = bits; i-- > 0;) {
            WriteBit((value >> i) & 1U);
        }
    }
    void WriteByteField(std::uint32_t value, unsigned bytes) {
        for (unsigned i = 0; i < bytes; ++i) {
            WriteMsb((value >> (8 * i)) & 0xFFU, 8);
        }
    }
    // Two's complement, low bits only.
    void WriteDifference(std::int32_t value, unsigned bits) {
        const auto raw = static_cast<std::uint32_t>(value);
        for (unsigned i = 0; i < bits; ++i) {
            WriteBit((raw >> i) & 1U);
        }
    }
    // The last byte is padded with zero bits.
    std::vector<std::uint8_t> Take() { return std::move(m_bytes); }

private:
    void WriteBit(std::uint32_t bit) {
        if (m_bits % 8 == 0) {
            m_bytes.push_back(0);
        }
        if (bit != 0) {
            m_bytes.back() |= static_cast<std::uint8_t>(0x80U >> (m_bits % 8));
        }
        ++m_bits;
    }

    std::vector<std::uint8_t> m_bytes;
    std::size_t m_bits = 0;
};

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

std::vector<std::uint8_t> OldBlockWidths(std::span<const StrokePoint> points,
                                         std::size_t blockLength) {
    std::vector<std::uint8_t> widths;
    for (std::size_t begin = 0; begin < points.size(); begin += blockLength) {
        widths.push_back(WidthOfBlock(points, begin, std::min(points.size(), begin + blockLength)));
    }
    return widths;
}

std::size_t OldChooseBlockLength(std::span<const StrokePoint> points) {
    const std::size_t count = points.size();
    std::size_t best = count;
    std::size_t bestCost = std::numeric_limits<std::size_t>::max();
    for (std::size_t candidate = 2;; candidate *= 2) {
        const std::size_t blockLength = std::min(candidate, count);
        const std::vector<std::uint8_t> widths = OldBlockWidths(points, blockLength);
        std::size_t bits = 0;
        for (std::size_t block = 0; block < widths.size(); ++block) {
            const std::size_t inBlock = std::min(blockLength, count - block * blockLength);
            bits += (WidthX(widths[block]) + WidthY(widths[block])) * inBlock;
        }
        // The width list is costed at a byte per block; escapes are not
        // costed at all. Other writers search the same way, and the first
        // strictly smallest cost wins, so files come out identical.
        const std::size_t cost = count / blockLength + (bits + 7) / 8;
        if (cost < bestCost) {
            bestCost = cost;
            best = blockLength;
        }
        if (blockLength == count) {
            break;
        }
    }
    return best;
}

}  // namespace

std::vector<std::uint8_t> EncodeStream(std::span<const StrokePoint> points,
                                       const StreamParams& params) {
    const std::size_t blockLength = OldChooseBlockLength(points);
    const std::vector<std::uint8_t> widths = OldBlockWidths(points, blockLength);

    // The explicit form: no profile flag, no ranges flag, then the device
    // parameters and the ranges (the program's own parameters match no
    // profile, so the stream always takes this form).
    BitWriter out;
    out.WriteMsb(0, 2);
    out.WriteByteField(params.paramA, kWordBytes);
    out.WriteByteField(params.paramB, kWordBytes);
    out.WriteByteField(params.xRange, kWordBytes);
    out.WriteByteField(params.yRange, kWordBytes);
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

    for (std::size_t i = 0; i < points.size(); ++i) {
        const std::uint8_t width = widths[i / blockLength];
        const unsigned wx = WidthX(width);
        const unsigned wy = WidthY(width);
        if (points[i].strokeStart) {
            // Escape: two zero pairs, then the absolute position.
            out.WriteDifference(0, wx);
            out.WriteDifference(0, wy);
            out.WriteDifference(0, wx);
            out.WriteDifference(0, wy);
            out.WriteByteField(static_cast<std::uint32_t>(points[i].x), kWordBytes);
            out.WriteByteField(static_cast<std::uint32_t>(points[i].y), kWordBytes);
        } else {
            out.WriteDifference(points[i].x - points[i - 1].x, wx);
            out.WriteDifference(points[i].y - points[i - 1].y, wy);
        }
    }
    return out.Take();
}

}  // namespace vellumix::sigformats::vbc::reference
