// The .sig decoder on arbitrary bytes; what it decodes goes back through the
// encoder and the decoder, so the encoder meets odd point lists too.
#include "FuzzInput.h"
#include "sigformats/SigFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vellumix::sigformats;
    const auto file = vellumix::fuzz::Input(data, size);
    const auto header = InspectSig(file);
    const Decoded decoded = DecodeSig(file);
    if (!decoded) {
        return 0;
    }
    if (!header) {
        __builtin_trap();  // the header reader refused a file the decoder read
    }
    const Encoded again = EncodeSig(decoded.Value().points);
    if (again) {
        (void)DecodeSig(again.Value());
    }
    return 0;
}
