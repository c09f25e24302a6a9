#include "sigfiles/FileKind.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "sigfiles/FormatTable.h"
#include "sigformats/CodecResult.h"

namespace vellumix::sigfiles {

std::optional<FileKind> KindFromName(std::string_view name) {
    std::string lower(name);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const FormatRow& row : Formats()) {
        if (lower == row.name) {
            return row.kind;
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
    return FormatOf(kind).name;
}

std::string DottedName(FileKind kind) {
    std::string name(1, '.');
    return name.append(KindName(kind));
}

bool IsStoredKind(FileKind kind) {
    return FormatOf(kind).stored;
}

bool IsReadableKind(FileKind kind) {
    return FormatOf(kind).decode != nullptr;
}

bool IsEncodableKind(FileKind kind) {
    return FormatOf(kind).encode != nullptr;
}

bool IsRenderedKind(FileKind kind) {
    return FormatOf(kind).rendered;
}

std::optional<PadFileCommand> PadCommandFor(FileKind kind) {
    return FormatOf(kind).padCommand;
}

std::string NotValidFile(FileKind kind) {
    return sigformats::NotValidFileText(KindName(kind));
}

std::vector<std::string_view> KindNames(bool (*accepts)(FileKind)) {
    std::vector<std::string_view> names;
    for (const FormatRow& row : Formats()) {
        if (accepts(row.kind)) {
            names.push_back(row.name);
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
