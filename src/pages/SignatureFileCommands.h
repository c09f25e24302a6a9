// The file side of "File the Signature" and "Get Signature File": which
// format a name asks for, encoding and writing a signature safely, reading a
// file to load. No widgets and no messages here; the Signature page's two
// handlers put these together with the pad commands and the prompts, and the
// Image page loads its files through them too.
//
// Thread safety: free functions of their arguments; the codec passed in is
// safe from any thread.
#pragma once

#include <QSize>
#include <QString>
#include <QStringList>
#include <optional>
#include <span>

#include "sigfiles/FileAccess.h"
#include "sigfiles/FileKind.h"
#include "sigfiles/SignatureFiles.h"
#include "sigformats/PointTimes.h"
#include "sigformats/SignaturePoint.h"

namespace vellumix::pages {

// The kinds the pages' file dialogs take: the four stored formats and .bmp,
// by the text after the last dot of the file name, in lower case. Any other
// name is unsupported (nullopt).
std::optional<sigfiles::FileKind> PageFileKindOf(const QString& path);

// The three entries of both file dialogs, in order.
QStringList SignatureFileFilters();

enum class SaveResult {
    kSaved,
    kCannotEncode,  // the encoder cannot represent the points
    kCannotCreate,  // no file can be made beside the target
    kWriteFailed,   // the new bytes did not all reach the disk
};

// Encodes first (a .bmp renders the box-sized picture, white with one point
// or none), then replaces the file at path through
// sigfiles::WriteFileReplacing. On any result but kSaved an existing file at
// path is left as it was. kind is one PageFileKindOf accepts.
SaveResult SaveSignatureFile(sigfiles::FileKind kind,
                             std::span<const sigformats::SignaturePoint> points, QSize box,
                             const QString& path);

// True when the name typed into "File the Signature" ends in ".inkml" (any
// case): the dialog offers no InkML filter, the typed name chooses it.
bool IsInkmlName(const QString& path);

// Writes points as W3C InkML through the same encode-first atomic replace as
// SaveSignatureFile. times is empty or one arrival time per point
// (microseconds on any clock); the file counts them from the first point.
SaveResult SaveInkmlFile(std::span<const sigformats::SignaturePoint> points,
                         std::span<const sigformats::PointTime> times, const QString& path);

// A file to load, read whole and, for a signature format, decoded (with the
// padlock drawing for a locked .vbc), as both pages load one.
struct LoadedFile {
    sigfiles::ReadResult file;
    sigfiles::DecodeResult decoded;  // untouched for a .bmp or a failed read
};

// Reads and decodes on a worker thread (RunOffGuiThread): a 64 MB file takes
// longer than the GUI thread may stall. kind is one PageFileKindOf accepts.
LoadedFile ReadAndDecodeOffGuiThread(const QString& path, sigfiles::FileKind kind,
                                     std::size_t maxBytes);

}  // namespace vellumix::pages
