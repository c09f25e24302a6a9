// The capture service against the virtual pad on a pseudo-terminal paced like
// a real 38,400-baud line, each run on a private bus: the time from a pen
// report's turn on the line to its point reaching the client's Points
// handler; Claim to the first point; a claim freed after its holder was
// killed; and the idle service's memory and wake-ups.
//
// Targets: pen report to Points p99 at most its wire time + 3 ms; an idle
// service under 10 MB resident and no wake-up at all while nothing is
// claimed (no polling).
#include <benchmark/benchmark.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "PacedPenReports.h"
#include "engine/PadEngine.h"
#include "hosts/SerialHost.h"
#include "padlink/HidDevice.h"
#include "padlink/PortResolver.h"
#include "padlink/hid/MemoryHidDevice.h"
#include "padservice/ChannelSession.h"
#include "padservice/FakeSession.h"
#include "padservice/ServiceRig.h"
#include "support/PrivateBus.h"
#include "support/TempDir.h"

extern char** environ;

namespace {

namespace pl = vellumix::padlink;
namespace ps = vellumix::padservice;
namespace sim = vellumix::padsim;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kCom = 5;
constexpr int kPenSamples = 400;
constexpr std::size_t kPenReportBytes = 5;
// 8N1 at 38,400 baud.
constexpr auto kByteTime =
    std::chrono::nanoseconds(1'000'000'000LL / sim::hosts::kLineRateBytesPerSecond);

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double Quantile(std::vector<double> values, double q) {
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1,
                           static_cast<std::size_t>(q * static_cast<double>(values.size())))];
}

// The paced virtual pad in a port folder, the service watching that folder,
// and a client holding the pad on a thread of its own that only handles
// what arrives.
struct Rig {
    Rig()
        : factory({ports, [] { return std::make_unique<pl::hid::MemoryHidBackend>(); },
                   pl::kDefaultUsbIds}),
          host(engine, sim::hosts::SerialHostOptions{
                           .portFolder = ports,
                           .comNumber = kCom,
                           .paceBytesPerSecond = sim::hosts::kLineRateBytesPerSecond}) {
        pl::CreatePortFolder(ports);
        ok = host.Start();
        service = std::make_unique<ps::test::ServiceRig>(
            factory, ps::test::ServiceRig::QuickOptions(), ps::PictureDecoder{},
            ps::test::ServiceRig::PortFolder(ports));
        client = std::make_unique<ps::ServiceClient>(service->Address());
        path = std::string(ps::kPadPathPrefix) + "COM" + std::to_string(kCom);
        ok = ok && ps::test::Eventually(*client, [&] { return client->PadPaths().size() == 1; });
    }
    ~Rig() { StopListening(); }

    // Every point's arrival in the client's handler, from now on.
    void Listen() {
        client->OnPoints(path, [this](const std::vector<ps::ReceivedPoint>& batch) {
            const auto now = Clock::now();
            std::lock_guard lock(mutex);
            arrived.insert(arrived.end(), batch.size(), now);
        });
        listening = true;
        listener = std::thread([this] {
            while (listening) {
                client->Process(20ms);
            }
        });
    }
    void StopListening() {
        listening = false;
        if (listener.joinable()) {
            listener.join();
        }
    }
    std::size_t Arrived() {
        std::lock_guard lock(mutex);
        return arrived.size();
    }

    vellumix::testsupport::TempDir dir{"vellumix-service-bench"};
    std::filesystem::path ports = dir / "ports";
    sim::engine::PadEngine engine;
    ps::ChannelSessionFactory factory;
    sim::hosts::SerialHost host;
    std::unique_ptr<ps::test::ServiceRig> service;
    std::unique_ptr<ps::ServiceClient> client;
    std::string path;
    bool ok = false;
    std::mutex mutex;
    std::vector<Clock::time_point> arrived;
    std::atomic<bool> listening{false};
    std::thread listener;
};

