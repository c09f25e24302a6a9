#include "sigfiles/PadFiles.h"

#include "padlink/PadCommandChannel.h"
#include "padlink/PadProtocol.h"

namespace vellumix::sigfiles {

std::optional<PadFileCommand> PadCommandFor(FileKind kind) {
    switch (kind) {
        case FileKind::kSig:
            return PadFileCommand::kSendSig;
        case FileKind::kCmp:
            return PadFileCommand::kSendCmp;
        case FileKind::kVbc:
        case FileKind::kNlc:
            return PadFileCommand::kSendVbc;
        case FileKind::kTxt:
        case FileKind::kInkml:
        case FileKind::kSvg:
        case FileKind::kPng:
        case FileKind::kPdf:
        case FileKind::kBmp:
            break;
    }
    return std::nullopt;
}

PadFileCheck CheckForPad(FileKind kind, std::size_t fileBytes) {
    if (!PadCommandFor(kind)) {
        return PadFileCheck::kNoCommand;
    }
    // The channel refuses a larger file without a word; callers say why.
    return fileBytes > padlink::kMaxFileBytes ? PadFileCheck::kTooLarge : PadFileCheck::kSendable;
}

PadFileCheck SendToPad(padlink::PadCommandChannel& channel, FileKind kind,
                       std::span<const std::uint8_t> file) {
    const PadFileCheck check = CheckForPad(kind, file.size());
    if (check != PadFileCheck::kSendable) {
        return check;
    }
    switch (*PadCommandFor(kind)) {
        case PadFileCommand::kSendSig:
            channel.SendSigFile(file);
            break;
        case PadFileCommand::kSendCmp:
            channel.SendCmpFile(file);
            break;
        case PadFileCommand::kSendVbc:
            channel.SendVbcFile(file);
            break;
    }
    return check;
}

}  // namespace vellumix::sigfiles
