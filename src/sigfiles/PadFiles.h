// Which stored files the pad draws itself and how large they may be, and
// their sending: the Image page, the Signature page and padctl send them
// alike. The command of each kind is in the format table (PadCommandFor);
// this is the part that needs the pad link (target vellumix_padfiles).
//
// Thread safety: SendToPad uses the channel from the caller's thread, as the
// channel allows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "padlink/LinkResult.h"
#include "sigfiles/FileKind.h"

namespace vellumix::padlink {
class PadCommandChannel;
}

namespace vellumix::sigfiles {

enum class PadFileCheck {
    kSendable,
    kNoCommand,  // the pad has no command for this kind
    kTooLarge,   // over the pad's file buffer (padlink::kMaxFileBytes)
};

PadFileCheck CheckForPad(FileKind kind, std::size_t fileBytes);

// What SendToPad did: the check, and the pad's answer when the file went out.
struct PadFileSend {
    PadFileCheck check = PadFileCheck::kNoCommand;
    padlink::CommandResult answer;  // kRefused unless check is kSendable
    std::string_view command;       // the command's name, for messages
};

// Sends the file unchanged with its kind's command when CheckForPad allows.
// The pages do not look at the answer (the pad draws what it can read, and a
// pad that is not there draws nothing either way); padctl reports it.
PadFileSend SendToPad(padlink::PadCommandChannel& channel, FileKind kind,
                      std::span<const std::uint8_t> file);

}  // namespace vellumix::sigfiles