// Reports are put on the pad at `rate` a second; each one's latency runs
// from its turn on the line (now, or once the one before it has crossed) to
// its point reaching the client. At 768 reports/s the line is full.
void BM_ServicePenToPoints(benchmark::State& state) {
    const int rate = static_cast<int>(state.range(0));
    Rig rig;
    if (!rig.ok) {
        state.SkipWithError("no virtual pad");
        return;
    }
    rig.client->Claim(rig.path);
    rig.client->StartCapture(rig.path);
    rig.Listen();
    std::this_thread::sleep_for(200ms);
    const auto wire = kByteTime * kPenReportBytes;
    std::vector<double> latencies;
    for (auto _ : state) {
        const std::size_t before = rig.Arrived();
        const std::vector<Clock::time_point> ready =
            vellumix::bench::PacePenReports(rate, kPenSamples, wire, [&](int i) {
                rig.engine.PenDown(100 + (i % 500), 200 + (i % 300));
                rig.host.WakeUp();
            });
        const auto end = Clock::now() + 3s;
        while (rig.Arrived() < before + ready.size() && Clock::now() < end) {
            std::this_thread::sleep_for(1ms);
        }
        std::lock_guard lock(rig.mutex);
        if (rig.arrived.size() < before + ready.size()) {
            state.SkipWithError("pen reports lost");
            return;
        }
        for (std::size_t i = 0; i < ready.size(); ++i) {
            latencies.push_back(Ms(rig.arrived[before + i] - ready[i]));
        }
    }
    rig.StopListening();
    state.counters["wire_ms"] = Ms(wire);
    state.counters["p50_ms"] = Quantile(latencies, 0.50);
    state.counters["p99_ms"] = Quantile(latencies, 0.99);
    state.counters["max_ms"] = Quantile(latencies, 1.0);
}
BENCHMARK(BM_ServicePenToPoints)->Arg(100)->Arg(768)->Iterations(1)->Unit(benchmark::kMillisecond);

// From the Claim call to the first point in the client's handler, the pen
// already on the pad: the port's open and probe, StartCapture's frames and
// the pad's pause after an answer.
void BM_ServiceClaimToFirstPoint(benchmark::State& state) {
    Rig rig;
    if (!rig.ok) {
        state.SkipWithError("no virtual pad");
        return;
    }
    std::vector<double> took;
    std::atomic<bool> pen{true};
    std::thread writer([&] {
        while (pen) {
            if (rig.engine.Snapshot().capture == sim::engine::CaptureState::kCapturing) {
                rig.engine.PenDown(500, 500);
                rig.host.WakeUp();
            }
            std::this_thread::sleep_for(5ms);
        }
    });
    for (auto _ : state) {
        bool got = false;
        rig.client->OnPoints(rig.path, [&](const auto&) { got = true; });
        const auto start = Clock::now();
        rig.client->Claim(rig.path);
        rig.client->StartCapture(rig.path);
        if (!ps::test::Eventually(*rig.client, [&] { return got; })) {
            state.SkipWithError("no point came");
            break;
        }
        took.push_back(Ms(Clock::now() - start));
        rig.client->Release(rig.path);
    }
    pen = false;
    writer.join();
    if (!took.empty()) {
        state.counters["median_ms"] = Quantile(took, 0.5);
        state.counters["max_ms"] = Quantile(took, 1.0);
    }
}
BENCHMARK(BM_ServiceClaimToFirstPoint)->Iterations(5)->Unit(benchmark::kMillisecond);

// A holder in a process of its own claims the pad and is killed (-9): the
// time until another client sees the pad free.
void BM_ServiceClaimFreedAfterKill(benchmark::State& state) {
    Rig rig;
    if (!rig.ok) {
        state.SkipWithError("no virtual pad");
        return;
    }
    std::vector<double> took;
    for (auto _ : state) {
        int out[2];
        if (::pipe(out) != 0) {
            state.SkipWithError("pipe");
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        const std::string address = rig.service->Address();
        char* argv[] = {const_cast<char*>(VELLUMIX_TEST_HOLDER), const_cast<char*>(address.c_str()),
                        const_cast<char*>(rig.path.c_str()), const_cast<char*>("hold"), nullptr};
        pid_t pid = -1;
        ::posix_spawn(&pid, VELLUMIX_TEST_HOLDER, &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        char c = 0;
        while (::read(out[0], &c, 1) == 1 && c != '\n') {
        }
        ::close(out[0]);
        const auto killed = Clock::now();
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        if (!ps::test::Eventually(*rig.client,
                                  [&] { return rig.client->Pad(rig.path).claimedBy.empty(); })) {
            state.SkipWithError("the claim outlived its holder");
            return;
        }
        took.push_back(Ms(Clock::now() - killed));
    }
    state.counters["median_ms"] = Quantile(took, 0.5);
    state.counters["max_ms"] = Quantile(took, 1.0);
}
BENCHMARK(BM_ServiceClaimFreedAfterKill)->Iterations(5)->Unit(benchmark::kMillisecond);

double RssMb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmRSS:")) {
            return std::stod(line.substr(6)) / 1024.0;
        }
    }
    return 0;
}

