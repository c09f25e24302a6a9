// The serial link against the virtual pad paced like a real 38,400-baud line
// (3,840 bytes/s both ways): command time against wire time, and the time
// from a pen report being ready on the pad to its point reaching the capture
// layer (the pen reader's sink), and how far the reader's arrival stamps lie
// from when each report really finished crossing the line.
//
// Also two pads in one process capturing at once, one on this line and one
// on the in-process USB device, each with its own link, channel and reader:
// points received against points sent, and the pen-to-capture p99 of each.
//
// Targets: 44 DrawLine within 1.5x their wire time; pen report p99 at most
// its wire time + 5 ms at 100 and at 768 reports/s; stamp error p99 under
// 2 ms at 100 and at 768 reports/s; a pad that comes back takes its first
// command within one discovery pass + 1 s; two pads at once lose no point
// and keep the one-pad p99 target each.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "PacedPenReports.h"
#include "capture/PenReader.h"
#include "engine/PadEngine.h"
#include "hosts/SerialHost.h"
#include "hosts/UsbHost.h"
#include "padlink/HidPort.h"
#include "padlink/PadCommandChannel.h"
#include "padlink/PadLinkOpen.h"
#include "padlink/PadProbe.h"
#include "padlink/PadReconnector.h"
#include "padlink/PadUsbIds.h"
#include "padlink/PortResolver.h"
#include "padlink/SerialPort.h"
#include "padlink/SerialSettings.h"
#include "padlink/hid/MemoryHidDevice.h"

