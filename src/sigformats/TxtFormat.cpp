#include "sigformats/TxtFormat.h"

#include <cctype>
#include <charconv>
#include <string>

namespace vellumix::sigformats {

Encoded EncodeTxt(std::span<const SignaturePoint> points) {
    std::string text;
    text.reserve(points.size() * 9);
    for (SignaturePoint p : points) {
        if (IsPenUp(p)) {
            text += txt::kPenUp;
        } else {
            text += std::to_string(p.x) + ' ' + std::to_string(p.y);
        }
        text += '\n';
    }
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

Decoded DecodeTxt(std::span<const std::uint8_t> file) {
    std::string_view text(reinterpret_cast<const char*>(file.data()), file.size());
    DecodedSignature result;
    std::size_t lineNo = 0;
    while (!text.empty()) {
        ++lineNo;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        auto fail = [&](std::string_view why, CodecErrc code = CodecErrc::kNotOfFormat) {
            return CodecError{code, "line " + std::to_string(lineNo) + ": " + std::string(why)};
        };
        std::int32_t values[2] = {0, 0};
        int found = 0;
        std::size_t pos = 0;
        while (true) {
            while (pos < line.size() && std::isspace(static_cast<unsigned char>(line[pos]))) {
                ++pos;
            }
            if (pos >= line.size()) {
                break;
            }
            if (found == 2) {
                return fail("expected two numbers \"x y\", found more");
            }
            const char* first = line.data() + pos;
            const char* last = line.data() + line.size();
            const auto [ptr, ec] = std::from_chars(first, last, values[found]);
            if (ec != std::errc() ||
                (ptr != last && !std::isspace(static_cast<unsigned char>(*ptr)))) {
                return fail("expected two numbers \"x y\"");
            }
            pos = static_cast<std::size_t>(ptr - line.data());
            ++found;
        }
        if (found == 0) {
            continue;
        }
        if (found == 1) {
            return fail("expected two numbers \"x y\", found one");
        }
        if (result.points.size() >= kMaxDecodedPoints) {
            return fail(TooManyPoints().message, CodecErrc::kTooManyPoints);
        }
        const SignaturePoint p{values[0], values[1]};
        if (!IsPenUp(p) && !IsInkPoint(p)) {
            return fail("point (" + std::to_string(p.x) + ", " + std::to_string(p.y) +
                        ") lies outside 0..1024 (a pen lift is \"-1 -1\")");
        }
        result.points.push_back(p);
    }
    if (result.points.empty()) {
        return CodecError{CodecErrc::kNoPoints, "no points"};
    }
    return result;
}

}  // namespace vellumix::sigformats
