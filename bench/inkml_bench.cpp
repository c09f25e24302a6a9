// InkML writing and reading of one 10,000-point signature with the times of
// its reports (1302 us apart, as at 38,400 baud), through the XML parser.
#include <benchmark/benchmark.h>

#include <vector>

#include "sigformats/InkmlFormat.h"
#include "support/SignatureSynth.h"

namespace {

using vellumix::sigformats::PointTimes;
using vellumix::sigformats::SignaturePoint;
namespace sf = vellumix::sigformats;

constexpr std::size_t kPoints = 10'000;
constexpr vellumix::sigformats::PointTime kReportTime = 1302;

struct TimedSignature {
    std::vector<SignaturePoint> points;
    PointTimes times;
};

const TimedSignature& Signature() {
    static const TimedSignature signature = [] {
        TimedSignature s;
        s.points = vellumix::testsupport::MakeSignature("Vellumix Demo\nsigned by\nJohn Q. Smith",
                                                        7, kPoints);
        for (std::size_t i = 0; i < s.points.size(); ++i) {
            s.times.push_back(static_cast<vellumix::sigformats::PointTime>(i) * kReportTime);
        }
        return s;
    }();
    return signature;
}

void BM_InkmlEncode(benchmark::State& state) {
    std::vector<std::uint8_t> file;
    for (auto _ : state) {
        file = sf::EncodeInkml(Signature().points, Signature().times).Value();
        benchmark::DoNotOptimize(file.data());
    }
    state.counters["file_bytes"] = static_cast<double>(file.size());
}

void BM_InkmlDecode(benchmark::State& state) {
    const std::vector<std::uint8_t> file =
        sf::EncodeInkml(Signature().points, Signature().times).Value();
    for (auto _ : state) {
        sf::Decoded decoded = sf::DecodeInkml(file);
        if (!decoded) {
            state.SkipWithError(decoded.Error().message.c_str());
            return;
        }
        benchmark::DoNotOptimize(decoded.Value().points.data());
    }
}

}  // namespace

BENCHMARK(BM_InkmlEncode)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_InkmlDecode)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