namespace {

namespace pl = vellumix::padlink;
namespace sim = vellumix::padsim;
namespace cap = vellumix::capture;
namespace sf = vellumix::sigformats;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kCom = 7;
constexpr int kLines = 44;
// A DrawLine frame (11-byte payload + 6) and its 7-byte answer.
constexpr std::size_t kDrawLineWireBytes = 17 + 7;
constexpr std::size_t kPenReportBytes = 5;
constexpr int kPenSamples = 400;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

std::filesystem::path BenchFolder() {
    auto folder = std::filesystem::temp_directory_path() /
                  ("vellumix-serial-bench-" + std::to_string(::getpid()));
    pl::CreatePortFolder(folder);
    return folder;
}

struct Rig {
    explicit Rig(decltype(sim::hosts::SerialHostOptions::onPenCrossed) onPenCrossed = {})
        : folder(BenchFolder()),
          host(engine, sim::hosts::SerialHostOptions{.portFolder = folder,
                                                     .comNumber = kCom,
                                                     .paceBytesPerSecond =
                                                         sim::hosts::kLineRateBytesPerSecond,
                                                     .onPenCrossed = std::move(onPenCrossed)}),
          link(std::make_unique<pl::SerialPort>(folder, std::vector<std::string>{}),
               std::make_unique<pl::HidPort>(std::make_unique<pl::hid::MemoryHidBackend>())),
          serial(*link.Serial()),
          channel(link) {
        ok = host.Start() && serial.Open(pl::DefaultPortSpec(kCom));
    }
    ~Rig() {
        serial.Close();
        host.Stop();
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
    std::filesystem::path folder;
    sim::engine::PadEngine engine;
    sim::hosts::SerialHost host;
    pl::PadLink link;
    pl::SerialPort& serial;
    pl::PadCommandChannel channel;
    bool ok = false;
};

void BM_SerialDrawLines(benchmark::State& state) {
    Rig rig;
    if (!rig.ok) {
        state.SkipWithError("no virtual pad");
        return;
    }
    const auto wire = rig.serial.WireTime(kDrawLineWireBytes * kLines);
    double worst = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        for (int i = 0; i < kLines; ++i) {
            if (!rig.channel.DrawLine(0, i, 319, 239 - i)) {
                state.SkipWithError("DrawLine not acknowledged");
                return;
            }
        }
        const auto took = Clock::now() - start;
        state.SetIterationTime(std::chrono::duration<double>(took).count());
        worst = std::max(worst, Ms(took) / Ms(wire));
    }
    state.counters["wire_ms"] = Ms(wire);
    state.counters["worst_x_wire"] = worst;
}
BENCHMARK(BM_SerialDrawLines)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// Reports are put on the pad at `rate` a second; each one's latency runs
// from then to its point arriving in the reader's sink. At 768 reports/s
// the line is full, so a report also waits for the ones before it: the
// latency is measured from when its turn on the line came.
void BM_SerialPenToCapture(benchmark::State& state) {
    const int rate = static_cast<int>(state.range(0));
    Rig rig;
    if (!rig.ok || !rig.channel.StartCapture()) {
        state.SkipWithError("no virtual pad");
        return;
    }
    const auto wire = rig.serial.WireTime(kPenReportBytes);
    std::vector<double> latencies;
    for (auto _ : state) {
        std::mutex mutex;
        std::vector<Clock::time_point> arrived;
        arrived.reserve(kPenSamples);
        cap::PenReader reader(rig.channel, [&](std::span<const sf::SignaturePoint> points,
                                               std::span<const sf::PointTime>) {
            const auto now = Clock::now();
            std::lock_guard lock(mutex);
            arrived.insert(arrived.end(), points.size(), now);
        });
        reader.Start();
        std::this_thread::sleep_for(100ms);
        const std::vector<Clock::time_point> ready =
            vellumix::bench::PacePenReports(rate, kPenSamples, wire, [&](int i) {
                rig.engine.PenDown(100 + (i % 500), 200 + (i % 300));
                rig.host.WakeUp();
            });
        const auto end = Clock::now() + 3s;
        while (Clock::now() < end) {
            std::lock_guard lock(mutex);
            if (arrived.size() >= ready.size()) {
                break;
            }
        }
        reader.Stop();
        std::lock_guard lock(mutex);
        if (arrived.size() < ready.size()) {
            state.SkipWithError("pen reports lost");
            return;
        }
        for (std::size_t i = 0; i < ready.size(); ++i) {
            latencies.push_back(Ms(arrived[i] - ready[i]));
        }
    }
    std::sort(latencies.begin(), latencies.end());
    const auto at = [&](double q) {
        return latencies[std::min(
            latencies.size() - 1,
            static_cast<std::size_t>(q * static_cast<double>(latencies.size())))];
    };
    state.counters["wire_ms"] = Ms(wire);
    state.counters["p50_ms"] = at(0.50);
    state.counters["p99_ms"] = at(0.99);
    state.counters["max_ms"] = latencies.back();
}
BENCHMARK(BM_SerialPenToCapture)->Arg(100)->Arg(768)->Iterations(1)->Unit(benchmark::kMillisecond);

// Reports are put on the pad at `rate` a second; each one's true arrival is
// when the virtual pad sent its last byte: the paced write that held it,
// less a byte time for each byte of that write behind it (the line moves
// 16 bytes a write, a real one a byte at a time). The error is the reader's
// stamp against that.
// At 768 reports/s the line is full and reads bring several reports, so
// this is where spreading a batch over its wire time counts.
void BM_SerialReportStampError(benchmark::State& state) {
    const int rate = static_cast<int>(state.range(0));
    struct Crossing {
        std::uint64_t penBytes;
        Clock::time_point at;
    };
    std::mutex crossMutex;
    std::vector<Crossing> crossings;
    Rig rig([&](std::uint64_t penBytes, Clock::time_point at) {
        std::lock_guard lock(crossMutex);
        crossings.push_back({penBytes, at});
    });
    if (!rig.ok || !rig.channel.StartCapture()) {
        state.SkipWithError("no virtual pad");
        return;
    }
    const auto byteTime = rig.serial.WireTime(1);
    const auto period = std::chrono::nanoseconds(1'000'000'000LL / rate);
    std::vector<double> errors;
    for (auto _ : state) {
        std::mutex mutex;
        sf::PointTimes stamps;
        stamps.reserve(kPenSamples);
        cap::PenReader reader(rig.channel, [&](std::span<const sf::SignaturePoint>,
                                               std::span<const sf::PointTime> times) {
            std::lock_guard lock(mutex);
            stamps.insert(stamps.end(), times.begin(), times.end());
        });
        reader.Start();
        std::this_thread::sleep_for(100ms);
        std::uint64_t base = 0;
        {
            std::lock_guard lock(crossMutex);
            base = crossings.empty() ? 0 : crossings.back().penBytes;
            crossings.clear();
        }
        auto next = Clock::now();
        for (int i = 0; i < kPenSamples; ++i) {
            std::this_thread::sleep_until(next);
            rig.engine.PenDown(100 + (i % 500), 200 + (i % 300));
            rig.host.WakeUp();
            next += period;
        }
        const auto end = Clock::now() + 3s;
        while (Clock::now() < end) {
            std::lock_guard lock(mutex);
            if (stamps.size() >= static_cast<std::size_t>(kPenSamples)) {
                break;
            }
        }
        reader.Stop();
        std::lock_guard lock(mutex);
        std::lock_guard crossLock(crossMutex);
        if (stamps.size() < static_cast<std::size_t>(kPenSamples)) {
            state.SkipWithError("pen reports lost");
            return;
        }
        std::size_t c = 0;
        for (std::size_t i = 0; i < static_cast<std::size_t>(kPenSamples); ++i) {
            // The write that sent the report's last byte, and how long
            // before that write's last byte it crossed the line.
            const std::uint64_t last = base + (i + 1) * kPenReportBytes;
            while (c < crossings.size() && crossings[c].penBytes < last) {
                ++c;
            }
            if (c == crossings.size()) {
                state.SkipWithError("no crossing recorded");
                return;
            }
            const auto crossed =
                crossings[c].at - byteTime * static_cast<long>(crossings[c].penBytes - last);
            const double us = static_cast<double>(
                stamps[i] -
                cap::ToPointTime(std::chrono::time_point_cast<Clock::duration>(crossed)));
            errors.push_back(std::abs(us) / 1000.0);
        }
    }
    std::sort(errors.begin(), errors.end());
    const auto at = [&](double q) {
        return errors[std::min(errors.size() - 1,
                               static_cast<std::size_t>(q * static_cast<double>(errors.size())))];
    };
    state.counters["p50_ms"] = at(0.50);
    state.counters["p99_ms"] = at(0.99);
    state.counters["max_ms"] = errors.back();
}
BENCHMARK(BM_SerialReportStampError)
    ->Arg(100)
    ->Arg(768)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

// One pad's capture in BM_TwoPadsPenToCapture: its own channel and reader,
// and when each point arrived.
class PadCapture {
public:
    explicit PadCapture(pl::PadLink& link)
        : m_channel(link),
          m_reader(m_channel, [this](std::span<const sf::SignaturePoint> points,
                                     std::span<const sf::PointTime>) {
              const auto now = Clock::now();
              std::lock_guard lock(m_mutex);
              m_arrived.insert(m_arrived.end(), points.size(), now);
          }) {}
    bool Start() {
        if (!m_channel.StartCapture()) {
            return false;
        }
        m_reader.Start();
        return true;
    }
    std::size_t Count() {
        std::lock_guard lock(m_mutex);
        return m_arrived.size();
    }
    // Stops the reader; each point's latency from when it was ready.
    std::vector<double> Latencies(const std::vector<Clock::time_point>& ready) {
        m_reader.Stop();
        std::lock_guard lock(m_mutex);
        std::vector<double> ms;
        for (std::size_t i = 0; i < std::min(ready.size(), m_arrived.size()); ++i) {
            ms.push_back(Ms(m_arrived[i] - ready[i]));
        }
        return ms;
    }

private:
    pl::PadCommandChannel m_channel;
    std::mutex m_mutex;
    std::vector<Clock::time_point> m_arrived;
    cap::PenReader m_reader;
};

double P99(std::vector<double> v) {
    if (v.empty()) {
        return 0;
    }
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1,
                      static_cast<std::size_t>(0.99 * static_cast<double>(v.size())))];
}

