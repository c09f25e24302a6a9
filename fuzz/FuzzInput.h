// The byte span libFuzzer hands every target.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vellumix::fuzz {

inline std::span<const std::uint8_t> Input(const std::uint8_t* data, std::size_t size) {
    return {data, size};
}

// For a decoder that promises stored-file points only (0..1024 or the pen-up
// marker): anything else is a decoding fault, made loud for the fuzzer.
template <typename Points>
void RequireStorable(const Points& points) {
    for (const auto& p : points) {
        if (!(p.x >= -1 && p.x <= 1024 && p.y >= -1 && p.y <= 1024)) {
            __builtin_trap();
        }
    }
}

// For what decoding by kind hands on (sigfiles::DecodeAs): ink in 0..1024
// or the pen-up marker, both coordinates -1. A -1 on one axis alone passes
// RequireStorable but is no pen lift, and the text form cannot say it.
template <typename Points>
void RequireInkOrPenUp(const Points& points) {
    for (const auto& p : points) {
        const bool penUp = p.x == -1 && p.y == -1;
        const bool ink = p.x >= 0 && p.x <= 1024 && p.y >= 0 && p.y <= 1024;
        if (!penUp && !ink) {
            __builtin_trap();
        }
    }
}

}  // namespace vellumix::fuzz
