// vellumix-padctl: a scriptable console for the pad: probe, draw, show
// pictures and signature files, capture pen points.
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "padctl/PadCtl.h"
#include "padlink/PadUsbIds.h"

namespace {
std::atomic<bool> g_interrupted{false};
extern "C" void OnInterrupt(int) {
    g_interrupted = true;
}
}  // namespace

int main(int argc, char** argv) {
    // Ctrl-C during a capture ends it cleanly: the pad is told to stop.
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    const std::vector<std::string> args(argv + 1, argv + argc);
    vellumix::tools::padctl::PadCtlEnvironment env;
    env.interrupt = &g_interrupted;
    if (const char* ids = std::getenv(vellumix::padlink::kUsbIdVariable)) {
        env.usbIdVariable = ids;
    }
    return vellumix::tools::padctl::RunPadCtl(args, std::cout, std::cerr, std::move(env));
}
