// Line noise on the pen stream, for fault injection: LEN random bytes after
// every EVERY-th pen report, from a seeded generator, so a run can be
// repeated byte for byte. The serial host puts it on the line; benchmarks
// and tests make the same bytes without a line.
//
// Thread safety: none; one instance belongs to the host thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace vellumix::padsim::engine {

// The seed when none is given: a run without one is still repeatable.
inline constexpr std::uint32_t kDefaultNoiseSeed = 1;

struct PenNoiseOptions {
    int every = 0;   // reports between bursts; 0: no noise
    int length = 0;  // bytes per burst
    std::uint32_t seed = kDefaultNoiseSeed;
};

class PenLineNoise {
public:
    explicit PenLineNoise(PenNoiseOptions options);

    bool Enabled() const { return m_options.every > 0 && m_options.length > 0; }
    // `reports` holds whole 5-byte pen reports as the pad sends them; a burst
    // goes in behind every EVERY-th one, counted over all calls.
    void Apply(std::vector<std::uint8_t>& reports);
    // Noise bytes put in so far.
    std::uint64_t NoiseBytes() const { return m_noiseBytes; }

private:
    PenNoiseOptions m_options;
    // mt19937's output sequence is fixed by the C++ standard, unlike the
    // library's distributions, so a seed gives the same bytes everywhere.
    std::mt19937 m_random;
    std::uint64_t m_reports = 0;
    std::uint64_t m_noiseBytes = 0;
};

}  // namespace vellumix::padsim::engine
