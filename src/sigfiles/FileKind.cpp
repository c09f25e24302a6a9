#include "sigfiles/FileKind.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>

namespace vellumix::sigfiles {

namespace {

struct KindRow {
    FileKind kind;
    std::string_view name;
    bool stored;
    bool readable;
    bool encodable;
    bool rendered;
};

constexpr std::array kKinds = {
    KindRow{FileKind::kSig, "sig", true, true, true, false},
    KindRow{FileKind::kCmp, "cmp", true, true, true, false},
    KindRow{FileKind::kVbc, "vbc", true, true, true, false},
    KindRow{FileKind::kNlc, "nlc", true, true, true, false},
    KindRow{FileKind::kTxt, "txt", false, true, true, false},
    KindRow{FileKind::kInkml, "inkml", false, true, true, false},
    KindRow{FileKind::kSvg, "svg", false, false, false, true},
    KindRow{FileKind::kPng, "png", false, false, false, true},
    KindRow{FileKind::kPdf, "pdf", false, false, false, true},
    KindRow{FileKind::kBmp, "bmp", false, false, false, false},
};

const KindRow& Row(FileKind kind) {
    return *std::find_if(kKinds.begin(), kKinds.end(),
                         [kind](const KindRow& r) { return r.kind == kind; });
}

}  // namespace

std::optional<FileKind> KindFromName(std::string_view name) {
    std::string lower(name);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const KindRow& r : kKinds) {
        if (lower == r.name) {
            return r.kind;
        }
    }
    return std::nullopt;
}

std::optional<FileKind> KindFromPath(const std::filesystem::path& path) {
    const std::string ext = path.extension().string();
    if (ext.size() < 2) {
        return std::nullopt;
    }
    return KindFromName(std::string_view(ext).substr(1));
}

std::string_view KindName(FileKind kind) {
    return Row(kind).name;
}

std::string DottedName(FileKind kind) {
    std::string name(1, '.');
    return name.append(Row(kind).name);
}

bool IsStoredKind(FileKind kind) {
    return Row(kind).stored;
}

bool IsReadableKind(FileKind kind) {
    return Row(kind).readable;
}

bool IsEncodableKind(FileKind kind) {
    return Row(kind).encodable;
}

bool IsRenderedKind(FileKind kind) {
    return Row(kind).rendered;
}

std::string NotValidFile(FileKind kind) {
    return "not a valid " + DottedName(kind) + " file";
}

std::vector<std::string_view> KindNames(bool (*accepts)(FileKind)) {
    std::vector<std::string_view> names;
    for (const KindRow& r : kKinds) {
        if (accepts(r.kind)) {
            names.push_back(r.name);
        }
    }
    return names;
}

std::string ExtensionList(bool (*accepts)(FileKind)) {
    std::string list;
    for (const std::string_view name : KindNames(accepts)) {
        list += (list.empty() ? "." : " .") + std::string(name);
    }
    return list;
}

}  // namespace vellumix::sigfiles
