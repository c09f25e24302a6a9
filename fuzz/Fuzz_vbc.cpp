// The .vbc decoder on arbitrary bytes: header entries, unlocking and the
// point stream. It promises points within 0..1024; what it decodes goes back
// through the encoder.
#include "FuzzInput.h"
#include "sigformats/vbc/VbcFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vellumix::sigformats::vbc;
    const auto file = vellumix::fuzz::Input(data, size);
    (void)InspectVbc(file);
    const vellumix::sigformats::Decoded decoded = DecodeVbc(file);
    if (!decoded) {
        return 0;
    }
    vellumix::fuzz::RequireStorable(decoded.Value().points);
    const vellumix::sigformats::Encoded again = EncodeVbc(decoded.Value().points);
    if (again) {
        (void)DecodeVbc(again.Value());
    }
    return 0;
}
