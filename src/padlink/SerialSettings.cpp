#include "padlink/SerialSettings.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <initializer_list>
#include <utility>
#include <vector>

#include "padlink/PortResolver.h"

namespace vellumix::padlink {

namespace {

constexpr bool IsDropped(char c) {
    return c == ' ';
}
constexpr bool IsSeparator(char c) {
    return c == '/' || c == '\\' || c == '\t';
}

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return out;
}

// Drops spaces, turns each run of separators into one space, trims the ends.
std::string NormaliseSettings(std::string_view text) {
    std::string out;
    bool pendingSeparator = false;
    for (const char c : text) {
        if (IsDropped(c)) {
            continue;
        }
        if (IsSeparator(c)) {
            pendingSeparator = !out.empty();
            continue;
        }
        if (pendingSeparator) {
            out.push_back(' ');
            pendingSeparator = false;
        }
        out.push_back(c);
    }
    return out;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) {
            return parts;
        }
        start = end + 1;
    }
}

std::optional<int> ParseInt(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

// The old mode-command abbreviations: the first two digits of the rate.
constexpr std::array kAbbreviatedRates{
    std::pair{11, 110},  std::pair{30, 300},  std::pair{60, 600},  std::pair{12, 1200},
    std::pair{24, 2400}, std::pair{48, 4800}, std::pair{96, 9600}, std::pair{19, 19200},
};

std::optional<int> ParseBaud(std::string_view text) {
    const std::optional<int> value = ParseInt(text);
    if (!value) {
        return std::nullopt;
    }
    for (const auto& [abbreviation, baud] : kAbbreviatedRates) {
        if (*value == abbreviation) {
            return baud;
        }
    }
    const bool known =
        std::find(kSerialBauds.begin(), kSerialBauds.end(), *value) != kSerialBauds.end();
    return known ? value : std::nullopt;
}

std::optional<Parity> ParseParity(std::string_view text) {
    if (text.size() != 1) {
        return std::nullopt;
    }
    switch (text[0]) {
        case 'n':
            return Parity::kNone;
        case 'o':
            return Parity::kOdd;
        case 'e':
            return Parity::kEven;
        case 'm':
            return Parity::kMark;
        case 's':
            return Parity::kSpace;
        default:
            return std::nullopt;
    }
}

std::optional<int> ParseDataBits(std::string_view text) {
    const std::optional<int> value = ParseInt(text);
    return (value && *value >= 5 && *value <= 8) ? value : std::nullopt;
}

// termios has no 1.5 stop bits, so only 1 and 2.
std::optional<int> ParseStopBits(std::string_view text) {
    const std::optional<int> value = ParseInt(text);
    return (value && (*value == 1 || *value == 2)) ? value : std::nullopt;
}

bool IsOneOf(std::string_view value, std::initializer_list<std::string_view> allowed) {
    return std::find(allowed.begin(), allowed.end(), value) != allowed.end();
}

template <typename T>
bool Assign(const std::optional<T>& value, T& field) {
    if (value) {
        field = *value;
    }
    return value.has_value();
}

// "38400,n,8,1" with an optional fifth field for the handshake (x or p).
std::optional<SerialSettings> ParseShortForm(std::string_view text) {
    const std::vector<std::string_view> fields = Split(text, ',');
    SerialSettings settings;
    const bool ok =
        (fields.size() == 4 || (fields.size() == 5 && IsOneOf(fields[4], {"x", "p"}))) &&
        Assign(ParseBaud(fields[0]), settings.baud) &&
        Assign(ParseParity(fields[1]), settings.parity) &&
        Assign(ParseDataBits(fields[2]), settings.dataBits) &&
        Assign(ParseStopBits(fields[3]), settings.stopBits);
    return ok ? std::optional(settings) : std::nullopt;
}

std::optional<SerialSettings> ParseKeyForm(std::string_view text) {
    SerialSettings settings;
    for (std::string_view item : Split(text, ' ')) {
        if (item.empty()) {
            continue;
        }
        const std::size_t equals = item.find('=');
        const std::string_view key = item.substr(0, equals);
        const std::string_view value =
            equals == std::string_view::npos ? std::string_view() : item.substr(equals + 1);
        bool ok = false;
        if (key == "baud") {
            ok = Assign(ParseBaud(value), settings.baud);
        } else if (key == "parity") {
            ok = Assign(ParseParity(value), settings.parity);
        } else if (key == "data") {
            ok = Assign(ParseDataBits(value), settings.dataBits);
        } else if (key == "stop") {
            ok = Assign(ParseStopBits(value), settings.stopBits);
        } else if (IsOneOf(key, {"to", "xon", "odsr", "octs", "idsr"})) {
            ok = IsOneOf(value, {"on", "off"});
        } else if (key == "dtr") {
            ok = IsOneOf(value, {"on", "off", "hs"});
        } else if (key == "rts") {
            ok = IsOneOf(value, {"on", "off", "hs", "tg"});
        }
        if (!ok) {
            return std::nullopt;
        }
    }
    return settings;
}

}  // namespace

std::string DefaultPortSpec(int number) {
    return std::string(kComPortPrefix) + std::to_string(number) + std::string(kDefaultPortSettings);
}

std::optional<PortSpec> SplitPortSpec(std::string_view portSpec) {
    if (portSpec.size() < kMinPortSpecLength || portSpec.size() > kMaxPortSpecLength) {
        return std::nullopt;
    }
    PortSpec result;
    if (portSpec.front() == '/') {
        std::size_t nameEnd = portSpec.find_first_of(" \t");
        const std::size_t equals = portSpec.find('=');
        if (equals < nameEnd) {
            nameEnd = portSpec.rfind('/', equals);
        }
        result.name = std::string(portSpec.substr(0, nameEnd));
        if (nameEnd != std::string_view::npos) {
            result.settings = NormaliseSettings(portSpec.substr(nameEnd));
        }
    } else {
        const std::string copy = NormaliseSettings(portSpec);
        const std::size_t space = copy.find(' ');
        result.name = copy.substr(0, space);
        if (space != std::string::npos) {
            result.settings = copy.substr(space + 1);
        }
    }
    if (result.name.find_first_not_of('/') == std::string::npos) {
        return std::nullopt;
    }
    return result;
}

std::optional<SerialSettings> ParseSerialSettings(std::string_view text) {
    std::string lower = Lower(text);
    if (lower.find('=') == std::string::npos && lower.find(',') != std::string::npos) {
        // The short form has no keys to keep apart: blanks are just padding.
        std::erase_if(lower, [](char c) { return c == ' ' || c == '\t'; });
        return ParseShortForm(lower);
    }
    // Here a blank separates "key=value" items, unlike in the port string.
    std::replace_if(
        lower.begin(), lower.end(), [](char c) { return c == '\t' || IsSeparator(c); }, ' ');
    return ParseKeyForm(lower);
}

}  // namespace vellumix::padlink
