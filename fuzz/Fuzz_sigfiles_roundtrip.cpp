// Decoding by kind as every front end does, then what the converter does
// with the result: whatever it writes must read back. The first byte picks
// the input and output kinds, the rest is the file.
#include "FuzzInput.h"
#include "sigfiles/SignatureFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using vellumix::sigfiles::FileKind;
    namespace sigfiles = vellumix::sigfiles;
    constexpr FileKind kKinds[] = {FileKind::kSig, FileKind::kCmp, FileKind::kVbc,
                                   FileKind::kNlc, FileKind::kTxt, FileKind::kInkml};
    constexpr std::size_t kCount = std::size(kKinds);
    if (size == 0) {
        return 0;
    }
    const FileKind from = kKinds[data[0] % kCount];
    const FileKind to = kKinds[(data[0] / kCount) % kCount];
    const sigfiles::DecodeResult decoded =
        sigfiles::DecodeAs(from, vellumix::fuzz::Input(data + 1, size - 1));
    if (!decoded.error.empty()) {
        return 0;
    }
    vellumix::fuzz::RequireInkOrPenUp(decoded.points);
    const sigfiles::EncodeResult written = sigfiles::EncodeAs(to, decoded.points);
    if (written.error.empty() && !sigfiles::DecodeAs(to, written.bytes).error.empty()) {
        __builtin_trap();  // the converter wrote a file it cannot read back
    }
    return 0;
}
