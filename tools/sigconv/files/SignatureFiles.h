// Reading and writing signatures by file extension, for the converter: the
// four stored formats through the codecs, plus plain text, SVG and an ink
// raster for pictures. No Qt here (the fuzz targets build without it) and no
// output to the terminal: every failure comes back as one line of text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "capture/SignaturePoint.h"

namespace vellumix::tools {

using Points = std::vector<capture::SignaturePoint>;
using Bytes = std::vector<std::uint8_t>;

enum class FileKind { kSig, kCmp, kVbc, kNlc, kTxt, kSvg, kPng };

// By the lower-cased extension; nullopt for anything else.
std::optional<FileKind> KindFromPath(const std::filesystem::path& path);
std::string_view KindName(FileKind kind);  // "sig", "cmp", ...
// The stored formats and .txt can be read; .svg and .png are output only.
bool IsReadableKind(FileKind kind);

// Empty error: success.
struct PointsResult {
    Points points;
    std::string error;
};
struct BytesResult {
    Bytes bytes;
    std::string error;
};

// Whole file; refuses files above kMaxInputBytes rather than filling memory.
inline constexpr std::uintmax_t kMaxInputBytes = 64u << 20;
BytesResult ReadWholeFile(const std::filesystem::path& path);

// Writes to a temporary file beside path and renames it over path only when
// everything was written, so a failure never replaces an existing file.
// Returns the error, empty on success.
std::string WriteFileReplacing(const std::filesystem::path& path,
                               std::span<const std::uint8_t> bytes);

// Decodes a stored format or .txt. A locked .vbc that cannot be unlocked is an
// error here (the codec would hand back its padlock drawing instead), and so is
// a decoded point outside 0..1024, which no other format could hold.
PointsResult DecodeAs(FileKind kind, std::span<const std::uint8_t> file);

// Encodes to a stored format, .txt or .svg (.png needs the picture writer).
// The list is closed with a pen lift first when it does not end with one, as
// the Signature page does after loading a file, so the last stroke survives
// in the formats that only finish a stroke at its lift.
BytesResult EncodeAs(FileKind kind, std::span<const capture::SignaturePoint> points);

// Text form: one point per line, "x y", a pen lift as "-1 -1". Blank lines are
// skipped; anything else that is not two numbers in 0..1024 (or -1 -1) fails
// with its line number.
inline constexpr std::string_view kTxtPenUp = "-1 -1";
Bytes WriteTxt(std::span<const capture::SignaturePoint> points);
PointsResult ParseTxt(std::string_view text);

// One path per stroke in pad units, viewBox 0 0 1024 1024.
std::string WriteSvg(std::span<const capture::SignaturePoint> points);

// Picture size of the .png output (PngWriter.h).
inline constexpr int kDefaultPictureWidth = 320;
inline constexpr int kDefaultPictureHeight = 240;
inline constexpr int kMaxPictureSide = 8192;

// --info: the format, its header fields, the point and stroke counts and the
// bounding box, one "name: value" per line. Fails when the file is not of its
// extension's format.
struct InfoResult {
    std::string text;
    std::string error;
};
InfoResult DescribeFile(FileKind kind, std::span<const std::uint8_t> file);

}  // namespace vellumix::tools
