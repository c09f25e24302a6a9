#include "sigformats/SigFormat.h"

#include <algorithm>

#include "sigformats/LittleEndian.h"

namespace vellumix::sigformats {

namespace {

// Coordinates are 0..1024 in stored data; anything larger would lose its
// high bits in the 16-bit field or collide with the pen-up marker.
bool FitsField(SignaturePoint p) {
    return p.x <= kStoredUnitMax && p.y <= kStoredUnitMax;
}

}  // namespace

Encoded EncodeSig(std::span<const SignaturePoint> points) {
    // Above 16,383 points the 16-bit data length would wrap and the file
    // would no longer describe its own size.
    if (points.size() > sig::kMaxPoints) {
        return CannotStore(sig::kExtension);
    }
    std::vector<std::uint8_t> out(sig::kHeaderLength + sig::kPointBytes * points.size());
    std::span<std::uint8_t> bytes(out);
    std::copy(sig::kMagic.begin(), sig::kMagic.end(), out.begin());
    WriteLe16(bytes, sig::kOffsetHeaderLength, static_cast<std::uint16_t>(sig::kHeaderLength));
    WriteLe16(bytes, sig::kOffsetDataLength,
              static_cast<std::uint16_t>(sig::kPointBytes * points.size()));
    out[sig::kOffsetVersion] = sig::kRecordVersion;
    WriteLe16(bytes, sig::kOffsetXRange, sig::kRange);
    WriteLe16(bytes, sig::kOffsetYRange, sig::kRange);
    WriteLe16(bytes, sig::kOffsetParamA, sig::kDeviceParamA);
    WriteLe16(bytes, sig::kOffsetParamB, sig::kDeviceParamB);

    std::size_t offset = sig::kHeaderLength;
    for (const SignaturePoint& p : points) {
        if (p.x < 0 || p.y < 0) {
            WriteLe16(bytes, offset, sig::kPenUpMarker);
            WriteLe16(bytes, offset + 2, sig::kPenUpMarker);
        } else if (FitsField(p)) {
            WriteLe16(bytes, offset, static_cast<std::uint16_t>(p.x));
            WriteLe16(bytes, offset + 2, static_cast<std::uint16_t>(p.y));
        } else {
            return CannotStore(sig::kExtension);
        }
        offset += sig::kPointBytes;
    }
    return out;
}

std::optional<SigHeaderInfo> InspectSig(std::span<const std::uint8_t> file) {
    if (file.size() < sig::kHeaderLength) {
        return std::nullopt;
    }
    SigHeaderInfo info;
    info.magicOk = std::equal(sig::kMagic.begin(), sig::kMagic.end(), file.begin());
    info.headerLength = ReadLe16(file, sig::kOffsetHeaderLength);
    info.dataLength = ReadLe16(file, sig::kOffsetDataLength);
    info.version = file[sig::kOffsetVersion];
    info.xRange = ReadLe16(file, sig::kOffsetXRange);
    info.yRange = ReadLe16(file, sig::kOffsetYRange);
    info.deviceParamA = ReadLe16(file, sig::kOffsetParamA);
    info.deviceParamB = ReadLe16(file, sig::kOffsetParamB);
    // A header length below 16 would place records over the header fields.
    if (info.headerLength < sig::kHeaderLength) {
        return std::nullopt;
    }
    if (file.size() != std::size_t{info.headerLength} + info.dataLength ||
        info.dataLength % sig::kPointBytes != 0) {
        return std::nullopt;
    }
    // The decoder divides by the ranges.
    if (info.xRange == 0 || info.yRange == 0) {
        return std::nullopt;
    }
    info.pointCount = info.dataLength / sig::kPointBytes;
    return info;
}

Decoded DecodeSig(std::span<const std::uint8_t> file) {
    const std::optional<SigHeaderInfo> info = InspectSig(file);
    if (!info) {
        return NotValidFile(sig::kExtension);
    }
    if (info->pointCount == 0) {
        return NoPointsIn(sig::kExtension);
    }
    // Ranges of 1024, the usual case, map one to one: no division per point.
    const auto scale = [](std::uint16_t v, std::uint16_t range) {
        return static_cast<std::int32_t>(range == sig::kRange ? v : v * sig::kRange / range);
    };
    std::vector<SignaturePoint> points;
    points.reserve(info->pointCount);
    for (std::size_t offset = info->headerLength; offset < file.size();
         offset += sig::kPointBytes) {
        const std::uint16_t x = ReadLe16(file, offset);
        const std::uint16_t y = ReadLe16(file, offset + 2);
        if (x == sig::kPenUpMarker && y == sig::kPenUpMarker) {
            points.push_back(PEN_UP_POINT);
        } else {
            points.push_back({scale(x, info->xRange), scale(y, info->yRange)});
        }
    }
    return DecodedPoints(std::move(points));
}

}  // namespace vellumix::sigformats
