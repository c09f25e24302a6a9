// Start-up of the program: from building the process-wide objects to the
// connection view on screen (target under 300 ms), and to the tabbed view
// once the virtual pad on the in-memory USB device has answered (target
// under 1 s). Runs on the offscreen platform; the QApplication itself is
// made once, before timing, since a process has only one.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "GuiBenchSupport.h"
#include "app/VellumixDemoApp.h"
#include "engine/PadEngine.h"
#include "hosts/UsbHost.h"
#include "padlink/HidPort.h"
#include "padlink/PadUsbIds.h"
#include "padlink/PortResolver.h"
#include "padlink/SerialPort.h"
#include "padlink/hid/MemoryHidDevice.h"

namespace {

namespace app = vellumix::app;
namespace pl = vellumix::padlink;
namespace sim = vellumix::padsim;

// An empty port folder of our own: the serial side must never reach a real
// port, and finds nothing here.
std::filesystem::path BenchPortFolder() {
    static const std::filesystem::path folder = [] {
        auto path = std::filesystem::temp_directory_path() /
                    ("vellumix-startup-bench-" + std::to_string(::getpid())) / "ports";
        pl::CreatePortFolder(path);
        return path;
    }();
    return folder;
}

struct Rig {
    explicit Rig(bool withPad) {
        auto backend = std::make_unique<pl::hid::MemoryHidBackend>();
        if (withPad) {
            device = backend->AddDevice(pl::PAD_USB_VENDOR_ID, pl::PAD_USB_PRODUCT_ID);
            host = std::make_unique<sim::hosts::UsbHost>(engine, device);
            host->Start();
        }
        hidBackend = std::move(backend);
    }

    sim::engine::PadEngine engine;
    std::shared_ptr<pl::hid::MemoryHidDevice> device;
    std::unique_ptr<sim::hosts::UsbHost> host;
    std::unique_ptr<pl::HidBackend> hidBackend;
};

// The pad's link, then the application's start-up.
struct Program {
    explicit Program(std::unique_ptr<pl::HidBackend> backend)
        : link(std::make_unique<pl::SerialPort>(BenchPortFolder(), std::vector<std::string>{}),
               std::make_unique<pl::HidPort>(std::move(backend))) {
        started = theApp.InitInstance(link);
    }
    ~Program() { theApp.ExitInstance(); }

    pl::PadLink link;
    app::CVellumixDemoApp theApp;
    bool started = false;
};

void BM_StartupToConnectionView(benchmark::State& state) {
    for (auto _ : state) {
        Rig rig(false);
        const auto start = std::chrono::steady_clock::now();
        auto program = std::make_unique<Program>(std::move(rig.hidBackend));
        const bool shown = vellumix::bench::PumpUntil(
            [&] {
                auto* frame = program->theApp.MainFrame();
                return frame != nullptr && frame->ConnectionView()->isVisible();
            },
            std::chrono::seconds(5));
        const auto end = std::chrono::steady_clock::now();
        if (!program->started || !shown) {
            state.SkipWithError("the connection view did not show");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
}
BENCHMARK(BM_StartupToConnectionView)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);

void BM_StartupToTabbedView(benchmark::State& state) {
    for (auto _ : state) {
        Rig rig(true);
        const auto start = std::chrono::steady_clock::now();
        auto program = std::make_unique<Program>(std::move(rig.hidBackend));
        const bool switched = vellumix::bench::PumpUntil(
            [&] {
                auto* frame = program->theApp.MainFrame();
                return frame != nullptr && frame->MainView() != nullptr &&
                       frame->MainView()->isVisible();
            },
            std::chrono::seconds(10));
        const auto end = std::chrono::steady_clock::now();
        if (!program->started || !switched) {
            state.SkipWithError("the tabbed view did not show");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
        program.reset();
        rig.host->Stop();
    }
}
BENCHMARK(BM_StartupToTabbedView)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

int main(int argc, char** argv) {
    const int result = vellumix::bench::RunGuiBenchmarks(argc, argv);
    std::error_code ignored;
    std::filesystem::remove_all(BenchPortFolder().parent_path(), ignored);
    return result;
}
