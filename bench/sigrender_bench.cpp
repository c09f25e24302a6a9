// Drawing one 10,000-point signature (a three-line text in the cursive
// font) to .png, .svg and .pdf in memory: the work a conversion to a picture
// does after reading its input. The file_bytes counter shows the output size.
// Also the Signature page's .bmp export of its 320 x 240 box, which runs once
// per save, where anything under a few milliseconds goes unnoticed.
#include <benchmark/benchmark.h>

#include <vector>

#include "sigrender/SignatureBitmap.h"
#include "sigrender/SignatureRenderer.h"
#include "support/SignatureSynth.h"

namespace {

using vellumix::sigformats::SignaturePoint;
namespace sr = vellumix::sigrender;
using Points = std::vector<SignaturePoint>;

constexpr std::size_t kPoints = 10'000;
constexpr unsigned kSeed = 7;
constexpr const char* kText = "Vellumix Demo\nsigned by\nJohn Q. Smith";

const Points& Signature() {
    static const Points points = vellumix::testsupport::MakeSignature(kText, kSeed, kPoints);
    return points;
}

void BM_Render(benchmark::State& state, sr::ImageFormat format) {
    const sr::RenderOptions options{static_cast<int>(state.range(0)),
                                    static_cast<int>(state.range(1)), 3.0, false};
    std::vector<std::uint8_t> out;
    const sr::ByteSink sink = [&out](std::span<const std::uint8_t> piece) {
        out.insert(out.end(), piece.begin(), piece.end());
        return true;
    };
    for (auto _ : state) {
        out.clear();
        const std::string error = sr::RenderSignature(Signature(), format, options, sink);
        if (!error.empty()) {
            state.SkipWithError(error.c_str());
            return;
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["file_bytes"] = static_cast<double>(out.size());
}

void BM_RenderSignatureToDib(benchmark::State& state) {
    constexpr int kBoxWidth = 320;
    constexpr int kBoxHeight = 240;
    for (auto _ : state) {
        const sr::Dib24 dib = sr::RenderSignatureToDib(Signature(), kBoxWidth, kBoxHeight);
        benchmark::DoNotOptimize(dib.bits.data());
    }
}

}  // namespace

BENCHMARK(BM_RenderSignatureToDib)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Render, png, sr::ImageFormat::kPng)
    ->Args({800, 400})
    ->Args({2400, 1200})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Render, svg, sr::ImageFormat::kSvg)
    ->Args({800, 400})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Render, pdf, sr::ImageFormat::kPdf)
    ->Args({800, 400})
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
