#include "pages/SignatureFileCommands.h"

#include <QFileInfo>

#include "padlink/Frame.h"
#include "padpicture/LcdPicture.h"
#include "pages/OffGuiThread.h"
#include "pages/Prompts.h"
#include "pages/SignaturePage.h"
#include "res/Strings.h"
#include "sigfiles/FileAccess.h"
#include "sigfiles/PadFiles.h"
#include "sigfiles/SignatureFiles.h"
#include "sigrender/SignatureBitmap.h"

namespace vellumix::pages {

namespace {

using capture::SignaturePoint;
using sigfiles::FileKind;

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
                         std::span<const capture::PointTime> times, const QString& path) {
    capture::PointTimes fromFirst(times.begin(), times.end());
    if (!fromFirst.empty()) {
        const capture::PointTime first = fromFirst.front();
        for (capture::PointTime& t : fromFirst) {
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

// The page's two file commands.

void CSignaturePage::OnFileSignature() {
    const PadActivity::Action action = Activity().BeginAction();
    m_bBitmapShown = false;
    ClearCanvas();

    const std::size_t count = GetPointCount();
    if (count == 0 || count >= kMaxSavedPoints) {
        app::ShowRefusal(m_services.prompts,
                         QString(count == 0 ? res::kNoDataAvailable : res::kTooManyPointsToSave));
        InvalidateSignatureBox();
        return;
    }

    StopPenReader();
    Pad().SuspendCapture();

    const QString path = m_services.prompts.AskSaveFileName(QString(), SignatureFileFilters(),
                                                            QString(res::kSaveSuffix), true);
    if (!path.isEmpty() && IsInkmlName(path)) {
        const capture::SharedPointList::TimedCopy timed = m_points.CopyTimedPoints();
        ReportSave(SaveInkmlFile(timed.points, timed.times, path));
    } else if (!path.isEmpty()) {
        const std::vector<SignaturePoint> points = m_points.CopyPoints();
        const auto kind = PageFileKindOf(path);
        if (!kind) {
            app::ShowFileError(m_services.prompts, QString(res::kImageUnsupportedFormat));
        } else {
            ReportSave(SaveSignatureFile(*kind, points, m_canvas.Size(), path));
        }
    }

    Pad().ResumeCapture();
    StartPenReader();
    InvalidateSignatureBox();
}

void CSignaturePage::ReportSave(SaveResult result) {
    switch (result) {
        case SaveResult::kSaved:
            break;
        case SaveResult::kCannotEncode:
            app::ShowRefusal(m_services.prompts, QString(res::kCannotEncode));
            break;
        case SaveResult::kCannotCreate:
            app::ShowRefusal(m_services.prompts, QString(res::kFailedToOpenFile));
            break;
        case SaveResult::kWriteFailed:
            app::ShowRefusal(m_services.prompts, QString(res::kFailedToWriteFile));
            break;
    }
}

void CSignaturePage::OnGetSignatureFile() {
    const PadActivity::Action action = Activity().BeginAction();
    StopPenReader();
    Pad().SuspendCapture();
    // The pad's display is cleared as it always was; the signature on the
    // PC stays until a file has been chosen and read, so a change of mind
    // or a file that does not read loses nothing: File the Signature still
    // saves it.
    ClearPadDisplay();
    ClearCanvas();

    const QString path = m_services.prompts.AskOpenFileName(QString(), SignatureFileFilters());
    if (path.isEmpty()) {
        ResumeAfterFileCommand();
        return;
    }
    const std::optional<sigfiles::FileKind> kind = PageFileKindOf(path);
    m_bBitmapShown = false;
    if (!kind) {
        app::ShowFileError(m_services.prompts, QString(res::kImageUnsupportedFormat));
        ResumeAfterFileCommand();
        return;
    }

    // Regular files only, read without waiting: a FIFO or a device named
    // like a signature is refused at once rather than blocking.
    const LoadedFile loaded = ReadAndDecodeOffGuiThread(path, *kind, kMaxLoadedFileBytes);
    if (!loaded.file.error.empty() || loaded.file.bytes.empty()) {
        app::ShowFileError(m_services.prompts, QString(res::kImageInvalidFileSize));
        ResumeAfterFileCommand();
        return;
    }

    if (*kind == sigfiles::FileKind::kBmp) {
        LoadBitmap(path);
        return;
    }

    const bool shownOnPcOnly = LoadSignatureBytes(*kind, loaded.file.bytes, loaded.decoded);
    ResumeAfterFileCommand();
    if (shownOnPcOnly) {
        // After the drawing, so the user sees what the message speaks of.
        app::ShowRefusal(m_services.prompts, QString(res::kImageTooLargeForPad));
    }
}

void CSignaturePage::LoadBitmap(const QString& path) {
    const QImage picture = padpicture::LoadBitmapForLcd(path.toStdString());
    if (picture.isNull()) {
        // Not a bitmap after all: say so rather than show nothing, and keep
        // the signature. The pad gets the clear it always got.
        ClearPadDisplay();
        app::ShowFileError(m_services.prompts, QString(res::kImageCannotRead));
        ResumeAfterFileCommand();
        return;
    }
    ClearSignature();
    // Shown in the box while it is on its way to the pad.
    m_strBitmapPath = path;
    m_bBitmapShown = true;
    SendPicture(picture);
    Pad().ResumeCapture();
    StartPenReader();
    InvalidateSignatureBox();
}

bool CSignaturePage::LoadSignatureBytes(sigfiles::FileKind kind,
                                        std::span<const std::uint8_t> bytes,
                                        const sigfiles::DecodeResult& decoded) {
    Pad().ClearDisplay();
    // The pad draws .sig and .cmp files itself; this page sends no others.
    // The channel refuses a file over the pad's limit without a word, so the
    // size is checked here and the user told.
    bool tooLargeForPad = false;
    if (kind == sigfiles::FileKind::kSig || kind == sigfiles::FileKind::kCmp) {
        tooLargeForPad =
            sigfiles::CheckForPad(kind, bytes.size()) == sigfiles::PadFileCheck::kTooLarge;
        if (!tooLargeForPad) {
            Activity().RunSend(res::kSendingFile, padlink::FrameLength(bytes.size()),
                               [kind, bytes](PadCommands& pad) { pad.SendFile(kind, bytes); });
        }
    }

    // Closed with a pen lift and cleared of points outside 0..1024 there.
    if (!decoded.error.empty()) {
        app::ShowFileError(m_services.prompts, QString(res::kImageCannotRead));
        return false;
    }
    m_points.Clear();
    m_points.AppendPoints(decoded.points);
    return tooLargeForPad;
}

void CSignaturePage::ResumeAfterFileCommand() {
    Pad().ResumeCapture();
    StartPenReader();
    DrawStrokes();
    InvalidateSignatureBox();
}

}  // namespace vellumix::pages
