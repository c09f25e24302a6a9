// Pen stream decoding of a realistic signature of 9,999 points, the most the
// Signature page saves. The decoder must keep far ahead of the pad (a few
// hundred reports a second).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <span>
#include <vector>

#include "capture/PenReport.h"
#include "capture/PenStreamDecoder.h"
#include "padlink/PadProtocol.h"
#include "support/SignatureSynth.h"

namespace {

namespace cap = vellumix::capture;
namespace sf = vellumix::sigformats;
using Bytes = std::vector<std::uint8_t>;
using Points = std::vector<sf::SignaturePoint>;

constexpr std::size_t kPoints = 9'999;
constexpr unsigned kSeed = 7;
constexpr const char* kText = "Vellumix Demo\nsigned by\nJohn Q. Smith";
// A serial pen read is at most 128 bytes; reads of 128 split reports often.
constexpr std::size_t kReadSize = vellumix::padlink::kSerialPenReadSize;

const Points& Signature() {
    static const Points points = vellumix::testsupport::MakeSignature(kText, kSeed, kPoints);
    return points;
}

const Bytes& PenStream() {
    static const Bytes stream = [] {
        Bytes out;
        for (const auto p : Signature()) {
            const auto r = cap::EncodePenReport(p);
            out.insert(out.end(), r.begin(), r.end());
        }
        return out;
    }();
    return stream;
}

void BM_DecodePenStream(benchmark::State& state) {
    const Bytes& stream = PenStream();
    Points out;
    out.reserve(kPoints);
    for (auto _ : state) {
        cap::PenStreamDecoder decoder;
        out.clear();
        for (std::size_t at = 0; at < stream.size(); at += kReadSize) {
            const std::size_t n = std::min(kReadSize, stream.size() - at);
            decoder.Decode(std::span(stream).subspan(at, n), out);
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
    state.counters["reports"] = static_cast<double>(out.size());
}
BENCHMARK(BM_DecodePenStream)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