// Both pads written at `rate` reports a second each, at the same time. A
// serial report is ready when its turn on the 38,400-baud line comes; a USB
// report when the pad has it (one per HID transfer, no line to wait for).
void BM_TwoPadsPenToCapture(benchmark::State& state) {
    const int rate = static_cast<int>(state.range(0));
    const auto folder = BenchFolder();
    sim::engine::PadEngine serialEngine;
    sim::hosts::SerialHost serialHost(
        serialEngine,
        sim::hosts::SerialHostOptions{.portFolder = folder,
                                      .comNumber = kCom,
                                      .paceBytesPerSecond = sim::hosts::kLineRateBytesPerSecond});
    auto backend = std::make_unique<pl::hid::MemoryHidBackend>();
    sim::engine::PadEngine usbEngine;
    sim::hosts::UsbHost usbHost(usbEngine,
                                backend->AddDevice(pl::PAD_USB_VENDOR_ID, pl::PAD_USB_PRODUCT_ID));
    usbHost.Start();
    pl::PadLinkOptions serialOptions;
    serialOptions.portFolder = folder;
    serialOptions.devicePrefixes = {};
    pl::PadLinkOptions usbOptions;
    usbOptions.hidBackend = std::move(backend);
    const bool hosted = serialHost.Start();
    pl::OpenedPadLink serialPad = pl::OpenPadLink(pl::SerialCandidate("COM" + std::to_string(kCom)),
                                                  std::move(serialOptions));
    pl::OpenedPadLink usbPad = pl::OpenPadLink(pl::UsbCandidate(), std::move(usbOptions));
    if (!hosted || !serialPad.link || !usbPad.link) {
        state.SkipWithError("no virtual pads");
        return;
    }
    const auto wire = serialPad.link->WireTime(kPenReportBytes);
    std::vector<double> serialMs;
    std::vector<double> usbMs;
    std::size_t sent = 0;
    std::size_t serialGot = 0;
    std::size_t usbGot = 0;
    for (auto _ : state) {
        PadCapture onSerial(*serialPad.link);
        PadCapture onUsb(*usbPad.link);
        if (!onSerial.Start() || !onUsb.Start()) {
            state.SkipWithError("capture not started");
            return;
        }
        std::this_thread::sleep_for(100ms);
        // The USB pad's reports leave at once; the serial pad's wait their
        // turn on its line.
        std::vector<Clock::time_point> usbReady;
        const std::vector<Clock::time_point> serialReady =
            vellumix::bench::PacePenReports(rate, kPenSamples, wire, [&](int i) {
                serialEngine.PenDown(100 + (i % 500), 200 + (i % 300));
                serialHost.WakeUp();
                usbEngine.PenDown(300 + (i % 500), 100 + (i % 300));
                usbReady.push_back(Clock::now());
            });
        const auto end = Clock::now() + 3s;
        while ((onSerial.Count() < serialReady.size() || onUsb.Count() < usbReady.size()) &&
               Clock::now() < end) {
            std::this_thread::sleep_for(1ms);
        }
        sent += kPenSamples;
        serialGot += onSerial.Count();
        usbGot += onUsb.Count();
        const auto s = onSerial.Latencies(serialReady);
        const auto u = onUsb.Latencies(usbReady);
        serialMs.insert(serialMs.end(), s.begin(), s.end());
        usbMs.insert(usbMs.end(), u.begin(), u.end());
    }
    state.counters["sent_each"] = static_cast<double>(sent);
    state.counters["serial_received"] = static_cast<double>(serialGot);
    state.counters["usb_received"] = static_cast<double>(usbGot);
    state.counters["serial_p99_ms"] = P99(serialMs);
    state.counters["usb_p99_ms"] = P99(usbMs);
    state.counters["serial_wire_ms"] = Ms(wire);
    serialHost.Stop();
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
}
BENCHMARK(BM_TwoPadsPenToCapture)->Arg(100)->Arg(768)->Iterations(3)->Unit(benchmark::kMillisecond);

