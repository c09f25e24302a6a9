#include "sigformats/SignatureCodec.h"

#include "sigformats/CmpFormat.h"
#include "sigformats/NlcFormat.h"
#include "sigformats/SigFormat.h"
#include "sigformats/vbc/VbcFormat.h"

namespace vellumix::sigformats {

namespace {

// The pad's convention: nothing, whatever the reason.
Bytes BytesOrNone(Encoded encoded) {
    return encoded ? std::move(encoded).Value() : Bytes{};
}

Points PointsOrNone(Decoded decoded) {
    return decoded ? std::move(decoded).Value().points : Points{};
}

}  // namespace

Bytes SignatureCodec::EncodeSigFile(std::span<const SignaturePoint> points) const {
    return BytesOrNone(EncodeSig(points));
}

Points SignatureCodec::DecodeSigFile(std::span<const std::uint8_t> file) const {
    return PointsOrNone(DecodeSig(file));
}

Bytes SignatureCodec::EncodeVbcFile(std::span<const SignaturePoint> points) const {
    return BytesOrNone(vbc::EncodeVbc(points));
}

Points SignatureCodec::DecodeVbcFile(std::span<const std::uint8_t> file) const {
    return PointsOrNone(vbc::DecodeVbc(file));
}

Bytes SignatureCodec::EncodeNlcFile(std::span<const SignaturePoint> points) const {
    return BytesOrNone(EncodeNlc(points));
}

Points SignatureCodec::DecodeNlcFile(std::span<const std::uint8_t> file) const {
    return PointsOrNone(DecodeNlc(file));
}

Bytes SignatureCodec::EncodeCmpFile(std::span<const SignaturePoint> points) const {
    return BytesOrNone(EncodeCmp(points));
}

Points SignatureCodec::DecodeCmpFile(std::span<const std::uint8_t> file) const {
    return PointsOrNone(DecodeCmp(file));
}

}  // namespace vellumix::sigformats
