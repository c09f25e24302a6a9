#include "sigfiles/SignatureFiles.h"

#include <algorithm>

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
            return FromCodec(sigformats::DecodeTxt(file));
        case FileKind::kInkml:
            return FromCodec(sigformats::DecodeInkml(file));
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
            sigformats::Encoded encoded = sigformats::EncodeInkml(points, times, end);
            if (!encoded) {
                return {{}, encoded.Error().message};
            }
            result.bytes = std::move(encoded).Value();
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
    return sigformats::EncodeTxt(points).Value();
}

DecodeResult ParseTxt(std::string_view text) {
    const sigformats::Decoded decoded = sigformats::DecodeTxt(
        std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    if (!decoded && decoded.Error().code == sigformats::CodecErrc::kNoPoints) {
        return {};
    }
    return FromCodec(decoded);
}

}  // namespace vellumix::sigfiles