// A pad that comes back after its link failed, found by the app's search
// (its own pauses: 500 ms before each port, 200 ms between passes): from
// the pad's return to the first command it acknowledges, against the time
// of one whole pass that finds nothing. Target: under pass + 1 s.
void BM_PadReturnToFirstCommand(benchmark::State& state) {
    Rig rig;
    if (!rig.ok) {
        state.SkipWithError("no virtual pad");
        return;
    }
    std::atomic<bool> found{false};
    rig.channel.SetLinkDownHandler([] {});
    pl::PadReconnector search(rig.channel, pl::DiscoveryOptions{}, pl::kAppPassPause,
                              [&](pl::DiscoveryResult) { found = true; });
    double pass = 0;
    double back = 0;
    for (auto _ : state) {
        rig.host.Stop();
        rig.channel.MarkLinkDown();
        const auto passStart = Clock::now();
        pl::DiscoverPad(rig.channel.Link(), pl::DiscoveryOptions{});
        pass = Ms(Clock::now() - passStart);

        found = false;
        search.Start();
        // Back at a random point of the search's pass.
        std::this_thread::sleep_for(
            std::chrono::milliseconds(700 + 300 * (state.iterations() % 5)));
        const auto start = Clock::now();
        if (!rig.host.Start()) {
            state.SkipWithError("the virtual pad did not restart");
            return;
        }
        while (!found || !rig.channel.SetLedState(true)) {
            std::this_thread::sleep_for(1ms);
            if (Clock::now() - start > 30s) {
                state.SkipWithError("the pad was not found again");
                return;
            }
        }
        const auto took = Clock::now() - start;
        back = std::max(back, Ms(took));
        state.SetIterationTime(std::chrono::duration<double>(took).count());
    }
    search.Stop();
    state.counters["pass_ms"] = pass;
    state.counters["worst_back_ms"] = back;
}
BENCHMARK(BM_PadReturnToFirstCommand)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
