// Encode and decode speed of each signature format on a realistic signature
// of 9,999 points, the most the Signature page saves, through the format
// table's rows and the codecs' one result type, as every front end calls
// them. Target: under 0.1 ms per call, VBC encoding with its block-length
// search included. The bytes_per_point counter shows how compact each format
// is.
#include <benchmark/benchmark.h>

#include <span>
#include <vector>

#include "sigfiles/FormatTable.h"
#include "sigformats/ReferenceVbcEncoder.h"
#include "sigformats/vbc/VbcStream.h"
#include "support/SignatureSynth.h"

namespace {

using vellumix::sigfiles::FileKind;
using vellumix::sigfiles::FormatOf;
using vellumix::sigformats::SignaturePoint;
namespace sf = vellumix::sigformats;
using Bytes = std::vector<std::uint8_t>;
using Points = std::vector<SignaturePoint>;

constexpr std::size_t kPoints = 9'999;
constexpr unsigned kSeed = 7;
constexpr const char* kText = "Vellumix Demo\nsigned by\nJohn Q. Smith";

const Points& Signature() {
    static const Points points = vellumix::testsupport::MakeSignature(kText, kSeed, kPoints);
    return points;
}

void SetCounters(benchmark::State& state, const Bytes& file) {
    state.counters["file_bytes"] = static_cast<double>(file.size());
    state.counters["bytes_per_point"] =
        static_cast<double>(file.size()) / static_cast<double>(Signature().size());
}

sf::Encoded Encode(FileKind kind, std::span<const SignaturePoint> points) {
    return FormatOf(kind).encode(points, {});
}

sf::Decoded Decode(FileKind kind, std::span<const std::uint8_t> file) {
    return FormatOf(kind).decode(file, sf::vbc::LockedVbc::kRefuse);
}

void BM_Encode(benchmark::State& state, FileKind kind) {
    const Points& points = Signature();
    for (auto _ : state) {
        sf::Encoded encoded = Encode(kind, points);
        if (!encoded) {
            state.SkipWithError(encoded.Error().message.c_str());
            return;
        }
        benchmark::DoNotOptimize(encoded.Value().data());
    }
    SetCounters(state, Encode(kind, points).Value());
}

void BM_Decode(benchmark::State& state, FileKind kind) {
    const sf::Encoded file = Encode(kind, Signature());
    if (!file) {
        state.SkipWithError(file.Error().message.c_str());
        return;
    }
    for (auto _ : state) {
        sf::Decoded decoded = Decode(kind, file.Value());
        if (!decoded) {
            state.SkipWithError(decoded.Error().message.c_str());
            return;
        }
        benchmark::DoNotOptimize(decoded.Value().points.data());
    }
    SetCounters(state, file.Value());
}

// The .vbc point stream alone, by the encoder and by the one it replaced
// (kept in the tests), on the same machine at the same time.
std::vector<sf::vbc::StrokePoint> StrokeForm() {
    std::vector<sf::vbc::StrokePoint> points;
    bool start = true;
    for (const SignaturePoint& p : Signature()) {
        if (vellumix::sigformats::IsPenUp(p)) {
            start = true;
            continue;
        }
        if (!start && !points.empty() && points.back().x == p.x && points.back().y == p.y) {
            continue;
        }
        points.push_back({p.x, p.y, start});
        start = false;
    }
    return points;
}

void BM_VbcStream(benchmark::State& state, bool reference) {
    const auto points = StrokeForm();
    for (auto _ : state) {
        Bytes stream = reference ? sf::vbc::reference::EncodeStream(points, sf::vbc::kOwnParams)
                                 : sf::vbc::EncodeStream(points, sf::vbc::kOwnParams);
        benchmark::DoNotOptimize(stream.data());
    }
}

}  // namespace

BENCHMARK_CAPTURE(BM_VbcStream, linear_search, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_VbcStream, previous_encoder, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Encode, sig, FileKind::kSig)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Decode, sig, FileKind::kSig)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Encode, vbc, FileKind::kVbc)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Decode, vbc, FileKind::kVbc)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Encode, nlc, FileKind::kNlc)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Decode, nlc, FileKind::kNlc)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Encode, cmp, FileKind::kCmp)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Decode, cmp, FileKind::kCmp)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
