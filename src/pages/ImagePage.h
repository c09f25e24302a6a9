// The Image tab: three built-in sample pictures, a custom bitmap, or a stored
// signature file on the pad's LCD and in the page's image box.
//
// A picture is stretched to 320 x 240 into the box and those very pixels are
// sent with one DisplayImage, so the PC and the pad show the same. A
// signature file goes to the pad byte for byte with its own command (the pad
// draws it itself) and is decoded and drawn as strokes in the box.
//
// What the box shows follows three indicators only: the sample image id, the
// custom-image flag with its path, and the points-shown flag with a
// non-empty point list. Repaints redraw from them and never send anything.
//
// Thread safety: GUI thread only, so the point list needs no lock (a file is
// read and decoded on a worker, which hands back its result and touches no
// member). Pictures and signature files go to the pad on the PadActivity's
// worker while the window goes on painting; a long send shows its progress.
#pragma once

#include <QFont>
#include <QImage>
#include <QString>
#include <QWidget>
#include <cstddef>
#include <span>

#include "capture/SignaturePointList.h"
#include "pages/PageServices.h"
#include "pages/SamplePictures.h"
#include "pages/TabPage.h"
#include "sigfiles/FileKind.h"
#include "sigfiles/SignatureFiles.h"
#include "sigformats/SignaturePoint.h"

class QPainter;
class QPushButton;

namespace vellumix::pages {

class PaintedBox;

class CImagePage : public CTabPage {
    Q_OBJECT
public:
    // Control ids of the page's template.
    enum ControlId : int {
        IDC_IMAGE_GROUP = 1049,
        IDC_SAMPLE_IMAGE_2 = 1050,
        IDC_IMAGE_BOX = 1051,
        IDC_SAMPLE_IMAGE_1 = 1055,
        IDC_CLEAR_DISPLAY = 1056,
        IDC_LOAD_CUSTOM_IMAGE = 1057,
        IDC_SAMPLE_IMAGE_3 = 1058,
    };

    // services must outlive the page; every message box and file dialog of
    // the page goes through its prompts, every pad command through its channel.
    // Sends nothing.
    CImagePage(const PageServices& services, QWidget* parent);
    ~CImagePage() override;

    void ActivatePage() override;
    void DeactivatePage() override;

    // Empties the point list, clears the pad and lets the box repaint.
    void ClearImagePage();
    void InvalidateImageBox();
    // Each returns the 320 x 240 picture drawn into the box (null when the
    // picture cannot be had) and, with send, puts it on the pad.
    QImage ShowSampleImage(int resourceId, bool send);
    QImage ShowImageFile(const QString& path, bool send);
    // box: the box's pixels; its top-left 320 x 240 go out with DisplayImage.
    // Returns once the pad has answered (or the wait for it ended).
    void SendBoxToPad(const QImage& box);

    std::size_t PointCount() const;
    // Appends the storable points, in order.
    void AppendPoints(std::span<const sigformats::SignaturePoint> points);

    int SampleImage() const { return m_nSampleImage; }
    bool IsCustomImageShown() const { return m_bCustomImageShown; }
    bool ArePointsShown() const { return m_bPointsShown; }

    void OnSampleImage(int resourceId);
    void OnClearDisplay();
    void OnLoadCustomImage();

private:
    QPushButton* AddButton(int id, QLatin1StringView text, QRect geometry);
    // The repaint of the box: the indicated picture, then the strokes.
    void PaintImageBox(QPainter& painter);
    void DrawStrokes(QPainter& painter);
    // What ShowSampleImage and ShowImageFile share: with send, repaints the
    // box and puts the picture on the pad; a null picture sends nothing.
    QImage ShowPicture(QImage picture, bool send);
    // The picture's bytes out with DisplayImage, off the GUI thread.
    void SendPixels(std::span<const std::uint8_t> pixels);
    // Sends a stored signature file to the pad as it is and shows the
    // strokes decoded from it; the messages for a file too large for the pad
    // or that did not decode.
    void LoadSignatureFile(sigfiles::FileKind kind, std::span<const std::uint8_t> file,
                           const sigfiles::DecodeResult& decoded);

    PageServices m_services;
    SamplePictures m_samples;
    capture::SignaturePointList m_points;
    QFont m_captionFont;
    int m_nSampleImage = 0;
    bool m_bPointsShown = false;
    QString m_strCustomImagePath;
    bool m_bCustomImageShown = false;

    PaintedBox* m_pImageBox = nullptr;
};

}  // namespace vellumix::pages
