// The full-screen image frame through HidPort into an in-memory pad that only
// counts reports: the host-side cost of cutting 230,418 bytes into 3,658
// output reports. Target: under 1 ms CPU per frame.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "padlink/HidPort.h"
#include "padlink/PadProtocol.h"
#include "padlink/PadUsbIds.h"
#include "padlink/hid/MemoryHidDevice.h"

namespace pl = vellumix::padlink;

namespace {

// Class, 'F', command and the four 16-bit corners come before the pixels.
constexpr std::size_t kImageCommandHeader = 11;
constexpr std::size_t kImageFrameBytes =
    pl::kImageBytes + kImageCommandHeader + pl::kLongFrameOverhead;  // 230,418

void BM_WriteImageFrame(benchmark::State& state) {
    auto backend = std::make_unique<pl::hid::MemoryHidBackend>();
    auto pad = backend->AddDevice(pl::PAD_USB_VENDOR_ID, pl::PAD_USB_PRODUCT_ID);
    std::size_t reports = 0;
    pad->SetOutputHandler([&reports](const std::uint8_t*, std::size_t) { ++reports; });
    pl::HidPort port(std::move(backend));
    if (!port.Open(pl::PAD_USB_VENDOR_ID, pl::PAD_USB_PRODUCT_ID)) {
        state.SkipWithError("in-memory pad did not open");
        return;
    }
    std::vector<std::uint8_t> frame(kImageFrameBytes, 0x5A);
    for (auto _ : state) {
        benchmark::DoNotOptimize(port.Write(frame.data(), frame.size()));
    }
    state.counters["reports/frame"] =
        static_cast<double>(reports) / static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * frame.size()));
    pad->SetOutputHandler({});
}
BENCHMARK(BM_WriteImageFrame)->Unit(benchmark::kMicrosecond);

// A 512-byte reply joined from 9 input reports.
void BM_ReadJoinedReply(benchmark::State& state) {
    auto backend = std::make_unique<pl::hid::MemoryHidBackend>();
    auto pad = backend->AddDevice(pl::PAD_USB_VENDOR_ID, pl::PAD_USB_PRODUCT_ID);
    pl::HidPort port(std::move(backend));
    if (!port.Open(pl::PAD_USB_VENDOR_ID, pl::PAD_USB_PRODUCT_ID)) {
        state.SkipWithError("in-memory pad did not open");
        return;
    }
    const std::vector<std::uint8_t> data(pl::kReplyCapacity, 0x33);
    std::uint8_t reply[pl::kReplyCapacity];
    for (auto _ : state) {
        state.PauseTiming();
        pad->PushInputData(data.data(), data.size());
        state.ResumeTiming();
        benchmark::DoNotOptimize(port.Read(reply, sizeof reply, 0));
    }
}
BENCHMARK(BM_ReadJoinedReply)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
