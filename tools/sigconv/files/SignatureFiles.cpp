#include "sigconv/files/SignatureFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>

#include "sigformats/CmpFormat.h"
#include "sigformats/NlcFormat.h"
#include "sigformats/SigFormat.h"
#include "sigformats/vbc/VbcFormat.h"

namespace vellumix::tools {
namespace {

using capture::IsPenUp;
using capture::SignaturePoint;
namespace vbc = sigformats::vbc;

constexpr std::string_view kSvgHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"1024\" height=\"1024\" "
    "viewBox=\"0 0 1024 1024\">\n"
    "<g fill=\"none\" stroke=\"black\" stroke-width=\"3\" stroke-linecap=\"round\" "
    "stroke-linejoin=\"round\">\n";
constexpr std::string_view kSvgTail = "</g>\n</svg>\n";

// Suffix of the temporary file written beside the output; mkstemp fills the X's.
constexpr std::string_view kTempSuffix = ".sigconv-XXXXXX";
constexpr mode_t kNewFileMode = 0666;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string Errno(std::string_view what) {
    return std::string(what) + ": " + std::strerror(errno);
}

std::string NotValid(FileKind kind) {
    return "not a valid ." + std::string(KindName(kind)) + " file";
}

std::string_view VbcErrorText(vbc::VbcError error) {
    switch (error) {
        case vbc::VbcError::kSuccess:
            return "success";
        case vbc::VbcError::kOutOfMemory:
            return "out of memory";
        case vbc::VbcError::kEmptyArgument:
            return "empty input";
        case vbc::VbcError::kNotPossible:
            return "operation not possible";
        case vbc::VbcError::kInvalidNameOrValue:
            return "invalid header entry";
        case vbc::VbcError::kMissingArgument:
            return "missing argument";
        case vbc::VbcError::kBadHeader:
            return "bad header";
        case vbc::VbcError::kEntryNotFound:
            return "entry not found";
        case vbc::VbcError::kNotLocked:
            return "not locked";
        case vbc::VbcError::kAlreadyLocked:
            return "already locked";
        case vbc::VbcError::kWrongKey:
            return "wrong key";
    }
    return "unknown error";
}

std::string VbcErrorSuffix(vbc::VbcError error) {
    return " (error " + std::to_string(static_cast<int>(error)) + ": " +
           std::string(VbcErrorText(error)) + ")";
}

std::string CheckStorable(std::span<const SignaturePoint> points) {
    for (std::size_t i = 0; i < points.size(); ++i) {
        const SignaturePoint p = points[i];
        if (!capture::IsStorablePoint(p)) {
            return "point " + std::to_string(i + 1) + " (" + std::to_string(p.x) + ", " +
                   std::to_string(p.y) + ") lies outside 0..1024";
        }
    }
    return {};
}

PointsResult DecodeVbcChecked(std::span<const std::uint8_t> file) {
    const auto info = vbc::InspectVbc(file);
    if (!info) {
        return {{}, NotValid(FileKind::kVbc)};
    }
    if (info->locked && !info->unlocked) {
        return {{}, "the signature is locked and cannot be unlocked"};
    }
    vbc::DecodeResult result = vbc::DecodeVbc(file);
    if (result.error != vbc::VbcError::kSuccess) {
        return {{}, NotValid(FileKind::kVbc) + VbcErrorSuffix(result.error)};
    }
    return {std::move(result.points), {}};
}

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
    c.points = points.size();
    bool inStroke = false;
    for (SignaturePoint p : points) {
        if (IsPenUp(p)) {
            ++c.penUps;
            inStroke = false;
            continue;
        }
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

class InfoText {
public:
    template <typename T>
    void Add(std::string_view name, const T& value) {
        m_out << name << ": " << value << '\n';
    }
    void Add(std::string_view name, bool value) { Add(name, value ? "yes" : "no"); }
    void Add(std::string_view name, std::uint8_t value) { Add(name, static_cast<unsigned>(value)); }
    std::string Text() const { return m_out.str(); }

private:
    std::ostringstream m_out;
};

std::string Hex2(unsigned byte) {
    char buf[3];
    std::snprintf(buf, sizeof buf, "%02X", byte & 0xFFu);
    return buf;
}

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
        widths += (widths.empty() ? "" : " ") + Hex2(w);
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
                return NotValid(kind);
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
                return NotValid(kind);
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
                return NotValid(kind);
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
                return NotValid(kind);
            }
            info.Add("version", h->version);
            std::string entries;
            for (const auto& [name, value] : h->entries) {
                entries += (entries.empty() ? "" : "; ") + name + "=" + value;
            }
            info.Add("entries", entries.empty() ? std::string("(none)") : entries);
            info.Add("locked", !h->locked    ? "no"
                               : h->unlocked ? "yes (unlocked)"
                                             : "yes (cannot be unlocked)");
            if (h->stream) {
                DescribeVbcStream(*h->stream, info);
            } else if (h->streamError != vbc::VbcError::kSuccess) {
                info.Add("stream", "unreadable" + VbcErrorSuffix(h->streamError));
            }
            return {};
        }
        case FileKind::kTxt:
        case FileKind::kSvg:
        case FileKind::kPng:
            return {};
    }
    return {};
}

}  // namespace

