// The virtual pad's window: the LCD at twice its size with crisp pixels,
// the green and the red LED, the capture state, and pen input from the
// mouse (a tablet's pen arrives as mouse events too). While the button is
// down the pen position is sampled at the pad's rate, as the real pad
// samples its pen whether or not it moves.
//
// Thread safety: GUI thread only. It reads the engine through Snapshot()
// and feeds it pen input; the engine locks itself.
#pragma once

#include <QTimer>
#include <QWidget>
#include <chrono>

#include "engine/PadEngine.h"

namespace vellumix::padsim::app {

class VirtualPad;

inline constexpr int kLcdScale = 2;
// About 100 pen reports a second.
inline constexpr std::chrono::milliseconds kPenSampleInterval{10};
// The window repaints at most this often, and only when the pad changed.
inline constexpr std::chrono::milliseconds kRefreshInterval{33};
// The red LED blinks at this half-period while calibration waits.
inline constexpr std::chrono::milliseconds kBlinkHalfPeriod{400};

// %1: the port the pad is published as ("COM1"), so a user who started it
// from the menu knows which port it took.
inline constexpr const char* kWindowTitle = "Vellumix Virtual Pad - %1";
inline constexpr const char* kCaptureStopped = "Capture: stopped";
inline constexpr const char* kCaptureRunning = "Capture: on";
inline constexpr const char* kCaptureSuspended = "Capture: suspended";
inline constexpr const char* kCalibrating = "Calibrating: press the cross";
inline constexpr const char* kUnpluggedText = "Unplugged";

class PadWindow : public QWidget {
    Q_OBJECT
public:
    // The pad has been started: the title names its port.
    explicit PadWindow(VirtualPad& pad, QWidget* parent = nullptr);

    // Widget position -> pad units 0..1023 on both axes.
    static QPoint ToPadUnits(QPoint widgetPos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void Refresh();
    void SamplePen();

    VirtualPad& m_pad;
    engine::PadSnapshot m_snapshot;
    QTimer m_refresh;
    QTimer m_penTimer;
    QPoint m_penAt;
    bool m_penDown = false;
};

}  // namespace vellumix::padsim::app
