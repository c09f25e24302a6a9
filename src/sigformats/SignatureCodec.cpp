#include "sigformats/SignatureCodec.h"

#include "sigformats/CmpFormat.h"
#include "sigformats/NlcFormat.h"
#include "sigformats/SigFormat.h"
#include "sigformats/vbc/VbcFormat.h"

namespace vellumix::sigformats {

Bytes SignatureCodec::EncodeSigFile(std::span<const SignaturePoint> points) const {
    return EncodeSig(points);
}

Points SignatureCodec::DecodeSigFile(std::span<const std::uint8_t> file) const {
    return DecodeSig(file);
}

Bytes SignatureCodec::EncodeVbcFile(std::span<const SignaturePoint> points) const {
    return vbc::EncodeVbc(points).bytes;
}

Points SignatureCodec::DecodeVbcFile(std::span<const std::uint8_t> file) const {
    return vbc::DecodeVbc(file).points;
}

Bytes SignatureCodec::EncodeNlcFile(std::span<const SignaturePoint> points) const {
    return EncodeNlc(points);
}

Points SignatureCodec::DecodeNlcFile(std::span<const std::uint8_t> file) const {
    return DecodeNlc(file);
}

Bytes SignatureCodec::EncodeCmpFile(std::span<const SignaturePoint> points) const {
    return EncodeCmp(points);
}

Points SignatureCodec::DecodeCmpFile(std::span<const std::uint8_t> file) const {
    return DecodeCmp(file);
}

}  // namespace vellumix::sigformats
