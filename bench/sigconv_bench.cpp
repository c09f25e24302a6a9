// vellumix-sigconv as a user runs it, each case one spawned program:
//
// Info on a hostile 60 MB .cmp (chain codes that decode to points without
// end): target under 2 s and 256 MB of resident memory; the decoders stop at
// 1,000,000 points. A second file is 60 MB of bytes the decoder skips.
//
// 1,000 realistic .cmp files to .svg: one run with --out-dir against 1,000
// single runs, one file each.
//
// Start to exit for one 10,000-point signature (.sig) drawn to .png and to
// .pdf at 800x400 through cairo, beside a bare --version: what a kiosk
// waiting on one conversion sees, and how much of it is starting at all.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "sigfiles/SignatureFiles.h"
#include "sigformats/CmpFormat.h"
#include "support/SignatureSynth.h"
#include "support/TempDir.h"

extern char** environ;

namespace {

using namespace vellumix;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kHostileBytes = 60u << 20;
constexpr int kFiles = 1000;

struct ChildRun {
    int status = -1;
    double seconds = 0;
    double maxRssMb = 0;
};

// Runs the converter with args, its output thrown away, and measures it.
ChildRun RunSigconv(const std::vector<std::string>& args) {
    std::vector<std::string> all{VELLUMIX_SIGCONV_PROGRAM};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    ChildRun run;
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        rusage usage{};
        ::wait4(pid, &status, 0, &usage);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.maxRssMb = static_cast<double>(usage.ru_maxrss) / 1024.0;
    }
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    posix_spawn_file_actions_destroy(&actions);
    return run;
}

void Write(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// A real .cmp whose chain codes repeat to the given size.
std::vector<std::uint8_t> EndlessCmp(std::size_t size) {
    std::vector<sigformats::SignaturePoint> zigzag;
    for (int i = 0; i < 20'000; ++i) {
        zigzag.push_back({100 + 8 * (i % 2), 100 + 8 * ((i / 2) % 2)});
    }
    std::vector<std::uint8_t> file = sigformats::EncodeCmp(zigzag).Value();
    const std::vector<std::uint8_t> unit(file.begin() + file.size() / 3,
                                         file.begin() + 2 * file.size() / 3);
    file.resize(file.size() / 3);
    while (file.size() < size) {
        file.insert(file.end(), unit.begin(), unit.end());
    }
    file.resize(size);
    return file;
}

// The header, then bytes that are no code: the decoder walks them all.
std::vector<std::uint8_t> SkippedCmp(std::size_t size) {
    std::vector<std::uint8_t> file(size, 0x00);
    file[0] = sigformats::cmp::kStartByte;
    file[1] = 68;
    file[2] = 114 | 0x80;
    return file;
}

void Info(benchmark::State& state, std::vector<std::uint8_t> (*make)(std::size_t)) {
    testsupport::TempDir dir;
    Write(dir / "hostile.cmp", make(kHostileBytes));
    ChildRun last;
    for (auto _ : state) {
        last = RunSigconv({"--info", (dir / "hostile.cmp").string()});
        state.SetIterationTime(last.seconds);
    }
    state.counters["exit_status"] = last.status;
    state.counters["max_rss_mb"] = last.maxRssMb;
}

void BM_InfoHostileCmp60MB(benchmark::State& state) {
    Info(state, EndlessCmp);
}
BENCHMARK(BM_InfoHostileCmp60MB)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_InfoSkippedCmp60MB(benchmark::State& state) {
    Info(state, SkippedCmp);
}
BENCHMARK(BM_InfoSkippedCmp60MB)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

// 1,000 signatures of a few hundred to a few thousand points each.
std::vector<std::string> WriteSignatures(const testsupport::TempDir& dir) {
    std::vector<std::string> names;
    for (int i = 0; i < kFiles; ++i) {
        const auto points = testsupport::MakeSignature(i % 2 ? "Ann Lee" : "J. Smith", i);
        std::string file = std::to_string(i);
        file.insert(0, 1, 's').append(".cmp");
        const std::string name = (dir / file).string();
        Write(name, sigfiles::EncodeAs(sigfiles::FileKind::kCmp, points).bytes);
        names.push_back(name);
    }
    return names;
}

void BM_Convert1000FilesInOneRun(benchmark::State& state) {
    testsupport::TempDir dir;
    const std::vector<std::string> names = WriteSignatures(dir);
    std::filesystem::create_directory(dir / "out");
    std::vector<std::string> args{"--to", "svg", "--out-dir", (dir / "out").string()};
    args.insert(args.end(), names.begin(), names.end());
    for (auto _ : state) {
        const ChildRun run = RunSigconv(args);
        state.SetIterationTime(run.seconds);
        if (run.status != 0) {
            state.SkipWithError("the batch failed");
        }
    }
}
BENCHMARK(BM_Convert1000FilesInOneRun)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

void BM_Convert1000FilesInSingleRuns(benchmark::State& state) {
    testsupport::TempDir dir;
    const std::vector<std::string> names = WriteSignatures(dir);
    for (auto _ : state) {
        double seconds = 0;
        for (const std::string& name : names) {
            std::string out = name;
            out.append(".svg");
            const ChildRun run = RunSigconv({name, out});
            seconds += run.seconds;
            if (run.status != 0) {
                state.SkipWithError("a conversion failed");
            }
        }
        state.SetIterationTime(seconds);
    }
}
BENCHMARK(BM_Convert1000FilesInSingleRuns)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

void BM_Version(benchmark::State& state) {
    for (auto _ : state) {
        const ChildRun run = RunSigconv({"--version"});
        state.SetIterationTime(run.seconds);
        if (run.status != 0) {
            state.SkipWithError("--version failed");
        }
    }
}
BENCHMARK(BM_Version)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

void BM_TenThousandPointsTo(benchmark::State& state, const char* ext) {
    constexpr std::size_t kPoints = 10'000;
    testsupport::TempDir dir;
    const auto points =
        testsupport::MakeSignature("Vellumix Demo\nsigned by\nJohn Q. Smith", 7, kPoints);
    const sigfiles::EncodeResult sig = sigfiles::EncodeAs(sigfiles::FileKind::kSig, points);
    if (!sig.error.empty()) {
        state.SkipWithError(sig.error.c_str());
        return;
    }
    Write(dir / "in.sig", sig.bytes);
    const std::string out = (dir / "out").string() + ext;
    ChildRun last;
    for (auto _ : state) {
        last = RunSigconv({"--size", "800x400", (dir / "in.sig").string(), out});
        state.SetIterationTime(last.seconds);
        if (last.status != 0) {
            state.SkipWithError("the conversion failed");
        }
    }
    state.counters["points"] = static_cast<double>(points.size());
    state.counters["max_rss_mb"] = last.maxRssMb;
    state.counters["file_bytes"] = static_cast<double>(std::filesystem::file_size(out));
}
BENCHMARK_CAPTURE(BM_TenThousandPointsTo, png, ".png")
    ->UseManualTime()
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_TenThousandPointsTo, pdf, ".pdf")
    ->UseManualTime()
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
