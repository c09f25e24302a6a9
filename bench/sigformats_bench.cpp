// Encode and decode speed of each signature format on a realistic signature
// of 9,999 points, the most the Signature page saves. Target: under 0.1 ms
// per call, VBC encoding with its block-length search included. The
// bytes_per_point counter shows how compact each format is.
#include <benchmark/benchmark.h>

#include <functional>
#include <span>
#include <vector>

#include "sigformats/CmpFormat.h"
#include "sigformats/NlcFormat.h"
#include "sigformats/ReferenceVbcEncoder.h"
#include "sigformats/SigFormat.h"
#include "sigformats/vbc/VbcFormat.h"
#include "sigformats/vbc/VbcStream.h"
#include "support/SignatureSynth.h"

namespace {

using vellumix::capture::SignaturePoint;
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

struct Codec {
    std::function<Bytes(std::span<const SignaturePoint>)> encode;
    std::function<Points(std::span<const std::uint8_t>)> decode;
};

const Codec kSig{[](auto p) { return sf::EncodeSig(p).Value(); },
                 [](auto f) { return sf::DecodeSig(f).Value().points; }};
const Codec kVbc{[](auto p) { return sf::vbc::EncodeVbc(p).Value(); },
                 [](auto f) { return sf::vbc::DecodeVbc(f).Value().points; }};
const Codec kNlc{[](auto p) { return sf::EncodeNlc(p).Value(); },
                 [](auto f) { return sf::DecodeNlc(f).Value().points; }};
const Codec kCmp{[](auto p) { return sf::EncodeCmp(p).Value(); },
                 [](auto f) { return sf::DecodeCmp(f).Value().points; }};

void SetCounters(benchmark::State& state, const Bytes& file) {
    state.counters["file_bytes"] = static_cast<double>(file.size());
    state.counters["bytes_per_point"] =
        static_cast<double>(file.size()) / static_cast<double>(Signature().size());
}

void BM_Encode(benchmark::State& state, const Codec& codec) {
    const Points& points = Signature();
    Bytes file;
    for (auto _ : state) {
        file = codec.encode(points);
        benchmark::DoNotOptimize(file.data());
    }
    if (file.empty()) {
        state.SkipWithError("the signature cannot be represented in this format");
        return;
    }
    SetCounters(state, file);
}

void BM_Decode(benchmark::State& state, const Codec& codec) {
    const Bytes file = codec.encode(Signature());
    if (file.empty()) {
        state.SkipWithError("the signature cannot be represented in this format");
        return;
    }
    for (auto _ : state) {
        Points points = codec.decode(file);
        benchmark::DoNotOptimize(points.data());
    }
    SetCounters(state, file);
}

// The .vbc point stream alone, by the encoder and by the one it replaced
// (kept in the tests), on the same machine at the same time.
std::vector<sf::vbc::StrokePoint> StrokeForm() {
    std::vector<sf::vbc::StrokePoint> points;
    bool start = true;
    for (const SignaturePoint& p : Signature()) {
        if (vellumix::capture::IsPenUp(p)) {
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
BENCHMARK_CAPTURE(BM_Encode, sig, kSig)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Decode, sig, kSig)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Encode, vbc, kVbc)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Decode, vbc, kVbc)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Encode, nlc, kNlc)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Decode, nlc, kNlc)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Encode, cmp, kCmp)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Decode, cmp, kCmp)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
