// The two programs as a user runs them: vellumix-virtual-pad publishes its
// port in a temporary runtime folder, vellumix-padctl finds it there, draws
// and captures the replayed signature; SIGTERM removes the link and leaves
// the trace and the screenshot. A usage error of the pad's is the
// programs' command-line test's (exit 2, one line).
#include <gtest/gtest.h>

#include <signal.h>

#include <QApplication>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "PadWindow.h"
#include "TraceWriter.h"
#include "VirtualPad.h"
#include "sigfiles/FileAccess.h"
#include "sigfiles/SignatureFiles.h"
#include "support/PointStreamDiff.h"
#include "support/SignatureSynth.h"

namespace vellumix::padsim {
namespace {

namespace fs = std::filesystem;
constexpr int kStartMs = 5000;
constexpr int kRunMs = 10000;

TEST(TraceLinesTest, AnswerLineFollowsFromTheEngineNote) {
    struct Case {
        const char* record;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"Probe", {"     1.500 < Probe", "     1.500 > ACK"}},
        {"DrawFrame x=1 y=1 x2=2 y2=2 -> NAK (injected)",
         {"     1.500 < DrawFrame x=1 y=1 x2=2 y2=2 -> NAK (injected)", "     1.500 > NAK"}},
        {"DrawLine x=0 y=0 x2=1 y2=1 -> no answer (injected)",
         {"     1.500 < DrawLine x=0 y=0 x2=1 y2=1 -> no answer (injected)"}},
        {"Refused (unknown class, 3 bytes)",
         {"     1.500 < Refused (unknown class, 3 bytes)", "     1.500 > NAK"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(app::TraceLines(c.record, 1.5), c.lines) << c.record;
    }
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// vellumix-virtual-pad started with its runtime folder in a temporary
// folder, and vellumix-padctl run beside it with the same environment.
class PadProgram {
public:
    explicit PadProgram(QStringList args) {
        m_env.insert("XDG_RUNTIME_DIR", m_dir.path());
        pad.setProcessEnvironment(m_env);
        args.prepend("--headless");
        pad.start(VELLUMIX_VIRTUAL_PAD_PROGRAM, args);
    }
    ~PadProgram() {
        pad.terminate();  // SIGTERM
        pad.waitForFinished(kRunMs);
    }
    // The pad's first line, once it has published its port.
    QString Started() {
        EXPECT_TRUE(pad.waitForReadyRead(kStartMs)) << pad.readAllStandardError().toStdString();
        return QString::fromUtf8(pad.readLine()).trimmed();
    }
    fs::path Root() const { return m_dir.path().toStdString(); }

    struct Run {
        int status = -1;
        std::string out;
        std::string err;
    };
    Run Ctl(const QStringList& args) {
        QProcess ctl;
        ctl.setProcessEnvironment(m_env);
        ctl.start(VELLUMIX_PADCTL_PROGRAM, args);
        EXPECT_TRUE(ctl.waitForFinished(kRunMs));
        return {ctl.exitCode(), ctl.readAllStandardOutput().toStdString(),
                ctl.readAllStandardError().toStdString()};
    }

    QProcess pad;

private:
    QTemporaryDir m_dir;
    QProcessEnvironment m_env = QProcessEnvironment::systemEnvironment();
};

// The pen file's replay held until SIGUSR1 (--pen-on-signal): a capture
// before it gets not a point, the one after it the whole signature.
TEST(VirtualPadProgramTest, PadctlDrawsAndCapturesThroughThePublishedPort) {
    const auto points = testsupport::MakeSignature("Eve", 11, 100);
    const auto txt = sigfiles::WriteTxt(points);
    QTemporaryDir files;
    const fs::path root = files.path().toStdString();
    ASSERT_TRUE(sigfiles::WriteFileReplacing(root / "pen.txt", txt).error.empty());
    PadProgram program({"--com", "5", "--pen-on-signal", "--pen",
                        QString::fromStdString((root / "pen.txt").string()), "--pen-rate", "2000",
                        "--trace", QString::fromStdString((root / "trace.txt").string()),
                        "--screenshot", QString::fromStdString((root / "shot.png").string())});
    const QString published = program.Started();
    EXPECT_TRUE(published.startsWith("Virtual pad on COM5 (")) << published.toStdString();
    const fs::path link = program.Root() / "vellumix" / "ports" / "COM5";
    EXPECT_TRUE(fs::is_symlink(link));

    const auto held = program.Ctl({"--port", "COM5", "probe", "colour", "fill", "lime", "fill", "0",
                                   "0", "20", "20", "capture", "--seconds", "1"});
    EXPECT_EQ(held.status, 0) << held.err;
    EXPECT_EQ(held.out, "Pad found on COM5\n");
    ::kill(static_cast<pid_t>(program.pad.processId()), SIGUSR1);
    const auto captured = program.Ctl({"--port", "COM5", "capture", "--seconds", "1"});
    EXPECT_EQ(captured.status, 0) << captured.err;
    EXPECT_EQ(captured.out, std::string(txt.begin(), txt.end()));

    // No pad on another number: a clear message, why, and its own status.
    const auto none = program.Ctl({"--port", "COM6", "probe"});
    EXPECT_EQ(none.status, 3);
    EXPECT_EQ(none.err, "vellumix-padctl: no pad answered on COM6: no such port\n");

    program.pad.terminate();  // SIGTERM
    ASSERT_TRUE(program.pad.waitForFinished(kRunMs));
    EXPECT_EQ(program.pad.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.pad.exitCode(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));

    const QImage shot(QString::fromStdString((root / "shot.png").string()));
    ASSERT_EQ(shot.size(), QSize(320, 240));
    EXPECT_EQ(shot.pixelColor(10, 10), QColor(0, 255, 0));
    const std::string trace = ReadAll(root / "trace.txt");
    EXPECT_NE(trace.find("< FillRectangle x=0 y=0 x2=20 y2=20\n"), std::string::npos) << trace;
    EXPECT_NE(trace.find("< StopCapture\n"), std::string::npos) << trace;
}

// The fault options: answer delays for all commands and for named ones
// (which win), a line slower than 38400 baud, which implies pacing, and
// line noise.
TEST(VirtualPadOptionsTest, FaultOptionsParseOrAreRefusedWithAReason) {
    using std::chrono::milliseconds;
    const auto parse = [](QStringList args, QString* error) {
        args.prepend("vellumix-virtual-pad");
        return app::ParseVirtualPadOptions(args, error);
    };
    QString error;
    const auto slow = parse(
        {"--answer-delay", "600,DrawLine=0", "--answer-delay", "SetFont=700", "--line-slower", "3"},
        &error);
    ASSERT_TRUE(slow) << error.toStdString();
    EXPECT_EQ(slow->answerDelay, milliseconds(600));
    const std::vector<std::pair<std::string, milliseconds>> named = {
        {"DrawLine", milliseconds(0)}, {"SetFont", milliseconds(700)}};
    EXPECT_EQ(slow->answerDelays, named);
    EXPECT_EQ(app::PaceBytesPerSecond(*slow), 3724);  // 3% below 3,840 bytes/s
    EXPECT_EQ(app::PaceBytesPerSecond(*parse({"--line-rate"}, &error)),
              hosts::kLineRateBytesPerSecond);
    EXPECT_EQ(app::PaceBytesPerSecond(*parse({}, &error)), 0);

    const struct {
        QStringList args;
        const char* says;
    } refused[] = {
        {{"--answer-delay", "soon"}, "--answer-delay takes"},
        {{"--answer-delay", "DrawLine=-1"}, "--answer-delay takes"},
        {{"--answer-delay", "DrawLine=60001"}, "--answer-delay takes"},
        {{"--answer-delay", "Dance=600"}, "unknown command 'Dance'"},
        {{"--line-slower", "0"}, "--line-slower takes"},
        {{"--line-slower", "100"}, "--line-slower takes"},
        {{"--noise", "50"}, "--noise takes EVERY:LEN[:SEED]"},
        {{"--noise", "0:200"}, "--noise takes EVERY:LEN[:SEED]"},
        {{"--noise", "50:200:x"}, "--noise takes EVERY:LEN[:SEED]"},
        {{"--nak", "DrawFrame,Dance"}, "unknown command 'Dance'"},
    };
    for (const auto& c : refused) {
        error.clear();
        EXPECT_FALSE(parse(c.args, &error)) << c.args.join(' ').toStdString();
        EXPECT_TRUE(error.contains(c.says)) << error.toStdString();
    }
}

// 200 random bytes after every 50th pen report on the line (--noise; seed 2
// put 5 spikes into this capture before): not one point is invented, and
// at least 99% of the written ones arrive.
TEST(VirtualPadProgramTest, LineNoiseBecomesNoInk) {
    const auto points = testsupport::MakeSignature("Jo Ames", 5, 517);
    QTemporaryDir files;
    const fs::path pen = fs::path(files.path().toStdString()) / "pen.txt";
    ASSERT_TRUE(sigfiles::WriteFileReplacing(pen, sigfiles::WriteTxt(points)).error.empty());
    PadProgram program({"--com", "5", "--noise", "50:200:2", "--pen-rate", "4000", "--pen",
                        QString::fromStdString(pen.string())});
    program.Started();
    const auto r = program.Ctl({"--port", "COM5", "capture", "--seconds", "1"});
    EXPECT_EQ(r.status, 0) << r.err;
    const auto got = sigfiles::ParseTxt(r.out);
    ASSERT_TRUE(got.error.empty()) << got.error;
    const auto diff = testsupport::DiffPointStreams(points, got.points);
    EXPECT_EQ(diff.invented, 0u);
    EXPECT_GE(diff.kept * 100, points.size() * 99) << diff.kept << " of " << points.size();
}

// Started from the menu, the pad takes the first free number; its window
// is where the user learns which.
TEST(PadWindowTest, TitleNamesThePortThePadTook) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    qputenv("XDG_RUNTIME_DIR", dir.path().toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "padsim_e2e_tests";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    app::VirtualPad first{app::VirtualPadOptions{}};
    app::VirtualPad second{app::VirtualPadOptions{}};
    QString error;
    ASSERT_TRUE(first.Start(&error)) << error.toStdString();
    ASSERT_TRUE(second.Start(&error)) << error.toStdString();
    const app::PadWindow window(second);
    EXPECT_EQ(window.windowTitle().toStdString(), "Vellumix Virtual Pad - COM2");
}

// QImage::save emptied an existing file before finding it could not write
// the format the name asks for; the screenshot now replaces it only whole.
TEST(VirtualPadTest, AFailedScreenshotLeavesTheFileThereAlone) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const fs::path shot = fs::path(dir.path().toStdString()) / "shot.xyz";
    std::ofstream(shot) << "old";
    app::VirtualPadOptions options;
    options.screenshotFile = shot;
    app::VirtualPad pad{options};
    QString error;
    EXPECT_FALSE(pad.Shutdown({}, &error));
    EXPECT_EQ(error.toStdString(), "cannot save the screenshot " + shot.string());
    EXPECT_EQ(ReadAll(shot), "old");
}

}  // namespace
}  // namespace vellumix::padsim
