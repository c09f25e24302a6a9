// The pad commands of the pages, as the command channel has them, with one
// addition: a command the pad refused (NAK) or did not answer, or that could
// not reach it because the link was down, is told to a sink with its name,
// so the status bar can say so. Results and the pages' flow are untouched:
// the pages still look only at the answers they always looked at.
//
// Thread safety: as the channel's, from one thread at a time (the GUI
// thread, or the worker of PadActivity while the GUI thread sends nothing).
// The sink runs on the calling thread.
#pragma once

#include <QLatin1StringView>
#include <QString>
#include <cstdint>
#include <functional>
#include <span>

#include "padlink/CommandPayloads.h"
#include "padlink/LinkResult.h"
#include "sigfiles/FileKind.h"
#include "sigfiles/PadFiles.h"

namespace vellumix::padlink {
class PadCommandChannel;
}

namespace vellumix::pages {

// A command that went wrong, named as the status bar names it.
struct PadProblem {
    QLatin1StringView command;
    padlink::PadOutcome outcome = padlink::PadOutcome::kLinkDown;
    friend bool operator==(const PadProblem&, const PadProblem&) = default;
};

// True when the result is one the user is told about: a NAK, no answer (or
// an answer that was neither ACK nor NAK to a command that wanted an ACK),
// or the link down. A range check the channel refused sends nothing and is
// part of the patterns' flow, so it is not a problem.
bool IsProblem(const padlink::CommandResult& result);

// The status text for the problems of one action, in the order they came,
// each command once per kind: "The pad refused FillRectangle, DrawLine. The
// pad did not answer SetFont". Empty for none.
QString DescribeProblems(std::span<const PadProblem> problems);

class PadCommands {
public:
    using ProblemSink = std::function<void(const PadProblem&)>;

    // The channel must outlive this.
    PadCommands(padlink::PadCommandChannel& channel, ProblemSink sink);

    padlink::CommandResult FillRectangle(int x, int y, int width, int height);
    padlink::CommandResult DrawFrame(int x, int y, int width, int height);
    padlink::CommandResult DrawLine(int x1, int y1, int x2, int y2);
    padlink::CommandResult DrawCharacter(int x, int y, char ch);
    padlink::CommandResult SetFillColor(padlink::ColorRef color);
    padlink::CommandResult SetTextColor(padlink::ColorRef color);
    padlink::CommandResult SetLineColor(padlink::ColorRef color);
    padlink::CommandResult SetFont(int b1, int b2, int b3, int b4, int b5, int b6);
    padlink::CommandResult SetTextMode(int mode);
    padlink::CommandResult DisplayImage(std::span<const std::uint8_t> pixels);
    padlink::CommandResult StartCalibration();
    padlink::CommandResult SetCaptureArea(int x1, int y1, int x2, int y2, int b1, int b2, int b3,
                                          int b4);
    padlink::CommandResult StartCapture();
    padlink::CommandResult ResumeCapture();
    padlink::CommandResult SuspendCapture();
    padlink::CommandResult ClearDisplay();
    padlink::CommandResult StopCapture();
    padlink::CommandResult SetLedFlags(bool f1, bool f2, bool f3, bool f4, bool f5, bool f6);
    padlink::CommandResult SetLedState(bool on);
    // sigfiles::SendToPad: a stored file with its kind's command.
    sigfiles::PadFileSend SendFile(sigfiles::FileKind kind, std::span<const std::uint8_t> file);

    padlink::PadCommandChannel& Channel() const { return m_channel; }

private:
    padlink::CommandResult Said(QLatin1StringView command, padlink::CommandResult result);

    padlink::PadCommandChannel& m_channel;
    ProblemSink m_sink;
};

}  // namespace vellumix::pages
