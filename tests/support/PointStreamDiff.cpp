#include "support/PointStreamDiff.h"

#include <vector>

namespace vellumix::testsupport {

PointStreamDiff DiffPointStreams(std::span<const sigformats::SignaturePoint> sent,
                                 std::span<const sigformats::SignaturePoint> decoded,
                                 std::size_t maxDifferences) {
    const auto n = static_cast<std::ptrdiff_t>(sent.size());
    const auto m = static_cast<std::ptrdiff_t>(decoded.size());
    const auto limit = static_cast<std::ptrdiff_t>(maxDifferences);
    // v[k + offset]: the furthest x (index into sent) on diagonal k = x - y.
    const std::ptrdiff_t offset = limit + 1;
    std::vector<std::ptrdiff_t> v(static_cast<std::size_t>(2 * offset + 1), 0);
    for (std::ptrdiff_t d = 0; d <= limit; ++d) {
        for (std::ptrdiff_t k = -d; k <= d; k += 2) {
            std::ptrdiff_t x = 0;
            if (k == -d || (k != d && v[static_cast<std::size_t>(k - 1 + offset)] <
                                          v[static_cast<std::size_t>(k + 1 + offset)])) {
                x = v[static_cast<std::size_t>(k + 1 + offset)];  // a decoded point added
            } else {
                x = v[static_cast<std::size_t>(k - 1 + offset)] + 1;  // a sent point dropped
            }
            std::ptrdiff_t y = x - k;
            while (x < n && y < m &&
                   sent[static_cast<std::size_t>(x)] == decoded[static_cast<std::size_t>(y)]) {
                ++x;
                ++y;
            }
            v[static_cast<std::size_t>(k + offset)] = x;
            if (x >= n && y >= m) {
                // d = lost + invented, and n - lost = m - invented.
                const auto lost = static_cast<std::size_t>((d + n - m) / 2);
                return {sent.size() - lost, lost, static_cast<std::size_t>((d - n + m) / 2)};
            }
        }
    }
    return {0, sent.size(), decoded.size()};
}

}  // namespace vellumix::testsupport
