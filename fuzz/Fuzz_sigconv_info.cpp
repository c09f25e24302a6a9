// The converter's --info: the first byte picks the format, the rest is the
// file. Every header reader and the .txt parser are reached from here.
#include "FuzzInput.h"
#include "sigfiles/FileInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using vellumix::sigfiles::FileKind;
    constexpr FileKind kKinds[] = {FileKind::kSig, FileKind::kCmp, FileKind::kVbc, FileKind::kNlc,
                                   FileKind::kTxt};
    if (size == 0) {
        return 0;
    }
    const FileKind kind = kKinds[data[0] % std::size(kKinds)];
    (void)vellumix::sigfiles::DescribeFile(kind, vellumix::fuzz::Input(data + 1, size - 1));
    return 0;
}
