// The command-line conventions of the programs, run as a user runs them: with
// no display at all, so anything that opened a window would fail.
#include <gtest/gtest.h>

#include <vellumix/Version.h>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <algorithm>
#include <string>

namespace vellumix::cli {
namespace {

constexpr int kRunMs = 20000;

struct ProgramRun {
    int status = -1;
    std::string out;
    std::string err;
};

ProgramRun RunWithoutDisplay(const char* program, const QStringList& args) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        env.remove(name);
    }
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, args);
    if (!process.waitForFinished(kRunMs)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    ProgramRun run;
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput().toStdString();
    run.err = process.readAllStandardError().toStdString();
    return run;
}

std::size_t Lines(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

constexpr const char* kDemo = VELLUMIX_DEMO_PROGRAM;
constexpr const char* kPad = VELLUMIX_VIRTUAL_PAD_PROGRAM;
constexpr const char* kCtl = VELLUMIX_PADCTL_PROGRAM;
constexpr const char* kConv = VELLUMIX_SIGCONV_PROGRAM;
constexpr const char* kPadd = VELLUMIX_PADD_PROGRAM;

TEST(ProgramsCommandLine, HelpAndVersionNeedNoDisplay) {
    const struct {
        const char* program;
        const char* name;
    } kPrograms[] = {{kDemo, "vellumix-demo"},
                     {kPad, "vellumix-virtual-pad"},
                     {kCtl, "vellumix-padctl"},
                     {kPadd, "vellumix-padd"}};
    for (const auto& p : kPrograms) {
        const ProgramRun version = RunWithoutDisplay(p.program, {"--version"});
        EXPECT_EQ(version.status, 0) << p.name << version.err;
        EXPECT_EQ(version.out, std::string(p.name) + " " + VELLUMIX_VERSION + "\n");

        const ProgramRun help = RunWithoutDisplay(p.program, {"--help"});
        EXPECT_EQ(help.status, 0) << p.name << help.err;
        EXPECT_NE(help.out.find("Usage: "), std::string::npos) << p.name;
        EXPECT_NE(help.out.find("--version"), std::string::npos) << p.name;
        EXPECT_EQ(help.err, "") << p.name;
    }
}

TEST(ProgramsCommandLine, AMistakeIsOneLineWithTheWordMeant) {
    const struct {
        const char* program;
        QStringList args;
        const char* line;
    } kCases[] = {
        {kDemo,
         {"--verison"},
         "vellumix-demo: unknown option '--verison' (did you mean '--version'?); see --help\n"},
        {kDemo,
         {"signature.sig"},
         "vellumix-demo: unexpected argument 'signature.sig'; see --help\n"},
        {kDemo, {"-style"}, "vellumix-demo: -style needs a value; see --help\n"},
        {kPad,
         {"--headles"},
         "vellumix-virtual-pad: unknown option '--headles' (did you mean '--headless'?); see "
         "--help\n"},
        {kPad,
         {"--headless", "--com", "12"},
         "vellumix-virtual-pad: --com takes 1 to 9; see --help\n"},
        {kCtl,
         {"prob"},
         "vellumix-padctl: unknown command 'prob' (did you mean 'probe'?); see --help\n"},
        {kCtl,
         {"--prot", "COM1", "probe"},
         "vellumix-padctl: unknown option '--prot' (did you mean '--port'?); see --help\n"},
        {kCtl, {"fill", "0", "0"}, "vellumix-padctl: fill needs 4 argument(s); see --help\n"},
        // An output the converter cannot write (by --to as well: SigConvTest's
        // RejectsWrongArgumentsWithOneLine).
        {kConv,
         {"in.txt", "out.jpg"},
         "vellumix-sigconv: out.jpg: unknown output extension (use .sig .cmp .vbc .nlc .txt "
         ".inkml .svg .png .pdf or --to); see --help\n"},
        {kPadd,
         {"--idle-exti", "5"},
         "vellumix-padd: unknown option '--idle-exti' (did you mean '--idle-exit'?); see --help\n"},
        {kPadd,
         {"--idle-exit", "-5"},
         "vellumix-padd: --idle-exit takes 0 to 86400 seconds, not '-5'; see --help\n"},
        {kPadd,
         {"--usb-id", "12345:1"},
         "vellumix-padd: --usb-id: '12345:1' is not VID:PID (the vendor and product ids in hex, "
         "as lsusb shows them, such as 1209:0001); see --help\n"},
    };
    for (const auto& c : kCases) {
        const ProgramRun run = RunWithoutDisplay(c.program, c.args);
        EXPECT_EQ(run.status, 2) << c.line;
        EXPECT_EQ(run.err, c.line);
        EXPECT_EQ(Lines(run.err), 1u);
        EXPECT_EQ(run.out, "");
    }
}

TEST(ProgramsCommandLine, WithoutADisplayTheWindowedProgramsSaySo) {
    const ProgramRun pad = RunWithoutDisplay(kPad, {});
    EXPECT_EQ(pad.status, 2);
    EXPECT_NE(pad.err.find("--headless"), std::string::npos) << pad.err;
    EXPECT_EQ(pad.err.find("Reinstalling"), std::string::npos) << pad.err;

    const ProgramRun demo = RunWithoutDisplay(kDemo, {});
    EXPECT_EQ(demo.status, 2);
    EXPECT_NE(demo.err.find("no display"), std::string::npos) << demo.err;
}

}  // namespace
}  // namespace vellumix::cli
