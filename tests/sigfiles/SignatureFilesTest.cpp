#include "sigfiles/SignatureFiles.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <string>
#include <tuple>

#include "sigfiles/FileAccess.h"
#include "sigfiles/FileInfo.h"
#include "support/SignatureSynth.h"
#include "support/TempDir.h"

namespace vellumix::sigfiles {
namespace {

using sigformats::PEN_UP_POINT;
using sigformats::SignaturePoint;

struct Shape {
    std::size_t strokes = 0;
    int minX = 1 << 20, maxX = -1, minY = 1 << 20, maxY = -1;
};

Shape ShapeOf(const Points& points) {
    Shape s;
    bool inStroke = false;
    for (SignaturePoint p : points) {
        if (sigformats::IsPenUp(p)) {
            inStroke = false;
            continue;
        }
        s.strokes += inStroke ? 0 : 1;
        inStroke = true;
        s.minX = std::min(s.minX, p.x);
        s.maxX = std::max(s.maxX, p.x);
        s.minY = std::min(s.minY, p.y);
        s.maxY = std::max(s.maxY, p.y);
    }
    return s;
}

Bytes AsBytes(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

std::string_view AsText(const Bytes& bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// How far a decoded coordinate may stray: .nlc keeps pad units / 8, .cmp
// quarter units rescaled by 273/68 and 455/114 with chain-code rounding.
int Tolerance(FileKind kind) {
    switch (kind) {
        case FileKind::kNlc:
            return 8;
        case FileKind::kCmp:
            return 12;
        default:
            return 0;
    }
}

constexpr FileKind kStored[] = {FileKind::kSig, FileKind::kCmp, FileKind::kVbc,
                                FileKind::kNlc, FileKind::kTxt, FileKind::kInkml};

class EveryPair : public ::testing::TestWithParam<std::tuple<FileKind, FileKind>> {};

TEST_P(EveryPair, KeepsStrokesAndExtent) {
    const auto [from, to] = GetParam();
    const Points original = testsupport::MakeSignature("Vellumix", 3);
    const EncodeResult a = EncodeAs(from, original);
    ASSERT_EQ(a.error, "");
    const DecodeResult viaA = DecodeAs(from, a.bytes);
    ASSERT_EQ(viaA.error, "");
    const EncodeResult b = EncodeAs(to, viaA.points);
    ASSERT_EQ(b.error, "");
    const DecodeResult viaB = DecodeAs(to, b.bytes);
    ASSERT_EQ(viaB.error, "");

    const Shape want = ShapeOf(original);
    const Shape got = ShapeOf(viaB.points);
    const int tol = Tolerance(from) + Tolerance(to);
    EXPECT_EQ(got.strokes, want.strokes);
    EXPECT_NEAR(got.minX, want.minX, tol);
    EXPECT_NEAR(got.maxX, want.maxX, tol);
    EXPECT_NEAR(got.minY, want.minY, tol);
    EXPECT_NEAR(got.maxY, want.maxY, tol);
}

INSTANTIATE_TEST_SUITE_P(Formats, EveryPair,
                         ::testing::Combine(::testing::ValuesIn(kStored),
                                            ::testing::ValuesIn(kStored)),
                         [](const auto& info) {
                             return std::string(KindName(std::get<0>(info.param))) + "_to_" +
                                    std::string(KindName(std::get<1>(info.param)));
                         });

TEST(LosslessFormats, SigThroughTxtAndVbcGivesTheSameBytes) {
    const Points original = testsupport::MakeSignature("Smith", 11);
    const Bytes sig = EncodeAs(FileKind::kSig, original).bytes;
    const Bytes txt = EncodeAs(FileKind::kTxt, DecodeAs(FileKind::kSig, sig).points).bytes;
    const Bytes vbc = EncodeAs(FileKind::kVbc, DecodeAs(FileKind::kTxt, txt).points).bytes;
    const DecodeResult back = DecodeAs(FileKind::kVbc, vbc);
    ASSERT_EQ(back.error, "");
    // VBC puts a pen lift before every stroke; the rest comes back unchanged,
    // closed with a lift again.
    Points expected{PEN_UP_POINT};
    expected.insert(expected.end(), original.begin(), original.end());
    EXPECT_EQ(back.points, expected);
    EXPECT_EQ(EncodeAs(FileKind::kSig, DecodeAs(FileKind::kTxt, txt).points).bytes, sig);
}

TEST(Encoding, ClosesTheLastStrokeWithAPenLift) {
    const Points open{{10, 10}, {20, 20}, {30, 30}};
    EXPECT_EQ(AsText(EncodeAs(FileKind::kTxt, open).bytes), "10 10\n20 20\n30 30\n-1 -1\n");
}

// Times travel with the points into .inkml only: a closing lift takes the
// time of the point before it, and a list of another length is refused.
TEST(Encoding, KeepsTimesInInkmlOnly) {
    const Points open{{10, 10}, {20, 20}, {30, 30}};
    const sigformats::PointTimes times{0, 1302, 2604};
    const EncodeResult ink = sigfiles::EncodeInkml(open, times);
    ASSERT_EQ(ink.error, "");
    const DecodeResult back = DecodeAs(FileKind::kInkml, ink.bytes);
    EXPECT_EQ(back.points, (Points{{10, 10}, {20, 20}, {30, 30}, PEN_UP_POINT}));
    EXPECT_EQ(back.times, (sigformats::PointTimes{0, 1302, 2604, 2604}));
    EXPECT_TRUE(DecodeAs(FileKind::kInkml, sigfiles::EncodeInkml(open).bytes).times.empty());

    EXPECT_NE(sigfiles::EncodeInkml(open, sigformats::PointTimes{0, 1})
                  .error.find("2 times for 3 points"),
              std::string::npos);
    for (FileKind kind :
         {FileKind::kSig, FileKind::kCmp, FileKind::kVbc, FileKind::kNlc, FileKind::kTxt}) {
        EXPECT_EQ(EncodeAs(kind, open, times).bytes, EncodeAs(kind, open).bytes);
        EXPECT_TRUE(DecodeAs(kind, EncodeAs(kind, open).bytes).times.empty());
    }
}

TEST(Encoding, RefusesWhatNoFormatCanHold) {
    EXPECT_NE(EncodeAs(FileKind::kSig, {}).error, "");
    EXPECT_NE(EncodeAs(FileKind::kSig, Points{{1025, 0}}).error.find("outside"), std::string::npos);
    // 9,999 points spread over the whole pad do not fit the 12,096-byte .nlc cap.
    Points scattered;
    for (int i = 0; i < 9999; ++i) {
        scattered.push_back({(i * 397) % 1024, (i * 211) % 1024});
    }
    EXPECT_NE(EncodeAs(FileKind::kNlc, scattered).error.find("12096"), std::string::npos);
}

struct TxtCase {
    const char* text;
    const char* error;  // "" for success
    std::size_t points;
};

TEST(TxtParsing, ReportsTheLineOfTheFirstFault) {
    const TxtCase cases[] = {
        {"1 2\n-1 -1\n", "", 2},
        {"1 2\r\n\r\n\t3   4  \r\n", "", 2},
        {"1024 1024\n0 0\n", "", 2},
        {"1 2\n3\n", "line 2: expected two numbers \"x y\", found one", 0},
        {"1 2 3\n", "line 1: expected two numbers \"x y\", found more", 0},
        {"\n\n5 x\n", "line 3: expected two numbers \"x y\"", 0},
        {"5 6x\n", "line 1: expected two numbers \"x y\"", 0},
        {"1 1\n1025 0\n", "line 2: point (1025, 0) lies outside", 0},
        {"-1 5\n", "line 1: point (-1, 5) lies outside", 0},
        {"99999999999 1\n", "line 1: expected two numbers", 0},
    };
    for (const TxtCase& c : cases) {
        SCOPED_TRACE(c.text);
        const DecodeResult r = ParseTxt(c.text);
        EXPECT_EQ(r.error.substr(0, std::string_view(c.error).size()), c.error);
        EXPECT_EQ(r.points.size(), c.points);
    }
    EXPECT_EQ(DecodeAs(FileKind::kTxt, {}).error, "no points");
}

// Ranges of 512 double the coordinates: what lands past 1024 is dropped and
// counted, as the pages drop it; a file left with nothing to draw is empty
// then, and only the encoders that need a point refuse it.
TEST(Decoding, DropsPointsOutsideThePadAndClosesTheLastStroke) {
    Bytes sig = EncodeAs(FileKind::kSig, Points{{600, 10}, {100, 20}, {400, 30}}).bytes;
    sig[8] = 0x00;
    sig[9] = 0x02;
    const DecodeResult halfRange = DecodeAs(FileKind::kSig, sig);
    ASSERT_EQ(halfRange.error, "");
    EXPECT_EQ(halfRange.dropped, 1u);
    EXPECT_EQ(halfRange.points, (Points{{200, 20}, {800, 30}, PEN_UP_POINT}));

    Bytes far = EncodeAs(FileKind::kSig, Points{{600, 10}, PEN_UP_POINT}).bytes;
    far[8] = 0x00;
    far[9] = 0x02;
    const DecodeResult liftsOnly = DecodeAs(FileKind::kSig, far);
    EXPECT_EQ(liftsOnly.points, Points{PEN_UP_POINT});
    // Whatever is written from it reads back, or is refused.
    for (FileKind kind : kStored) {
        const EncodeResult written = EncodeAs(kind, Points{PEN_UP_POINT, PEN_UP_POINT});
        EXPECT_TRUE(written.error.empty() ? DecodeAs(kind, written.bytes).error.empty()
                                          : written.error.find("no ink") != std::string::npos)
            << KindName(kind) << ": " << written.error;
    }
    EXPECT_NE(EncodeAs(FileKind::kVbc, liftsOnly.points).error, "");

    const DecodeResult open = DecodeAs(FileKind::kTxt, AsBytes("5 6\n7 8\n"));
    EXPECT_EQ(open.points, (Points{{5, 6}, {7, 8}, PEN_UP_POINT}));
}

// A hostile .cmp of small moves decodes to points without end; the cap stops
// it with its own message, long before memory runs short.
TEST(Decoding, StopsAtThePointCap) {
    Points zigzag;
    for (std::size_t i = 0; i < sigformats::kMaxDecodedPoints + 100; ++i) {
        zigzag.push_back({static_cast<int>(100 + 8 * (i % 2)), 100});
    }
    const DecodeResult r = DecodeAs(FileKind::kCmp, EncodeStored(FileKind::kCmp, zigzag));
    EXPECT_NE(r.error.find("more than 1000000 points"), std::string::npos) << r.error;
    EXPECT_TRUE(r.points.empty());
    const std::string lines = std::string("1 1\n");
    std::string manyLines;
    for (std::size_t i = 0; i <= sigformats::kMaxDecodedPoints; ++i) {
        manyLines += lines;
    }
    EXPECT_NE(ParseTxt(manyLines).error.find("more than"), std::string::npos);
}

struct InfoCase {
    FileKind kind;
    std::vector<std::string> lines;
};

TEST(Info, ShowsHeaderFieldsAndCounts) {
    const Points points{{100, 200}, {110, 210}, PEN_UP_POINT, {300, 40}, {320, 48}, PEN_UP_POINT};
    // Points are the pen-down points, as padctl's capture summary counts them.
    const std::string common[] = {"points: 4", "pen lifts: 2", "strokes: 2",
                                  "bounding box: 100..320 x 40..210"};
    const InfoCase cases[] = {
        {FileKind::kSig,
         {"format: sig", "header length: 16", "data length: 24", "record version: 2",
          "x range: 1024", "device parameter A: 419", "device parameter B: 800"}},
        {FileKind::kNlc, {"format: nlc", "magic: NC", "x range: 1024", "device parameter B: 800"}},
        {FileKind::kCmp,
         {"format: cmp", "x divisor: 68", "y divisor: 114", "absolute form: short"}},
        {FileKind::kVbc,
         {"format: vbc", "version: VBC1.2", "entries: (none)", "locked: no",
          "device parameter A: 419", "x range: 1024", "stream points: 4",
          "block length: ", "width list: "}},
        {FileKind::kTxt, {"format: txt"}},
    };
    for (const InfoCase& c : cases) {
        SCOPED_TRACE(KindName(c.kind));
        const Bytes file = EncodeAs(c.kind, points).bytes;
        const InfoResult facts = DescribeFile(c.kind, file);
        ASSERT_EQ(facts.error, "");
        const std::string text = InfoAsText(facts.facts);
        for (const std::string& line : c.lines) {
            EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
        }
        for (const std::string& line : common) {
            // The lossy formats move the box a little; its line is there all the same.
            const std::string name = line.substr(0, line.find(':') + 1);
            EXPECT_NE(text.find(c.kind == FileKind::kNlc || c.kind == FileKind::kCmp ? name : line),
                      std::string::npos)
                << line << "\n"
                << text;
        }
    }
    // A locked .vbc is described, and read by kind it is refused.
    const std::string lockedVbc("VBC1.2;k\0", 9);
    const Bytes lockedBytes(lockedVbc.begin(), lockedVbc.end());
    EXPECT_NE(DecodeAs(FileKind::kVbc, lockedBytes).error.find("locked"), std::string::npos);
    const InfoResult locked = DescribeFile(FileKind::kVbc, lockedBytes);
    EXPECT_NE(InfoAsText(locked.facts).find("locked: yes (cannot be unlocked)"), std::string::npos);
    EXPECT_NE(InfoAsJson(locked.facts, locked.error).find("\"error\": \"the signature is locked"),
              std::string::npos);
    EXPECT_NE(locked.error, "");
    EXPECT_NE(DescribeFile(FileKind::kSig, Bytes{1, 2, 3}).error, "");
}

// Every writer of files replaces through here: the signature files, the
// pictures and the .bmp export.
TEST(Writing, ReplacesOnlyOnSuccessAndLeavesNoTemporaryFile) {
    testsupport::TempDir dir;
    const auto out = dir / "out.sig";
    testsupport::WriteFile(out, "old");
    ASSERT_EQ(::chmod(out.c_str(), 0640), 0);
    const Bytes data{1, 2, 3};

    // A write that fails half-way: the file size limit stops it at 100 KB.
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 100'000;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const WriteResult cut = WriteFileReplacing(out, Bytes(200'000, 7));
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(cut.failure, WriteFailure::kWriteFailed);
    EXPECT_EQ(testsupport::ReadFile(out), "old");

    EXPECT_EQ(WriteFileReplacing(out, data).error, "");
    EXPECT_EQ(testsupport::ReadFile(out), std::string("\x01\x02\x03"));
    struct stat st {};
    ASSERT_EQ(::stat(out.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);  // the replaced file's mode
    // A directory in the way is refused before anything is written.
    std::filesystem::create_directory(dir / "taken.sig");
    testsupport::WriteFile(dir / "taken.sig" / "keep", "x");
    EXPECT_EQ(WriteFileReplacing(dir / "taken.sig", data).failure, WriteFailure::kCannotCreate);
    EXPECT_EQ(WriteFileReplacing(dir / "missing" / "out.sig", data).failure,
              WriteFailure::kCannotCreate);
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 2u);  // out.sig and taken.sig
}

// Reading refuses what is not a regular file before it could wait on it,
// and what is over the cap before it is read.
TEST(Reading, RefusesAtOnceWhatIsNotARegularFileOrTooLarge) {
    testsupport::TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "pipe.sig").c_str(), 0600), 0);
    testsupport::WriteFile(dir / "small.sig", "12345");
    testsupport::WriteFile(dir / "empty.sig", "");
    std::filesystem::create_symlink(dir / "pipe.sig", dir / "link.sig");
    const struct {
        std::filesystem::path path;
        std::size_t cap;
        ReadFailure failure;
        std::size_t bytes;
    } cases[] = {
        {dir / "pipe.sig", kMaxInputBytes, ReadFailure::kNotRegular, 0},
        {dir / "link.sig", kMaxInputBytes, ReadFailure::kNotRegular, 0},
        {dir.path(), kMaxInputBytes, ReadFailure::kNotRegular, 0},
        {"/dev/null", kMaxInputBytes, ReadFailure::kNotRegular, 0},
        {dir / "none.sig", kMaxInputBytes, ReadFailure::kCannotOpen, 0},
        {dir / "small.sig", 4, ReadFailure::kTooLarge, 0},
        {dir / "small.sig", 5, ReadFailure::kNone, 5},
        {dir / "empty.sig", 5, ReadFailure::kNone, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.string());
        const ReadResult r = ReadWholeFile(c.path, c.cap);
        EXPECT_EQ(r.failure, c.failure);
        EXPECT_EQ(r.error.empty(), c.failure == ReadFailure::kNone);
        EXPECT_EQ(r.bytes.size(), c.bytes);
    }
    // Root reads anything, so only another user sees the refusal.
    if (::geteuid() != 0) {
        ::chmod((dir / "small.sig").c_str(), 0);
        EXPECT_EQ(ReadWholeFile(dir / "small.sig").failure, ReadFailure::kCannotOpen);
    }
}

}  // namespace
}  // namespace vellumix::sigfiles
