#include "sigconv/SigConv.h"

#include <cairo.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "sigfiles/SignatureFiles.h"
#include "support/InkImage.h"
#include "support/SignatureSynth.h"
#include "support/TempDir.h"

namespace vellumix::tools {
namespace {

using sigconv::kExitFailed;
using sigconv::kExitOk;
using sigconv::kExitUsage;
using sigconv::RunSigConv;
using sigfiles::Bytes;
using sigfiles::FileKind;
using testsupport::At;
using testsupport::Image;
using testsupport::ReadFile;
using testsupport::Segment;
using testsupport::TempDir;
using testsupport::WriteFile;

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

CliRun Sigconv(std::vector<std::string> args, const std::string& input = {}) {
    std::istringstream in(input);
    std::ostringstream out, err;
    CliRun r;
    r.status = RunSigConv(args, in, out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
}

void WriteSignature(const std::filesystem::path& path, const char* text, unsigned seed) {
    const Bytes txt = sigfiles::WriteTxt(testsupport::MakeSignature(text, seed));
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
        {"--pen", "0", "a.sig", "b.png"},
        {"--pen", "nan", "a.sig", "b.pdf"},
        {"--pen", "2,5", "a.sig", "b.pdf"},
        {"--pen", "1001", "a.sig", "b.svg"},
        {"--info", "--transparent", "a.sig"},
        {"--info", "--pen", "2", "a.sig"},
        {"--from", "pdf", "a.pdf", "b.sig"},
        {"--info"},
        {"--info", "a.sig", "b.sig"},
        {"--info", "--to", "sig", "a.sig"},
        {"--json", "a.sig", "b.sig"},
        {"--from", "svg", "a.svg", "b.sig"},
        {"--to", "bmp", "a.sig", "b.bmp"},
        {"a.sig", "b.bmp"},
        {"a.sig", "b.jpg"},
        {"a.sig", "b"},
        {"--to"},
        {"-", "b.sig"},
        {"a.sig", "-"},
        {"--out-dir", "d", "a.sig"},
        {"--out-dir", "d", "--to", "sig"},
        {"--out-dir", "d", "--to", "sig", "-"},
    };
    for (const auto& args : cases) {
        const CliRun r = Sigconv(args);
        EXPECT_EQ(r.status, kExitUsage) << r.err;
        EXPECT_EQ(r.err.rfind("vellumix-sigconv: ", 0), 0u) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_NE(r.err.find("see --help"), std::string::npos) << r.err;
    }
    // A near miss names the word meant.
    EXPECT_NE(Sigconv({"--frm", "sig", "a", "b"}).err.find("(did you mean '--from'?)"),
              std::string::npos);
    EXPECT_NE(Sigconv({"--to", "cpm", "a.sig", "-"}).err.find("(did you mean 'cmp'?)"),
              std::string::npos);
    EXPECT_NE(Sigconv({"a.sig", "b.pgn"}).err.find("(did you mean 'png'?)"), std::string::npos);
    const CliRun version = Sigconv({"--version"});
    EXPECT_EQ(version.status, kExitOk);
    EXPECT_EQ(version.out.rfind("vellumix-sigconv ", 0), 0u);
    const CliRun help = Sigconv({"--help"});
    EXPECT_EQ(help.status, kExitOk);
    EXPECT_NE(help.out.find("Usage: vellumix-sigconv"), std::string::npos);
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
    for (const char* ext : {".sig", ".svg", ".cmp", ".png", ".vbc", ".pdf", ".nlc", ".inkml"}) {
        const std::string next = (dir / (std::string("step") + ext)).string();
        ASSERT_EQ(run(previous + " " + next), 0) << ext << ": " << ReadFile(dir / "err");
        if (!sigfiles::IsRenderedKind(*sigfiles::KindFromPath(next))) {
            previous = next;
        }
    }
    EXPECT_NE(ReadFile(dir / "step.svg").find("<path "), std::string::npos);
    EXPECT_EQ(ReadFile(dir / "step.pdf").substr(0, 5), "%PDF-");
    EXPECT_EQ(ReadFile(dir / "step.png").substr(1, 3), "PNG");
    ASSERT_EQ(run(previous + " " + (dir / "back.txt").string()), 0);
    const std::string back = ReadFile(dir / "back.txt");
    EXPECT_GT(std::count(back.begin(), back.end(), '\n'), 100);

    WriteFile(dir / "broken.vbc", "VBC9.9");
    EXPECT_EQ(run((dir / "broken.vbc").string() + " " + (dir / "x.sig").string()), kExitFailed);
    EXPECT_NE(ReadFile(dir / "err").find("broken.vbc"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir / "x.sig"));
}

// Files no converter should trust, and files that are simply wrong: each
// fails with one line naming the file, at once (a FIFO must not wait for a
// writer), and leaves the output file as it was. (--info's facts of a good
// file are sigfiles' Info test's.)
TEST(HostileInput, EveryKindFailsWithOneLineAndWritesNothing) {
    TempDir dir;
    WriteFile(dir / "out.txt", "precious");
    WriteFile(dir / "bad.txt", "1 2\nfoo\n");
    WriteFile(dir / "bad.sig", "MP garbage");
    WriteFile(dir / "picture.png", "a picture");
    ASSERT_EQ(::mkfifo((dir / "pipe.sig").c_str(), 0600), 0);
    std::filesystem::create_directory(dir / "folder.cmp");
    const Bytes sig = sigfiles::EncodeAs(FileKind::kSig, testsupport::MakeSignature("Al", 4)).bytes;
    WriteFile(dir / "cut.sig", std::string(sig.begin(), sig.begin() + 21));
    WriteFile(dir / "empty.nlc", "");
    // Past the load cap without writing 64 MB: a sparse file.
    { std::ofstream huge(dir / "huge.cmp"); }
    std::filesystem::resize_file(dir / "huge.cmp", sigfiles::kMaxInputBytes + 1);
    // Header fields at their extremes: ranges of 0 and 1 (every point far
    // outside), a data length
    // running far past the file, a zero divisor.
    Bytes zeroRange = sig;
    zeroRange[8] = zeroRange[9] = 0;
    Bytes wideRange = sig;
    wideRange[8] = wideRange[10] = 1;
    wideRange[9] = wideRange[11] = 0;
    Bytes nlc = sigfiles::EncodeAs(FileKind::kNlc, testsupport::MakeSignature("Al", 4)).bytes;
    nlc[2] = nlc[3] = 0xFF;
    WriteFile(dir / "zero.sig", std::string(zeroRange.begin(), zeroRange.end()));
    WriteFile(dir / "wide.sig", std::string(wideRange.begin(), wideRange.end()));
    WriteFile(dir / "long.nlc", std::string(nlc.begin(), nlc.end()));
    WriteFile(dir / "div.cmp", std::string("\x01\x00\x00\x00\x10\x20", 6));

    const struct {
        const char* name;
        const char* why;
    } cases[] = {
        {"pipe.sig", "FIFO"},           {"folder.cmp", "directory"}, {"/dev/zero", "device"},
        {"missing.vbc", "cannot open"}, {"cut.sig", "not a valid"},  {"empty.nlc", "not a valid"},
        {"huge.cmp", "too large"},      {"zero.sig", "not a valid"}, {"div.cmp", "not a valid"},
        {"bad.txt", "line 2"},          {"bad.sig", "not a valid"},  {"picture.png", "extension"},
    };
    for (const auto& c : cases) {
        const std::string in = c.name[0] == '/' ? std::string(c.name) : (dir / c.name).string();
        SCOPED_TRACE(in);
        const CliRun r = Sigconv({"--from", "sig", "--to", "txt", in, (dir / "out.txt").string()});
        const CliRun byName = Sigconv({in, (dir / "out.txt").string()});
        const CliRun& checked = c.name[0] == '/' ? r : byName;
        EXPECT_EQ(checked.status, kExitFailed);
        EXPECT_NE(checked.err.find(c.why), std::string::npos) << checked.err;
        EXPECT_EQ(std::count(checked.err.begin(), checked.err.end(), '\n'), 1) << checked.err;
        EXPECT_EQ(Sigconv({"--info", in}).status, kExitFailed);
        EXPECT_EQ(ReadFile(dir / "out.txt"), "precious");
    }
    // A long .nlc data length keeps what was read; it is not an error.
    EXPECT_EQ(Sigconv({(dir / "long.nlc").string(), (dir / "out.txt").string()}).status, kExitOk);
    EXPECT_NE(ReadFile(dir / "out.txt"), "precious");
    // Nearly every point far outside: each is counted on standard error.
    const CliRun wide = Sigconv({(dir / "wide.sig").string(), (dir / "out.txt").string()});
    EXPECT_NE(wide.err.find("wide.sig: left out "), std::string::npos) << wide.err;
}

// Realistic signatures pushed to the pad's edges, where .cmp's rounding
// strays outside 0..1024: every format the converter writes it reads back,
// and what it leaves out it counts.
TEST(RoundTrip, EveryFormatReadsBackWhatTheConverterWrote) {
    TempDir dir;
    std::size_t leftOut = 0;
    for (unsigned seed = 1; seed <= 12; ++seed) {
        auto points = testsupport::MakeSignature("Quill Edge", seed);
        // Stretch to the full pad, so strokes touch every edge.
        for (auto& p : points) {
            if (!sigformats::IsPenUp(p)) {
                p.x = std::clamp((p.x - 40) * 1023 / 940, 0, 1023);
                p.y = std::clamp((p.y - 40) * 1023 / 940, 0, 1023);
            }
        }
        points.insert(points.end() - 1, {{1023, 1023}, {0, 1}, {1011, 1}});
        const Bytes txt = sigfiles::WriteTxt(points);
        WriteFile(dir / "in.txt", std::string(txt.begin(), txt.end()));
        for (const char* ext : {"sig", "cmp", "vbc", "nlc", "txt"}) {
            SCOPED_TRACE(std::string(ext) + " seed " + std::to_string(seed));
            const std::string out = (dir / (std::string("s.") + ext)).string();
            const CliRun to = Sigconv({(dir / "in.txt").string(), out});
            ASSERT_EQ(to.status, kExitOk) << to.err;
            const CliRun back = Sigconv({out, (dir / "back.txt").string()});
            ASSERT_EQ(back.status, kExitOk) << back.err;
            const CliRun again = Sigconv({(dir / "back.txt").string(), out});
            ASSERT_EQ(again.status, kExitOk) << again.err;
            EXPECT_EQ(again.err, "");
            if (!back.err.empty()) {
                EXPECT_NE(back.err.find("outside 0..1024"), std::string::npos) << back.err;
                ++leftOut;
            }
        }
    }
    // The rounding by the edge happens, and is survived.
    EXPECT_GT(leftOut, 0u);
}

// A damaged .nlc whose differences run below 0 decodes to (-1, 262): -1 on
// one axis is no pen lift, so the point is dropped and counted like any
// other outside 0..1024, and the .txt written from the file reads back.
TEST(RoundTrip, AHalfPenLiftIsDroppedAndCounted) {
    constexpr std::string_view kHex =
        "9494949494949441949494949494949494949494564243312e320028c04800c001000109c000020011"
        "1961100000000000300286016bc5d08590c590da2f328613849528c5d08590c590459085942c3881f5"
        "07a803089504650465";
    Bytes nlc;
    for (std::size_t i = 0; i < kHex.size(); i += 2) {
        nlc.push_back(static_cast<std::uint8_t>(std::stoi(std::string(kHex.substr(i, 2)), 0, 16)));
    }
    ASSERT_EQ(nlc.size(), 91u);
    const sigfiles::DecodeResult decoded = sigfiles::DecodeAs(FileKind::kNlc, nlc);
    ASSERT_EQ(decoded.error, "");
    EXPECT_EQ(decoded.dropped, 1u);
    for (const sigformats::SignaturePoint p : decoded.points) {
        EXPECT_TRUE(sigformats::IsInkOrPenUp(p)) << p.x << ", " << p.y;
    }

    TempDir dir;
    WriteFile(dir / "x.nlc", std::string(nlc.begin(), nlc.end()));
    const CliRun toTxt = Sigconv({(dir / "x.nlc").string(), (dir / "x.txt").string()});
    ASSERT_EQ(toTxt.status, kExitOk) << toTxt.err;
    EXPECT_NE(toTxt.err.find("left out 1 point outside 0..1024"), std::string::npos) << toTxt.err;
    const CliRun back = Sigconv({(dir / "x.txt").string(), (dir / "y.txt").string()});
    EXPECT_EQ(back.status, kExitOk) << back.err;
    EXPECT_EQ(ReadFile(dir / "y.txt"), ReadFile(dir / "x.txt"));
}

TEST(Shell, StandardStreamsBatchesAndJson) {
    TempDir dir;
    const Bytes txt = sigfiles::WriteTxt(testsupport::MakeSignature("Io", 9));
    const std::string text(txt.begin(), txt.end());

    // Standard input to standard output, by --from and --to.
    const CliRun piped = Sigconv({"--from", "txt", "--to", "nlc", "-", "-"}, text);
    ASSERT_EQ(piped.status, kExitOk) << piped.err;
    EXPECT_EQ(piped.out.substr(0, 2), "NC");
    const CliRun json = Sigconv({"--info", "--json", "--from", "nlc", "-"}, piped.out);
    ASSERT_EQ(json.status, kExitOk) << json.err;
    EXPECT_EQ(json.out.front(), '{');
    for (const char* member : {"\"file\": \"-\"", "\"format\": \"nlc\"",
                               "\"strokes\": ", "\"truncated\": false", "\"bounding_box\": \""}) {
        EXPECT_NE(json.out.find(member), std::string::npos) << member << "\n" << json.out;
    }

    // Several inputs into one folder: a failure is one line, the rest written.
    WriteFile(dir / "a.txt", text);
    WriteFile(dir / "b.txt", "1 2\nnot a point\n");
    WriteFile(dir / "c.txt", text);
    std::filesystem::create_directory(dir / "out");
    const CliRun batch =
        Sigconv({"--to", "vbc", "--out-dir", (dir / "out").string(), (dir / "a.txt").string(),
                 (dir / "b.txt").string(), (dir / "c.txt").string()});
    EXPECT_EQ(batch.status, kExitFailed);
    EXPECT_EQ(std::count(batch.err.begin(), batch.err.end(), '\n'), 1) << batch.err;
    EXPECT_NE(batch.err.find("b.txt: line 2"), std::string::npos) << batch.err;
    EXPECT_TRUE(std::filesystem::exists(dir / "out" / "a.vbc"));
    EXPECT_FALSE(std::filesystem::exists(dir / "out" / "b.vbc"));
    EXPECT_EQ(ReadFile(dir / "out" / "a.vbc"), ReadFile(dir / "out" / "c.vbc"));
}

// ---------------------------------------------------------------- InkML

sigfiles::DecodeResult DecodeFile(const std::filesystem::path& path) {
    const std::string file = ReadFile(path);
    return sigfiles::DecodeAs(*sigfiles::KindFromPath(path), Bytes(file.begin(), file.end()));
}

// A timed capture as the capture layer hands it over: stamps 1.302 ms apart
// with the odd microsecond, so the milliseconds in the file need decimals. A
// pen lift has the time of the point before it: InkML has no place for the
// time of the lift itself.
struct TimedSignature {
    sigfiles::Points points;
    sigformats::PointTimes times;
};

TimedSignature MakeTimed(const char* text, unsigned seed) {
    TimedSignature s{testsupport::MakeSignature(text, seed), {}};
    for (std::size_t i = 0; i < s.points.size(); ++i) {
        s.times.push_back(sigformats::IsPenUp(s.points[i]) && i > 0
                              ? s.times.back()
                              : static_cast<sigformats::PointTime>(i * 1302 + (i % 7)));
    }
    return s;
}

// sigconv carries the capture's times from InkML to InkML unchanged; every
// other format drops them, and --info says which a file has. Strokes through
// each format are the library's business (sigfiles' EveryPair).
TEST(Inkml, CopiesKeepTheirTimesAndInfoSaysSo) {
    TempDir dir;
    const TimedSignature timed = MakeTimed("Ink Well", 3);
    const sigfiles::EncodeResult ink = sigfiles::EncodeInkml(timed.points, timed.times);
    ASSERT_EQ(ink.error, "");
    WriteFile(dir / "timed.inkml", std::string(ink.bytes.begin(), ink.bytes.end()));

    const CliRun copy = Sigconv({(dir / "timed.inkml").string(), (dir / "copy.inkml").string()});
    ASSERT_EQ(copy.status, kExitOk) << copy.err;
    const sigfiles::DecodeResult copied = DecodeFile(dir / "copy.inkml");
    EXPECT_EQ(copied.points, timed.points);
    EXPECT_EQ(copied.times, timed.times);
    EXPECT_EQ(ReadFile(dir / "copy.inkml"), ReadFile(dir / "timed.inkml"));

    ASSERT_EQ(Sigconv({(dir / "timed.inkml").string(), (dir / "s.vbc").string()}).status, kExitOk);
    ASSERT_EQ(Sigconv({(dir / "s.vbc").string(), (dir / "s.inkml").string()}).status, kExitOk);
    EXPECT_TRUE(DecodeFile(dir / "s.inkml").times.empty());
    EXPECT_NE(Sigconv({"--info", (dir / "timed.inkml").string()}).out.find("times: yes"),
              std::string::npos);
    EXPECT_NE(Sigconv({"--info", (dir / "s.inkml").string()}).out.find("times: no"),
              std::string::npos);
}

// Another producer's ink: its hover trace and its point outside the declared
// range are no ink, left out and each counted on standard error.
TEST(Inkml, HoverTracesAndPointsOutsideTheDeclaredRangeAreCounted) {
    TempDir dir;
    WriteFile(dir / "other.inkml",
              "<ink xmlns=\"http://www.w3.org/2003/InkML\"><traceFormat>"
              "<channel name=\"X\" min=\"0\" max=\"100\"/><channel name=\"Y\" min=\"0\" "
              "max=\"100\"/></traceFormat><trace type=\"penUp\">0 0, 50 50</trace>"
              "<trace>10 10, 20 20, 120 20, 30 30</trace></ink>");
    const CliRun r = Sigconv({(dir / "other.inkml").string(), (dir / "out.txt").string()});
    ASSERT_EQ(r.status, kExitOk) << r.err;
    EXPECT_NE(r.err.find("other.inkml: left out 1 point outside 0..1024"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("other.inkml: skipped 1 hover trace"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(dir / "out.txt"), "102 102\n205 205\n307 307\n-1 -1\n");
    const CliRun info = Sigconv({"--info", (dir / "other.inkml").string()});
    for (const char* line : {"points dropped: 1\n", "hover traces skipped: 1\n"}) {
        EXPECT_NE(info.out.find(line), std::string::npos) << line << info.out;
    }
}

// ---------------------------------------------------------------- pictures

Image LoadPng(const std::filesystem::path& path) {
    Image image(cairo_image_surface_create_from_png(path.c_str()));
    EXPECT_EQ(cairo_surface_status(image.get()), CAIRO_STATUS_SUCCESS) << path;
    cairo_surface_flush(image.get());
    return image;
}

// Ink along every segment and within `reach` of it, none farther out; the
// pen's width reaches the converter: a line has ink still `inkedWithin`
// below its middle.
void ExpectInkOnlyOn(cairo_surface_t* image, const std::vector<Segment>& ink, double reach,
                     double inkedWithin) {
    testsupport::ExpectInkOnlyOn(image, ink, reach, "png");
    for (const Segment& s : ink) {
        if (s.x0 != s.x1) {
            const int across = static_cast<int>(std::floor(s.y0 + inkedWithin));
            EXPECT_GE(At(image, static_cast<int>(s.x0 + s.x1) / 2, across).darkness, 200);
        }
    }
}

// A stroke along the top of the ink box and a dot at its bottom centre; the
// box is 800 x 400 pad units.
constexpr const char* kLineAndDot = "100 300\n500 300\n900 300\n-1 -1\n500 700\n-1 -1\n";

TEST(Pictures, PngHasInkWhereTheStrokesAreAndNoneElsewhere) {
    TempDir dir;
    WriteFile(dir / "s.txt", kLineAndDot);
    // Defaults: 320 x 240, pen 3, white. Margin 0.05 * 240 + 1.5 = 13.5 each
    // side; the box fits the width: 293 / 800 per pad unit, centred.
    ASSERT_EQ(Sigconv({(dir / "s.txt").string(), (dir / "d.png").string()}).status, kExitOk);
    Image plain = LoadPng(dir / "d.png");
    ASSERT_EQ(cairo_image_surface_get_width(plain.get()), 320);
    ASSERT_EQ(cairo_image_surface_get_height(plain.get()), 240);
    EXPECT_EQ(At(plain.get(), 0, 0).alpha, 255);
    ExpectInkOnlyOn(plain.get(), {{13.5, 46.75, 306.5, 46.75}, {160, 193.25, 160, 193.25}},
                    1.5 + 1.5, 1.0);

    // 200 x 100, pen 8, clear: margin 5 + 4; the box fits the height, 82 / 400.
    ASSERT_EQ(Sigconv({"--size", "200x100", "--pen", "8", "--transparent", (dir / "s.txt").string(),
                       (dir / "t.png").string()})
                  .status,
              kExitOk);
    Image clear = LoadPng(dir / "t.png");
    ASSERT_EQ(cairo_image_surface_get_width(clear.get()), 200);
    EXPECT_EQ(At(clear.get(), 0, 0).alpha, 0);
    EXPECT_EQ(At(clear.get(), 100, 50).alpha, 0);
    ExpectInkOnlyOn(clear.get(), {{18, 9, 182, 9}, {100, 91, 100, 91}}, 4 + 1.5, 3.0);
}

}  // namespace
}  // namespace vellumix::tools
