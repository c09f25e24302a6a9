// The name rules of the serial ports, the same on every platform: which
// names are COM ports, where their links lie in the port folder, and the
// order in which a name's candidates are tried. What the platform decides
// (which folder is safe, whether a link's publisher is still there, the
// system's device names) lives in serial/PosixPortNames.cpp.
#include "padlink/PortResolver.h"

#include <system_error>

namespace vellumix::padlink {

namespace {

// "COM0".."COM9" in any case -> the digit; anything else -> -1.
int ComPortNumber(std::string_view name) {
    if (name.size() != kComPortPrefix.size() + 1) {
        return -1;
    }
    for (std::size_t i = 0; i < kComPortPrefix.size(); ++i) {
        const char c = name[i];
        const char upper = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        if (upper != kComPortPrefix[i]) {
            return -1;
        }
    }
    const char digit = name.back();
    if (digit < '0' || digit > '9') {
        return -1;
    }
    const int number = digit - '0';
    return number < kFirstComPort + kComPortCount ? number : -1;
}

bool Exists(const std::filesystem::path& path) {
    std::error_code error;
    // Follows links, so a link left behind by a virtual pad that has gone
    // away counts as absent.
    return std::filesystem::exists(path, error);
}

}  // namespace

std::filesystem::path PortLinkPath(const std::filesystem::path& folder, int number) {
    return folder / (std::string(kComPortPrefix) + std::to_string(number));
}

std::filesystem::path PortLockPath(const std::filesystem::path& folder, int number) {
    return folder / (std::string(kComPortPrefix) + std::to_string(number) + ".lock");
}

std::filesystem::path ResolvePortName(std::string_view name, const std::filesystem::path& folder,
                                      const std::vector<std::string>& devicePrefixes) {
    if (!name.empty() && name.front() == '/') {
        return std::filesystem::path(name);
    }
    const int number = ComPortNumber(name);
    if (number < 0) {
        return {};
    }
    if (!folder.empty() && IsTrustedPortFolder(folder)) {
        const std::filesystem::path link = PortLinkPath(folder, number);
        if (Exists(link) && !PublisherGone(folder, number)) {
            return link;
        }
    }
    for (const std::string& prefix : devicePrefixes) {
        std::filesystem::path device(prefix + std::to_string(number));
        if (Exists(device)) {
            return device;
        }
    }
    return {};
}

}  // namespace vellumix::padlink