// A holder that claims a pad, starts a capture and then never reads its
// connection, while the pad sends 100,000 reads of one point each: how far
// the bus daemon and this process (the service's) grow, against the same
// holder reading at last and getting every point. Without the service's
// bound each unread signal stayed in the daemon: 135 MB for 200,000 here.
void BM_ServiceHolderThatNeverReads(benchmark::State& state) {
    constexpr int kReads = 100'000;
    ps::test::FakeFactory pads;
    for (auto _ : state) {
        ps::test::ServiceRig rig(pads);
        const std::string path = rig.Appear("COM1");
        ps::ServiceClient holder(rig.Address());
        std::size_t got = 0;
        holder.OnPoints(path,
                        [&](const std::vector<ps::ReceivedPoint>& batch) { got += batch.size(); });
        holder.Claim(path);
        holder.StartCapture(path);
        const pid_t daemon = rig.DaemonPid();
        const double daemonBefore = RssMb(daemon);
        const double selfBefore = RssMb(::getpid());
        for (int i = 0; i < kReads; ++i) {
            pads.Pad("COM1")->Push({{i % 1024, 0}});
            if (i % 64 == 0) {
                rig.OnLoop([](ps::Service&) {});
            }
        }
        rig.OnLoop([](ps::Service&) {});
        state.counters["unread_signals"] = static_cast<double>(rig.UnreadSignals(path));
        state.counters["daemon_growth_mb"] = RssMb(daemon) - daemonBefore;
        state.counters["service_growth_mb"] = RssMb(::getpid()) - selfBefore;
        const auto start = Clock::now();
        ps::test::Eventually(
            holder, [&] { return got == kReads; }, 30s);
        state.counters["catch_up_ms"] = Ms(Clock::now() - start);
        if (got != kReads) {
            state.SkipWithError("points lost");
        }
    }
}
BENCHMARK(BM_ServiceHolderThatNeverReads)->Iterations(1)->Unit(benchmark::kMillisecond);

// What /proc says of a process: resident memory, CPU ticks and context
// switches (each one a wake-up) over all its threads.
struct ProcessFacts {
    double rssMb = 0;
    long cpuTicks = 0;
    long switches = 0;
};

ProcessFacts Facts(pid_t pid) {
    ProcessFacts facts;
    const std::string proc = "/proc/" + std::to_string(pid);
    std::ifstream status(proc + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmRSS:")) {
            facts.rssMb = std::stod(line.substr(6)) / 1024.0;
        }
    }
    for (const auto& task : std::filesystem::directory_iterator(proc + "/task")) {
        std::ifstream stat(task.path() / "stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        // Fields after the command's closing parenthesis; utime and stime are
        // the 14th and 15th of the whole line.
        std::istringstream fields(text.substr(text.rfind(')') + 2));
        std::vector<std::string> f(13);
        for (std::string& v : f) {
            fields >> v;
        }
        facts.cpuTicks += std::stol(f[11]) + std::stol(f[12]);
        std::ifstream taskStatus(task.path() / "status");
        for (std::string line; std::getline(taskStatus, line);) {
            if (line.starts_with("voluntary_ctxt_switches:") ||
                line.starts_with("nonvoluntary_ctxt_switches:")) {
                facts.switches += std::stol(line.substr(line.find(':') + 1));
            }
        }
    }
    return facts;
}

// vellumix-padd as the bus starts it, with a virtual pad in its port folder
// and nothing claimed: its memory once settled, and what it does in 3 s.
void BM_ServiceIdle(benchmark::State& state) {
    vellumix::testsupport::TempDir runtime{"vellumix-idle"};
    const auto ports = runtime / "vellumix/ports";
    pl::CreatePortFolder(ports);
    sim::engine::PadEngine engine;
    sim::hosts::SerialHost host(
        engine, sim::hosts::SerialHostOptions{.portFolder = ports, .comNumber = kCom});
    vellumix::testsupport::PrivateBus bus;
    if (!host.Start() || bus.Address().empty()) {
        state.SkipWithError("no virtual pad or bus");
        return;
    }
    const std::string runtimeVar = "XDG_RUNTIME_DIR=" + runtime.path().string();
    const std::string busVar = "DBUS_SESSION_BUS_ADDRESS=" + bus.Address();
    char* envp[] = {const_cast<char*>(runtimeVar.c_str()), const_cast<char*>(busVar.c_str()),
                    nullptr};
    char* argv[] = {const_cast<char*>(VELLUMIX_PADD_PROGRAM), nullptr};
    pid_t pid = -1;
    if (::posix_spawn(&pid, VELLUMIX_PADD_PROGRAM, nullptr, nullptr, argv, envp) != 0) {
        state.SkipWithError("vellumix-padd did not start");
        return;
    }
    ps::ServiceClient client(bus.Address());
    ps::test::Eventually(client, [&] {
        try {
            return client.PadPaths().size() == 1;
        } catch (const ps::ServiceError&) {
            return false;
        }
    });
    ProcessFacts before;
    ProcessFacts after;
    for (auto _ : state) {
        std::this_thread::sleep_for(500ms);
        before = Facts(pid);
        std::this_thread::sleep_for(3s);
        after = Facts(pid);
    }
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    state.counters["rss_mb"] = after.rssMb;
    state.counters["cpu_ticks_3s"] = static_cast<double>(after.cpuTicks - before.cpuTicks);
    state.counters["wakeups_3s"] = static_cast<double>(after.switches - before.switches);
}
BENCHMARK(BM_ServiceIdle)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
