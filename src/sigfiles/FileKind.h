// The kinds of file a signature is read from or written to, known by the
// file's extension. Every front end (the pages, padctl, the converter, the
// virtual pad) asks here; the answers come from the format table
// (sigfiles/FormatTable.h), where a new kind is one row beside its codec.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellumix::sigfiles {

// Each kind has its row in FormatTable.cpp.
enum class FileKind { kSig, kCmp, kVbc, kNlc, kTxt, kSvg, kPng, kBmp, kInkml, kPdf };

// The pad's commands for stored files. Sending them takes the pad link
// (sigfiles/PadFiles.h); the table only names them.
enum class PadFileCommand { kSendSig, kSendCmp, kSendVbc };

// By the text after the name's last dot, lower-cased; nullopt for a name
// without a dot or with any other extension.
std::optional<FileKind> KindFromPath(const std::filesystem::path& path);
// By the bare name the converter's --from and --to take ("sig", "CMP").
std::optional<FileKind> KindFromName(std::string_view name);
std::string_view KindName(FileKind kind);  // "sig", "cmp", ...
std::string DottedName(FileKind kind);     // ".sig", ".cmp", ...
// "not a valid .sig file": what a decoder's refusal says.
std::string NotValidFile(FileKind kind);

// The stored formats the codecs read and write.
bool IsStoredKind(FileKind kind);
// What DecodeAs reads: the stored formats, .txt and .inkml.
bool IsReadableKind(FileKind kind);
// What EncodeAs writes: the stored formats, .txt and .inkml. A .svg, .png,
// .pdf or .bmp is a picture drawn by its own renderer.
bool IsEncodableKind(FileKind kind);
// The pictures the signature renderer draws: .svg, .png and .pdf.
bool IsRenderedKind(FileKind kind);

// .sig, .cmp and .vbc have a command each; the pad reads .nlc files through
// the .vbc one. Nothing for the other kinds.
std::optional<PadFileCommand> PadCommandFor(FileKind kind);

// The names, space-separated with dots (".sig .cmp ..."), of the kinds the
// predicate accepts, in table order: for usage texts and error messages.
std::string ExtensionList(bool (*accepts)(FileKind));
// The bare names ("sig", "cmp", ...) of the kinds the predicate accepts, in
// table order: what --from and --to take.
std::vector<std::string_view> KindNames(bool (*accepts)(FileKind));

}  // namespace vellumix::sigfiles
