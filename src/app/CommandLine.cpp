#include "app/CommandLine.h"

#include <vellumix/Version.h>

#include <algorithm>
#include <array>
#include <cstdio>

#include "cli/Printf.h"
#include "cli/UsageError.h"
#include "padlink/PadUsbIds.h"

namespace vellumix::app {

namespace {

constexpr std::string_view kOptHelp = "--help";
constexpr std::string_view kOptHelpShort = "-h";
constexpr std::string_view kOptVersion = "--version";
constexpr std::string_view kOptUsbId = "--usb-id";
constexpr std::array<std::string_view, 3> kOwnOptions = {kOptHelp, kOptVersion, kOptUsbId};

// QApplication's options, spelt with one dash (Qt takes two as well).
constexpr std::array<std::string_view, 13> kQtOptionsWithValue = {
    "-platform",        "-platformpluginpath",
    "-platformtheme",   "-plugin",
    "-qwindowgeometry", "-qwindowicon",
    "-qwindowtitle",    "-display",
    "-geometry",        "-style",
    "-stylesheet",      "-session",
    "-qmljsdebugger"};
constexpr std::array<std::string_view, 5> kQtFlags = {"-reverse", "-nograb", "-dograb", "-sync",
                                                      "-widgetcount"};

template <std::size_t N>
bool Contains(const std::array<std::string_view, N>& list, std::string_view word) {
    return std::find(list.begin(), list.end(), word) != list.end();
}

std::string Format(const char* pattern, std::string_view value) {
    return cli::Printf(pattern, std::string(value));
}

CommandLine UsageError(std::string problem, std::optional<std::string> suggestion = {}) {
    return {CommandLine::Action::kUsageError,
            cli::UsageLine(msg::kProgramName, problem, suggestion)};
}

}  // namespace

CommandLine ParseCommandLine(std::span<const std::string_view> args) {
    CommandLine run;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg == kOptHelp || arg == kOptHelpShort) {
            return {CommandLine::Action::kHelp, msg::kHelp};
        }
        if (arg == kOptVersion) {
            return {CommandLine::Action::kVersion,
                    std::string(msg::kProgramName) + " " + VELLUMIX_VERSION + "\n"};
        }
        if (!arg.starts_with('-') || arg == "-") {
            return UsageError(Format(msg::kUnexpectedArgument, arg));
        }
        if (arg == kOptUsbId || arg.starts_with(std::string(kOptUsbId) + "=")) {
            std::string_view value;
            if (arg.size() > kOptUsbId.size()) {
                value = arg.substr(kOptUsbId.size() + 1);
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                return UsageError(Format(msg::kNeedsValue, arg));
            }
            if (!padlink::ParseUsbIds(value)) {
                return UsageError(padlink::BadUsbIdsText(padlink::kUsbIdOptionName, value));
            }
            run.usbId = std::string(value);
            continue;
        }
        // Qt's options: "--style x" as "-style x", "-style=x" whole.
        const std::size_t equals = arg.find('=');
        std::string_view qt = arg.substr(0, equals);
        if (qt.starts_with("--")) {
            qt.remove_prefix(1);
        }
        if (Contains(kQtFlags, qt)) {
            continue;
        }
        if (Contains(kQtOptionsWithValue, qt)) {
            if (equals == std::string_view::npos) {
                if (i + 1 >= args.size()) {
                    return UsageError(Format(msg::kNeedsValue, arg));
                }
                ++i;
            }
            continue;
        }
        return UsageError(Format(msg::kUnknownOption, arg), cli::NearMiss(arg, kOwnOptions));
    }
    return run;
}

}  // namespace vellumix::app
