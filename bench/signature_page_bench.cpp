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
//
// A lost pad: from the moment the pad goes (the in-process USB device
// unplugged; the virtual pad's pseudo-terminal closed) with the pen down to
// the pen lift that ends the stroke being in the page's list and taken in by
// its drawing. Target: under one idle-line check of the main frame
// (kLinkCheckInterval, 500 ms), the longest a lost pad may go unnoticed.
//
// Loading the largest file the load cap allows: "Get Signature File" on a
// 64 MB .cmp, from the answer of the file dialog to the drawn strokes, all on
// the GUI thread's view. Target: the GUI thread busy under 200 ms. The file
// is read and decoded on a worker while the GUI thread sleeps between turns
// of its event loop, so the figure to read is the CPU column (the GUI
// thread's own time), not the wall time. Two files: 63 MB of bytes the
// decoder walks and skips before a stream of just under the point cap, and
// chain codes that run to the cap and are refused there.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include "GuiBenchSupport.h"
#include "app/MainFrame.h"
#include "capture/PenReport.h"
#include "hosts/SerialHost.h"
#include "padlink/PadProtocol.h"
#include "padlink/PortResolver.h"
#include "pages/SignaturePage.h"
#include "pages/VirtualPadRig.h"
#include "sigfiles/FileAccess.h"
#include "sigformats/CmpFormat.h"
#include "sigformats/SignatureCodec.h"
#include "support/SignatureSynth.h"

