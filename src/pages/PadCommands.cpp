#include "pages/PadCommands.h"

#include <QStringList>
#include <array>
#include <utility>

#include "padlink/PadCommandChannel.h"
#include "res/Strings.h"

namespace vellumix::pages {

namespace {

using padlink::CommandResult;
using padlink::PadOutcome;

// The kinds of problem, in the order the status text names them, each with
// its sentence.
enum class ProblemKind { kRefused, kNotAnswered, kNotConnected };
constexpr std::array<std::pair<ProblemKind, QLatin1StringView>, 3> kProblemTexts{{
    {ProblemKind::kRefused, res::kPadRefused},
    {ProblemKind::kNotAnswered, res::kPadDidNotAnswer},
    {ProblemKind::kNotConnected, res::kPadNotConnected},
}};

ProblemKind KindOf(PadOutcome outcome) {
    switch (outcome) {
        case PadOutcome::kNotAcknowledged:
            return ProblemKind::kRefused;
        case PadOutcome::kLinkDown:
            return ProblemKind::kNotConnected;
        case PadOutcome::kAcknowledged:
        case PadOutcome::kNoAnswer:
        case PadOutcome::kSent:
        case PadOutcome::kRefused:
            break;
    }
    return ProblemKind::kNotAnswered;
}

}  // namespace

bool IsProblem(const CommandResult& result) {
    switch (result.outcome) {
        case PadOutcome::kNotAcknowledged:
        case PadOutcome::kNoAnswer:
        case PadOutcome::kLinkDown:
            return true;
        case PadOutcome::kSent:
            // Neither ACK nor NAK: fine for a command whose answer is not
            // looked at, no acknowledgement for one that wanted it.
            return !result.ok;
        case PadOutcome::kAcknowledged:
        case PadOutcome::kRefused:
            break;
    }
    return false;
}

QString DescribeProblems(std::span<const PadProblem> problems) {
    QStringList sentences;
    for (const auto& [kind, text] : kProblemTexts) {
        QStringList commands;
        for (const PadProblem& p : problems) {
            const QString name(p.command);
            if (KindOf(p.outcome) == kind && !commands.contains(name)) {
                commands << name;
            }
        }
        if (!commands.isEmpty()) {
            sentences << QString(text).arg(commands.join(res::kCommandListSeparator));
        }
    }
    return sentences.join(res::kSentenceSeparator);
}

PadCommands::PadCommands(padlink::PadCommandChannel& channel, ProblemSink sink)
    : m_channel(channel), m_sink(std::move(sink)) {}

CommandResult PadCommands::Said(QLatin1StringView command, CommandResult result) {
    if (IsProblem(result) && m_sink) {
        m_sink(PadProblem{command, result.outcome});
    }
    return result;
}

CommandResult PadCommands::FillRectangle(int x, int y, int width, int height) {
    return Said(res::kCmdFillRectangle, m_channel.FillRectangle(x, y, width, height));
}

CommandResult PadCommands::DrawFrame(int x, int y, int width, int height) {
    return Said(res::kCmdDrawFrame, m_channel.DrawFrame(x, y, width, height));
}

CommandResult PadCommands::DrawLine(int x1, int y1, int x2, int y2) {
    return Said(res::kCmdDrawLine, m_channel.DrawLine(x1, y1, x2, y2));
}

CommandResult PadCommands::DrawCharacter(int x, int y, char ch) {
    return Said(res::kCmdDrawCharacter, m_channel.DrawCharacter(x, y, ch));
}

CommandResult PadCommands::SetFillColor(padlink::ColorRef color) {
    return Said(res::kCmdSetFillColor, m_channel.SetFillColor(color));
}

CommandResult PadCommands::SetTextColor(padlink::ColorRef color) {
    return Said(res::kCmdSetTextColor, m_channel.SetTextColor(color));
}

CommandResult PadCommands::SetLineColor(padlink::ColorRef color) {
    return Said(res::kCmdSetLineColor, m_channel.SetLineColor(color));
}

CommandResult PadCommands::SetFont(int b1, int b2, int b3, int b4, int b5, int b6) {
    return Said(res::kCmdSetFont, m_channel.SetFont(b1, b2, b3, b4, b5, b6));
}

CommandResult PadCommands::SetTextMode(int mode) {
    return Said(res::kCmdSetTextMode, m_channel.SetTextMode(mode));
}

CommandResult PadCommands::DisplayImage(std::span<const std::uint8_t> pixels) {
    return Said(res::kCmdDisplayImage, m_channel.DisplayImage(pixels));
}

CommandResult PadCommands::StartCalibration() {
    return Said(res::kCmdStartCalibration, m_channel.StartCalibration());
}

CommandResult PadCommands::SetCaptureArea(int x1, int y1, int x2, int y2, int b1, int b2, int b3,
                                          int b4) {
    return Said(res::kCmdSetCaptureArea, m_channel.SetCaptureArea(x1, y1, x2, y2, b1, b2, b3, b4));
}

CommandResult PadCommands::StartCapture() {
    return Said(res::kCmdStartCapture, m_channel.StartCapture());
}

CommandResult PadCommands::ResumeCapture() {
    return Said(res::kCmdResumeCapture, m_channel.ResumeCapture());
}

CommandResult PadCommands::SuspendCapture() {
    return Said(res::kCmdSuspendCapture, m_channel.SuspendCapture());
}

CommandResult PadCommands::ClearDisplay() {
    return Said(res::kCmdClearDisplay, m_channel.ClearDisplay());
}

CommandResult PadCommands::StopCapture() {
    return Said(res::kCmdStopCapture, m_channel.StopCapture());
}

CommandResult PadCommands::SetLedFlags(bool f1, bool f2, bool f3, bool f4, bool f5, bool f6) {
    return Said(res::kCmdSetLedFlags, m_channel.SetLedFlags(f1, f2, f3, f4, f5, f6));
}

CommandResult PadCommands::SetLedState(bool on) {
    return Said(res::kCmdSetLedState, m_channel.SetLedState(on));
}

sigfiles::PadFileSend PadCommands::SendFile(sigfiles::FileKind kind,
                                            std::span<const std::uint8_t> file) {
    const sigfiles::PadFileSend sent = sigfiles::SendToPad(m_channel, kind, file);
    if (sent.check == sigfiles::PadFileCheck::kSendable) {
        switch (*sigfiles::PadCommandFor(kind)) {
            case sigfiles::PadFileCommand::kSendSig:
                Said(res::kCmdSendSigFile, sent.answer);
                break;
            case sigfiles::PadFileCommand::kSendCmp:
                Said(res::kCmdSendCmpFile, sent.answer);
                break;
            case sigfiles::PadFileCommand::kSendVbc:
                Said(res::kCmdSendVbcFile, sent.answer);
                break;
        }
    }
    return sent;
}

}  // namespace vellumix::pages
