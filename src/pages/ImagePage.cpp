#include "pages/ImagePage.h"

#include <QGroupBox>
#include <QPainter>
#include <QPushButton>
#include <array>

#include "padlink/Frame.h"
#include "padpicture/LcdPicture.h"
#include "pages/DialogLayout.h"
#include "pages/PaintedBox.h"
#include "pages/Prompts.h"
#include "pages/SignatureFileCommands.h"
#include "res/SampleImages.h"
#include "res/Strings.h"
#include "sigfiles/FileAccess.h"
#include "sigfiles/PadFiles.h"
#include "sigfiles/SignatureFiles.h"

namespace vellumix::pages {

namespace {

using sigformats::SignaturePoint;

constexpr int kCaptionFontHeight = 24;
constexpr padlink::ColorRef kBlack = padlink::MakeColorRef(0, 0, 0);

// Strokes are scaled from the pad's 0..1024 onto the box less this many
// pixels on the right and at the bottom; no margin on the left or at the top.
constexpr int kStrokeMargin = 20;

bool IsDrawableFrom(SignaturePoint p) {
    return p.x >= 0 && p.x <= sigformats::kStoredUnitMax && p.y >= 0 &&
           p.y <= sigformats::kStoredUnitMax;
}

// The far end of a segment: anything but a coordinate of -1 (a pen lift)
// within range. Stored points are never below -1.
bool IsDrawableTo(SignaturePoint q) {
    return q.x != -1 && q.y != -1 && q.x <= sigformats::kStoredUnitMax &&
           q.y <= sigformats::kStoredUnitMax;
}

}  // namespace

CImagePage::CImagePage(const PageServices& services, QWidget* parent)
    : CTabPage(services, parent),
      m_services(services),
      m_captionFont(ArialFont(kCaptionFontHeight, QFont::Bold)) {
    auto* group = new QGroupBox(QString(res::kImageGroup), this);
    group->setGeometry(DialogRect(76, 19, 179, 141));
    group->setAlignment(Qt::AlignHCenter);
    group->setFont(m_captionFont);
    AddControl(IDC_IMAGE_GROUP, group);

    m_pImageBox = new PaintedBox(this, QFrame::Panel);
    m_pImageBox->setGeometry(DialogRect(83, 31, 164, 123));
    m_pImageBox->SetPainter([this](QPainter& painter) { PaintImageBox(painter); });
    AddControl(IDC_IMAGE_BOX, m_pImageBox);

    const struct {
        int id;
        int resourceId;
        QLatin1StringView text;
        QRect geometry;
    } kSamples[] = {
        {IDC_SAMPLE_IMAGE_1, res::kSampleImage1Id, res::kSampleImage1, DialogRect(7, 180, 59, 18)},
        {IDC_SAMPLE_IMAGE_2, res::kSampleImage2Id, res::kSampleImage2, DialogRect(69, 180, 61, 18)},
        {IDC_SAMPLE_IMAGE_3, res::kSampleImage3Id, res::kSampleImage3,
         DialogRect(133, 179, 64, 19)},
    };
    for (const auto& sample : kSamples) {
        const int resourceId = sample.resourceId;
        connect(AddButton(sample.id, sample.text, sample.geometry), &QPushButton::clicked, this,
                [this, resourceId] { OnSampleImage(resourceId); });
    }
    connect(AddButton(IDC_LOAD_CUSTOM_IMAGE, res::kLoadCustomImage, DialogRect(199, 179, 69, 19)),
            &QPushButton::clicked, this, &CImagePage::OnLoadCustomImage);
    connect(AddButton(IDC_CLEAR_DISPLAY, res::kClearDisplay, DialogRect(270, 179, 58, 19)),
            &QPushButton::clicked, this, &CImagePage::OnClearDisplay);

    InvalidateImageBox();
}

CImagePage::~CImagePage() = default;

QPushButton* CImagePage::AddButton(int id, QLatin1StringView text, QRect geometry) {
    auto* button = new QPushButton(QString(text), this);
    button->setGeometry(geometry);
    AddControl(id, button);
    return button;
}

void CImagePage::ActivatePage() {
    ClearImagePage();
    m_bCustomImageShown = false;
    m_nSampleImage = 0;
    m_bPointsShown = false;
    Pad().SetTextColor(kBlack);
    Pad().SetLineColor(kBlack);
    Pad().ClearDisplay();
}

void CImagePage::DeactivatePage() {
    ClearImagePage();
    m_bCustomImageShown = false;
    m_nSampleImage = 0;
    Pad().ClearDisplay();
}

void CImagePage::ClearImagePage() {
    m_points.Clear();
    Pad().ClearDisplay();
    InvalidateImageBox();
}

void CImagePage::InvalidateImageBox() {
    m_pImageBox->update();
}

std::size_t CImagePage::PointCount() const {
    return m_points.Count();
}

void CImagePage::AppendPoints(std::span<const SignaturePoint> points) {
    m_points.AppendPoints(points);
}

QImage CImagePage::ShowSampleImage(int resourceId, bool send) {
    m_nSampleImage = resourceId;
    const QImage picture = m_samples.Lcd(resourceId);
    if (picture.isNull() || !send) {
        return picture;
    }
    // As ShowPicture, with the pad's bytes of the picture made only once.
    InvalidateImageBox();
    SendPixels(m_samples.PadPixels(resourceId));
    return picture;
}

QImage CImagePage::ShowImageFile(const QString& path, bool send) {
    return ShowPicture(padpicture::LoadBitmapForLcd(path.toStdString()), send);
}

QImage CImagePage::ShowPicture(QImage picture, bool send) {
    if (picture.isNull() || !send) {
        return picture;
    }
    // The box paints the picture while it is on its way to the pad.
    InvalidateImageBox();
    SendBoxToPad(picture);
    return picture;
}

void CImagePage::SendBoxToPad(const QImage& box) {
    SendPixels(padpicture::ToPadPixels(box));
}

void CImagePage::SendPixels(std::span<const std::uint8_t> pixels) {
    // The pad's answer is not looked at: a pad that rejects the image shows
    // nothing new while the PC still shows the picture (and the status bar
    // says what the pad made of it).
    Activity().RunSend(res::kSendingPicture, padlink::FrameLength(pixels.size()),
                       [pixels](PadCommands& pad) { pad.DisplayImage(pixels); });
}

void CImagePage::OnSampleImage(int resourceId) {
    const PadActivity::Action action = Activity().BeginAction();
    m_bCustomImageShown = false;
    m_bPointsShown = false;
    ShowSampleImage(resourceId, true);
}

void CImagePage::OnClearDisplay() {
    const PadActivity::Action action = Activity().BeginAction();
    m_nSampleImage = 0;
    m_bCustomImageShown = false;
    InvalidateImageBox();
    ClearImagePage();
}

void CImagePage::OnLoadCustomImage() {
    const PadActivity::Action action = Activity().BeginAction();
    m_nSampleImage = 0;
    // The pad is cleared now, whatever the user chooses.
    ClearImagePage();

    const QString path = m_services.prompts.AskOpenFileName(
        QString(), {QString(res::kImageFilterSig), QString(res::kImageFilterCmp),
                    QString(res::kImageFilterBmp)});
    if (path.isEmpty()) {
        InvalidateImageBox();
        return;
    }
    const std::optional<sigfiles::FileKind> kind = PageFileKindOf(path);
    m_bCustomImageShown = false;
    if (!kind) {
        ShowFileError(m_services.prompts, QString(res::kImageUnsupportedFormat));
        InvalidateImageBox();
        return;
    }

    // Regular files only, read without waiting: a FIFO or a device named
    // like a signature is refused at once rather than blocking.
    const LoadedFile loaded = ReadAndDecodeOffGuiThread(path, *kind, sigfiles::kMaxInputBytes);
    if (!loaded.file.error.empty() || loaded.file.bytes.empty()) {
        ShowFileError(m_services.prompts, QString(res::kImageInvalidFileSize));
        InvalidateImageBox();
        return;
    }
    if (*kind == sigfiles::FileKind::kBmp) {
        m_strCustomImagePath = path;
        m_bCustomImageShown = true;
        ShowImageFile(path, true);
        return;
    }
    LoadSignatureFile(*kind, loaded.file.bytes, loaded.decoded);
    InvalidateImageBox();
}

void CImagePage::LoadSignatureFile(sigfiles::FileKind kind, std::span<const std::uint8_t> file,
                                   const sigfiles::DecodeResult& decoded) {
    // The pad's answer is not looked at: it draws what it can read.
    const bool sent = sigfiles::CheckForPad(kind, file.size()) == sigfiles::PadFileCheck::kSendable;
    if (sent) {
        Activity().RunSend(res::kSendingFile, padlink::FrameLength(file.size()),
                           [kind, file](PadCommands& pad) { pad.SendFile(kind, file); });
    }
    // Closed with a pen lift and cleared of points outside 0..1024 there.
    if (!decoded.error.empty()) {
        ShowFileError(m_services.prompts, QString(res::kImageCannotRead));
        return;
    }
    m_bPointsShown = true;
    m_points.Clear();
    AppendPoints(decoded.points);
    if (!sent) {
        ShowRefusal(m_services.prompts, QString(res::kImageTooLargeForPad));
    }
}

void CImagePage::PaintImageBox(QPainter& painter) {
    // Pictures sit at the box's client origin, inside its frame.
    const QPoint origin = m_pImageBox->contentsRect().topLeft();
    // A sample is drawn from its screen picture, sharp at the box's pixel
    // ratio; what went to the pad is its LCD picture.
    if (m_nSampleImage != 0) {
        const QImage picture = m_samples.Screen(m_nSampleImage, m_pImageBox->devicePixelRatioF());
        if (!picture.isNull()) {
            painter.drawImage(origin, picture);
        }
    }
    // Loaded from disk again at each repaint; a file that cannot be loaded is
    // tried again at the next one.
    if (m_bCustomImageShown) {
        const QImage picture = ShowImageFile(m_strCustomImagePath, false);
        if (!picture.isNull()) {
            painter.drawImage(origin, picture);
        }
    }
    if (PointCount() > 0 && m_bPointsShown) {
        DrawStrokes(painter);
    }
}

void CImagePage::DrawStrokes(QPainter& painter) {
    if (PointCount() < 2) {
        return;
    }
    // Strokes are measured from the box's outer corner, over its frame.
    const QSize box = m_pImageBox->size();
    const float fx = static_cast<float>(box.width() - kStrokeMargin) *
                     (1.0f / static_cast<float>(sigformats::kPadUnitRange));
    const float fy = static_cast<float>(box.height() - kStrokeMargin) *
                     (1.0f / static_cast<float>(sigformats::kPadUnitRange));
    const auto toBox = [&](SignaturePoint p) {
        return QPoint(static_cast<int>(static_cast<float>(p.x) * fx),
                      static_cast<int>(static_cast<float>(p.y) * fy));
    };
    painter.setPen(QPen(Qt::black, 0));
    painter.setRenderHint(QPainter::Antialiasing, false);
    // A stroke is its segments; its last point (before the pen lift) is set
    // as a single pixel, which is also how a one-point stroke shows.
    for (std::size_t i = 0; i + 2 <= PointCount(); ++i) {
        const SignaturePoint p = m_points.At(i);
        const SignaturePoint q = m_points.At(i + 1);
        if (!IsDrawableFrom(p)) {
            continue;
        }
        if (IsDrawableTo(q)) {
            painter.drawLine(toBox(p), toBox(q));
        } else {
            painter.drawPoint(toBox(p));
        }
    }
}

}  // namespace vellumix::pages
