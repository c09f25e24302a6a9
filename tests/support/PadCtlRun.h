// vellumix-padctl run in the test's process against a machine of the test's
// own (VirtualPads.h): its port folder and its USB devices, never a system
// port. For test programs that link the console's library.
#pragma once

#include <chrono>
#include <sstream>
#include <string>
#include <vector>

#include "padctl/PadCtl.h"
#include "support/VirtualPads.h"

namespace vellumix::testsupport {

struct PadCtlRun {
    int status = -1;
    std::string out;
    std::string err;
    std::chrono::steady_clock::duration took{};
};

inline tools::padctl::PadCtlEnvironment MachineEnvironment(const PadMachine& machine) {
    tools::padctl::PadCtlEnvironment env;
    env.portFolder = machine.ports;
    env.devicePrefixes = {};
    env.hidBackend = machine.HidBackend();
    return env;
}

inline PadCtlRun RunPadCtl(const std::vector<std::string>& args,
                           tools::padctl::PadCtlEnvironment env) {
    std::ostringstream out;
    std::ostringstream err;
    PadCtlRun r;
    const auto start = std::chrono::steady_clock::now();
    r.status = tools::padctl::RunPadCtl(args, out, err, std::move(env));
    r.took = std::chrono::steady_clock::now() - start;
    r.out = out.str();
    r.err = err.str();
    return r;
}

}  // namespace vellumix::testsupport
