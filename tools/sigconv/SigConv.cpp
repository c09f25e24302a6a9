#include "sigconv/SigConv.h"

#include <array>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <optional>
#include <set>
#include <string_view>
#include <vector>

#include <vellumix/Version.h>

#include "cli/UsageError.h"
#include "sigfiles/FileAccess.h"
#include "sigfiles/FileInfo.h"
#include "sigfiles/FileKind.h"
#include "sigfiles/SignatureFiles.h"
#include "sigrender/SignatureRenderer.h"

namespace vellumix::tools::sigconv {
namespace {

using sigfiles::Bytes;
using sigfiles::FileKind;

constexpr std::string_view kProgram = "vellumix-sigconv";
constexpr std::string_view kUsage =
    "Usage: vellumix-sigconv [--from FMT] [--to FMT] [PICTURE OPTIONS] IN OUT\n"
    "       vellumix-sigconv [--from FMT] --to FMT --out-dir DIR [PICTURE OPTIONS] IN...\n"
    "       vellumix-sigconv --info [--json] [--from FMT] FILE\n"
    "       vellumix-sigconv --help | --version\n"
    "\n"
    "Converts a signature, by file extension or by --from and --to. IN: .sig .cmp\n"
    ".vbc .nlc .txt .inkml; OUT: .sig .cmp .vbc .nlc .txt .inkml .svg .png .pdf. An\n"
    "existing OUT is replaced only when the conversion succeeds. A file named - is\n"
    "standard input or standard output, whose format --from or --to gives.\n"
    "\n"
    "  .txt    one point per line \"x y\" in pad units (0..1024), \"-1 -1\" for a pen lift\n"
    "  .inkml  W3C InkML 1.0, one trace per stroke; the times of the points are\n"
    "          kept from .inkml to .inkml (the other formats hold none)\n"
    "  .svg .png .pdf\n"
    "          the signature drawn anti-aliased with round ends, fitted to the\n"
    "          picture with its aspect kept; black ink on white\n"
    "\n"
    "Decoded points outside 0..1024 (a stored format's rounding by the pad's edge,\n"
    "an .inkml point outside its channels' declared min and max) are left out, as\n"
    "the demo program leaves them out, and counted on standard error; so are an\n"
    ".inkml's hover traces (type=\"penUp\").\n"
    "\n"
    "Options:\n"
    "  --from FMT     read every input as FMT (sig cmp vbc nlc txt inkml)\n"
    "  --to FMT       write OUT as FMT (sig cmp vbc nlc txt inkml svg png pdf)\n"
    "  --out-dir DIR  convert every IN to DIR/NAME.FMT (needs --to); a failure is\n"
    "                 one line on standard error, the other files are still\n"
    "                 written, and the exit status is 1\n"
    "  --size WxH     picture size: pixels for .png, points (1/72 inch) for .svg\n"
    "                 and .pdf (default 320x240, at most 8192x8192)\n"
    "  --pen WIDTH    pen width in the picture's units (default 3, at most 1000)\n"
    "  --transparent  no background behind the ink\n"
    "  --info FILE    print the format, header fields, point and stroke counts\n"
    "                 and bounding box\n"
    "  --json         with --info: the same facts as one JSON object\n"
    "  --help         print this help\n"
    "  --version      print the version\n";
constexpr std::string_view kStdio = "-";

struct Size {
    int width = kDefaultPictureWidth;
    int height = kDefaultPictureHeight;
};

struct Options {
    std::vector<std::string> files;
    std::optional<FileKind> from;
    std::optional<FileKind> to;
    std::optional<std::filesystem::path> outDir;
    bool info = false;
    bool json = false;
    bool pictureOptionGiven = false;  // --size, --pen or --transparent
    Size size;
    double penWidth = kDefaultPenWidth;
    bool transparent = false;
};

bool IsOutputKind(FileKind kind) {
    return sigfiles::IsEncodableKind(kind) || sigfiles::IsRenderedKind(kind);
}

sigrender::ImageFormat ImageFormatOf(FileKind kind) {
    switch (kind) {
        case FileKind::kSvg:
            return sigrender::ImageFormat::kSvg;
        case FileKind::kPdf:
            return sigrender::ImageFormat::kPdf;
        default:
            return sigrender::ImageFormat::kPng;
    }
}

std::optional<int> ParseSide(std::string_view text) {
    int value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || ptr != text.data() + text.size() || value < 1 ||
        value > kMaxPictureSide) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> ParsePen(std::string_view text) {
    // from_chars: "2.5" whatever the locale says about decimal commas.
    double value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || ptr != text.data() + text.size() || !std::isfinite(value) ||
        value <= 0 || value > sigrender::kMaxPenWidth) {
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

// The format meant by a mistyped --from or --to value or extension ("cpm"
// -> "cmp").
std::optional<std::string> NearMissFormat(std::string_view value, bool from) {
    const auto names = sigfiles::KindNames(from ? sigfiles::IsReadableKind : IsOutputKind);
    return cli::NearMiss(value, names);
}

std::optional<FileKind> OutputKindOf(const std::string& name) {
    const auto kind = sigfiles::KindFromPath(name);
    return kind && IsOutputKind(*kind) ? kind : std::nullopt;
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
    // One line, with the word meant when the given one is a near miss.
    int Usage(std::string_view subject, std::string_view problem,
              const std::optional<std::string>& suggestion = std::nullopt) {
        const std::string what = subject.empty()
                                     ? std::string(problem)
                                     : std::string(subject) + ": " + std::string(problem);
        m_err << cli::UsageLine(kProgram, what, suggestion) << '\n';
        return kExitUsage;
    }

private:
    std::ostream& m_err;
};

// Standard input, read as a file is: to the same cap.
sigfiles::ReadResult ReadStream(std::istream& in) {
    constexpr std::size_t kChunk = 1u << 16;
    sigfiles::ReadResult result;
    // One chunk past the cap tells an input that is too large.
    while (in && result.bytes.size() <= sigfiles::kMaxInputBytes) {
        const std::size_t at = result.bytes.size();
        result.bytes.resize(at + kChunk);
        in.read(reinterpret_cast<char*>(result.bytes.data() + at), kChunk);
        result.bytes.resize(at + static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad()) {
        return {{}, sigfiles::ReadFailure::kReadFailed, "cannot read standard input"};
    }
    if (result.bytes.size() > sigfiles::kMaxInputBytes) {
        return {
            {},
            sigfiles::ReadFailure::kTooLarge,
            "input too large (more than " + std::to_string(sigfiles::kMaxInputBytes) + " bytes)"};
    }
    return result;
}

class Converter {
public:
    Converter(const Options& options, std::istream& in, std::ostream& out, Reporter& report)
        : m_options(options), m_in(in), m_out(out), m_report(report) {}

    std::optional<FileKind> InputKind(const std::string& name) const {
        return m_options.from ? m_options.from : sigfiles::KindFromPath(name);
    }

    sigfiles::ReadResult Read(const std::string& name) const {
        return name == kStdio ? ReadStream(m_in) : sigfiles::ReadWholeFile(name);
    }

    // The one place an input is found, read and decoded: its points, or
    // false after its failure line.
    bool Load(const std::string& name, sigfiles::DecodeResult& decoded) {
        const auto kind = InputKind(name);
        if (!kind || !sigfiles::IsReadableKind(*kind)) {
            m_report.Fail(kExitFailed, name,
                          "unknown input extension (use " +
                              sigfiles::ExtensionList(sigfiles::IsReadableKind) + " or --from)");
            return false;
        }
        const sigfiles::ReadResult bytes = Read(name);
        if (!bytes.error.empty()) {
            m_report.Fail(kExitFailed, name, bytes.error);
            return false;
        }
        decoded = sigfiles::DecodeAs(*kind, bytes.bytes);
        if (!decoded.error.empty()) {
            m_report.Fail(kExitFailed, name, decoded.error);
            return false;
        }
        if (decoded.dropped > 0) {
            m_report.Fail(kExitOk, name,
                          "left out " + std::to_string(decoded.dropped) +
                              (decoded.dropped == 1 ? " point" : " points") + " outside 0..1024");
        }
        if (decoded.hoverTraces > 0) {
            m_report.Fail(kExitOk, name,
                          "skipped " + std::to_string(decoded.hoverTraces) +
                              (decoded.hoverTraces == 1 ? " hover trace" : " hover traces") +
                              " (type=\"penUp\": the pen above the surface, no ink)");
        }
        return true;
    }

    sigfiles::EncodeResult Render(FileKind kind, const sigfiles::Points& points) const {
        const sigrender::RenderOptions options{m_options.size.width, m_options.size.height,
                                               m_options.penWidth, m_options.transparent};
        sigfiles::EncodeResult result;
        result.error = sigrender::RenderSignature(
            points, ImageFormatOf(kind), options, [&result](std::span<const std::uint8_t> piece) {
                result.bytes.insert(result.bytes.end(), piece.begin(), piece.end());
                return true;
            });
        return result;
    }

    // The one place an output is encoded and written. The times go only
    // where the format keeps them (.inkml).
    bool Store(const std::string& name, FileKind kind, const sigfiles::DecodeResult& decoded) {
        const sigfiles::EncodeResult encoded =
            sigfiles::IsRenderedKind(kind)
                ? Render(kind, decoded.points)
                : sigfiles::EncodeAs(kind, decoded.points, decoded.times);
        if (!encoded.error.empty()) {
            m_report.Fail(kExitFailed, name, encoded.error);
            return false;
        }
        if (name == kStdio) {
            m_out.write(reinterpret_cast<const char*>(encoded.bytes.data()),
                        static_cast<std::streamsize>(encoded.bytes.size()));
            m_out.flush();
            if (!m_out) {
                m_report.Fail(kExitFailed, name, "cannot write standard output");
                return false;
            }
            return true;
        }
        const sigfiles::WriteResult written = sigfiles::WriteFileReplacing(name, encoded.bytes);
        if (!written.error.empty()) {
            m_report.Fail(kExitFailed, name, written.error);
            return false;
        }
        return true;
    }

    // outKind was checked with the arguments.
    int ConvertOne(const std::string& inName, const std::string& outName, FileKind outKind) {
        sigfiles::DecodeResult decoded;
        if (!Load(inName, decoded) || !Store(outName, outKind, decoded)) {
            return kExitFailed;
        }
        return kExitOk;
    }

    int ConvertAll() {
        const std::filesystem::path& dir = *m_options.outDir;
        const std::string ext = sigfiles::DottedName(*m_options.to);
        std::set<std::filesystem::path> written;
        int status = kExitOk;
        for (const std::string& inName : m_options.files) {
            const std::filesystem::path outPath =
                dir / std::filesystem::path(inName).filename().replace_extension(ext);
            // Two inputs of one name would leave only the last one's output.
            if (!written.insert(outPath).second) {
                status = m_report.Fail(kExitFailed, inName,
                                       "another input already wrote " + outPath.string());
                continue;
            }
            sigfiles::DecodeResult decoded;
            if (!Load(inName, decoded) || !Store(outPath.string(), *m_options.to, decoded)) {
                status = kExitFailed;
            }
        }
        return status;
    }

    int Info(const std::string& name) {
        const auto kind = InputKind(name);
        if (!kind || !sigfiles::IsReadableKind(*kind)) {
            return m_report.Fail(kExitFailed, name,
                                 "unknown signature file extension (use " +
                                     sigfiles::ExtensionList(sigfiles::IsReadableKind) +
                                     " or --from)");
        }
        const sigfiles::ReadResult bytes = Read(name);
        if (!bytes.error.empty()) {
            return m_report.Fail(kExitFailed, name, bytes.error);
        }
        sigfiles::InfoResult info = sigfiles::DescribeFile(*kind, bytes.bytes);
        info.facts.insert(info.facts.begin(), {"file", name, sigfiles::InfoFact::Type::kText});
        m_out << (m_options.json ? sigfiles::InfoAsJson(info.facts, info.error)
                                 : sigfiles::InfoAsText(info.facts));
        if (!info.error.empty()) {
            return m_report.Fail(kExitFailed, name, info.error);
        }
        return kExitOk;
    }

private:
    const Options& m_options;
    std::istream& m_in;
    std::ostream& m_out;
    Reporter& m_report;
};

// Usage problems, or nullopt when the options fit one of the four forms.
std::optional<int> CheckForm(const Options& o, Reporter& report) {
    if (o.info) {
        if (o.files.size() != 1 || o.to || o.outDir || o.pictureOptionGiven) {
            return report.Usage("--info",
                                "takes one file and no --to, --out-dir or picture options");
        }
        if (o.files[0] == kStdio && !o.from) {
            return report.Usage("-", "standard input has no extension: give --from FMT");
        }
        return std::nullopt;
    }
    if (o.json) {
        return report.Usage("--json", "goes with --info");
    }
    if (o.outDir) {
        if (!o.to) {
            return report.Usage("--out-dir", "needs --to FMT");
        }
        if (o.files.empty()) {
            return report.Usage("--out-dir", "expected at least one input");
        }
        for (const std::string& f : o.files) {
            if (f == kStdio) {
                return report.Usage("--out-dir", "standard input has no name to write under");
            }
        }
        return std::nullopt;
    }
    if (o.files.size() != 2) {
        return report.Usage({}, "expected IN and OUT");
    }
    if (o.files[0] == kStdio && !o.from) {
        return report.Usage("-", "standard input has no extension: give --from FMT");
    }
    if (o.files[1] == kStdio && !o.to) {
        return report.Usage("-", "standard output has no extension: give --to FMT");
    }
    // What to write is an argument like --to, so a kind that cannot be
    // written is the same usage error by either road.
    if (!o.to && !OutputKindOf(o.files[1])) {
        // A slip of the keyboard gets the kind meant; a known kind that
        // cannot be written (.bmp) gets none.
        const std::string ext = std::filesystem::path(o.files[1]).extension().string();
        const bool known = sigfiles::KindFromPath(o.files[1]).has_value();
        return report.Usage(
            o.files[1],
            "unknown output extension (use " + sigfiles::ExtensionList(IsOutputKind) + " or --to)",
            ext.empty() || known ? std::nullopt : NearMissFormat(ext.substr(1), false));
    }
    return std::nullopt;
}

// Where the arguments are read into, and where --help and --version print.
struct ArgumentContext {
    Options& o;
    Reporter& report;
    std::ostream& out;
};

// What an option does with its value (empty for a switch): nothing more, or
// the exit status to end with now (help, version, a usage error).
using Status = std::optional<int>;
using OptionAction = Status (*)(const std::string& option, const std::string& value,
                                ArgumentContext& c);

Status PrintHelp(const std::string& /*option*/, const std::string& /*value*/, ArgumentContext& c) {
    c.out << kUsage;
    return kExitOk;
}

Status PrintVersion(const std::string& /*option*/, const std::string& /*value*/,
                    ArgumentContext& c) {
    c.out << kProgram << ' ' << VELLUMIX_VERSION << '\n';
    return kExitOk;
}

template <bool Options::*Flag>
Status SetFlag(const std::string& /*option*/, const std::string& /*value*/, ArgumentContext& c) {
    c.o.*Flag = true;
    return std::nullopt;
}

Status SetTransparent(const std::string& /*option*/, const std::string& /*value*/,
                      ArgumentContext& c) {
    c.o.transparent = true;
    c.o.pictureOptionGiven = true;
    return std::nullopt;
}

Status SetOutDir(const std::string& /*option*/, const std::string& value, ArgumentContext& c) {
    c.o.outDir = value;
    return std::nullopt;
}

Status SetSize(const std::string& option, const std::string& value, ArgumentContext& c) {
    const auto parsed = ParseSize(value);
    if (!parsed) {
        return c.report.Usage(option, "expected WxH, each 1.." + std::to_string(kMaxPictureSide) +
                                          ", got \"" + value + "\"");
    }
    c.o.size = *parsed;
    c.o.pictureOptionGiven = true;
    return std::nullopt;
}

Status SetPen(const std::string& option, const std::string& value, ArgumentContext& c) {
    const auto pen = ParsePen(value);
    if (!pen) {
        return c.report.Usage(
            option, "expected a width above 0 and at most " +
                        std::to_string(static_cast<int>(sigrender::kMaxPenWidth)) + ", got \"" +
                        value + "\"");
    }
    c.o.penWidth = *pen;
    c.o.pictureOptionGiven = true;
    return std::nullopt;
}

// --from and --to.
Status SetFormat(const std::string& option, const std::string& value, ArgumentContext& c) {
    const bool from = option == "--from";
    const auto kind = sigfiles::KindFromName(value);
    if (!kind || !(from ? sigfiles::IsReadableKind(*kind) : IsOutputKind(*kind))) {
        return c.report.Usage(option,
                              "unknown format \"" + value + "\" (use " +
                                  (from ? sigfiles::ExtensionList(sigfiles::IsReadableKind)
                                        : sigfiles::ExtensionList(IsOutputKind)) +
                                  ")",
                              kind ? std::nullopt : NearMissFormat(value, from));
    }
    (from ? c.o.from : c.o.to) = kind;
    return std::nullopt;
}

struct OptionRow {
    std::string_view name;
    std::string_view shortName;  // empty for none
    bool takesValue;
    OptionAction apply;
};

// Applied as they come on the command line; in this order they are offered
// as the word meant after an unknown option.
constexpr OptionRow kOptionTable[] = {
    {"--from", "", true, SetFormat},
    {"--to", "", true, SetFormat},
    {"--size", "", true, SetSize},
    {"--pen", "", true, SetPen},
    {"--transparent", "", false, SetTransparent},
    {"--out-dir", "", true, SetOutDir},
    {"--info", "", false, SetFlag<&Options::info>},
    {"--json", "", false, SetFlag<&Options::json>},
    {"--help", "-h", false, PrintHelp},
    {"--version", "", false, PrintVersion},
};

constexpr auto kOptionNames = [] {
    std::array<std::string_view, std::size(kOptionTable)> names{};
    for (std::size_t i = 0; i < names.size(); ++i) {
        names[i] = kOptionTable[i].name;
    }
    return names;
}();

const OptionRow* FindOption(std::string_view arg) {
    for (const OptionRow& row : kOptionTable) {
        if (arg == row.name || (!row.shortName.empty() && arg == row.shortName)) {
            return &row;
        }
    }
    return nullptr;
}

// Reads the arguments into c.o: options, "--" before names that start with
// a dash, and the file names. The exit status when the arguments already
// settle it.
Status ReadArguments(std::span<const std::string> args, ArgumentContext& c) {
    static const std::string kNoValue;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (const OptionRow* row = FindOption(arg)) {
            if (row->takesValue && i + 1 >= args.size()) {
                return c.report.Usage(arg, "needs a value");
            }
            const std::string& value = row->takesValue ? args[++i] : kNoValue;
            if (const Status status = row->apply(arg, value, c)) {
                return status;
            }
            continue;
        }
        if (arg == "--") {
            c.o.files.insert(c.o.files.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                             args.end());
            break;
        }
        if (arg.size() > 1 && arg[0] == '-') {
            return c.report.Usage(arg, "unknown option", cli::NearMiss(arg, kOptionNames));
        }
        c.o.files.push_back(arg);
    }
    return std::nullopt;
}

}  // namespace

int RunSigConv(std::span<const std::string> args, std::istream& in, std::ostream& out,
               std::ostream& err) {
    Reporter report(err);
    Options o;
    ArgumentContext context{o, report, out};
    if (const Status status = ReadArguments(args, context)) {
        return *status;
    }
    if (const auto problem = CheckForm(o, report)) {
        return *problem;
    }
    Converter converter(o, in, out, report);
    if (o.info) {
        return converter.Info(o.files[0]);
    }
    if (o.outDir) {
        return converter.ConvertAll();
    }
    return converter.ConvertOne(o.files[0], o.files[1], o.to ? *o.to : *OutputKindOf(o.files[1]));
}

}  // namespace vellumix::tools::sigconv
