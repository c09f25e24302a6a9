#include "padlink/CommandFailure.h"

#include <cstdio>

namespace vellumix::padlink {

namespace {

std::string WithName(const char* format, std::string_view command) {
    const std::string name(command);
    const int n = std::snprintf(nullptr, 0, format, name.c_str());
    std::string text(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    std::snprintf(text.data(), text.size() + 1, format, name.c_str());
    return text;
}

}  // namespace

bool CommandSucceeded(PadOutcome outcome, Expect expect) {
    return outcome == PadOutcome::kAcknowledged ||
           (outcome == PadOutcome::kSent && expect == Expect::kAnswer);
}

std::string CommandFailureText(PadOutcome outcome, std::string_view command, Expect expect) {
    if (CommandSucceeded(outcome, expect)) {
        return {};
    }
    switch (outcome) {
        case PadOutcome::kAcknowledged:
        case PadOutcome::kRefused:
            return {};
        case PadOutcome::kSent:
            return WithName(kNotAcknowledgedText, command);
        case PadOutcome::kNotAcknowledged:
            return WithName(kNakText, command);
        case PadOutcome::kNoAnswer:
            return WithName(kNoAnswerText, command);
        case PadOutcome::kLinkDown:
            break;
    }
    return WithName(kLinkDownText, command);
}

}  // namespace vellumix::padlink
