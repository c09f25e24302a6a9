#include "padlink/PadUsbIds.h"

#include <charconv>
#include <cstdio>

#include "cli/Printf.h"

namespace vellumix::padlink {

namespace {

constexpr char kIdSeparator = ':';
constexpr std::size_t kMaxHexDigits = 4;

std::optional<std::uint16_t> ParseHexId(std::string_view text) {
    if (text.empty() || text.size() > kMaxHexDigits) {
        return std::nullopt;
    }
    std::uint16_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (ec != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::string BadUsbIdsText(const char* source, std::string_view value) {
    return cli::Printf(kBadUsbIdText, source, std::string(value));
}

std::string FormatUsbIds(UsbIds ids) {
    char text[16];
    std::snprintf(text, sizeof text, "%04x:%04x", unsigned{ids.vendorId}, unsigned{ids.productId});
    return text;
}

std::optional<UsbIds> ParseUsbIds(std::string_view text) {
    const std::size_t colon = text.find(kIdSeparator);
    if (colon == std::string_view::npos) {
        return std::nullopt;
    }
    const auto vendor = ParseHexId(text.substr(0, colon));
    const auto product = ParseHexId(text.substr(colon + 1));
    if (!vendor || !product) {
        return std::nullopt;
    }
    return UsbIds{*vendor, *product};
}

UsbIdChoice ChooseUsbIds(std::optional<std::string_view> option,
                         std::optional<std::string_view> environment,
                         std::optional<std::string_view> profile) {
    if (environment && environment->empty()) {
        environment.reset();
    }
    const struct {
        std::optional<std::string_view> value;
        UsbIdSource source;
        const char* name;
    } sources[] = {{option, UsbIdSource::kOption, kUsbIdOptionName},
                   {environment, UsbIdSource::kEnvironment, kUsbIdVariable},
                   {profile, UsbIdSource::kProfile, kUsbIdProfileName}};
    for (const auto& s : sources) {
        if (!s.value) {
            continue;
        }
        UsbIdChoice choice;
        choice.source = s.source;
        if (const auto ids = ParseUsbIds(*s.value)) {
            choice.ids = *ids;
        } else {
            choice.error = BadUsbIdsText(s.name, *s.value);
        }
        return choice;
    }
    return {};
}

}  // namespace vellumix::padlink
