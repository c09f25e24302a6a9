#include "sigfiles/FormatTable.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "sigformats/CmpFormat.h"
#include "sigformats/NlcFormat.h"
#include "sigformats/SigFormat.h"
#include "sigformats/TxtFormat.h"

namespace vellumix::sigfiles {
namespace {

namespace sf = sigformats;
namespace vbc = sigformats::vbc;
using File = std::span<const std::uint8_t>;
using Points = std::span<const sigformats::SignaturePoint>;

// Most codecs take the bytes or the points alone.
template <sf::Decoded (*decode)(File)>
sf::Decoded BytesOnly(File file, vbc::LockedVbc) {
    return decode(file);
}

template <sf::Encoded (*encode)(Points)>
sf::Encoded PointsOnly(Points points, const EncodeExtras&) {
    return encode(points);
}

sf::Encoded EncodeVbc(Points points, const EncodeExtras&) {
    return vbc::EncodeVbc(points);
}

sf::Encoded EncodeInkml(Points points, const EncodeExtras& extras) {
    return sf::EncodeInkml(points, extras.times, extras.end);
}

// ------------------------------------------------------- header facts (--info)

std::string Hex2(unsigned byte) {
    char buf[3];
    std::snprintf(buf, sizeof buf, "%02X", byte & 0xFFu);
    return buf;
}

std::string DescribeSig(File file, InfoFacts& info) {
    const auto h = sf::InspectSig(file);
    if (!h) {
        return sf::NotValidFileText(sf::sig::kExtension);
    }
    info.Add("magic", h->magicOk ? "MP" : "not MP");
    info.Add("header length", h->headerLength);
    info.Add("data length", h->dataLength);
    info.Add("record version", h->version);
    info.Add("x range", h->xRange);
    info.Add("y range", h->yRange);
    info.Add("device parameter A", h->deviceParamA);
    info.Add("device parameter B", h->deviceParamB);
    return {};
}

std::string DescribeNlc(File file, InfoFacts& info) {
    const auto h = sf::InspectNlc(file);
    if (!h) {
        return sf::NotValidFileText(sf::nlc::kExtension);
    }
    info.Add("magic", h->magicOk ? "NC" : "not NC");
    info.Add("trailer", h->trailerOk ? "03 FF" : "not 03 FF");
    info.Add("data length", h->dataLength);
    info.Add("x range", h->xRange);
    info.Add("y range", h->yRange);
    info.Add("device parameter A", h->deviceParamA);
    info.Add("device parameter B", h->deviceParamB);
    info.Add("records", h->recordCount);
    info.Add("truncated", h->truncated);
    return {};
}

std::string DescribeCmp(File file, InfoFacts& info) {
    const auto h = sf::InspectCmp(file);
    if (!h) {
        return sf::NotValidFileText(sf::cmp::kExtension);
    }
    info.Add("bytes before the start byte", h->startOffset);
    info.Add("x divisor", h->xDivisor);
    info.Add("y divisor", h->yDivisor);
    info.Add("coordinate shift", h->absoluteShift);
    info.Add("absolute form", h->shortAbsoluteForm ? "short" : "long");
    info.Add("first pen byte", Hex2(h->firstPenByte));
    info.Add("code bytes", h->streamBytes);
    return {};
}

void DescribeVbcStream(const vbc::VbcStreamInfo& s, InfoFacts& info) {
    if (s.profile) {
        info.Add("device profile", static_cast<unsigned>(*s.profile));
    }
    info.Add("device parameter A", s.paramA);
    info.Add("device parameter B", s.paramB);
    info.Add("x range", s.xRange);
    info.Add("y range", s.yRange);
    info.Add("ranges from profile", s.rangesFromProfile);
    info.Add("stream points", s.pointCount);
    info.Add("reduction", s.reduction);
    info.Add("block length", s.blockLength);
    std::string widths;
    for (std::uint8_t w : s.widths) {
        widths += widths.empty() ? "" : " ";
        widths += Hex2(w);
    }
    info.Add("blocks", s.widths.size());
    info.Add("width list", widths.empty() ? std::string("(none)") : widths);
}

std::string DescribeVbc(File file, InfoFacts& info) {
    const auto h = vbc::InspectVbc(file);
    if (!h) {
        return sf::NotValidFileText(vbc::kExtension);
    }
    info.Add("version", h->version);
    std::string entries;
    for (const auto& [name, value] : h->entries) {
        entries.append(entries.empty() ? "" : "; ").append(name).append("=").append(value);
    }
    info.Add("entries", entries.empty() ? std::string("(none)") : entries);
    info.Add("locked", !h->locked    ? "no"
                       : h->unlocked ? "yes (unlocked)"
                                     : "yes (cannot be unlocked)");
    if (h->stream) {
        DescribeVbcStream(*h->stream, info);
    } else if (h->streamError != vbc::VbcError::kSuccess) {
        info.Add("stream", "unreadable (" + vbc::VbcErrorText(h->streamError) + ")");
    }
    return {};
}

// ------------------------------------------------------------------ the table

// In the order usage texts list the kinds.
constexpr std::array kFormats{
    FormatRow{.kind = FileKind::kSig,
              .name = sf::sig::kExtension,
              .stored = true,
              .decode = BytesOnly<sf::DecodeSig>,
              .encode = PointsOnly<sf::EncodeSig>,
              .describe = DescribeSig,
              .padCommand = PadFileCommand::kSendSig},
    FormatRow{.kind = FileKind::kCmp,
              .name = sf::cmp::kExtension,
              .stored = true,
              .decode = BytesOnly<sf::DecodeCmp>,
              .encode = PointsOnly<sf::EncodeCmp>,
              .describe = DescribeCmp,
              .padCommand = PadFileCommand::kSendCmp},
    FormatRow{.kind = FileKind::kVbc,
              .name = vbc::kExtension,
              .stored = true,
              .decode = vbc::DecodeVbc,
              .encode = EncodeVbc,
              .describe = DescribeVbc,
              .padCommand = PadFileCommand::kSendVbc},
    // The pad reads .nlc files through the .vbc command.
    FormatRow{.kind = FileKind::kNlc,
              .name = sf::nlc::kExtension,
              .stored = true,
              .decode = BytesOnly<sf::DecodeNlc>,
              .encode = PointsOnly<sf::EncodeNlc>,
              .describe = DescribeNlc,
              .padCommand = PadFileCommand::kSendVbc},
    FormatRow{.kind = FileKind::kTxt,
              .name = sf::txt::kExtension,
              .decode = BytesOnly<sf::DecodeTxt>,
              .encode = PointsOnly<sf::EncodeTxt>},
    FormatRow{.kind = FileKind::kInkml,
              .name = sf::inkml::kExtension,
              .timed = true,
              .decode = BytesOnly<sf::DecodeInkml>,
              .encode = EncodeInkml},
    FormatRow{.kind = FileKind::kSvg, .name = "svg", .rendered = true},
    FormatRow{.kind = FileKind::kPng, .name = "png", .rendered = true},
    FormatRow{.kind = FileKind::kPdf, .name = "pdf", .rendered = true},
    // The Signature page's own export of its box (sigrender/SignatureBitmap.h).
    FormatRow{.kind = FileKind::kBmp, .name = "bmp"},
};

// Every row a kind and a name of its own; every stored format understood by
// the pad. (Whether a function pointer is null is no constant expression in
// the sanitizer builds, so the codecs are not checked here.)
constexpr bool RowsAgree() {
    for (std::size_t i = 0; i < kFormats.size(); ++i) {
        for (std::size_t j = i + 1; j < kFormats.size(); ++j) {
            if (kFormats[i].kind == kFormats[j].kind || kFormats[i].name == kFormats[j].name) {
                return false;
            }
        }
        const FormatRow& row = kFormats[i];
        if (row.stored && !row.padCommand) {
            return false;
        }
    }
    return true;
}
static_assert(RowsAgree());

}  // namespace

std::span<const FormatRow> Formats() {
    return kFormats;
}

const FormatRow& FormatOf(FileKind kind) {
    const auto row = std::find_if(kFormats.begin(), kFormats.end(),
                                  [kind](const FormatRow& r) { return r.kind == kind; });
    // A kind added to FileKind without its row reads and writes nothing,
    // rather than running off the table.
    static constexpr FormatRow kNoRow{};
    return row != kFormats.end() ? *row : kNoRow;
}

}  // namespace vellumix::sigfiles
