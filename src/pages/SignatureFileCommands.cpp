#include "pages/SignatureFileCommands.h"

#include <QFileInfo>

#include "pages/OffGuiThread.h"
#include "res/Strings.h"
#include "sigfiles/FileAccess.h"
#include "sigfiles/SignatureFiles.h"
#include "sigrender/SignatureBitmap.h"

namespace vellumix::pages {

namespace {

using sigfiles::FileKind;
using sigformats::SignaturePoint;

SaveResult WriteReplacing(const QString& path, std::span<const std::uint8_t> bytes) {
    switch (sigfiles::WriteFileReplacing(path.toStdString(), bytes).failure) {
        case sigfiles::WriteFailure::kNone:
            return SaveResult::kSaved;
        case sigfiles::WriteFailure::kCannotCreate:
            return SaveResult::kCannotCreate;
        case sigfiles::WriteFailure::kWriteFailed:
            break;
    }
    return SaveResult::kWriteFailed;
}

}  // namespace

std::optional<FileKind> PageFileKindOf(const QString& path) {
    // By the file name alone: a dot in a folder name does not count.
    const auto kind = sigfiles::KindFromPath(QFileInfo(path).fileName().toStdString());
    if (kind && (sigfiles::IsStoredKind(*kind) || *kind == FileKind::kBmp)) {
        return kind;
    }
    return std::nullopt;
}

QStringList SignatureFileFilters() {
    return {QString(res::kImageFilterSig), QString(res::kImageFilterCmp),
            QString(res::kImageFilterBmp)};
}

SaveResult SaveSignatureFile(FileKind kind, std::span<const SignaturePoint> points, QSize box,
                             const QString& path) {
    // Encoded before the target is touched: an encoder that yields nothing
    // must not leave an empty file where a good one was. Fewer than two
    // points give the white picture of the box.
    const sigfiles::Bytes bytes = kind == FileKind::kBmp
                                      ? sigrender::EncodeBmp(sigrender::RenderSignatureToDib(
                                            points, box.width(), box.height()))
                                      : sigfiles::EncodeStored(kind, points);
    if (bytes.empty()) {
        return SaveResult::kCannotEncode;
    }
    return WriteReplacing(path, bytes);
}

bool IsInkmlName(const QString& path) {
    return sigfiles::KindFromPath(path.toStdString()) == FileKind::kInkml;
}

SaveResult SaveInkmlFile(std::span<const SignaturePoint> points,
                         std::span<const sigformats::PointTime> times, const QString& path) {
    sigformats::PointTimes fromFirst(times.begin(), times.end());
    if (!fromFirst.empty()) {
        const sigformats::PointTime first = fromFirst.front();
        for (sigformats::PointTime& t : fromFirst) {
            t -= first;
        }
    }
    const sigfiles::EncodeResult ink = sigfiles::EncodeInkml(points, fromFirst);
    if (!ink.error.empty() || ink.bytes.empty()) {
        return SaveResult::kCannotEncode;
    }
    return WriteReplacing(path, ink.bytes);
}

LoadedFile ReadAndDecodeOffGuiThread(const QString& path, FileKind kind, std::size_t maxBytes) {
    return RunOffGuiThread([name = path.toStdString(), kind, maxBytes] {
        LoadedFile loaded;
        loaded.file = sigfiles::ReadWholeFile(name, maxBytes);
        if (loaded.file.error.empty() && kind != FileKind::kBmp) {
            loaded.decoded =
                sigfiles::DecodeAs(kind, loaded.file.bytes, sigfiles::LockedVbc::kPadlock);
        }
        return loaded;
    });
}

}  // namespace vellumix::pages
