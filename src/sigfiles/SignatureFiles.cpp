#include "sigfiles/SignatureFiles.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "sigformats/CmpFormat.h"
#include "sigformats/InkmlFormat.h"
#include "sigformats/NlcFormat.h"
#include "sigformats/SigFormat.h"
#include "sigformats/vbc/VbcFormat.h"

namespace vellumix::sigfiles {
namespace {

using capture::IsPenUp;
using capture::SignaturePoint;
namespace vbc = sigformats::vbc;

std::string OverCap() {
    return "more than " + std::to_string(capture::kMaxDecodedPoints) + " points: not a signature";
}

std::string CheckInk(std::span<const SignaturePoint> points) {
    for (std::size_t i = 0; i < points.size(); ++i) {
        const SignaturePoint p = points[i];
        if (!capture::IsInkOrPenUp(p)) {
            return "point " + std::to_string(i + 1) + " (" + std::to_string(p.x) + ", " +
                   std::to_string(p.y) + ") lies outside 0..1024";
        }
    }
    return {};
}

DecodeResult FromCodec(sigformats::Decoded decoded) {
    if (!decoded) {
        return {{}, 0, decoded.Error().message};
    }
    return {std::move(decoded).Value().points, 0, {}};
}

DecodeResult DecodeRaw(FileKind kind, std::span<const std::uint8_t> file, LockedVbc locked) {
    DecodeResult result;
    switch (kind) {
        case FileKind::kSig:
            return FromCodec(sigformats::DecodeSig(file));
        case FileKind::kCmp:
            return FromCodec(sigformats::DecodeCmp(file));
        case FileKind::kNlc:
            return FromCodec(sigformats::DecodeNlc(file));
        case FileKind::kVbc:
            return FromCodec(vbc::DecodeVbc(file, locked));
        case FileKind::kTxt:
            return ParseTxt(
                std::string_view(reinterpret_cast<const char*>(file.data()), file.size()));
        case FileKind::kInkml: {
            sigformats::InkmlDecoded ink = sigformats::DecodeInkml(file);
            if (!ink.error.empty()) {
                return {{}, 0, std::move(ink.error)};
            }
            result.points = std::move(ink.points);
            if (ink.times.size() == result.points.size()) {
                result.times = std::move(ink.times);
            }
            result.dropped = ink.dropped;
            result.hoverTraces = ink.hoverTraces;
            return result;
        }
        case FileKind::kSvg:
        case FileKind::kPng:
        case FileKind::kPdf:
        case FileKind::kBmp:
            return {{}, 0, DottedName(kind) + " files hold no points to read"};
    }
    return result;
}

}  // namespace

DecodeResult DecodeAs(FileKind kind, std::span<const std::uint8_t> file, LockedVbc locked) {
    DecodeResult result = DecodeRaw(kind, file, locked);
    if (!result.error.empty()) {
        result.points.clear();
        return result;
    }
    // The codecs answer an unreadable file and an empty one alike.
    if (result.points.empty()) {
        const bool text = kind == FileKind::kTxt || kind == FileKind::kInkml;
        return {{}, 0, text ? std::string("no points") : NotValidFile(kind)};
    }
    Points& points = result.points;
    capture::PointTimes& times = result.times;
    // Judged on the last decoded point, whether or not it is kept.
    if (!IsPenUp(points.back())) {
        points.push_back(capture::PEN_UP_POINT);
        if (!times.empty()) {
            times.push_back(times.back());
        }
        result.liftAdded = true;
    }
    // Dropped by hand rather than by remove_if, so that the times follow.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (capture::IsInkOrPenUp(points[i])) {
            points[kept] = points[i];
            if (!times.empty()) {
                times[kept] = times[i];
            }
            ++kept;
        }
    }
    result.dropped += points.size() - kept;
    points.resize(kept);
    if (!times.empty()) {
        times.resize(kept);
    }
    return result;
}

Bytes EncodeStored(FileKind kind, std::span<const SignaturePoint> points) {
    switch (kind) {
        case FileKind::kSig: {
            sigformats::Encoded encoded = sigformats::EncodeSig(points);
            return encoded ? std::move(encoded).Value() : Bytes{};
        }
        case FileKind::kCmp: {
            sigformats::Encoded encoded = sigformats::EncodeCmp(points);
            return encoded ? std::move(encoded).Value() : Bytes{};
        }
        case FileKind::kNlc: {
            sigformats::Encoded encoded = sigformats::EncodeNlc(points);
            return encoded ? std::move(encoded).Value() : Bytes{};
        }
        case FileKind::kVbc: {
            sigformats::Encoded encoded = vbc::EncodeVbc(points);
            return encoded ? std::move(encoded).Value() : Bytes{};
        }
        case FileKind::kTxt:
        case FileKind::kInkml:
        case FileKind::kSvg:
        case FileKind::kPng:
        case FileKind::kPdf:
        case FileKind::kBmp:
            break;
    }
    return {};
}

