#include "padlink/CommandFailure.h"

#include <cstdio>

#include "cli/Printf.h"

namespace vellumix::padlink {

namespace {

std::string WithName(const char* format, std::string_view command) {
    return cli::Printf(format, std::string(command));
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
