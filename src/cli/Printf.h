// A message built from one of the programs' printf-style text constants
// (each text lives once, with its %s and %d where the words go), for the
// link's reasons, the service's errors and the command lines alike.
// std::string arguments go in as their C strings; a std::string_view does
// not compile, since it need not end where %s stops reading.
#pragma once

#include <cstdio>
#include <string>
#include <type_traits>

namespace vellumix::cli {

namespace detail {

inline const char* PrintfArg(const std::string& s) {
    return s.c_str();
}

template <typename T>
requires std::is_arithmetic_v<T> || std::is_pointer_v<T> T PrintfArg(T value) {
    return value;
}

}  // namespace detail

template <typename... Args>
std::string Printf(const char* format, const Args&... args) {
    const int n = std::snprintf(nullptr, 0, format, detail::PrintfArg(args)...);
    if (n <= 0) {
        return {};
    }
    std::string text(static_cast<std::size_t>(n), '\0');
    std::snprintf(text.data(), text.size() + 1, format, detail::PrintfArg(args)...);
    return text;
}

}  // namespace vellumix::cli