std::optional<FileKind> KindFromPath(const std::filesystem::path& path) {
    const std::string ext = Lower(path.extension().string());
    if (ext == ".sig")
        return FileKind::kSig;
    if (ext == ".cmp")
        return FileKind::kCmp;
    if (ext == ".vbc")
        return FileKind::kVbc;
    if (ext == ".nlc")
        return FileKind::kNlc;
    if (ext == ".txt")
        return FileKind::kTxt;
    if (ext == ".svg")
        return FileKind::kSvg;
    if (ext == ".png")
        return FileKind::kPng;
    return std::nullopt;
}

std::string_view KindName(FileKind kind) {
    switch (kind) {
        case FileKind::kSig:
            return "sig";
        case FileKind::kCmp:
            return "cmp";
        case FileKind::kVbc:
            return "vbc";
        case FileKind::kNlc:
            return "nlc";
        case FileKind::kTxt:
            return "txt";
        case FileKind::kSvg:
            return "svg";
        case FileKind::kPng:
            return "png";
    }
    return "?";
}

bool IsReadableKind(FileKind kind) {
    return kind != FileKind::kSvg && kind != FileKind::kPng;
}

BytesResult ReadWholeFile(const std::filesystem::path& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        return {{}, "is a directory"};
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return {{}, Errno("cannot open")};
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0) {
        return {{}, "cannot read"};
    }
    if (static_cast<std::uintmax_t>(size) > kMaxInputBytes) {
        return {{}, "file too large"};
    }
    in.seekg(0, std::ios::beg);
    Bytes bytes(static_cast<std::size_t>(size));
    if (!in.read(reinterpret_cast<char*>(bytes.data()), size)) {
        return {{}, "cannot read"};
    }
    return {std::move(bytes), {}};
}

std::string WriteFileReplacing(const std::filesystem::path& path,
                               std::span<const std::uint8_t> bytes) {
    const std::filesystem::path dir = path.has_parent_path() ? path.parent_path() : ".";
    std::string temp = (dir / ("." + path.filename().string())).string();
    temp += kTempSuffix;
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        return Errno("cannot create a file in " + dir.string());
    }
    // mkstemp makes the file private; give it the mode a plain create would,
    // or keep the mode of the file it replaces.
    struct stat existing {};
    mode_t mode = 0;
    if (::stat(path.c_str(), &existing) == 0) {
        mode = existing.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = kNewFileMode & ~mask;
    }
    std::string error;
    std::size_t done = 0;
    while (error.empty() && done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            error = Errno("cannot write");
        } else {
            done += static_cast<std::size_t>(n);
        }
    }
    if (error.empty() && ::fchmod(fd, mode) != 0) {
        error = Errno("cannot set the file mode");
    }
    if (error.empty() && ::fsync(fd) != 0) {
        error = Errno("cannot write");
    }
    if (::close(fd) != 0 && error.empty()) {
        error = Errno("cannot write");
    }
    if (error.empty() && ::rename(temp.c_str(), path.c_str()) != 0) {
        error = Errno("cannot replace the file");
    }
    if (!error.empty()) {
        ::unlink(temp.c_str());
    }
    return error;
}

PointsResult DecodeAs(FileKind kind, std::span<const std::uint8_t> file) {
    PointsResult result;
    switch (kind) {
        case FileKind::kSig:
            result.points = sigformats::DecodeSig(file);
            break;
        case FileKind::kCmp:
            result.points = sigformats::DecodeCmp(file);
            break;
        case FileKind::kNlc:
            result.points = sigformats::DecodeNlc(file);
            break;
        case FileKind::kVbc:
            result = DecodeVbcChecked(file);
            break;
        case FileKind::kTxt:
            result =
                ParseTxt(std::string_view(reinterpret_cast<const char*>(file.data()), file.size()));
            break;
        case FileKind::kSvg:
        case FileKind::kPng:
            return {{}, "." + std::string(KindName(kind)) + " files cannot be read"};
    }
    if (!result.error.empty()) {
        return result;
    }
    // The codecs answer an unreadable file and an empty one alike.
    if (result.points.empty()) {
        return {{}, kind == FileKind::kTxt ? std::string("no points") : NotValid(kind)};
    }
    if (std::string bad = CheckStorable(result.points); !bad.empty()) {
        return {{}, std::move(bad)};
    }
    return result;
}

