#include "sigfiles/PadFiles.h"

#include "padlink/PadCommandChannel.h"
#include "padlink/PadProtocol.h"

namespace vellumix::sigfiles {

PadFileCheck CheckForPad(FileKind kind, std::size_t fileBytes) {
    if (!PadCommandFor(kind)) {
        return PadFileCheck::kNoCommand;
    }
    // The channel refuses a larger file without a word; callers say why.
    return fileBytes > padlink::kMaxFileBytes ? PadFileCheck::kTooLarge : PadFileCheck::kSendable;
}

PadFileSend SendToPad(padlink::PadCommandChannel& channel, FileKind kind,
                      std::span<const std::uint8_t> file) {
    PadFileSend sent{.check = CheckForPad(kind, file.size()),
                     .answer = {.outcome = padlink::PadOutcome::kRefused, .ok = false},
                     .command = {}};
    if (sent.check != PadFileCheck::kSendable) {
        return sent;
    }
    switch (*PadCommandFor(kind)) {
        case PadFileCommand::kSendSig:
            sent.answer = channel.SendSigFile(file);
            sent.command = "SendSigFile";
            break;
        case PadFileCommand::kSendCmp:
            sent.answer = channel.SendCmpFile(file);
            sent.command = "SendCmpFile";
            break;
        case PadFileCommand::kSendVbc:
            sent.answer = channel.SendVbcFile(file);
            sent.command = "SendVbcFile";
            break;
    }
    return sent;
}

}  // namespace vellumix::sigfiles
