#include "padd/Padd.h"

#include <poll.h>

#include <sdbus-c++/sdbus-c++.h>
#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <string_view>

#include <vellumix/Version.h>

#include "cli/Printf.h"
#include "cli/UsageError.h"
#include "padd/PictureHelper.h"
#include "padlink/PadUsbIds.h"
#include "padlink/PortResolver.h"
#include "padlink/hid/HidapiBackend.h"
#include "padservice/ChannelSession.h"
#include "padservice/DeviceWatch.h"
#include "padservice/EventLoop.h"
#include "padservice/Interface.h"
#include "padservice/Service.h"

namespace vellumix::tools::padd {

namespace {

namespace ps = padservice;

constexpr std::string_view kOptIdleExit = "--idle-exit";
constexpr std::string_view kOptUsbId = "--usb-id";
constexpr std::string_view kOptHelp = "--help";
constexpr std::string_view kOptHelpShort = "-h";
constexpr std::string_view kOptVersion = "--version";
constexpr std::array<std::string_view, 4> kOptions = {kOptIdleExit, kOptUsbId, kOptHelp,
                                                      kOptVersion};

}  // namespace

int RunPadd(std::span<const std::string> args, std::ostream& out, std::ostream& err,
            PaddEnvironment env) {
    const auto usage = [&](const std::string& problem,
                           const std::optional<std::string>& suggestion = std::nullopt) {
        err << cli::UsageLine(msg::kProgramName, problem, suggestion) << '\n';
        return kPaddExitUsage;
    };
    std::chrono::seconds idleExit = ps::kDefaultIdleExit;
    std::optional<std::string> usbId;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == kOptHelp || arg == kOptHelpShort) {
            out << msg::kUsage;
            return kPaddExitOk;
        }
        if (arg == kOptVersion) {
            out << msg::kProgramName << ' ' << VELLUMIX_VERSION << '\n';
            return kPaddExitOk;
        }
        if (arg == kOptIdleExit) {
            if (i + 1 >= args.size()) {
                return usage(msg::kIdleExitNeedsValue);
            }
            const std::string& value = args[++i];
            int seconds = -1;
            const auto [end, ec] =
                std::from_chars(value.data(), value.data() + value.size(), seconds);
            if (ec != std::errc() || end != value.data() + value.size() || seconds < 0 ||
                seconds > kMaxIdleExitSeconds) {
                return usage(cli::Printf(msg::kBadIdleExit, value));
            }
            idleExit = std::chrono::seconds(seconds);
        } else if (arg == kOptUsbId) {
            if (i + 1 >= args.size()) {
                return usage(msg::kUsbIdNeedsValue);
            }
            usbId = args[++i];
        } else if (arg.starts_with("-")) {
            return usage(cli::Printf(msg::kUnknownOption, arg), cli::NearMiss(arg, kOptions));
        } else {
            return usage(cli::Printf(msg::kUnexpected, arg));
        }
    }

    // As padctl and the app choose them: the option, else the variable,
    // else the default.
    const padlink::UsbIdChoice ids = padlink::ChooseUsbIds(usbId, env.usbIdVariable, std::nullopt);
    if (!ids.error.empty()) {
        return usage(ids.error);
    }

    std::unique_ptr<sdbus::IConnection> bus;
    try {
        bus = env.busAddress.empty() ? sdbus::createSessionBusConnection()
                                     : sdbus::createSessionBusConnectionWithAddress(env.busAddress);
    } catch (const sdbus::Error& e) {
        err << msg::kProgram << cli::Printf(msg::kNoBus, e.getMessage()) << '\n';
        return kPaddExitFailed;
    }
    if (!env.hidBackend) {
        env.hidBackend = [] {
            padlink::hid::HidapiBackend::Initialise();
            return std::make_unique<padlink::hid::HidapiBackend>();
        };
    }
    const std::filesystem::path portFolder =
        env.portFolder.empty() ? padlink::DefaultPortFolder() : env.portFolder;
    ps::ChannelSessionFactory factory({portFolder, env.hidBackend, ids.ids});
    // The picture step padctl's image command takes, so the same file sends
    // the same bytes; in a process of its own.
    ps::PictureDecoder decoder = HelperDecoder(DefaultPictureHelper());
    // The watch lists HID devices through a backend of its own, on the
    // loop thread.
    const std::unique_ptr<padlink::HidBackend> listing =
        env.systemDevices ? env.hidBackend() : nullptr;
    ps::DeviceWatch::Places places;
    places.portFolder = portFolder;
    places.devRoot =
        env.systemDevices ? std::filesystem::path(padlink::kDevRoot) : std::filesystem::path();
    places.hid = listing.get();
    places.usbIds = ids.ids;
    places.udev = env.systemDevices;
    ps::EventLoop loop(*bus);
    ps::ServiceOptions options;
    options.idleExit = idleExit;
    try {
        ps::Service service(*bus, loop, factory, decoder, options, [&loop] { loop.Quit(); });
        ps::DeviceWatch watch(
            loop,
            {[&service](const ps::Candidate& c) { service.CandidateAppeared(c); },
             [&service](const std::string& key) { service.CandidateVanished(key); }},
            places);
        if (const std::string why = watch.Start(); !why.empty()) {
            err << msg::kProgram << cli::Printf(msg::kNoPortFolder, why) << '\n';
        }
        if (env.stopFd >= 0) {
            loop.Watch(env.stopFd, POLLIN, [&loop](short) { loop.Quit(); });
        }
        // Owned only once the pads are listed, so a client that started the
        // service finds them.
        try {
            bus->requestName(ps::kBusName);
        } catch (const sdbus::Error& e) {
            err << msg::kProgram << cli::Printf(msg::kNameTaken, e.getMessage()) << '\n';
            return kPaddExitFailed;
        }
        loop.Run();
        // New callers start a fresh service from here on.
        bus->releaseName(ps::kBusName);
    } catch (const sdbus::Error& e) {
        err << msg::kProgram << cli::Printf(msg::kBusLost, e.getMessage()) << '\n';
        return kPaddExitFailed;
    }
    return kPaddExitOk;
}

}  // namespace vellumix::tools::padd
