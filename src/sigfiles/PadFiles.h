// Which stored files the pad draws itself, by which command, and how large
// they may be: the Image page, the Signature page and padctl send them alike.
//
// Thread safety: SendToPad uses the channel from the caller's thread, as the
// channel allows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "sigfiles/FileKind.h"

namespace vellumix::padlink {
class PadCommandChannel;
}

namespace vellumix::sigfiles {

enum class PadFileCommand { kSendSig, kSendCmp, kSendVbc };

// .sig, .cmp and .vbc have a command each; the pad reads .nlc files through
// the .vbc one. Nothing for the other kinds.
std::optional<PadFileCommand> PadCommandFor(FileKind kind);

enum class PadFileCheck {
    kSendable,
    kNoCommand,  // the pad has no command for this kind
    kTooLarge,   // over the pad's file buffer (padlink::kMaxFileBytes)
};

PadFileCheck CheckForPad(FileKind kind, std::size_t fileBytes);

// Sends the file unchanged with its kind's command when CheckForPad allows,
// and returns that check. The pad's answer is not looked at: it draws what
// it can read, and a pad that is not there draws nothing either way.
PadFileCheck SendToPad(padlink::PadCommandChannel& channel, FileKind kind,
                       std::span<const std::uint8_t> file);

}  // namespace vellumix::sigfiles
