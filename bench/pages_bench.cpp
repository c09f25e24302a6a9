// Host-side cost of the Display and Image pages.
//
// Image preparation: stretch a sample picture to 320 x 240, read the pixels
// back, convert them to the pad's red-green-blue bytes and frame the
// DisplayImage command. Target: under 5 ms, under 1% of the 3.7 s the frame
// takes on a full-speed USB link.
//
// Pattern overhead: each Display pattern against the virtual pad on the
// in-process USB host, per command, next to a bare DrawLine exchange on the
// same link. The difference is what the page adds to each command (record,
// mirror, live repaint). Target: under 50 us per command beyond the pad's
// answer.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPushButton>
#include <memory>

#include "GuiBenchSupport.h"
#include "padlink/CommandPayloads.h"
#include "padlink/Frame.h"
#include "padpicture/LcdPicture.h"
#include "pages/DisplayPage.h"
#include "pages/VirtualPadRig.h"
#include "res/SampleImages.h"

namespace {

using namespace vellumix;

void BM_PrepareFullScreenImage(benchmark::State& state) {
    const QImage sample = res::SampleImage(res::kSampleImage1Id);
    auto buffer = std::make_unique<std::uint8_t[]>(padlink::kFrameBufferSize);
    const std::span<std::uint8_t> frame(buffer.get(), padlink::kFrameBufferSize);
    for (auto _ : state) {
        const QImage box = padpicture::StretchToLcd(sample);
        const std::vector<std::uint8_t> pixels = padpicture::ToPadPixels(box);
        const std::size_t payload = padlink::payload::DisplayImage(frame, pixels);
        benchmark::DoNotOptimize(padlink::BuildFrame(frame, payload));
    }
}
BENCHMARK(BM_PrepareFullScreenImage)->Unit(benchmark::kMillisecond);

// The pad's answer alone: one command over the in-process link, an
// acknowledged line and a rectangle (whose answer the host does not check).
void BM_BareExchange(benchmark::State& state) {
    pages::test::VirtualPadRig rig;
    const bool rectangle = state.range(0) != 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(rectangle ? rig.channel.FillRectangle(5, 20, 39, 20)
                                           : rig.channel.DrawLine(10, 220, 10, 20));
    }
    state.counters["us_per_command"] = benchmark::Counter(
        static_cast<double>(state.iterations()),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::kIs1000);
}
BENCHMARK(BM_BareExchange)
    ->ArgName("rectangle")
    ->Arg(0)
    ->Arg(1)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

// One button press per iteration, on a shown page; waits are not slept, so
// the figure is host and link time only.
void BM_PatternPerCommand(benchmark::State& state) {
    const int button = static_cast<int>(state.range(0));
    pages::test::VirtualPadRig rig;
    // The patterns ask the user nothing.
    bench::QuietPrompts prompts;
    pages::CDisplayPage page(pages::PageServices{prompts, rig.channel}, nullptr);
    page.SetSleepFunction([](std::chrono::milliseconds) {});
    page.resize(700, 420);
    page.show();
    QCoreApplication::processEvents();
    auto* pButton = static_cast<QPushButton*>(page.Control(button));
    std::size_t commands = 0;
    for (auto _ : state) {
        pButton->click();
        state.PauseTiming();
        commands += rig.Commands().size();
        QCoreApplication::processEvents();  // the replay after the handler
        state.ResumeTiming();
    }
    state.counters["us_per_command"] = benchmark::Counter(
        static_cast<double>(commands), benchmark::Counter::kIsRate | benchmark::Counter::kInvert,
        benchmark::Counter::kIs1000);
    state.counters["commands"] =
        static_cast<double>(commands) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_PatternPerCommand)
    ->ArgName("button")
    ->Arg(pages::CDisplayPage::IDC_SHOW_LINES)
    ->Arg(pages::CDisplayPage::IDC_SHOW_BOXES)
    ->Arg(pages::CDisplayPage::IDC_SHOW_FRAMES)
    ->Arg(pages::CDisplayPage::IDC_SHOW_CHARACTERS)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return vellumix::bench::RunGuiBenchmarks(argc, argv);
}
