#include "sigfiles/FileInfo.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <optional>

#include "sigfiles/FormatTable.h"
#include "sigfiles/SignatureFiles.h"

namespace vellumix::sigfiles {
namespace {

using sigformats::IsPenUp;
using sigformats::SignaturePoint;

// A point is a pen-down point: a lift is counted as a lift, not as a point,
// and a stroke is a run of points between lifts. padctl's capture summary
// counts alike, so the two agree on the same signature.
struct Counts {
    std::size_t points = 0;
    std::size_t penUps = 0;
    std::size_t strokes = 0;
    int minX = std::numeric_limits<int>::max();
    int minY = std::numeric_limits<int>::max();
    int maxX = std::numeric_limits<int>::min();
    int maxY = std::numeric_limits<int>::min();
};

Counts Count(std::span<const SignaturePoint> points) {
    Counts c;
    bool inStroke = false;
    for (SignaturePoint p : points) {
        if (IsPenUp(p)) {
            ++c.penUps;
            inStroke = false;
            continue;
        }
        ++c.points;
        if (!inStroke) {
            ++c.strokes;
            inStroke = true;
        }
        c.minX = std::min(c.minX, p.x);
        c.maxX = std::max(c.maxX, p.x);
        c.minY = std::min(c.minY, p.y);
        c.maxY = std::max(c.maxY, p.y);
    }
    return c;
}

void AppendJsonString(std::string& out, std::string_view text) {
    out += '"';
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += ch;
        }
    }
    out += '"';
}

std::string JsonKey(std::string name) {
    std::replace(name.begin(), name.end(), ' ', '_');
    return name;
}

}  // namespace

InfoResult DescribeFile(FileKind kind, std::span<const std::uint8_t> file) {
    InfoFacts info;
    info.Add("format", KindName(kind));
    info.Add("file size", file.size());
    const FormatRow& row = FormatOf(kind);
    if (row.describe != nullptr) {
        if (std::string error = row.describe(file, info); !error.empty()) {
            return {info.Take(), std::move(error)};
        }
    }
    const DecodeResult decoded = DecodeAs(kind, file);
    if (!decoded.error.empty()) {
        return {info.Take(), decoded.error};
    }
    // What the file holds: the lift that closes its last stroke on loading
    // is not counted.
    const std::span<const SignaturePoint> held(decoded.points.data(),
                                               decoded.points.size() - (decoded.liftAdded ? 1 : 0));
    const Counts c = Count(held);
    info.Add("points", c.points);
    info.Add("pen lifts", c.penUps);
    info.Add("strokes", c.strokes);
    info.Add("points dropped", decoded.dropped);
    if (row.timed) {
        info.Add("times", !decoded.times.empty());
        info.Add("hover traces skipped", decoded.hoverTraces);
    }
    if (c.strokes > 0) {
        info.Add("bounding box", std::to_string(c.minX) + ".." + std::to_string(c.maxX) + " x " +
                                     std::to_string(c.minY) + ".." + std::to_string(c.maxY));
    } else {
        info.Add("bounding box", "(empty)");
    }
    return {info.Take(), {}};
}

std::string InfoAsText(const std::vector<InfoFact>& facts) {
    std::string text;
    for (const InfoFact& f : facts) {
        text += f.name + ": " + f.value + '\n';
    }
    return text;
}

std::string InfoAsJson(const std::vector<InfoFact>& facts, const std::string& error) {
    std::string json = "{";
    bool first = true;
    auto member = [&](const std::string& name) {
        json += first ? "" : ", ";
        first = false;
        AppendJsonString(json, JsonKey(name));
        json += ": ";
    };
    for (const InfoFact& f : facts) {
        member(f.name);
        switch (f.type) {
            case InfoFact::Type::kNumber:
                json += f.value;
                break;
            case InfoFact::Type::kFlag:
                json += f.value == "yes" ? "true" : "false";
                break;
            case InfoFact::Type::kText:
                AppendJsonString(json, f.value);
                break;
        }
    }
    if (!error.empty()) {
        member("error");
        AppendJsonString(json, error);
    }
    json += "}\n";
    return json;
}

}  // namespace vellumix::sigfiles
