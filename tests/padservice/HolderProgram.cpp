// A client in a process of its own, for the tests and benchmarks that end
// it: claims a pad, says "claimed" on standard output, then, as its third
// argument says, exits at once ("exit"), waits to be killed ("hold"), or
// queues three Clear calls without waiting for their answers and waits to
// be killed ("wait").
//
//   padservice_test_holder ADDRESS PAD_PATH exit|hold|wait
#include <poll.h>

#include <sdbus-c++/sdbus-c++.h>
#include <cstdio>
#include <string>
#include <vector>

#include "padservice/Interface.h"

int main(int argc, char** argv) {
    namespace ps = vellumix::padservice;
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s ADDRESS PAD_PATH exit|hold|wait\n", argv[0]);
        return 2;
    }
    const std::string mode = argv[3];
    try {
        auto connection = sdbus::createSessionBusConnectionWithAddress(argv[1]);
        auto pad = sdbus::createProxy(*connection, ps::kBusName, argv[2]);
        pad->callMethod(ps::pad::kClaim).onInterface(ps::kPadInterface);
        std::vector<sdbus::PendingAsyncCall> queued;
        if (mode == "wait") {
            for (int i = 0; i < 3; ++i) {
                queued.push_back(pad->callMethodAsync(ps::pad::kClear)
                                     .onInterface(ps::kPadInterface)
                                     .uponReplyInvoke([](const sdbus::Error*) {}));
            }
            while (connection->processPendingRequest()) {
            }
        }
        std::printf("claimed\n");
        std::fflush(stdout);
        while (mode != "exit") {
            const auto data = connection->getEventLoopPollData();
            pollfd fd{data.fd, data.events, 0};
            ::poll(&fd, 1, 1000);
            while (connection->processPendingRequest()) {
            }
        }
    } catch (const sdbus::Error& e) {
        std::fprintf(stderr, "%s: %s\n", e.getName().c_str(), e.getMessage().c_str());
        return 1;
    }
    return 0;
}
