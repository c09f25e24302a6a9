#include "PadWindow.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "VirtualPad.h"
#include "padlink/PadProtocol.h"
#include "padlink/PortResolver.h"
#include "sigformats/SignaturePoint.h"

namespace vellumix::padsim::app {

namespace {

namespace pl = padlink;

constexpr int kLcdPixelsWide = pl::kLcdWidth * kLcdScale;
constexpr int kLcdPixelsHigh = pl::kLcdHeight * kLcdScale;
// The strip under the LCD with the LEDs and the state text.
constexpr int kStripHeight = 40;
constexpr int kLedDiameter = 20;
constexpr int kLedGap = 12;
constexpr int kTextLeft = 2 * (kLedDiameter + kLedGap) + kLedGap;
const QColor kGreenLit(0, 200, 0);
const QColor kRedLit(230, 0, 0);
const QColor kLedDark(70, 70, 70);
const QColor kStripBackground(32, 32, 32);
const QColor kStripText(230, 230, 230);

}  // namespace

PadWindow::PadWindow(VirtualPad& pad, QWidget* parent) : QWidget(parent), m_pad(pad) {
    const QString port = QString::fromUtf8(pl::kComPortPrefix.data(), pl::kComPortPrefix.size()) +
                         QString::number(m_pad.ComNumber());
    setWindowTitle(QString::fromUtf8(kWindowTitle).arg(port));
    setFixedSize(kLcdPixelsWide, kLcdPixelsHigh + kStripHeight);
    m_snapshot = m_pad.Engine().Snapshot();
    m_refresh.setInterval(kRefreshInterval);
    connect(&m_refresh, &QTimer::timeout, this, &PadWindow::Refresh);
    m_refresh.start();
    m_penTimer.setInterval(kPenSampleInterval);
    m_penTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_penTimer, &QTimer::timeout, this, &PadWindow::SamplePen);
}

QPoint PadWindow::ToPadUnits(QPoint p) {
    const auto map = [](int v, int span) {
        return std::clamp(v * sigformats::kPadUnitRange / span, 0, sigformats::kPadUnitMax);
    };
    return {map(p.x(), kLcdPixelsWide), map(p.y(), kLcdPixelsHigh)};
}

void PadWindow::Refresh() {
    engine::PadSnapshot s = m_pad.Engine().Snapshot();
    // The blinking LED changes with time alone, so keep repainting while
    // it blinks.
    if (s.version != m_snapshot.version || s.leds.redBlinking || m_pad.Unplugged()) {
        m_snapshot = std::move(s);
        update();
    }
}

void PadWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // Nearest neighbour: each LCD pixel becomes a crisp 2 x 2 block.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(QRect(0, 0, kLcdPixelsWide, kLcdPixelsHigh), m_snapshot.lcd);
    painter.fillRect(0, kLcdPixelsHigh, width(), kStripHeight, kStripBackground);

    painter.setRenderHint(QPainter::Antialiasing, true);
    const auto blinkOn =
        (std::chrono::steady_clock::now().time_since_epoch() / kBlinkHalfPeriod) % 2 == 0;
    const bool redLit = m_snapshot.leds.red || (m_snapshot.leds.redBlinking && blinkOn);
    const int ledTop = kLcdPixelsHigh + (kStripHeight - kLedDiameter) / 2;
    painter.setPen(Qt::NoPen);
    painter.setBrush(m_snapshot.leds.green ? kGreenLit : kLedDark);
    painter.drawEllipse(kLedGap, ledTop, kLedDiameter, kLedDiameter);
    painter.setBrush(redLit ? kRedLit : kLedDark);
    painter.drawEllipse(2 * kLedGap + kLedDiameter, ledTop, kLedDiameter, kLedDiameter);

    const char* state = kCaptureStopped;
    if (m_pad.Unplugged()) {
        state = kUnpluggedText;
    } else if (m_snapshot.calibration != engine::CalibrationStep::kNone) {
        state = kCalibrating;
    } else if (m_snapshot.capture == engine::CaptureState::kCapturing) {
        state = kCaptureRunning;
    } else if (m_snapshot.capture == engine::CaptureState::kSuspended) {
        state = kCaptureSuspended;
    }
    painter.setPen(kStripText);
    painter.drawText(QRect(kTextLeft, kLcdPixelsHigh, width() - kTextLeft, kStripHeight),
                     Qt::AlignVCenter | Qt::AlignLeft, QString::fromUtf8(state));
}

void PadWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || event->position().y() >= kLcdPixelsHigh) {
        return;
    }
    m_penAt = event->position().toPoint();
    m_penDown = true;
    SamplePen();
    m_penTimer.start();
}

void PadWindow::mouseMoveEvent(QMouseEvent* event) {
    if (m_penDown) {
        m_penAt = event->position().toPoint();
    }
}

void PadWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_penDown) {
        return;
    }
    m_penTimer.stop();
    m_penDown = false;
    m_pad.Engine().PenUp();
    m_pad.WakeHost();
}

void PadWindow::SamplePen() {
    const QPoint at = ToPadUnits(m_penAt);
    m_pad.Engine().PenDown(at.x(), at.y());
    m_pad.WakeHost();
}

}  // namespace vellumix::padsim::app
