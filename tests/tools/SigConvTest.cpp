#include "sigconv/SigConv.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QImage>
#include <sstream>
#include <string>
#include <vector>

#include "sigconv/files/SignatureFiles.h"
#include "support/SignatureSynth.h"
#include "support/TempDir.h"

namespace vellumix::tools {
namespace {

using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

CliRun Sigconv(std::vector<std::string> args) {
    std::ostringstream out, err;
    CliRun r;
    r.status = RunSigConv(args, out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
}

void WriteSignature(const std::filesystem::path& path, const char* text, unsigned seed) {
    const Bytes txt = WriteTxt(testsupport::MakeSignature(text, seed));
    WriteFile(path, std::string(txt.begin(), txt.end()));
}

TEST(CommandLine, RejectsWrongArgumentsWithOneLine) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"only.sig"},
        {"a.sig", "b.sig", "c.sig"},
        {"--bogus", "a.sig", "b.sig"},
        {"--size", "0x10", "a.sig", "b.png"},
        {"--size", "320", "a.sig", "b.png"},
        {"--size", "9000x10", "a.sig", "b.png"},
        {"--info"},
        {"--info", "a.sig", "b.sig"},
    };
    for (const auto& args : cases) {
        const CliRun r = Sigconv(args);
        EXPECT_EQ(r.status, kExitUsage) << r.err;
        EXPECT_EQ(r.err.rfind("vellumix-sigconv: ", 0), 0u) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    const CliRun help = Sigconv({"--help"});
    EXPECT_EQ(help.status, kExitOk);
    EXPECT_NE(help.out.find("Usage: vellumix-sigconv"), std::string::npos);
}

TEST(CommandLine, FailedConversionLeavesTheExistingFileAlone) {
    TempDir dir;
    WriteFile(dir / "bad.txt", "1 2\nfoo\n");
    WriteFile(dir / "bad.sig", "MP garbage");
    WriteSignature(dir / "good.txt", "Ann", 1);
    WriteFile(dir / "out.sig", "precious");
    WriteFile(dir / "out.png", "precious");

    const std::vector<std::vector<std::string>> failing = {
        {(dir / "bad.txt").string(), (dir / "out.sig").string()},
        {(dir / "bad.sig").string(), (dir / "out.sig").string()},
        {(dir / "missing.sig").string(), (dir / "out.sig").string()},
        {(dir / "good.txt").string(), (dir / "out.bmp").string()},
        {(dir / "out.png").string(), (dir / "out.sig").string()},
    };
    for (const auto& args : failing) {
        const CliRun r = Sigconv(args);
        EXPECT_EQ(r.status, kExitFailed) << args[0];
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(ReadFile(dir / "out.sig"), "precious");
    }
    EXPECT_NE(Sigconv(failing[0]).err.find("line 2"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir / "out.bmp"));

    EXPECT_EQ(Sigconv({(dir / "good.txt").string(), (dir / "out.sig").string()}).status, kExitOk);
    EXPECT_EQ(ReadFile(dir / "out.sig").substr(0, 2), "MP");
}

TEST(CommandLine, InfoPrintsTheFileAndItsCounts) {
    TempDir dir;
    WriteSignature(dir / "s.txt", "Bo", 2);
    ASSERT_EQ(Sigconv({(dir / "s.txt").string(), (dir / "s.vbc").string()}).status, kExitOk);
    const CliRun r = Sigconv({"--info", (dir / "s.vbc").string()});
    EXPECT_EQ(r.status, kExitOk) << r.err;
    for (const char* line : {"file: ", "format: vbc", "version: VBC1.2", "strokes: ", "points: "}) {
        EXPECT_NE(r.out.find(line), std::string::npos) << line;
    }
    WriteFile(dir / "junk.nlc", "NC");
    const CliRun bad = Sigconv({"--info", (dir / "junk.nlc").string()});
    EXPECT_EQ(bad.status, kExitFailed);
    EXPECT_NE(bad.err.find("junk.nlc"), std::string::npos);
}

TEST(Png, HasTheAskedSizeAndInkWhereTheMappingSays) {
    TempDir dir;
    WriteFile(dir / "dots.txt", "512 512\n-1 -1\n1023 0\n-1 -1\n");
    ASSERT_EQ(Sigconv({(dir / "dots.txt").string(), (dir / "d.png").string()}).status, kExitOk);
    ASSERT_EQ(Sigconv({"--size", "640x100", (dir / "dots.txt").string(), (dir / "w.png").string()})
                  .status,
              kExitOk);

    const QImage small((dir / "d.png").c_str());
    ASSERT_EQ(small.size(), QSize(320, 240));
    EXPECT_EQ(small.pixelColor(160, 120), QColor(Qt::black));
    EXPECT_EQ(small.pixelColor(319, 0), QColor(Qt::black));
    EXPECT_EQ(small.pixelColor(161, 120), QColor(Qt::white));

    const QImage wide((dir / "w.png").c_str());
    ASSERT_EQ(wide.size(), QSize(640, 100));
    EXPECT_EQ(wide.pixelColor(320, 50), QColor(Qt::black));
    EXPECT_EQ(wide.pixelColor(639, 0), QColor(Qt::black));
    int inked = 0;
    for (int y = 0; y < wide.height(); ++y) {
        for (int x = 0; x < wide.width(); ++x) {
            inked += wide.pixelColor(x, y) == QColor(Qt::black) ? 1 : 0;
        }
    }
    EXPECT_EQ(inked, 2);
}

// The real program, as a user runs it: text to every stored format and back.
TEST(Program, ConvertsThroughEveryFormatAndFailsLoudly) {
    TempDir dir;
    WriteSignature(dir / "in.txt", "Vellumix", 5);
    auto run = [&](const std::string& args) {
        const std::string cmd =
            std::string(VELLUMIX_SIGCONV_PROGRAM) + " " + args + " 2>" + (dir / "err").string();
        const int raw = std::system(cmd.c_str());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    };
    std::string previous = (dir / "in.txt").string();
    for (const char* ext : {".sig", ".cmp", ".vbc", ".nlc", ".svg"}) {
        const std::string next = (dir / (std::string("step") + ext)).string();
        ASSERT_EQ(run(previous + " " + next), 0) << ext << ": " << ReadFile(dir / "err");
        if (std::string_view(ext) != ".svg") {
            previous = next;
        }
    }
    EXPECT_NE(ReadFile(dir / "step.svg").find("<path d=\"M"), std::string::npos);
    ASSERT_EQ(run(previous + " " + (dir / "back.txt").string()), 0);
    const std::string back = ReadFile(dir / "back.txt");
    EXPECT_GT(std::count(back.begin(), back.end(), '\n'), 100);

    WriteFile(dir / "broken.vbc", "VBC9.9");
    EXPECT_EQ(run((dir / "broken.vbc").string() + " " + (dir / "x.sig").string()), kExitFailed);
    EXPECT_NE(ReadFile(dir / "err").find("broken.vbc"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir / "x.sig"));
}

}  // namespace
}  // namespace vellumix::tools
