// Where the kernel's views are mounted: sysfs (the console and the UARTs, for
// the port scan) and /proc (who holds a busy device, for the reason given).
// Tests point them at folders of their own, so they never read or touch a
// real console.
#pragma once

#include <filesystem>
#include <string_view>

namespace vellumix::padlink {

inline constexpr std::string_view kProcRoot = "/proc";
inline constexpr std::string_view kSysfsRoot = "/sys";

struct SystemRoots {
    std::filesystem::path proc{kProcRoot};
    std::filesystem::path sysfs{kSysfsRoot};
};

}  // namespace vellumix::padlink
