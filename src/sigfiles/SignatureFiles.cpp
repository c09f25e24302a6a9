#include "sigfiles/SignatureFiles.h"

#include <algorithm>

#include "sigfiles/FormatTable.h"

namespace vellumix::sigfiles {
namespace {

using sigformats::IsPenUp;
using sigformats::SignaturePoint;

std::string CheckInk(std::span<const SignaturePoint> points) {
    for (std::size_t i = 0; i < points.size(); ++i) {
        const SignaturePoint p = points[i];
        if (!sigformats::IsInkOrPenUp(p)) {
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
    sigformats::DecodedSignature& signature = decoded.Value();
    DecodeResult result;
    result.points = std::move(signature.points);
    if (signature.times.size() == result.points.size()) {
        result.times = std::move(signature.times);
    }
    result.dropped = signature.dropped;
    result.hoverTraces = signature.hoverTraces;
    return result;
}

}  // namespace

DecodeResult DecodeAs(FileKind kind, std::span<const std::uint8_t> file, LockedVbc locked) {
    const FormatRow& row = FormatOf(kind);
    if (row.decode == nullptr) {
        return {{}, 0, DottedName(kind) + " files hold no points to read"};
    }
    DecodeResult result = FromCodec(row.decode(file, locked));
    if (!result.error.empty()) {
        return result;
    }
    Points& points = result.points;
    sigformats::PointTimes& times = result.times;
    // Judged on the last decoded point, whether or not it is kept.
    if (!IsPenUp(points.back())) {
        points.push_back(sigformats::PEN_UP_POINT);
        if (!times.empty()) {
            times.push_back(times.back());
        }
        result.liftAdded = true;
    }
    // Dropped by hand rather than by remove_if, so that the times follow.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (sigformats::IsInkOrPenUp(points[i])) {
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
    const FormatRow& row = FormatOf(kind);
    if (!row.stored) {
        return {};
    }
    sigformats::Encoded encoded = row.encode(points, {});
    return encoded ? std::move(encoded).Value() : Bytes{};
}

namespace {

EncodeResult Encode(FileKind kind, std::span<const SignaturePoint> input,
                    std::span<const sigformats::PointTime> inputTimes, sigformats::CaptureEnd end) {
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
    sigformats::PointTimes times(inputTimes.begin(), inputTimes.end());
    if (!IsPenUp(points.back())) {
        points.push_back(sigformats::PEN_UP_POINT);
        if (!times.empty()) {
            times.push_back(times.back());
        }
    }
    const FormatRow& row = FormatOf(kind);
    if (row.encode == nullptr) {
        return {{}, "pictures are drawn by the signature renderer"};
    }
    sigformats::Encoded encoded = row.encode(points, {times, end});
    if (!encoded) {
        return {{}, encoded.Error().message};
    }
    EncodeResult result{std::move(encoded).Value(), {}};
    if (result.bytes.empty()) {
        return {{}, sigformats::CannotStoreText(row.name)};
    }
    // Pen lifts alone (all ink dropped on decoding) encode, but .cmp, .nlc
    // and .inkml read no signature back from them: refused here rather than
    // written as a file that cannot be read.
    const bool inkless = std::all_of(points.begin(), points.end(), IsPenUp);
    if (inkless && !DecodeAs(kind, result.bytes).error.empty()) {
        return {{}, sigformats::CannotStoreText(row.name, "it has no ink, only pen lifts")};
    }
    return result;
}

}  // namespace

EncodeResult EncodeAs(FileKind kind, std::span<const SignaturePoint> input) {
    return EncodeAs(kind, input, {});
}

EncodeResult EncodeAs(FileKind kind, std::span<const SignaturePoint> input,
                      std::span<const sigformats::PointTime> inputTimes) {
    return Encode(kind, input, inputTimes, sigformats::CaptureEnd::kComplete);
}

EncodeResult EncodeInkml(std::span<const SignaturePoint> points,
                         std::span<const sigformats::PointTime> times, sigformats::CaptureEnd end) {
    return Encode(FileKind::kInkml, points, times, end);
}

Bytes WriteTxt(std::span<const SignaturePoint> points) {
    return sigformats::EncodeTxt(points).Value();
}

DecodeResult ParseTxt(std::string_view text) {
    sigformats::Decoded decoded = sigformats::DecodeTxt(
        std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    if (!decoded && decoded.Error().code == sigformats::CodecErrc::kNoPoints) {
        return {};
    }
    return FromCodec(std::move(decoded));
}

}  // namespace vellumix::sigfiles
