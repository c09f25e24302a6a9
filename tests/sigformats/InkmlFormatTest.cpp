#include "sigformats/InkmlFormat.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "FormatTestUtil.h"

namespace vellumix::sigformats {
namespace {

using test::Bytes;
using test::Points;

constexpr SignaturePoint U = PEN_UP_POINT;

// The codec's answers flattened for the tables below: what it wrote or read,
// or its message.
struct Written {
    Bytes bytes;
    std::string error;
};

struct Read {
    Points points;
    PointTimes times;
    std::string error;
    std::size_t dropped = 0;
    std::size_t hoverTraces = 0;
};

Written Encode(std::span<const SignaturePoint> points, std::span<const PointTime> times = {},
               CaptureEnd end = CaptureEnd::kComplete) {
    const Encoded encoded = EncodeInkml(points, times, end);
    return encoded ? Written{encoded.Value(), {}} : Written{{}, encoded.Error().message};
}

Read Decode(std::span<const std::uint8_t> file) {
    const Decoded decoded = DecodeInkml(file);
    if (!decoded) {
        return {{}, {}, decoded.Error().message};
    }
    const DecodedSignature& d = decoded.Value();
    return {d.points, d.times, {}, d.dropped, d.hoverTraces};
}

Read Decode(std::string_view text) {
    const Bytes bytes(text.begin(), text.end());
    return Decode(bytes);
}

std::string Ink(std::string_view body) {
    return "<?xml version=\"1.0\"?>\n<ink xmlns=\"http://www.w3.org/2003/InkML\">" +
           std::string(body) + "</ink>";
}

// Pen-up times follow the stroke's last point, the one thing InkML cannot say.
PointTimes ExpectedTimes(const Points& points, const PointTimes& times) {
    PointTimes out = times;
    for (std::size_t i = 1; i < points.size(); ++i) {
        if (IsPenUp(points[i])) {
            out[i] = out[i - 1];
        }
    }
    return out;
}

// ---------------------------------------------------------------- round trips

TEST(InkmlRoundTripTest, PointsAndTimesComeBackExactly) {
    const Points realistic = test::RealisticSignature(3);
    PointTimes realisticTimes;
    for (std::size_t i = 0; i < realistic.size(); ++i) {
        realisticTimes.push_back(static_cast<PointTime>(i) * 1302 + 17);
    }
    const struct {
        const char* name;
        Points points;
        PointTimes times;
    } cases[] = {
        {"realistic, untimed", realistic, {}},
        {"realistic, timed", realistic, realisticTimes},
        {"one lone point", {{512, 300}, U}, {5, 9}},
        {"corners", {{0, 0}, {1024, 1024}, U, {1024, 0}, U}, {0, 1000, 2000, 2001, 2001}},
        {"negative and large times",
         {{1, 2}, {3, 4}, U},
         {-1'500, 9'007'199'254'740, 9'007'199'254'740}},
        {"whole and odd microseconds", {{1, 1}, {2, 2}, {3, 3}, U}, {2'000, 2'010, 2'999, 2'999}},
    };
    for (const auto& c : cases) {
        const Written encoded = Encode(c.points, c.times);
        ASSERT_TRUE(encoded.error.empty()) << c.name << ": " << encoded.error;
        const Read decoded = Decode(encoded.bytes);
        ASSERT_TRUE(decoded.error.empty()) << c.name << ": " << decoded.error;
        EXPECT_EQ(decoded.points, c.points) << c.name;
        EXPECT_EQ(decoded.times, c.times.empty() ? PointTimes{} : ExpectedTimes(c.points, c.times))
            << c.name;
    }
}

TEST(InkmlEncodeTest, DeclaresTheNamespaceTheChannelsAndOneTracePerStroke) {
    const Written encoded =
        Encode(Points{{10, 20}, {30, 40}, U, U, {50, 60}}, PointTimes{0, 1302, 1302, 1400, 2000});
    const std::string doc(encoded.bytes.begin(), encoded.bytes.end());
    EXPECT_NE(doc.find("<ink xmlns=\"http://www.w3.org/2003/InkML\">"), std::string::npos);
    EXPECT_NE(doc.find("<channel name=\"X\" type=\"integer\" min=\"0\" max=\"1024\"/>"),
              std::string::npos);
    EXPECT_NE(doc.find("<channel name=\"T\" type=\"decimal\" units=\"ms\"/>"), std::string::npos);
    EXPECT_NE(doc.find("<trace>10 20 0, 30 40 1.302</trace>"), std::string::npos);
    EXPECT_NE(doc.find("<trace>50 60 2</trace>"), std::string::npos);
}

// A capture cut short by a lost pad says so in the document, and its ink
// reads back as that of any capture.
TEST(InkmlEncodeTest, ACaptureCutShortSaysSo) {
    const Points points{{10, 20}, {30, 40}, U};
    const Written whole = Encode(points);
    const Written cut = Encode(points, {}, CaptureEnd::kCutShort);
    const std::string annotation =
        "<annotation type=\"description\">" + std::string(inkml::kCutShortText) + "</annotation>";
    EXPECT_NE(std::string(cut.bytes.begin(), cut.bytes.end()).find(annotation), std::string::npos);
    EXPECT_EQ(std::string(whole.bytes.begin(), whole.bytes.end()).find("<annotation"),
              std::string::npos);
    EXPECT_EQ(Decode(cut.bytes).points, points);
}

TEST(InkmlEncodeTest, RefusesWhatItCannotWrite) {
    EXPECT_NE(Encode(Points{{1, 1}, {1025, 3}, U}).error.find("outside 0..1024"),
              std::string::npos);
    EXPECT_NE(Encode(Points{{1, 1}, {-1, 3}, U}).error.find("outside 0..1024"), std::string::npos);
    EXPECT_NE(Encode(Points{{1, 1}, U}, PointTimes{1}).error.find("do not match"),
              std::string::npos);
    EXPECT_TRUE(Encode(Points(inkml::kMaxPoints + 1, U)).bytes.empty());
}

// ---------------------------------------------------------------- other producers

TEST(InkmlProducerStylesTest, ReadsWhatOtherToolsWrite) {
    constexpr std::string_view kRange0To2048 =
        "<traceFormat><channel name=\"X\" min=\"0\" max=\"2048\"/>"
        "<channel name=\"Y\" min=\"0\" max=\"2048\"/></traceFormat>";
    const struct {
        const char* name;
        std::string doc;
        Points points;
        PointTimes times;
        std::size_t dropped = 0;
        std::size_t hoverTraces = 0;
    } cases[] = {
        {"no trace format, bounding box, commas without spaces",
         Ink("<trace>0 0,10 5,20 10</trace>"),
         {{0, 0}, {512, 256}, {1024, 512}, U},
         {}},
        {"declared range, newlines and tabs",
         Ink(std::string(kRange0To2048) + "<trace>\n\t2048 0,\n\t100\t200\n</trace>"),
         {{1024, 0}, {50, 100}, U},
         {}},
        {"nested traceGroups",
         Ink(std::string(kRange0To2048) +
             "<traceGroup><trace>2 4, 6 8</trace><traceGroup><trace>10 "
             "12</trace></traceGroup></traceGroup>"),
         {{1, 2}, {3, 4}, U, {5, 6}, U},
         {}},
        {"first and second differences",
         Ink("<traceFormat><channel name=\"X\" min=\"0\" max=\"1024\"/><channel name=\"Y\" "
             "min=\"0\" "
             "max=\"1024\"/></traceFormat><trace>100 100, '10 '0, \"0 \"1, 2 3, !50 !60</trace>"),
         {{100, 100}, {110, 100}, {120, 101}, {132, 105}, {50, 60}, U},
         {}},
        {"values split by their signs, negative range",
         Ink("<traceFormat><channel name=\"X\" min=\"-512\" max=\"512\"/><channel name=\"Y\" "
             "min=\"-512\" "
             "max=\"512\"/></traceFormat><trace>0-512,+512 0,-512+512</trace>"),
         {{512, 0}, {1024, 512}, {0, 1024}, U},
         {}},
        {"force and tilt skipped, T in seconds",
         Ink("<definitions><context xml:id=\"c1\"><traceFormat><channel name=\"F\"/><channel "
             "name=\"X\" "
             "min=\"0\" max=\"1024\"/><channel name=\"Y\" min=\"0\" max=\"1024\"/><channel "
             "name=\"T\" "
             "units=\"s\"/><intermittentChannels><channel name=\"OTx\"/></intermittentChannels>"
             "</traceFormat></context></definitions>"
             "<trace contextRef=\"#c1\">0.5 10 20 1.25 7, T 30 40 1.2513</trace>"),
         {{10, 20}, {30, 40}, U},
         {1'250'000, 1'251'300, 1'251'300}},
        {"traceFormatRef, time differences, foreign and annotation elements ignored",
         Ink("<definitions><traceFormat xml:id=\"tf\"><channel name=\"X\" min=\"0\" max=\"1024\"/>"
             "<channel name=\"Y\" min=\"0\" max=\"1024\"/><channel "
             "name=\"T\"/></traceFormat></definitions>"
             "<context traceFormatRef=\"#tf\"/><annotation type=\"truth\">1 2 3</annotation>"
             "<x:trace xmlns:x=\"urn:other\">9 9 9</x:trace><trace>1 2 100, '1 '1 '10, 1 1 "
             "10</trace>"),
         {{1, 2}, {2, 3}, {3, 4}, U},
         {100'000, 110'000, 120'000, 120'000}},
        // Box x -10..50, y -5..15: the wider x spans 0..1024 with y alike.
        {"a namespace prefix, negative values, differences",
         "<inkml:ink xmlns:inkml=\"http://www.w3.org/2003/InkML\"><inkml:trace>-10 -5, '20'0, "
         "\"0\"10</inkml:trace><inkml:trace>!50 15</inkml:trace></inkml:ink>",
         {{0, 0}, {341, 0}, {683, 171}, U, {1024, 341}, U},
         {}},
        {"T with an unknown unit is dropped, not guessed",
         Ink("<traceFormat><channel name=\"X\"/><channel name=\"Y\"/><channel name=\"T\" "
             "units=\"fortnight\"/>"
             "</traceFormat><trace>0 0 1, 0 0 2</trace>"),
         {{0, 0}, {0, 0}, U},
         {}},
        // An office suite's ink part declares the integer type's range; by
        // it the whole signature would shrink to one point. Box 1000..3000 x
        // 2000..3000.
        {"an office suite's ink part: a number type's range is no writing area",
         "<inkml:ink xmlns:inkml=\"http://www.w3.org/2003/InkML\"><inkml:definitions>"
         "<inkml:context xml:id=\"ctx0\"><inkml:inkSource xml:id=\"inkSrc0\"><inkml:traceFormat>"
         "<inkml:channel name=\"X\" type=\"integer\" min=\"-2.14748E9\" max=\"2.14748E9\" "
         "units=\"himetric\"/><inkml:channel name=\"Y\" type=\"integer\" min=\"-2.14748E9\" "
         "max=\"2.14748E9\" units=\"himetric\"/><inkml:channel name=\"F\" type=\"integer\" "
         "max=\"32767\" units=\"dev\"/></inkml:traceFormat></inkml:inkSource></inkml:context>"
         "<inkml:brush xml:id=\"br0\"/></inkml:definitions>"
         "<inkml:trace contextRef=\"#ctx0\" brushRef=\"#br0\">1000 2000 100, 3000 2000 "
         "200</inkml:trace><inkml:trace contextRef=\"#ctx0\" brushRef=\"#br0\">2000 3000 "
         "50</inkml:trace></inkml:ink>",
         {{0, 0}, {1024, 0}, U, {512, 512}, U},
         {}},
        // Hover is no ink and takes no part in the box: 0..10 both ways.
        {"hover traces skipped, indeterminate ones kept",
         Ink("<trace type=\"penUp\">-50 -50, 90 90</trace><trace type=\"penDown\">0 0, 10 "
             "10</trace><trace type=\"indeterminate\">10 0</trace><trace "
             "type=\"penUp\">5 5</trace>"),
         {{0, 0}, {1024, 1024}, U, {1024, 0}, U},
         {},
         0,
         2},
        // Box 0..64 x -16..13, 16 pad units to one.
        {"hexadecimal values",
         Ink("<trace>#0 #0, #1A #d, #40 -#10</trace>"),
         {{0, 256}, {416, 464}, {1024, 0}, U},
         {}},
        {"signs parted from their numbers by blanks",
         Ink("<traceFormat><channel name=\"X\" min=\"-100\" max=\"100\"/><channel name=\"Y\" "
             "min=\"-100\" max=\"100\"/></traceFormat><trace>- 50 +  50, +100 -\n100, '- "
             "50 '+ 100</trace>"),
         {{256, 768}, {1024, 0}, {768, 512}, U},
         {}},
        // 0..1000 declared: what lies outside is dropped, like a stored
        // format's point outside 0..1024; a trace left empty is no stroke.
        {"points outside the declared range dropped and counted",
         Ink("<traceFormat><channel name=\"X\" min=\"0\" max=\"1000\"/><channel name=\"Y\" "
             "min=\"0\" max=\"1000\"/></traceFormat><trace>0 0, 1001 500, 500 -1, 1000 "
             "1000</trace><trace>2000 2000</trace>"),
         {{0, 0}, {1024, 1024}, U},
         {},
         3},
    };
    for (const auto& c : cases) {
        const Read decoded = Decode(c.doc);
        ASSERT_TRUE(decoded.error.empty()) << c.name << ": " << decoded.error;
        EXPECT_EQ(decoded.points, c.points) << c.name;
        EXPECT_EQ(decoded.times, c.times) << c.name;
        EXPECT_EQ(decoded.dropped, c.dropped) << c.name;
        EXPECT_EQ(decoded.hoverTraces, c.hoverTraces) << c.name;
    }
}

// ---------------------------------------------------------------- refusals

std::string ManyChannels(std::size_t count) {
    std::string format =
        "<traceFormat><channel name=\"X\"/><channel name=\"Y\"/><intermittentChannels>";
    for (std::size_t i = 2; i < count; ++i) {
        format += "<channel name=\"C" + std::to_string(i) + "\"/>";
    }
    return Ink(format + "</intermittentChannels></traceFormat><trace>1 1</trace>");
}

std::string Nested(int depth) {
    std::string open, close;
    for (int i = 0; i < depth; ++i) {
        open += "<traceGroup>";
        close += "</traceGroup>";
    }
    return Ink(open + "<trace>1 1</trace>" + close);
}

TEST(InkmlRefusalTest, RefusesWithAMessageThatSaysWhy) {
    const struct {
        const char* name;
        std::string doc;
        const char* message;
    } cases[] = {
        {"empty", "", "empty"},
        {"not XML", "SIG\x01\x02 binary", "not a well-formed XML document"},
        {"cut short", Ink("<trace>1 2, 3 4</trace>").substr(0, 70),
         "not a well-formed XML document"},
        {"another XML", "<svg xmlns=\"http://www.w3.org/2000/svg\"/>", "not an InkML document"},
        {"ink without its namespace", "<ink><trace>1 1</trace></ink>", "not an InkML document"},
        {"no traces", Ink("<definitions/>"), "no ink"},
        {"only empty traces", Ink("<trace>  </trace><trace/>"), "no ink"},
        {"only hover traces", Ink("<trace type=\"penUp\">1 1</trace>"), "only hover traces"},
        {"every point outside the declared range",
         Ink("<traceFormat><channel name=\"X\" min=\"0\" max=\"10\"/><channel name=\"Y\" "
             "min=\"0\" max=\"10\"/></traceFormat><trace>11 1, 1 -1</trace>"),
         "all 2 points lie outside"},
        {"no Y channel",
         Ink("<traceFormat><channel name=\"X\"/><channel name=\"F\"/></traceFormat><trace>1 "
             "1</trace>"),
         "no X and Y"},
        {"Y only intermittent",
         Ink("<traceFormat><channel name=\"X\"/><intermittentChannels><channel name=\"Y\"/>"
             "</intermittentChannels></traceFormat><trace>1 1</trace>"),
         "no X and Y"},
        {"a word for a number", Ink("<trace>1 2, x 3</trace>"), "where a number belongs"},
        {"two signs", Ink("<trace>1 - -2</trace>"), "where a number belongs"},
        {"a hash without hex digits", Ink("<trace>1 #G</trace>"), "where a number belongs"},
        {"too many values", Ink("<trace>1 2 3</trace>"), "more values"},
        {"too few values", Ink("<trace>1 2, 3</trace>"), "needs 2"},
        {"empty point", Ink("<trace>1 2,, 3 4</trace>"), "empty point"},
        {"difference first", Ink("<trace>'1 2</trace>"), "starts with a difference"},
        {"second difference too early", Ink("<trace>1 2, \"1 1</trace>"), "second difference"},
        {"unknown X", Ink("<trace>? 2</trace>"), "must be a number"},
        {"huge value", Ink("<trace>1e300 2</trace>"), "sensible range"},
        {"not a number", Ink("<trace>nan 2</trace>"), "sensible range"},
        {"undefined context", Ink("<trace contextRef=\"#nowhere\">1 2</trace>"), "does not define"},
        {"too deep", Nested(80), "nest deeper"},
        {"too many channels", ManyChannels(inkml::kMaxChannels + 1), "more than 64 channels"},
        {"entity expansion",
         "<?xml version=\"1.0\"?><!DOCTYPE ink [<!ENTITY a \"1 1,1 1,1 1,1 1\"><!ENTITY b "
         "\"&a;&a;&a;&a;\">]>"
         "<ink xmlns=\"http://www.w3.org/2003/InkML\"><trace>&b;</trace></ink>",
         "entities"},
    };
    for (const auto& c : cases) {
        const Read decoded = Decode(c.doc);
        EXPECT_NE(decoded.error.find(c.message), std::string::npos)
            << c.name << ": \"" << decoded.error << "\"";
        EXPECT_TRUE(decoded.points.empty()) << c.name;
    }
}

TEST(InkmlRefusalTest, PointCapCountsPenLiftsLikeTheOtherDecoders) {
    auto withPoints = [](std::size_t n) {
        std::string trace;
        trace.reserve(n * 4);
        for (std::size_t i = 0; i < n; ++i) {
            trace += i == 0 ? "1 1" : ",1 1";
        }
        return Ink("<trace>" + trace + "</trace>");
    };
    // One stroke: its points and its lift make the cap exactly.
    EXPECT_EQ(Decode(withPoints(inkml::kMaxPoints - 1)).points.size(), inkml::kMaxPoints);
    EXPECT_NE(Decode(withPoints(inkml::kMaxPoints)).error.find("more than 1000000 points"),
              std::string::npos);
}

TEST(InkmlRefusalTest, DamagedFilesNeverCrash) {
    const Written good = Encode(test::RealisticSignature(5), {});
    const Bytes head(good.bytes.begin(), good.bytes.begin() + 2000);
    test::ExpectSurvivesDamage([](std::span<const std::uint8_t> f) { return DecodeInkml(f); }, head,
                               1);
}

}  // namespace
}  // namespace vellumix::sigformats