namespace {

using namespace vellumix;
using sigformats::SignaturePoint;
using Clock = std::chrono::steady_clock;

// One pen report as the pad's USB host sends it: report id, chunk count, data.
void EmitPenReport(padlink::hid::MemoryHidDevice& device, SignaturePoint p) {
    const capture::PenReport pen = capture::EncodePenReport(p);
    std::vector<std::uint8_t> report(padlink::hidreport::kDataOffset + pen.size());
    report[0] = padlink::hidreport::kReportId;
    report[padlink::hidreport::kChunkOffset] = static_cast<std::uint8_t>(pen.size());
    std::copy(pen.begin(), pen.end(), report.begin() + padlink::hidreport::kDataOffset);
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
        EmitPenReport(*rig.device, sigformats::PEN_UP_POINT);
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

// The page's last point is a lift and the page has drawn up to it.
bool LiftTakenIn(const pages::CSignaturePage& page) {
    const std::size_t count = page.GetPointCount();
    return count > 0 && sigformats::IsPenUp(page.GetPoint(static_cast<std::int64_t>(count) - 1)) &&
           page.DrawnPointCount() == count;
}

// One lost pad: pen down, the link goes, the lift is waited for, the link
// comes back. Returns the time to the lift, or nothing.
template <typename Lose, typename Restore>
std::optional<Clock::duration> LoseThePad(pages::CSignaturePage& page,
                                          const std::function<void(SignaturePoint)>& penDown,
                                          Lose lose, Restore restore, int row) {
    const std::size_t before = page.GetPointCount();
    penDown({100 + row % 800, 500});
    if (!bench::PumpUntil([&] { return page.GetPointCount() > before; }, kArrivalLimit)) {
        return std::nullopt;
    }
    const auto start = Clock::now();
    lose();
    const bool lifted = bench::PumpUntil([&] { return LiftTakenIn(page); }, kArrivalLimit);
    const auto took = Clock::now() - start;
    restore();
    if (!lifted) {
        return std::nullopt;
    }
    return took;
}

void ReportLossToLift(benchmark::State& state, std::vector<double>& ms) {
    std::sort(ms.begin(), ms.end());
    if (!ms.empty()) {
        state.counters["p50_ms"] = ms[ms.size() / 2];
        state.counters["max_ms"] = ms.back();
    }
    state.counters["goal_ms"] =
        static_cast<double>(std::chrono::milliseconds(app::kLinkCheckInterval).count());
}

void BM_LostPadToPenLift_Usb(benchmark::State& state) {
    pages::test::VirtualPadRig rig;
    bench::QuietPrompts prompts;
    pages::CSignaturePage page(pages::PageServices{prompts, rig.channel}, nullptr);
    std::vector<double> ms;
    int row = 0;
    for (auto _ : state) {
        const auto took = LoseThePad(
            page, [&](SignaturePoint p) { EmitPenReport(*rig.device, p); },
            [&] { rig.device->Unplug(); },
            [&] {
                rig.device->Plug();
                rig.channel.WithLink([](padlink::PadLink& link) {
                    link.Hid()->Open(padlink::PAD_USB_VENDOR_ID, padlink::PAD_USB_PRODUCT_ID);
                });
            },
            row++);
        if (!took) {
            state.SkipWithError("no lift");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(*took).count());
        ms.push_back(std::chrono::duration<double, std::milli>(*took).count());
    }
    ReportLossToLift(state, ms);
}
BENCHMARK(BM_LostPadToPenLift_Usb)->UseManualTime()->Iterations(30)->Unit(benchmark::kMillisecond);

void BM_LostPadToPenLift_Serial(benchmark::State& state) {
    QTemporaryDir dir;
    const std::filesystem::path folder = std::filesystem::path(dir.path().toStdString()) / "ports";
    padlink::CreatePortFolder(folder);
    padsim::engine::PadEngine engine;
    padsim::hosts::SerialHost host(
        engine, padsim::hosts::SerialHostOptions{.portFolder = folder, .comNumber = 1});
    if (!host.Start()) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    padlink::PadLink link(
        std::make_unique<padlink::SerialPort>(folder, std::vector<std::string>{}));
    padlink::PadCommandChannel channel(link);
    bench::QuietPrompts prompts;
    pages::CSignaturePage page(pages::PageServices{prompts, channel}, nullptr);
    std::vector<double> ms;
    int row = 0;
    for (auto _ : state) {
        const auto took = LoseThePad(
            page,
            [&](SignaturePoint p) {
                engine.PenDown(p.x, p.y);
                host.WakeUp();
            },
            [&] { host.Stop(); },
            [&] {
                host.Start();
                channel.WithLink([](padlink::PadLink& l) { l.Close(); });
                page.RestorePadSetup();  // the first command opens the port again
            },
            row++);
        if (!took) {
            state.SkipWithError("no lift");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(*took).count());
        ms.push_back(std::chrono::duration<double, std::milli>(*took).count());
    }
    page.StopPenReader();
    host.Stop();
    ReportLossToLift(state, ms);
}
BENCHMARK(BM_LostPadToPenLift_Serial)
    ->UseManualTime()
    ->Iterations(30)
    ->Unit(benchmark::kMillisecond);

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

std::vector<std::uint8_t> ZigzagCmp(std::size_t points) {
    std::vector<SignaturePoint> zigzag;
    for (std::size_t i = 0; i < points; ++i) {
        zigzag.push_back(
            {static_cast<int>(100 + 8 * (i % 2)), static_cast<int>(100 + 8 * (i / 2 % 2))});
    }
    return sigformats::EncodeCmp(zigzag).Value();
}

// Skipped bytes after the header, then a stream of just under the cap.
std::vector<std::uint8_t> SkipThenStream() {
    std::vector<std::uint8_t> file = ZigzagCmp(sigformats::kMaxDecodedPoints - 10'000);
    const auto header = std::find(file.begin(), file.end(), sigformats::cmp::kStartByte) +
                        static_cast<std::ptrdiff_t>(sigformats::cmp::kHeaderLength);
    file.insert(header, sigfiles::kMaxInputBytes - file.size(), std::uint8_t{0});
    return file;
}

// Chain codes repeated to the cap's size: the decoder stops at the point cap.
std::vector<std::uint8_t> EndlessStream() {
    std::vector<std::uint8_t> file = ZigzagCmp(20'000);
    const std::vector<std::uint8_t> unit(file.begin() + file.size() / 3,
                                         file.begin() + 2 * file.size() / 3);
    file.resize(file.size() / 3);
    while (file.size() < sigfiles::kMaxInputBytes) {
        file.insert(file.end(), unit.begin(), unit.end());
    }
    file.resize(sigfiles::kMaxInputBytes);
    return file;
}

void BM_LoadLargestFile(benchmark::State& state, std::vector<std::uint8_t> (*make)()) {
    QTemporaryDir dir;
    const QString path = dir.filePath("largest.cmp");
    {
        const std::vector<std::uint8_t> bytes = make();
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    }
    pages::test::VirtualPadRig rig;
    bench::QuietPrompts prompts(path);
    pages::CSignaturePage page(pages::PageServices{prompts, rig.channel}, nullptr);
    page.SetSleepFunction([](std::chrono::milliseconds) {});
    for (auto _ : state) {
        const auto start = Clock::now();
        page.OnGetSignatureFile();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
    page.StopPenReader();
    state.counters["points"] = static_cast<double>(page.GetPointCount());
}
BENCHMARK_CAPTURE(BM_LoadLargestFile, skipped_then_stream, SkipThenStream)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadLargestFile, endless_stream, EndlessStream)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return vellumix::bench::RunGuiBenchmarks(argc, argv);
}
