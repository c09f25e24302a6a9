// vellumix-padd: the pad capture service on the session bus.
#include <signal.h>
#include <sys/signalfd.h>

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "padd/Padd.h"
#include "padlink/PadUsbIds.h"

int main(int argc, char** argv) {
    // SIGTERM (systemd, the session ending) and SIGINT end the service
    // through its event loop, which releases the claims first. Blocked
    // before any thread starts, so every thread leaves them to the signalfd.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    // A client that goes away mid-write must not kill the service.
    signal(SIGPIPE, SIG_IGN);
    vellumix::tools::padd::PaddEnvironment env;
    env.stopFd = signalfd(-1, &stop, SFD_CLOEXEC | SFD_NONBLOCK);
    if (const char* ids = std::getenv(vellumix::padlink::kUsbIdVariable)) {
        env.usbIdVariable = ids;
    }
    const std::vector<std::string> args(argv + 1, argv + argc);
    return vellumix::tools::padd::RunPadd(args, std::cout, std::cerr, std::move(env));
}
