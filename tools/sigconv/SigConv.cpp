#include "sigconv/SigConv.h"

#include <charconv>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

#include "sigconv/PngWriter.h"
#include "sigconv/files/SignatureFiles.h"

namespace vellumix::tools {
namespace {

constexpr std::string_view kProgram = "vellumix-sigconv";
constexpr std::string_view kUsage =
    "Usage: vellumix-sigconv [--size WxH] IN OUT\n"
    "       vellumix-sigconv --info FILE\n"
    "       vellumix-sigconv --help\n"
    "\n"
    "Converts a signature by file extension. IN: .sig .cmp .vbc .nlc .txt;\n"
    "OUT: .sig .cmp .vbc .nlc .txt .svg .png. An existing OUT is replaced only\n"
    "when the conversion succeeds.\n"
    "\n"
    "  .txt   one point per line \"x y\" in pad units (0..1024), \"-1 -1\" for a pen lift\n"
    "  .svg   one path per stroke, viewBox 0 0 1024 1024\n"
    "  .png   black ink on white, x * W / 1024 and y * H / 1024\n"
    "\n"
    "Options:\n"
    "  --size WxH   picture size for .png (default 320x240, at most 8192x8192)\n"
    "  --info FILE  print the format, header fields, point and stroke counts\n"
    "               and bounding box\n"
    "  --help       print this help\n";
constexpr std::string_view kUsageHint = "try --help";

struct Size {
    int width = kDefaultPictureWidth;
    int height = kDefaultPictureHeight;
};

std::optional<int> ParseSide(std::string_view text) {
    int value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || ptr != text.data() + text.size() || value < 1 ||
        value > kMaxPictureSide) {
        return std::nullopt;
    }
    return value;
}

std::optional<Size> ParseSize(std::string_view text) {
    const std::size_t x = text.find_first_of("xX");
    if (x == std::string_view::npos) {
        return std::nullopt;
    }
    const auto w = ParseSide(text.substr(0, x));
    const auto h = ParseSide(text.substr(x + 1));
    if (!w || !h) {
        return std::nullopt;
    }
    return Size{*w, *h};
}

class Reporter {
public:
    explicit Reporter(std::ostream& err) : m_err(err) {}
    int Fail(int status, std::string_view subject, std::string_view message) {
        m_err << kProgram << ": ";
        if (!subject.empty()) {
            m_err << subject << ": ";
        }
        m_err << message << '\n';
        return status;
    }

private:
    std::ostream& m_err;
};

int Info(const std::filesystem::path& file, std::ostream& out, Reporter& report) {
    const auto kind = KindFromPath(file);
    if (!kind || !IsReadableKind(*kind)) {
        return report.Fail(kExitFailed, file.string(),
                           "unknown signature file extension (use .sig .cmp .vbc .nlc .txt)");
    }
    const BytesResult bytes = ReadWholeFile(file);
    if (!bytes.error.empty()) {
        return report.Fail(kExitFailed, file.string(), bytes.error);
    }
    const InfoResult info = DescribeFile(*kind, bytes.bytes);
    out << "file: " << file.string() << '\n' << info.text;
    if (!info.error.empty()) {
        return report.Fail(kExitFailed, file.string(), info.error);
    }
    return kExitOk;
}

int Convert(const std::filesystem::path& in, const std::filesystem::path& outPath, Size size,
            Reporter& report) {
    const auto outKind = KindFromPath(outPath);
    if (!outKind) {
        return report.Fail(kExitFailed, outPath.string(),
                           "unknown output extension (use .sig .cmp .vbc .nlc .txt .svg .png)");
    }
    const auto inKind = KindFromPath(in);
    if (!inKind || !IsReadableKind(*inKind)) {
        return report.Fail(kExitFailed, in.string(),
                           "unknown input extension (use .sig .cmp .vbc .nlc .txt)");
    }
    const BytesResult bytes = ReadWholeFile(in);
    if (!bytes.error.empty()) {
        return report.Fail(kExitFailed, in.string(), bytes.error);
    }
    const PointsResult decoded = DecodeAs(*inKind, bytes.bytes);
    if (!decoded.error.empty()) {
        return report.Fail(kExitFailed, in.string(), decoded.error);
    }
    const BytesResult encoded = *outKind == FileKind::kPng
                                    ? EncodePng(decoded.points, size.width, size.height)
                                    : EncodeAs(*outKind, decoded.points);
    if (!encoded.error.empty()) {
        return report.Fail(kExitFailed, outPath.string(), encoded.error);
    }
    if (std::string error = WriteFileReplacing(outPath, encoded.bytes); !error.empty()) {
        return report.Fail(kExitFailed, outPath.string(), error);
    }
    return kExitOk;
}

}  // namespace

int RunSigConv(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
    Reporter report(err);
    std::vector<std::string> files;
    std::optional<std::string> infoFile;
    Size size;
    bool sizeGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            out << kUsage;
            return kExitOk;
        }
        if (arg == "--info" || arg == "--size") {
            if (i + 1 >= args.size()) {
                return report.Fail(kExitUsage, arg, "needs a value");
            }
            const std::string& value = args[++i];
            if (arg == "--info") {
                infoFile = value;
                continue;
            }
            const auto parsed = ParseSize(value);
            if (!parsed) {
                return report.Fail(kExitUsage, arg,
                                   "expected WxH, each 1.." + std::to_string(kMaxPictureSide) +
                                       ", got \"" + value + "\"");
            }
            size = *parsed;
            sizeGiven = true;
            continue;
        }
        if (arg.size() > 1 && arg[0] == '-' && arg != "--") {
            return report.Fail(kExitUsage, arg,
                               std::string("unknown option; ") + std::string(kUsageHint));
        }
        if (arg == "--") {
            files.insert(files.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                         args.end());
            break;
        }
        files.push_back(arg);
    }
    if (infoFile) {
        if (!files.empty() || sizeGiven) {
            return report.Fail(kExitUsage, "--info", "takes one file and no other arguments");
        }
        return Info(*infoFile, out, report);
    }
    if (files.size() != 2) {
        return report.Fail(kExitUsage, {}, "expected IN and OUT; " + std::string(kUsageHint));
    }
    return Convert(files[0], files[1], size, report);
}

}  // namespace vellumix::tools
