// The .vbc decoder on arbitrary bytes: header entries, unlocking and the
// point stream. It promises points within 0..1024; what it decodes goes back
// through the encoder.
#include "FuzzInput.h"
#include "sigformats/vbc/VbcFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vellumix::sigformats::vbc;
    const auto file = vellumix::fuzz::Input(data, size);
    (void)InspectVbc(file);
    const DecodeResult decoded = DecodeVbc(file);
    vellumix::fuzz::RequireStorable(decoded.points);
    const EncodeResult again = EncodeVbc(decoded.points);
    if (!again.bytes.empty()) {
        (void)DecodeVbc(again.bytes);
    }
    return 0;
}
