#include "sigfiles/SignatureFiles.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "sigfiles/VbcErrorText.h"
#include "sigformats/CmpFormat.h"
#include "sigformats/NlcFormat.h"
#include "sigformats/SigFormat.h"
#include "sigformats/vbc/VbcFormat.h"

namespace vellumix::sigfiles {
namespace {

using capture::IsPenUp;
using capture::SignaturePoint;
namespace vbc = sigformats::vbc;

constexpr std::string_view kSvgHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"1024\" height=\"1024\" "
    "viewBox=\"0 0 1024 1024\">\n"
    "<g fill=\"none\" stroke=\"black\" stroke-width=\"3\" stroke-linecap=\"round\" "
    "stroke-linejoin=\"round\">\n";
constexpr std::string_view kSvgTail = "</g>\n</svg>\n";

std::string NotValid(FileKind kind) {
    return std::string("not a valid ") + DottedName(kind) + " file";
}

std::string OverCap() {
    return "more than " + std::to_string(capture::kMaxDecodedPoints) + " points: not a signature";
}

std::string CheckStorable(std::span<const SignaturePoint> points) {
    for (std::size_t i = 0; i < points.size(); ++i) {
        const SignaturePoint p = points[i];
        if (!capture::IsStorablePoint(p)) {
            return "point " + std::to_string(i + 1) + " (" + std::to_string(p.x) + ", " +
                   std::to_string(p.y) + ") lies outside 0..1024";
        }
    }
    return {};
}

DecodeResult DecodeVbcFile(std::span<const std::uint8_t> file, LockedVbc locked) {
    if (locked == LockedVbc::kRefuse) {
        const auto info = vbc::InspectVbc(file);
        if (!info) {
            return {{}, 0, NotValid(FileKind::kVbc)};
        }
        if (info->locked && !info->unlocked) {
            return {{}, 0, "the signature is locked and cannot be unlocked"};
        }
    }
    vbc::DecodeResult result = vbc::DecodeVbc(file);
    if (result.error != vbc::VbcError::kSuccess) {
        return {{}, 0, NotValid(FileKind::kVbc) + VbcErrorSuffix(result.error)};
    }
    return {std::move(result.points), 0, {}};
}

DecodeResult DecodeRaw(FileKind kind, std::span<const std::uint8_t> file, LockedVbc locked) {
    bool overCap = false;
    DecodeResult result;
    switch (kind) {
        case FileKind::kSig:
            result.points = sigformats::DecodeSig(file);
            break;
        case FileKind::kCmp:
            result.points = sigformats::DecodeCmpCapped(file, overCap);
            break;
        case FileKind::kNlc:
            result.points = sigformats::DecodeNlcCapped(file, overCap);
            break;
        case FileKind::kVbc:
            return DecodeVbcFile(file, locked);
        case FileKind::kTxt:
            return ParseTxt(
                std::string_view(reinterpret_cast<const char*>(file.data()), file.size()));
        case FileKind::kSvg:
        case FileKind::kPng:
        case FileKind::kBmp:
            return {{}, 0, DottedName(kind) + " files hold no points to read"};
    }
    if (overCap) {
        result.error = OverCap();
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
        return {{}, 0, kind == FileKind::kTxt ? std::string("no points") : NotValid(kind)};
    }
    // Judged on the last decoded point, whether or not it is kept.
    if (!IsPenUp(result.points.back())) {
        result.points.push_back(capture::PEN_UP_POINT);
        result.liftAdded = true;
    }
    const auto kept = std::remove_if(result.points.begin(), result.points.end(),
                                     [](SignaturePoint p) { return !capture::IsStorablePoint(p); });
    result.dropped = static_cast<std::size_t>(result.points.end() - kept);
    result.points.erase(kept, result.points.end());
    return result;
}

Bytes EncodeStored(FileKind kind, std::span<const SignaturePoint> points) {
    switch (kind) {
        case FileKind::kSig:
            return sigformats::EncodeSig(points);
        case FileKind::kCmp:
            return sigformats::EncodeCmp(points);
        case FileKind::kNlc:
            return sigformats::EncodeNlc(points);
        case FileKind::kVbc:
            return vbc::EncodeVbc(points).bytes;
        case FileKind::kTxt:
        case FileKind::kSvg:
        case FileKind::kPng:
        case FileKind::kBmp:
            break;
    }
    return {};
}

EncodeResult EncodeAs(FileKind kind, std::span<const SignaturePoint> input) {
    if (input.empty()) {
        return {{}, "no points"};
    }
    if (std::string bad = CheckStorable(input); !bad.empty()) {
        return {{}, std::move(bad)};
    }
    Points points(input.begin(), input.end());
    if (!IsPenUp(points.back())) {
        points.push_back(capture::PEN_UP_POINT);
    }
    const std::string cannot = std::string("the signature cannot be stored as ") + DottedName(kind);
    EncodeResult result;
    switch (kind) {
        case FileKind::kSig:
        case FileKind::kCmp:
            result.bytes = EncodeStored(kind, points);
            break;
        case FileKind::kNlc:
            result.bytes = EncodeStored(kind, points);
            if (result.bytes.empty()) {
                return {{},
                        cannot + " (more than " + std::to_string(sigformats::nlc::kMaxFileBytes) +
                            " bytes)"};
            }
            break;
        case FileKind::kVbc: {
            // Called directly for the codec's reason.
            vbc::EncodeResult vbcResult = vbc::EncodeVbc(points);
            if (vbcResult.bytes.empty()) {
                return {{}, cannot + VbcErrorSuffix(vbcResult.error)};
            }
            result.bytes = std::move(vbcResult.bytes);
            break;
        }
        case FileKind::kTxt:
            result.bytes = WriteTxt(points);
            break;
        case FileKind::kSvg: {
            const std::string svg = WriteSvg(points);
            result.bytes.assign(svg.begin(), svg.end());
            break;
        }
        case FileKind::kPng:
        case FileKind::kBmp:
            return {{}, "pictures are written by the picture writer"};
    }
    if (result.bytes.empty()) {
        return {{}, cannot};
    }
    return result;
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
        } else if (p.x < 0 || p.y < 0 || !capture::IsStorablePoint(p)) {
            return fail("point (" + std::to_string(p.x) + ", " + std::to_string(p.y) +
                        ") lies outside 0..1024 (a pen lift is \"-1 -1\")");
        } else {
            result.points.push_back(p);
        }
    }
    return result;
}

std::string WriteSvg(std::span<const SignaturePoint> points) {
    std::string svg(kSvgHead);
    std::string path;
    std::size_t inStroke = 0;
    SignaturePoint last{};
    auto flush = [&] {
        if (inStroke == 1) {
            // A lone point: a zero-length segment, which round caps show as a dot.
            path += " L" + std::to_string(last.x) + ' ' + std::to_string(last.y);
        }
        if (inStroke > 0) {
            svg += "<path d=\"" + path + "\"/>\n";
        }
        path.clear();
        inStroke = 0;
    };
    for (SignaturePoint p : points) {
        if (IsPenUp(p)) {
            flush();
            continue;
        }
        path += (inStroke == 0 ? "M" : " L") + std::to_string(p.x) + ' ' + std::to_string(p.y);
        last = p;
        ++inStroke;
    }
    flush();
    svg += kSvgTail;
    return svg;
}

}  // namespace vellumix::sigfiles
