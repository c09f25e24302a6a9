// The .nlc decoder on arbitrary bytes; what it decodes goes back through the
// encoder and the decoder, so the encoder meets odd point lists too.
#include "FuzzInput.h"
#include "sigformats/NlcFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vellumix::sigformats;
    const auto file = vellumix::fuzz::Input(data, size);
    const auto header = InspectNlc(file);
    const Decoded decoded = DecodeNlc(file);
    if (!decoded) {
        return 0;
    }
    if (!header) {
        __builtin_trap();  // the header reader refused a file the decoder read
    }
    const Encoded again = EncodeNlc(decoded.Value().points);
    if (again) {
        (void)DecodeNlc(again.Value());
    }
    return 0;
}
