// The file side of "File the Signature" and "Get Signature File": which
// format a name asks for, encoding and writing a signature safely, reading a
// file to load. No widgets and no messages here; the page's two handlers
// (defined in SignatureFileCommands.cpp) put these together with the pad
// commands and the prompts.
//
// Thread safety: free functions of their arguments; the codec passed in is
// safe from any thread.
#pragma once

#include <QSize>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "capture/SignaturePoint.h"
#include "sigformats/SignatureCodec.h"

namespace vellumix::pages {

enum class SignatureFileType { kSig, kCmp, kVbc, kNlc, kBmp, kUnsupported };

// By the text after the last dot of the file name, in lower case; a name
// without a dot is unsupported.
SignatureFileType FileTypeOf(const QString& path);

// The three entries of both file dialogs, in order.
QStringList SignatureFileFilters();

enum class SaveResult {
    kSaved,
    kUnsupported,   // the type is none of the five
    kCannotEncode,  // the encoder cannot represent the points
    kCannotCreate,  // no file can be made beside the target
    kWriteFailed,   // the new bytes did not all reach the disk
};

// Encodes first (a .bmp renders the box-sized picture, white with one point
// or none), then writes the bytes to a temporary file beside `path` and
// renames it over `path` only once every byte is written. On any result but
// kSaved an existing file at `path` is left as it was.
SaveResult SaveSignatureFile(sigformats::SignatureCodec& codec, SignatureFileType type,
                             std::span<const capture::SignaturePoint> points, QSize box,
                             const QString& path);

// The whole file; nullopt when it cannot be opened or read in full, is
// empty, or is larger than maxBytes.
std::optional<std::vector<std::uint8_t>> ReadWholeFile(const QString& path, qint64 maxBytes);

// Empty when the decoder rejects the bytes (or the type has no decoder).
sigformats::Points DecodeSignatureFile(sigformats::SignatureCodec& codec, SignatureFileType type,
                                       std::span<const std::uint8_t> bytes);

}  // namespace vellumix::pages
