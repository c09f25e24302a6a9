#include "sigfiles/FileInfo.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <optional>

#include "sigfiles/SignatureFiles.h"
#include "sigformats/CmpFormat.h"
#include "sigformats/NlcFormat.h"
#include "sigformats/SigFormat.h"
#include "sigformats/vbc/VbcFormat.h"

namespace vellumix::sigfiles {
namespace {

using capture::IsPenUp;
using capture::SignaturePoint;
namespace vbc = sigformats::vbc;

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

std::string Hex2(unsigned byte) {
    char buf[3];
    std::snprintf(buf, sizeof buf, "%02X", byte & 0xFFu);
    return buf;
}

class InfoText {
public:
    void Add(std::string_view name, std::string_view value) {
        m_facts.push_back({std::string(name), std::string(value), InfoFact::Type::kText});
    }
    void Add(std::string_view name, const char* value) { Add(name, std::string_view(value)); }
    void Add(std::string_view name, const std::string& value) {
        Add(name, std::string_view(value));
    }
    void Add(std::string_view name, bool value) {
        m_facts.push_back({std::string(name), value ? "yes" : "no", InfoFact::Type::kFlag});
    }
    template <typename T>
    requires std::is_integral_v<T>
    void Add(std::string_view name, T value) {
        m_facts.push_back({std::string(name), std::to_string(+value), InfoFact::Type::kNumber});
    }
    std::vector<InfoFact> Take() { return std::move(m_facts); }

private:
    std::vector<InfoFact> m_facts;
};

void DescribeVbcStream(const vbc::VbcStreamInfo& s, InfoText& info) {
    if (s.profile) {
        info.Add("device profile", static_cast<unsigned>(*s.profile));
    }
    info.Add("device parameter A", s.paramA);
    info.Add("device parameter B", s.paramB);
    info.Add("x range", s.xRange);
    info.Add("y range", s.yRange);
    info.Add("ranges from profile", s.rangesFromProfile);
    info.Add("stream points", s.pointCount);
    info.Add("reduction", s.reduction);
    info.Add("block length", s.blockLength);
    std::string widths;
    for (std::uint8_t w : s.widths) {
        widths += widths.empty() ? "" : " ";
        widths += Hex2(w);
    }
    info.Add("blocks", s.widths.size());
    info.Add("width list", widths.empty() ? std::string("(none)") : widths);
}

// Header fields of the stored formats; an error when the header is malformed.
std::string DescribeHeader(FileKind kind, std::span<const std::uint8_t> file, InfoText& info) {
    switch (kind) {
        case FileKind::kSig: {
            const auto h = sigformats::InspectSig(file);
            if (!h) {
                return NotValidFile(kind);
            }
            info.Add("magic", h->magicOk ? "MP" : "not MP");
            info.Add("header length", h->headerLength);
            info.Add("data length", h->dataLength);
            info.Add("record version", h->version);
            info.Add("x range", h->xRange);
            info.Add("y range", h->yRange);
            info.Add("device parameter A", h->deviceParamA);
            info.Add("device parameter B", h->deviceParamB);
            return {};
        }
        case FileKind::kNlc: {
            const auto h = sigformats::InspectNlc(file);
            if (!h) {
                return NotValidFile(kind);
            }
            info.Add("magic", h->magicOk ? "NC" : "not NC");
            info.Add("trailer", h->trailerOk ? "03 FF" : "not 03 FF");
            info.Add("data length", h->dataLength);
            info.Add("x range", h->xRange);
            info.Add("y range", h->yRange);
            info.Add("device parameter A", h->deviceParamA);
            info.Add("device parameter B", h->deviceParamB);
            info.Add("records", h->recordCount);
            info.Add("truncated", h->truncated);
            return {};
        }
        case FileKind::kCmp: {
            const auto h = sigformats::InspectCmp(file);
            if (!h) {
                return NotValidFile(kind);
            }
            info.Add("bytes before the start byte", h->startOffset);
            info.Add("x divisor", h->xDivisor);
            info.Add("y divisor", h->yDivisor);
            info.Add("coordinate shift", h->absoluteShift);
            info.Add("absolute form", h->shortAbsoluteForm ? "short" : "long");
            info.Add("first pen byte", Hex2(h->firstPenByte));
            info.Add("code bytes", h->streamBytes);
            return {};
        }
        case FileKind::kVbc: {
            const auto h = vbc::InspectVbc(file);
            if (!h) {
                return NotValidFile(kind);
            }
            info.Add("version", h->version);
            std::string entries;
            for (const auto& [name, value] : h->entries) {
                entries.append(entries.empty() ? "" : "; ").append(name).append("=").append(value);
            }
            info.Add("entries", entries.empty() ? std::string("(none)") : entries);
            info.Add("locked", !h->locked    ? "no"
                               : h->unlocked ? "yes (unlocked)"
                                             : "yes (cannot be unlocked)");
            if (h->stream) {
                DescribeVbcStream(*h->stream, info);
            } else if (h->streamError != vbc::VbcError::kSuccess) {
                info.Add("stream", "unreadable (" + vbc::VbcErrorText(h->streamError) + ")");
            }
            return {};
        }
        case FileKind::kTxt:
        case FileKind::kInkml:
        case FileKind::kSvg:
        case FileKind::kPng:
        case FileKind::kPdf:
        case FileKind::kBmp:
            return {};
    }
    return {};
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
    InfoText info;
    info.Add("format", KindName(kind));
    info.Add("file size", file.size());
    if (std::string error = DescribeHeader(kind, file, info); !error.empty()) {
        return {info.Take(), std::move(error)};
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
    if (kind == FileKind::kInkml) {
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
