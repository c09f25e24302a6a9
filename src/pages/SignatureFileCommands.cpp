#include "pages/SignatureFileCommands.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "app/Prompts.h"
#include "capture/SignatureBitmap.h"
#include "padlink/PadCommandChannel.h"
#include "pages/SignaturePage.h"
#include "res/Strings.h"

namespace vellumix::pages {

namespace {

using capture::SignaturePoint;

sigformats::Bytes Encode(sigformats::SignatureCodec& codec, SignatureFileType type,
                         std::span<const SignaturePoint> points, QSize box) {
    switch (type) {
        case SignatureFileType::kSig:
            return codec.EncodeSigFile(points);
        case SignatureFileType::kCmp:
            return codec.EncodeCmpFile(points);
        case SignatureFileType::kVbc:
            return codec.EncodeVbcFile(points);
        case SignatureFileType::kNlc:
            return codec.EncodeNlcFile(points);
        case SignatureFileType::kBmp:
            // Fewer than two points give the white picture of the box.
            return capture::EncodeBmp(
                capture::RenderSignatureToDib(points, box.width(), box.height()));
        case SignatureFileType::kUnsupported:
            break;
    }
    return {};
}

}  // namespace

SignatureFileType FileTypeOf(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot < 0) {
        return SignatureFileType::kUnsupported;
    }
    const QString ext = name.mid(dot + 1).toLower();
    const struct {
        QLatin1StringView ext;
        SignatureFileType type;
    } kTypes[] = {
        {QLatin1StringView("sig"), SignatureFileType::kSig},
        {QLatin1StringView("cmp"), SignatureFileType::kCmp},
        {QLatin1StringView("vbc"), SignatureFileType::kVbc},
        {QLatin1StringView("nlc"), SignatureFileType::kNlc},
        {QLatin1StringView("bmp"), SignatureFileType::kBmp},
    };
    for (const auto& entry : kTypes) {
        if (ext == entry.ext) {
            return entry.type;
        }
    }
    return SignatureFileType::kUnsupported;
}

QStringList SignatureFileFilters() {
    return {QString(res::kImageFilterSig), QString(res::kImageFilterCmp),
            QString(res::kImageFilterBmp)};
}

SaveResult SaveSignatureFile(sigformats::SignatureCodec& codec, SignatureFileType type,
                             std::span<const SignaturePoint> points, QSize box,
                             const QString& path) {
    if (type == SignatureFileType::kUnsupported) {
        return SaveResult::kUnsupported;
    }
    // Encoded before the target is touched: an encoder that yields nothing
    // must not leave an empty file where a good one was.
    const sigformats::Bytes bytes = Encode(codec, type, points, box);
    if (bytes.empty()) {
        return SaveResult::kCannotEncode;
    }
    // QSaveFile writes to a temporary file in the target's folder and renames
    // it over the target in commit(); a failure before that removes it.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return SaveResult::kCannotCreate;
    }
    const auto length = static_cast<qint64>(bytes.size());
    if (file.write(reinterpret_cast<const char*>(bytes.data()), length) != length) {
        file.cancelWriting();
        file.commit();
        return SaveResult::kWriteFailed;
    }
    return file.commit() ? SaveResult::kSaved : SaveResult::kWriteFailed;
}

std::optional<std::vector<std::uint8_t>> ReadWholeFile(const QString& path, qint64 maxBytes) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const qint64 size = file.size();
    if (size <= 0 || size > maxBytes) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    // A file that reads short (it shrank, or a read error) is not used half.
    if (file.read(reinterpret_cast<char*>(bytes.data()), size) != size) {
        return std::nullopt;
    }
    return bytes;
}

sigformats::Points DecodeSignatureFile(sigformats::SignatureCodec& codec, SignatureFileType type,
                                       std::span<const std::uint8_t> bytes) {
    switch (type) {
        case SignatureFileType::kSig:
            return codec.DecodeSigFile(bytes);
        case SignatureFileType::kCmp:
            return codec.DecodeCmpFile(bytes);
        case SignatureFileType::kVbc:
            return codec.DecodeVbcFile(bytes);
        case SignatureFileType::kNlc:
            return codec.DecodeNlcFile(bytes);
        case SignatureFileType::kBmp:
        case SignatureFileType::kUnsupported:
            break;
    }
    return {};
}

