#include "pages/SignaturePage.h"

#include <QGroupBox>
#include <QMetaObject>
#include <QPainter>
#include <QPushButton>
#include <algorithm>
#include <thread>

#include "padlink/Frame.h"
#include "padlink/PadProtocol.h"
#include "padpicture/LcdPicture.h"
#include "pages/DialogLayout.h"
#include "pages/PaintedBox.h"
#include "pages/Prompts.h"
#include "pages/QueuedHandOver.h"
#include "res/Strings.h"
#include "sigfiles/PadFiles.h"
#include "sigfiles/SignatureFiles.h"

namespace vellumix::pages {

namespace {

using sigformats::SignaturePoint;

constexpr int kCaptionFontHeight = 24;

// The signature box: 160 x 120 dialog units, the pad's 320 x 240 LCD.
const QRect kBoxRect = DialogRect(92, 40, 160, 120);

// SetCaptureArea: the whole LCD, and four trailing bytes of 0 (the values
// the pad has always been sent; larger ones would not fit their bytes).
constexpr int kCaptureAreaTrailer = 0;

}  // namespace

CSignaturePage::CSignaturePage(const PageServices& services, QWidget* parent)
    : CTabPage(services, parent),
      m_services(services),
      m_canvas(kBoxRect.size(), devicePixelRatioF()),
      m_sleep([](std::chrono::milliseconds time) { std::this_thread::sleep_for(time); }),
      m_reader(
          services.channel,
          [this](std::span<const SignaturePoint> batch,
                 std::span<const sigformats::PointTime> times) {
              m_points.AppendPoints(batch, times);
          },
          [this](std::stop_token stop) {
              capture::PostAndWait(
                  [this](std::function<void()> task) { PostQueued(this, std::move(task)); },
                  [this] { OnReaderSync(); }, stop);
          }) {
    auto* group = new QGroupBox(QString(res::kSignatureGroup), this);
    group->setGeometry(DialogRect(84, 25, 177, 145));
    group->setAlignment(Qt::AlignHCenter);
    group->setFont(ArialFont(kCaptionFontHeight, QFont::Bold));
    AddControl(IDC_SIGNATURE_GROUP, group);

    // White on the white page: the box shows only its ink.
    m_pBox = new PaintedBox(this, QFrame::NoFrame);
    m_pBox->setGeometry(kBoxRect);
    m_pBox->SetPainter([this](QPainter& painter) { PaintBox(painter); });
    AddControl(IDC_SIGNATURE_BOX, m_pBox);

    connect(AddButton(IDC_CLEAR_DISPLAY, res::kClearTheDisplay, DialogRect(7, 188, 70, 15)),
            &QPushButton::clicked, this, &CSignaturePage::OnClear);
    connect(AddButton(IDC_CALIBRATE_PAD, res::kCalibratePad, DialogRect(80, 187, 70, 16)),
            &QPushButton::clicked, this, &CSignaturePage::OnCalibrate);
    connect(AddButton(IDC_FILE_SIGNATURE, res::kFileTheSignature, DialogRect(153, 187, 70, 15)),
            &QPushButton::clicked, this, &CSignaturePage::OnFileSignature);
    connect(AddButton(IDC_GET_SIGNATURE_FILE, res::kGetSignatureFile, DialogRect(226, 187, 70, 15)),
            &QPushButton::clicked, this, &CSignaturePage::OnGetSignatureFile);
    connect(AddButton(IDC_EXIT, res::kSignatureExit, DialogRect(300, 187, 37, 15)),
            &QPushButton::clicked, this, &CSignaturePage::OnExit);

    InvalidateSignatureBox();
    RestorePadSetup();
    StartPenReader();
}

void CSignaturePage::RestorePadSetup() {
    Pad().StartCapture();
    Pad().SetCaptureArea(0, 0, padlink::kLcdMaxX, padlink::kLcdMaxY, kCaptureAreaTrailer,
                         kCaptureAreaTrailer, kCaptureAreaTrailer, kCaptureAreaTrailer);
}

CSignaturePage::~CSignaturePage() {
    // No pause here: nothing goes to the pad after it.
    m_reader.Stop();
}

QPushButton* CSignaturePage::AddButton(int id, QLatin1StringView text, QRect geometry) {
    auto* button = new QPushButton(QString(text), this);
    button->setGeometry(geometry);
    // Enter on a focused button must not press it: the page swallows the key.
    button->setAutoDefault(false);
    AddControl(id, button);
    return button;
}

bool CSignaturePage::StartPenReader() {
    m_reader.Start();
    return true;
}

void CSignaturePage::StopPenReader() {
    const auto asked = std::chrono::steady_clock::now();
    m_reader.Stop();
    const auto left = kReaderStopPause - std::chrono::duration_cast<std::chrono::milliseconds>(
                                             std::chrono::steady_clock::now() - asked);
    if (left.count() > 0) {
        m_sleep(left);
    }
}

void CSignaturePage::OnReaderSync() {
    const std::size_t count = m_points.GetPointCount();
    if (count == m_nSyncedCount) {
        return;  // nothing new: no repaint
    }
    m_nSyncedCount = count;
    if (count >= 2 && count - 1 > m_nDrawnSegments) {
        // Segment i needs points i and i + 1: copy from the first new one on.
        const std::vector<SignaturePoint> points = m_points.CopyPoints(m_nDrawnSegments);
        m_canvas.Draw(points);
        m_nDrawnSegments += points.size() - 1;
    }
    // A first single point draws nothing, but the box shows the canvas now.
    InvalidateSignatureBox();
}

void CSignaturePage::DrawStrokes() {
    const std::vector<SignaturePoint> points = m_points.CopyPoints();
    if (points.empty()) {
        return;
    }
    m_canvas.Draw(points);
    m_nDrawnSegments = points.size() - 1;
    m_nSyncedCount = points.size();
    InvalidateSignatureBox();
}

void CSignaturePage::ClearCanvas() {
    m_canvas.Clear();
    m_nDrawnSegments = 0;
    m_nSyncedCount = 0;
}

void CSignaturePage::ClearSignature() {
    m_points.Clear();
    m_nDrawnSegments = 0;
    m_nSyncedCount = 0;
    ClearPadDisplay();
}

void CSignaturePage::ClearPadDisplay() {
    Pad().ClearDisplay();
    InvalidateSignatureBox();
}

void CSignaturePage::InvalidateSignatureBox() {
    m_pBox->update();
}

void CSignaturePage::PaintBox(QPainter& painter) {
    // The ink is drawn in the screen's own pixels; on a screen of another
    // ratio the canvas starts again with what it held.
    if (m_pBox->devicePixelRatioF() != m_canvas.DevicePixelRatio()) {
        m_canvas.SetDevicePixelRatio(m_pBox->devicePixelRatioF());
        if (m_nDrawnSegments > 0) {
            const std::vector<SignaturePoint> points = m_points.CopyPoints();
            m_canvas.Draw(std::span(points).first(std::min(points.size(), m_nDrawnSegments + 1)));
        }
    }
    if (m_bBitmapShown) {
        const QImage picture = ShowBitmapFile(m_strBitmapPath, false);
        if (!picture.isNull()) {
            painter.drawImage(QPoint(0, 0), picture);
        }
    }
    if (m_points.GetPointCount() > 0) {
        painter.drawImage(QPoint(0, 0), m_canvas.Image());
    }
}

QImage CSignaturePage::ShowBitmapFile(const QString& path, bool send) {
    QImage picture = padpicture::LoadBitmapForLcd(path.toStdString());
    if (!picture.isNull() && send) {
        SendPicture(picture);
    }
    return picture;
}

void CSignaturePage::SendPicture(const QImage& picture) {
    // What goes to the pad is what the box shows; it paints while the
    // picture is on its way.
    InvalidateSignatureBox();
    const std::vector<std::uint8_t> pixels = padpicture::ToPadPixels(picture);
    Activity().RunSend(res::kSendingPicture, padlink::FrameLength(pixels.size()),
                       [&pixels](PadCommands& pad) { pad.DisplayImage(pixels); });
}

void CSignaturePage::OnClear() {
    const PadActivity::Action action = Activity().BeginAction();
    m_bBitmapShown = false;
    ClearCanvas();
    ClearSignature();
}

void CSignaturePage::OnCalibrate() {
    const PadActivity::Action action = Activity().BeginAction();
    m_bBitmapShown = false;
    ClearCanvas();
    ClearSignature();
    Pad().StartCalibration();
    // The reader keeps running: the message box's own event loop answers its
    // exchanges, so presses on the crosses cannot pile up unread.
    ShowInformation(m_services.prompts, QString(res::kCalibrationInfo));
    Pad().StartCapture();
    StartPenReader();
    ClearSignature();
}

// The two file commands.

void CSignaturePage::OnFileSignature() {
    const PadActivity::Action action = Activity().BeginAction();
    m_bBitmapShown = false;
    ClearCanvas();

    const std::size_t count = GetPointCount();
    if (count == 0 || count >= kMaxSavedPoints) {
        ShowRefusal(m_services.prompts,
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
            ShowFileError(m_services.prompts, QString(res::kImageUnsupportedFormat));
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
            ShowRefusal(m_services.prompts, QString(res::kCannotEncode));
            break;
        case SaveResult::kCannotCreate:
            ShowRefusal(m_services.prompts, QString(res::kFailedToOpenFile));
            break;
        case SaveResult::kWriteFailed:
            ShowRefusal(m_services.prompts, QString(res::kFailedToWriteFile));
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
        ShowFileError(m_services.prompts, QString(res::kImageUnsupportedFormat));
        ResumeAfterFileCommand();
        return;
    }

    // Regular files only, read without waiting: a FIFO or a device named
    // like a signature is refused at once rather than blocking.
    const LoadedFile loaded = ReadAndDecodeOffGuiThread(path, *kind, kMaxLoadedFileBytes);
    if (!loaded.file.error.empty() || loaded.file.bytes.empty()) {
        ShowFileError(m_services.prompts, QString(res::kImageInvalidFileSize));
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
        ShowRefusal(m_services.prompts, QString(res::kImageTooLargeForPad));
    }
}

void CSignaturePage::LoadBitmap(const QString& path) {
    const QImage picture = padpicture::LoadBitmapForLcd(path.toStdString());
    if (picture.isNull()) {
        // Not a bitmap after all: say so rather than show nothing, and keep
        // the signature. The pad gets the clear it always got.
        ClearPadDisplay();
        ShowFileError(m_services.prompts, QString(res::kImageCannotRead));
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
        ShowFileError(m_services.prompts, QString(res::kImageCannotRead));
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

void CSignaturePage::OnExit() {
    const PadActivity::Action action = Activity().BeginAction();
    StopPenReader();
    Pad().StopCapture();
    m_sleep(padlink::kLeaveCapturePause);
    Pad().ClearDisplay();
    m_sleep(padlink::kLeaveCapturePause);
    // The main frame's close runs once this action has ended, before this
    // returns.
    window()->close();
}

void CSignaturePage::ActivatePage() {
    ClearSignature();
    m_bBitmapShown = false;
    ClearCanvas();
    Pad().StartCapture();
    StartPenReader();
}

void CSignaturePage::DeactivatePage() {
    ClearCanvas();
    StopPenReader();
    Pad().ClearDisplay();
    Pad().StopCapture();
}

}  // namespace vellumix::pages
