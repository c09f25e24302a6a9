// Line noise against the pen stream decoder: a realistic signature as the
// pad sends it, with the virtual pad's --noise bytes (200 random bytes after
// every 50th report) put in exactly as its serial host does, decoded the way
// the pen reader decodes (PenStreamDecoder::DecodeRead, read by read, then a
// read that finds the line quiet).
//
// Reads: 1 byte (a UART driver handing over each byte as it lands, the worst
// case for the last-report-of-a-read rule), 16 bytes (the virtual pad at line
// rate, which moves 16 bytes at a time) and 128 bytes (the serial reader's
// largest read, when it fell behind). Signatures: the 517-point word of the
// field reports and the 9,999 points the Signature page saves at most.
//
// Seeds 2, 7 and 13: on the 517-point word they gave 5, 3 and 5 invented
// points before the decoder judged reports by the stream around them.
//
// Counters: invented (points the pad never sent, pen lifts included; target
// 0), kept_pct (share of the sent points that came through; target at least
// 99), lost, refused (look-alike reports the decoder turned down).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <span>
#include <vector>

#include "capture/PenReport.h"
#include "capture/PenStreamDecoder.h"
#include "engine/PenLineNoise.h"
#include "support/PointStreamDiff.h"
#include "support/SignatureSynth.h"

namespace {

namespace cap = vellumix::capture;
namespace sf = vellumix::sigformats;
namespace sim = vellumix::padsim;
using Bytes = std::vector<std::uint8_t>;
using Points = std::vector<sf::SignaturePoint>;

constexpr int kNoiseEvery = 50;
constexpr int kNoiseLength = 200;
constexpr unsigned kSignatureSeed = 5;

const Points& Signature(std::size_t points) {
    static const Points small =
        vellumix::testsupport::MakeSignature("Jo Ames", kSignatureSeed, 517);
    static const Points large = vellumix::testsupport::MakeSignature(
        "Vellumix Demo\nsigned by\nJohn Q. Smith", kSignatureSeed, 9'999);
    return points == small.size() ? small : large;
}

Bytes NoisyStream(const Points& points, std::uint32_t seed) {
    Bytes stream;
    for (const sf::SignaturePoint p : points) {
        const cap::PenReport r = cap::EncodePenReport(p);
        stream.insert(stream.end(), r.begin(), r.end());
    }
    sim::engine::PenLineNoise noise({.every = kNoiseEvery, .length = kNoiseLength, .seed = seed});
    noise.Apply(stream);
    return stream;
}

// Args: noise seed, read size, signature points.
void BM_DecodeNoisyPenStream(benchmark::State& state) {
    const auto seed = static_cast<std::uint32_t>(state.range(0));
    const auto readSize = static_cast<std::size_t>(state.range(1));
    const Points& sent = Signature(static_cast<std::size_t>(state.range(2)));
    const Bytes stream = NoisyStream(sent, seed);
    Points got;
    sf::PointTimes times;
    std::size_t refused = 0;
    for (auto _ : state) {
        cap::PenStreamDecoder decoder;
        cap::ReportClock clock(std::chrono::microseconds{0});
        got.clear();
        times.clear();
        Bytes read(readSize);
        for (std::size_t at = 0; at < stream.size(); at += readSize) {
            const std::size_t n = std::min(readSize, stream.size() - at);
            std::copy_n(stream.begin() + static_cast<std::ptrdiff_t>(at), n, read.begin());
            decoder.DecodeRead(static_cast<int>(n), read, 0, clock, got, times);
        }
        decoder.DecodeRead(0, read, 0, clock, got, times);
        refused = decoder.RefusedReports();
        benchmark::DoNotOptimize(got.data());
    }
    const auto diff = vellumix::testsupport::DiffPointStreams(sent, got);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
    state.counters["invented"] = static_cast<double>(diff.invented);
    state.counters["lost"] = static_cast<double>(diff.lost);
    state.counters["kept_pct"] =
        100.0 * static_cast<double>(diff.kept) / static_cast<double>(sent.size());
    state.counters["refused"] = static_cast<double>(refused);
}
BENCHMARK(BM_DecodeNoisyPenStream)
    ->ArgsProduct({{2, 7, 13}, {1, 16, 128}, {517, 9'999}})
    ->ArgNames({"seed", "read", "points"})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
