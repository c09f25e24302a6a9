// The InkML reader on files from anywhere, then what the converter does with
// what it read: our own InkML of those points must read back as the same
// points, and with the same times.
#include "FuzzInput.h"
#include "sigformats/InkmlFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    namespace sf = vellumix::sigformats;
    // Times beyond this (11 days in microseconds) may lose their last digit
    // as milliseconds with three decimals in a double; no capture is that long.
    constexpr std::int64_t kExactTimes = 1'000'000'000'000;
    const sf::Decoded read = sf::DecodeInkml(vellumix::fuzz::Input(data, size));
    if (!read) {
        return 0;
    }
    const sf::DecodedSignature& decoded = read.Value();
    if (decoded.points.empty()) {
        __builtin_trap();  // success without a point
    }
    vellumix::fuzz::RequireInkOrPenUp(decoded.points);
    if (!decoded.times.empty() && decoded.times.size() != decoded.points.size()) {
        __builtin_trap();  // times that belong to no point
    }
    const sf::Encoded written = sf::EncodeInkml(decoded.points, decoded.times);
    if (!written) {
        __builtin_trap();  // read points our own writer refuses
    }
    const sf::Decoded readAgain = sf::DecodeInkml(written.Value());
    if (!readAgain || readAgain.Value().points != decoded.points ||
        readAgain.Value().times.size() != decoded.times.size()) {
        __builtin_trap();  // our own file does not read back as written
    }
    const sf::DecodedSignature& again = readAgain.Value();
    for (std::size_t i = 0; i < again.times.size(); ++i) {
        const std::int64_t t = decoded.times[i];
        if (t > -kExactTimes && t < kExactTimes && again.times[i] != t) {
            __builtin_trap();
        }
    }
    return 0;
}