namespace {

EncodeResult Encode(FileKind kind, std::span<const SignaturePoint> input,
                    std::span<const capture::PointTime> inputTimes, sigformats::CaptureEnd end) {
    if (input.empty()) {
        return {{}, "no points"};
    }
    if (!inputTimes.empty() && inputTimes.size() != input.size()) {
        return {{},
                std::to_string(inputTimes.size()) + " times for " + std::to_string(input.size()) +
                    " points"};
    }
    if (std::string bad = CheckInk(input); !bad.empty()) {
        return {{}, std::move(bad)};
    }
    Points points(input.begin(), input.end());
    capture::PointTimes times(inputTimes.begin(), inputTimes.end());
    if (!IsPenUp(points.back())) {
        points.push_back(capture::PEN_UP_POINT);
        if (!times.empty()) {
            times.push_back(times.back());
        }
    }
    const std::string cannot = std::string("the signature cannot be stored as ") + DottedName(kind);
    EncodeResult result;
    switch (kind) {
        case FileKind::kSig:
        case FileKind::kCmp:
            result.bytes = EncodeStored(kind, points);
            break;
        case FileKind::kNlc: {
            sigformats::Encoded encoded = sigformats::EncodeNlc(points);
            if (!encoded) {
                return {{}, encoded.Error().message};
            }
            result.bytes = std::move(encoded).Value();
            break;
        }
        case FileKind::kVbc: {
            sigformats::Encoded encoded = vbc::EncodeVbc(points);
            if (!encoded) {
                return {{}, encoded.Error().message};
            }
            result.bytes = std::move(encoded).Value();
            break;
        }
        case FileKind::kTxt:
            result.bytes = WriteTxt(points);
            break;
        case FileKind::kInkml: {
            sigformats::InkmlEncoded ink = sigformats::EncodeInkml(points, times, end);
            if (!ink.error.empty()) {
                return {{}, cannot + " (" + ink.error + ")"};
            }
            result.bytes = std::move(ink.bytes);
            break;
        }
        case FileKind::kSvg:
        case FileKind::kPng:
        case FileKind::kPdf:
        case FileKind::kBmp:
            return {{}, "pictures are drawn by the signature renderer"};
    }
    if (result.bytes.empty()) {
        return {{}, cannot};
    }
    // Pen lifts alone (all ink dropped on decoding) encode, but .cmp, .nlc
    // and .inkml read no signature back from them: refused here rather than
    // written as a file that cannot be read.
    const bool inkless = std::all_of(points.begin(), points.end(), IsPenUp);
    if (inkless && !DecodeAs(kind, result.bytes).error.empty()) {
        return {{}, cannot + " (it has no ink, only pen lifts)"};
    }
    return result;
}

}  // namespace

EncodeResult EncodeAs(FileKind kind, std::span<const SignaturePoint> input) {
    return EncodeAs(kind, input, {});
}

EncodeResult EncodeAs(FileKind kind, std::span<const SignaturePoint> input,
                      std::span<const capture::PointTime> inputTimes) {
    return Encode(kind, input, inputTimes, sigformats::CaptureEnd::kComplete);
}

EncodeResult EncodeInkml(std::span<const SignaturePoint> points,
                         std::span<const capture::PointTime> times, sigformats::CaptureEnd end) {
    return Encode(FileKind::kInkml, points, times, end);
}

Bytes WriteTxt(std::span<const SignaturePoint> points) {
    std::string text;
    text.reserve(points.size() * 9);
    for (SignaturePoint p : points) {
        if (IsPenUp(p)) {
            text += kTxtPenUp;
        } else {
            text += std::to_string(p.x) + ' ' + std::to_string(p.y);
        }
        text += '\n';
    }
    return Bytes(text.begin(), text.end());
}

DecodeResult ParseTxt(std::string_view text) {
    DecodeResult result;
    std::size_t lineNo = 0;
    while (!text.empty()) {
        ++lineNo;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        auto fail = [&](std::string_view why) {
            return DecodeResult{{}, 0, "line " + std::to_string(lineNo) + ": " + std::string(why)};
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
        if (result.points.size() >= capture::kMaxDecodedPoints) {
            return fail(OverCap());
        }
        const SignaturePoint p{values[0], values[1]};
        if (IsPenUp(p)) {
            result.points.push_back(p);
        } else if (!capture::IsInkPoint(p)) {
            return fail("point (" + std::to_string(p.x) + ", " + std::to_string(p.y) +
                        ") lies outside 0..1024 (a pen lift is \"-1 -1\")");
        } else {
            result.points.push_back(p);
        }
    }
    return result;
}

}  // namespace vellumix::sigfiles
