// The ordered, growable list of points that holds one signature: the live
// signature on the Signature page, a loaded one on the Image page, the shape
// record of the Display page.
//
// Thread safety: none of its own. It is a plain value; the owner guards it
// with its point-list lock, taken for one access at a time (one append, one
// read, one clear), or for the whole of one AppendPoints call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "sigformats/SignaturePoint.h"

namespace vellumix::capture {

// What At() gives for an index outside the list: neither a stroke point nor
// a pen lift, so drawing code skips it.
inline constexpr sigformats::SignaturePoint kOutOfRangePoint{-2, 2};

class SignaturePointList {
public:
    // Growth when an append finds the storage full: the new capacity is the
    // larger of count + 1 and capacity + step, where step is count / 8 but at
    // least 4 (an empty list takes count + 1). The list grows in small steps
    // while short and by an eighth when long, so appending is linear however
    // many points a file holds, and never reserves much beyond them.
    static constexpr std::size_t kMinGrowStep = 4;
    static constexpr std::size_t kGrowDivisor = 8;

    // Appends one point as it is.
    void Append(sigformats::SignaturePoint point);
    // Appends the storable points (IsStorablePoint) in order; others are
    // dropped silently. Grows at most once, to fit them all.
    void AppendPoints(std::span<const sigformats::SignaturePoint> points);
    // Frees the storage; count and capacity become 0.
    void Clear();

    std::size_t Count() const { return m_count; }
    std::size_t Capacity() const { return m_storage.size(); }
    bool Empty() const { return m_count == 0; }
    // The point at index, or kOutOfRangePoint when index is not below Count().
    sigformats::SignaturePoint At(std::size_t index) const;
    // Valid until the next append or clear.
    std::span<const sigformats::SignaturePoint> Points() const {
        return {m_storage.data(), m_count};
    }

    friend bool operator==(const SignaturePointList& a, const SignaturePointList& b);

private:
    void Grow(std::size_t needed);

    // Sized to the capacity; slots past m_count are zero.
    std::vector<sigformats::SignaturePoint> m_storage;
    std::size_t m_count = 0;
};

}  // namespace vellumix::capture
