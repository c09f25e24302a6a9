// What became of a pad command, in the words padctl prints and the capture
// service puts in its errors, so both say the same for the same outcome.
// An acknowledged command (ACK in reply byte 3) fails on any other answer; a
// "sent" command fails only on a NAK, silence or a lost link.
#pragma once

#include <string>
#include <string_view>

#include "padlink/LinkResult.h"

namespace vellumix::padlink {

enum class Expect { kAck, kAnswer };

// printf-style, the command's name ("DrawText") going in.
inline constexpr const char* kNotAcknowledgedText = "the pad did not acknowledge %s";
inline constexpr const char* kNakText = "the pad did not acknowledge %s (it answered NAK)";
inline constexpr const char* kNoAnswerText = "the pad did not answer %s";
inline constexpr const char* kLinkDownText = "lost the pad while sending %s";

// True when the outcome is what the command needs.
bool CommandSucceeded(PadOutcome outcome, Expect expect);

// Why the command failed, with its name; empty when it succeeded, and for
// kRefused (nothing was sent: each caller names the argument it refused).
std::string CommandFailureText(PadOutcome outcome, std::string_view command, Expect expect);

}  // namespace vellumix::padlink
