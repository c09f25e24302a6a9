// The Signature page's speed on the virtual pad.
//
// Pen-to-ink latency: from a pen report entering the in-process USB link (an
// input report on the memory HID device, as the pad's USB host emits it) to
// the ink being on the page's canvas, through the reader's read, its hand-over
// to the GUI thread and the drawing there. p50 and p99 over many reports.
// Target: p99 under 5 ms.
//
// DrawStrokes: a full redraw of a 9,999-point signature, the largest that can
// be saved, into the canvas. Target: under 2 ms.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <vector>

#include "GuiBenchSupport.h"
#include "capture/PenReport.h"
#include "padlink/PadProtocol.h"
#include "pages/SignaturePage.h"
#include "pages/VirtualPadRig.h"
#include "sigformats/SignatureCodec.h"
#include "support/SignatureSynth.h"

namespace {

using namespace vellumix;
using capture::SignaturePoint;
using Clock = std::chrono::steady_clock;

// One pen report as the pad's USB host sends it: report id, chunk count, data.
void EmitPenReport(padlink::MemoryHidDevice& device, SignaturePoint p) {
    const capture::PenReport pen = capture::EncodePenReport(p);
    std::vector<std::uint8_t> report(padlink::hid::kDataOffset + pen.size());
    report[0] = padlink::hid::kReportId;
    report[padlink::hid::kChunkOffset] = static_cast<std::uint8_t>(pen.size());
    std::copy(pen.begin(), pen.end(), report.begin() + padlink::hid::kDataOffset);
    device.PushInputReport(report.data(), report.size());
}

// A pen report's points show up well within this, or not at all.
constexpr std::chrono::milliseconds kArrivalLimit{1000};

void BM_PenToInkLatency(benchmark::State& state) {
    pages::test::VirtualPadRig rig;
    bench::QuietPrompts prompts;
    pages::CSignaturePage page(pages::PageServices{prompts, rig.channel}, nullptr);
    std::vector<double> latencies;
    int row = 0;
    for (auto _ : state) {
        // A horizontal stroke on a fresh row: its first point unmeasured,
        // then the far end, whose arrival draws the line.
        const int y = 5 * (row++ % 200);
        if (row % 200 == 0) {
            page.OnClear();
        }
        const std::size_t before = page.GetPointCount();
        EmitPenReport(*rig.device, {100, y});
        if (!bench::PumpUntil([&] { return page.GetPointCount() > before; }, kArrivalLimit)) {
            state.SkipWithError("the first point never arrived");
            break;
        }
        const QPoint middle = pages::SignatureCanvas::MapToBox({500, y}, page.Canvas().Size());
        const auto start = Clock::now();
        EmitPenReport(*rig.device, {900, y});
        if (!bench::PumpUntil([&] { return page.Canvas().Image().pixel(middle) == qRgb(0, 0, 0); },
                              kArrivalLimit)) {
            state.SkipWithError("no ink");
            break;
        }
        const std::chrono::duration<double> took = Clock::now() - start;
        state.SetIterationTime(took.count());
        latencies.push_back(took.count() * 1e3);
        EmitPenReport(*rig.device, capture::PEN_UP_POINT);
    }
    if (!latencies.empty()) {
        std::sort(latencies.begin(), latencies.end());
        const auto at = [&](double q) {
            return latencies[std::min(latencies.size() - 1,
                                      static_cast<std::size_t>(q * latencies.size()))];
        };
        state.counters["p50_ms"] = at(0.50);
        state.counters["p99_ms"] = at(0.99);
        state.counters["max_ms"] = latencies.back();
    }
}
BENCHMARK(BM_PenToInkLatency)->UseManualTime()->Iterations(500)->Unit(benchmark::kMillisecond);

void BM_DrawStrokes9999(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath("big.sig");
    // 9,998 written points and the pen lift the load adds: 9,999.
    std::vector<SignaturePoint> points =
        testsupport::MakeSignature("Signature of\nsomeone", 17, 9'999);
    points.pop_back();
    {
        const sigformats::Bytes bytes = sigformats::SignatureCodec().EncodeSigFile(points);
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    }
    pages::test::VirtualPadRig rig;
    bench::QuietPrompts prompts(path);
    pages::CSignaturePage page(pages::PageServices{prompts, rig.channel}, nullptr);
    page.SetSleepFunction([](std::chrono::milliseconds) {});
    page.OnGetSignatureFile();
    page.StopPenReader();
    if (page.GetPointCount() != 9'999) {
        state.SkipWithError("the signature did not load");
        return;
    }
    for (auto _ : state) {
        page.DrawStrokes();
    }
    state.counters["points"] = static_cast<double>(page.GetPointCount());
}
BENCHMARK(BM_DrawStrokes9999)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    return vellumix::bench::RunGuiBenchmarks(argc, argv);
}