// The page's two file commands.

void CSignaturePage::OnFileSignature() {
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
    m_services.channel.SuspendCapture();

    const QString path = m_services.prompts.AskSaveFileName(QString(), SignatureFileFilters(),
                                                            QString(res::kSaveSuffix), true);
    if (!path.isEmpty()) {
        const std::vector<SignaturePoint> points = m_points.CopyPoints();
        switch (SaveSignatureFile(m_codec, FileTypeOf(path), points, m_canvas.Size(), path)) {
            case SaveResult::kSaved:
                break;
            case SaveResult::kUnsupported:
                app::ShowFileError(m_services.prompts, QString(res::kImageUnsupportedFormat));
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

    m_services.channel.ResumeCapture();
    StartPenReader();
    InvalidateSignatureBox();
}

void CSignaturePage::OnGetSignatureFile() {
    StopPenReader();
    m_services.channel.SuspendCapture();
    ClearSignature();
    ClearCanvas();

    const QString path = m_services.prompts.AskOpenFileName(QString(), SignatureFileFilters());
    if (path.isEmpty()) {
        ResumeAfterFileCommand();
        return;
    }
    const SignatureFileType type = FileTypeOf(path);
    m_bBitmapShown = false;
    if (type == SignatureFileType::kUnsupported) {
        app::ShowFileError(m_services.prompts, QString(res::kImageUnsupportedFormat));
        ResumeAfterFileCommand();
        return;
    }

    const std::optional<std::vector<std::uint8_t>> bytes = ReadWholeFile(path, kMaxLoadedFileBytes);
    if (!bytes) {
        app::ShowFileError(m_services.prompts, QString(res::kImageInvalidFileSize));
        m_services.channel.ResumeCapture();
        StartPenReader();
        InvalidateSignatureBox();
        return;
    }

    if (type == SignatureFileType::kBmp) {
        ClearSignature();
        if (ShowBitmapFile(path, true).isNull()) {
            // Not a bitmap after all: say so rather than show nothing.
            app::ShowFileError(m_services.prompts, QString(res::kImageCannotRead));
        } else {
            m_strBitmapPath = path;
            m_bBitmapShown = true;
        }
        m_services.channel.ResumeCapture();
        StartPenReader();
        InvalidateSignatureBox();
        return;
    }

    const bool shownOnPcOnly = LoadSignatureBytes(type, *bytes);
    ResumeAfterFileCommand();
    if (shownOnPcOnly) {
        // After the drawing, so the user sees what the message speaks of.
        app::ShowRefusal(m_services.prompts, QString(res::kImageTooLargeForPad));
    }
}

bool CSignaturePage::LoadSignatureBytes(SignatureFileType type,
                                        std::span<const std::uint8_t> bytes) {
    padlink::PadCommandChannel& channel = m_services.channel;
    channel.ClearDisplay();
    // The pad draws .sig and .cmp files itself. The channel refuses a file
    // over the pad's limit without a word, so the size is checked here and
    // the user told.
    bool tooLargeForPad = false;
    if (type == SignatureFileType::kSig || type == SignatureFileType::kCmp) {
        tooLargeForPad = bytes.size() > padlink::kMaxFileBytes;
        if (!tooLargeForPad) {
            type == SignatureFileType::kSig ? channel.SendSigFile(bytes)
                                            : channel.SendCmpFile(bytes);
        }
    }

    std::vector<SignaturePoint> points = DecodeSignatureFile(m_codec, type, bytes);
    if (points.empty()) {
        app::ShowFileError(m_services.prompts, QString(res::kImageCannotRead));
        return false;
    }
    // Judged on the last decoded point, whether or not it is kept.
    if (!capture::IsPenUp(points.back())) {
        points.push_back(capture::PEN_UP_POINT);
    }
    m_points.Clear();
    m_points.AppendPoints(points);
    return tooLargeForPad;
}

void CSignaturePage::ResumeAfterFileCommand() {
    m_services.channel.ResumeCapture();
    StartPenReader();
    DrawStrokes();
    InvalidateSignatureBox();
}

}  // namespace vellumix::pages
