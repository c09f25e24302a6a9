#include "padlink/PadCandidates.h"

#include <algorithm>
#include <charconv>
#include <system_error>

#include "padlink/PortResolver.h"

namespace vellumix::padlink {

namespace {

namespace fs = std::filesystem;

// Where a link leads, relative targets taken from the link's folder as the
// kernel does ("../../ttyUSB0" in /dev/serial/by-id is /dev/ttyUSB0).
fs::path LinkTarget(const fs::path& link) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(link, ec);
    if (ec) {
        return link;
    }
    return target.is_absolute() ? target : (link.parent_path() / target).lexically_normal();
}

bool Present(const fs::path& path) {
    std::error_code ec;
    return fs::is_symlink(fs::symlink_status(path, ec)) || fs::exists(path, ec);
}

// "ttyUSB12" with prefix "ttyUSB" -> 12; -1 for a name that is not the
// prefix and a number.
int DeviceNumber(std::string_view name, std::string_view prefix) {
    if (!name.starts_with(prefix) || name.size() == prefix.size()) {
        return -1;
    }
    int n = -1;
    const auto digits = name.substr(prefix.size());
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
    return ec == std::errc() && end == digits.data() + digits.size() ? n : -1;
}

std::vector<SerialEntry> ListComLinks(const fs::path& folder) {
    std::vector<SerialEntry> links;
    for (int n = kFirstComPort; n < kFirstComPort + kComPortCount; ++n) {
        const fs::path link = PortLinkPath(folder, n);
        if (!Present(link)) {
            continue;
        }
        const std::string name = std::string(kComPortPrefix) + std::to_string(n);
        links.push_back({name, LinkTarget(link), ResolvePortName(name, folder, {}) == link});
    }
    return links;
}

std::vector<SerialEntry> ListById(const fs::path& devRoot) {
    std::vector<SerialEntry> names;
    std::error_code ec;
    for (const fs::directory_entry& entry :
         fs::directory_iterator(devRoot / kSerialByIdFolder, ec)) {
        names.push_back({entry.path().string(), LinkTarget(entry.path()), true});
    }
    std::sort(names.begin(), names.end(),
              [](const SerialEntry& a, const SerialEntry& b) { return a.name < b.name; });
    return names;
}

std::vector<SerialEntry> ListDevices(const fs::path& devRoot) {
    std::vector<SerialEntry> devices;
    for (const std::string_view prefix : kListedDevicePrefixes) {
        std::vector<std::pair<int, fs::path>> found;
        std::error_code ec;
        for (const fs::directory_entry& entry : fs::directory_iterator(devRoot, ec)) {
            const int n = DeviceNumber(entry.path().filename().string(), prefix);
            if (n >= 0) {
                found.emplace_back(n, entry.path());
            }
        }
        std::sort(found.begin(), found.end());
        for (const auto& [n, path] : found) {
            devices.push_back({path.string(), path, true});
        }
    }
    return devices;
}

}  // namespace

PadCandidateList ListPadCandidates(HidBackend* hid, const fs::path& portFolder,
                                   const fs::path& devRoot) {
    PadCandidateList list;
    if (hid != nullptr) {
        list.hid = hid->EnumerateAll();
    }
    list.comLinks = ListComLinks(portFolder);
    list.byId = ListById(devRoot);
    list.devices = ListDevices(devRoot);
    return list;
}

}  // namespace vellumix::padlink
