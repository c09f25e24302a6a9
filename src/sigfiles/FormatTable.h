// The kinds of signature file, one row each: the extension, how a file of
// the kind is decoded, encoded and described, and which command the pad
// reads it with. FileKind.h, SignatureFiles.h, FileInfo.h and PadFiles.h
// answer from here, so adding a kind is one row (FormatTable.cpp) and its
// codec (sigformats), plus its FileKind value.
//
// Thread safety: constant data.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "sigfiles/FileInfo.h"
#include "sigfiles/FileKind.h"
#include "sigformats/CodecResult.h"
#include "sigformats/InkmlFormat.h"
#include "sigformats/PointTimes.h"
#include "sigformats/SignaturePoint.h"
#include "sigformats/vbc/VbcFormat.h"

namespace vellumix::sigfiles {

// What an encoder is given besides the points; only .inkml keeps either.
struct EncodeExtras {
    std::span<const sigformats::PointTime> times;  // empty, or one per point
    sigformats::CaptureEnd end = sigformats::CaptureEnd::kComplete;
};

using Decoder = sigformats::Decoded (*)(std::span<const std::uint8_t> file,
                                        sigformats::vbc::LockedVbc locked);
using Encoder = sigformats::Encoded (*)(std::span<const sigformats::SignaturePoint> points,
                                        const EncodeExtras& extras);
// Adds the header's facts; the error when the header is not of the kind.
using Describer = std::string (*)(std::span<const std::uint8_t> file, InfoFacts& facts);

struct FormatRow {
    FileKind kind = FileKind::kSig;
    std::string_view name;         // the extension, lower case, without its dot
    bool stored = false;           // one of the pad's own formats, as the pages save them
    bool rendered = false;         // a picture the signature renderer draws
    bool timed = false;            // may carry the points' times and hover traces
    Decoder decode = nullptr;      // null: holds no points to read
    Encoder encode = nullptr;      // null: a picture, drawn by its renderer
    Describer describe = nullptr;  // null: no header facts
    std::optional<PadFileCommand> padCommand = std::nullopt;  // what the pad reads it with
};

// Every kind, in the order usage texts list them.
std::span<const FormatRow> Formats();
const FormatRow& FormatOf(FileKind kind);

}  // namespace vellumix::sigfiles