BytesResult EncodeAs(FileKind kind, std::span<const SignaturePoint> input) {
    if (input.empty()) {
        return {{}, "no points"};
    }
    if (std::string bad = CheckStorable(input); !bad.empty()) {
        return {{}, std::move(bad)};
    }
    Points points(input.begin(), input.end());
    if (!IsPenUp(points.back())) {
        points.push_back(capture::PEN_UP_POINT);
    }
    const std::string tooLarge =
        "the signature cannot be stored as ." + std::string(KindName(kind));
    BytesResult result;
    switch (kind) {
        case FileKind::kSig:
            result.bytes = sigformats::EncodeSig(points);
            break;
        case FileKind::kCmp:
            result.bytes = sigformats::EncodeCmp(points);
            break;
        case FileKind::kNlc:
            result.bytes = sigformats::EncodeNlc(points);
            if (result.bytes.empty()) {
                return {{},
                        tooLarge + " (more than " + std::to_string(sigformats::nlc::kMaxFileBytes) +
                            " bytes)"};
            }
            break;
        case FileKind::kVbc: {
            vbc::EncodeResult vbcResult = vbc::EncodeVbc(points);
            if (vbcResult.bytes.empty()) {
                return {{}, tooLarge + VbcErrorSuffix(vbcResult.error)};
            }
            result.bytes = std::move(vbcResult.bytes);
            break;
        }
        case FileKind::kTxt:
            result.bytes = WriteTxt(points);
            break;
        case FileKind::kSvg: {
            const std::string svg = WriteSvg(points);
            result.bytes.assign(svg.begin(), svg.end());
            break;
        }
        case FileKind::kPng:
            return {{}, "pictures are written by the picture writer"};
    }
    if (result.bytes.empty()) {
        return {{}, tooLarge};
    }
    return result;
}

Bytes WriteTxt(std::span<const SignaturePoint> points) {
    std::string text;
    text.reserve(points.size() * 9);
    for (SignaturePoint p : points) {
        if (IsPenUp(p)) {
            text += kTxtPenUp;
        } else {
            text += std::to_string(p.x) + ' ' + std::to_string(p.y);
        }
        text += '\n';
    }
    return Bytes(text.begin(), text.end());
}

PointsResult ParseTxt(std::string_view text) {
    PointsResult result;
    std::size_t lineNo = 0;
    while (!text.empty()) {
        ++lineNo;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        auto fail = [&](std::string_view why) {
            return PointsResult{{}, "line " + std::to_string(lineNo) + ": " + std::string(why)};
        };
        std::int32_t values[2] = {0, 0};
        int found = 0;
        std::size_t pos = 0;
        while (true) {
            while (pos < line.size() && std::isspace(static_cast<unsigned char>(line[pos]))) {
                ++pos;
            }
            if (pos >= line.size()) {
                break;
            }
            if (found == 2) {
                return fail("expected two numbers \"x y\", found more");
            }
            const char* first = line.data() + pos;
            const char* last = line.data() + line.size();
            const auto [ptr, ec] = std::from_chars(first, last, values[found]);
            if (ec != std::errc() ||
                (ptr != last && !std::isspace(static_cast<unsigned char>(*ptr)))) {
                return fail("expected two numbers \"x y\"");
            }
            pos = static_cast<std::size_t>(ptr - line.data());
            ++found;
        }
        if (found == 0) {
            continue;
        }
        if (found == 1) {
            return fail("expected two numbers \"x y\", found one");
        }
        const SignaturePoint p{values[0], values[1]};
        if (IsPenUp(p)) {
            result.points.push_back(p);
        } else if (p.x < 0 || p.y < 0 || !capture::IsStorablePoint(p)) {
            return fail("point (" + std::to_string(p.x) + ", " + std::to_string(p.y) +
                        ") lies outside 0..1024 (a pen lift is \"-1 -1\")");
        } else {
            result.points.push_back(p);
        }
    }
    return result;
}

std::string WriteSvg(std::span<const SignaturePoint> points) {
    std::string svg(kSvgHead);
    std::string path;
    std::size_t inStroke = 0;
    SignaturePoint last{};
    auto flush = [&] {
        if (inStroke == 1) {
            // A lone point: a zero-length segment, which round caps show as a dot.
            path += " L" + std::to_string(last.x) + ' ' + std::to_string(last.y);
        }
        if (inStroke > 0) {
            svg += "<path d=\"" + path + "\"/>\n";
        }
        path.clear();
        inStroke = 0;
    };
    for (SignaturePoint p : points) {
        if (IsPenUp(p)) {
            flush();
            continue;
        }
        path += (inStroke == 0 ? "M" : " L") + std::to_string(p.x) + ' ' + std::to_string(p.y);
        last = p;
        ++inStroke;
    }
    flush();
    svg += kSvgTail;
    return svg;
}

InfoResult DescribeFile(FileKind kind, std::span<const std::uint8_t> file) {
    InfoText info;
    info.Add("format", KindName(kind));
    info.Add("file size", file.size());
    if (std::string error = DescribeHeader(kind, file, info); !error.empty()) {
        return {{}, std::move(error)};
    }
    const PointsResult decoded = DecodeAs(kind, file);
    if (!decoded.error.empty()) {
        return {info.Text(), decoded.error};
    }
    const Counts c = Count(decoded.points);
    info.Add("points", c.points);
    info.Add("pen lifts", c.penUps);
    info.Add("strokes", c.strokes);
    if (c.strokes > 0) {
        info.Add("bounding box", std::to_string(c.minX) + ".." + std::to_string(c.maxX) + " x " +
                                     std::to_string(c.minY) + ".." + std::to_string(c.maxY));
    } else {
        info.Add("bounding box", "(empty)");
    }
    return {info.Text(), {}};
}

}  // namespace vellumix::tools
