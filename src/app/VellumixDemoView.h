// The connection view: what the main window shows at start-up while the
// discovery thread looks for the pad. White, with the program's title and a
// status text that blinks "Unit not Found" until a pad answers.
//
// Once a pad answers, the discovery thread draws the welcome screen on it
// (WelcomeScreen.h) through the channel, which nobody else uses yet, and
// then announces the pad.
//
// Thread safety: a GUI-thread object. Only the discovery thread it owns
// reaches into it, through one call queued onto the GUI thread that the
// thread waits for (the announcement of the pad, handed over as the pen
// reader hands over its batches). StopDiscovery and the destructor end that
// thread before anything it could touch goes away; an announcement still in
// the queue is abandoned then, so they never deadlock against it.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <memory>

#include "padlink/DiscoveryThread.h"

class QLabel;

namespace vellumix::padlink {
class PadCommandChannel;
}

namespace vellumix::app {

class CVellumixDemoView : public QWidget {
    Q_OBJECT
public:
    // The view's template is 362 x 252 dialog units of the System 10 font,
    // 2 pixels each way per unit.
    static constexpr QSize kTemplateSize{724, 504};
    static constexpr QRect kStatusRect{210, 306, 360, 60};  // 105, 153, 180 x 30
    static constexpr QRect kTitleRect{208, 122, 292, 124};  // 104, 61, 146 x 62
    // Why the last port that exists would not open, under the status text.
    // It names the device and who holds it or owns it, so it gets a smaller
    // font than the view's two texts and the height down to the bottom edge:
    // five lines of it fit, and the longest reason (the USB udev advice)
    // takes three.
    static constexpr QRect kReasonRect{40, 376, 644, 120};
    static constexpr int kTextFontPixels = 36;
    static constexpr int kReasonFontPixels = 18;
    static constexpr std::chrono::milliseconds kBlinkInterval{1500};

    // The channel (and its link, on which discovery runs) must outlive the
    // view.
    explicit CVellumixDemoView(padlink::PadCommandChannel& channel,
                               padlink::DiscoveryTiming timing = {},
                               std::chrono::milliseconds blinkInterval = kBlinkInterval,
                               QWidget* parent = nullptr);
    // Ends the discovery thread first: it shares this object.
    ~CVellumixDemoView() override;

    // Sets the texts and the font, then starts discovery and the blink
    // timer. Runs once; later calls do nothing, so nothing can start a second
    // search.
    void InitialUpdate();
    // The blink timer's step; public so tests need not wait for the timer.
    void BlinkStep();
    // Ends the search (if it still runs) and waits for the thread. A pad
    // announced meanwhile is dropped: PadConnected is not raised any more.
    void StopDiscovery();

    bool PadFound() const;
    bool IsSearching() const;
    // True when discovery was started and its thread has ended.
    bool DiscoveryEnded() const;
    bool IsBlinking() const { return m_blinkTimer.isActive(); }
    QLabel* StatusLabel() const { return m_pStatus; }
    QLabel* TitleLabel() const { return m_pTitle; }
    QLabel* ReasonLabel() const { return m_pReason; }
    const QString& Status() const { return m_strStatus; }

signals:
    // WM_PAD_CONNECTED: the pad answered and its welcome screen is drawn. Raised on the GUI thread
    // while the discovery thread waits, so connected slots run before discovery ends.
    void PadConnected();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Runs on the GUI thread inside the discovery thread's blocking call.
    void OnPadAnnounced();
    // The strings into the labels (the dialog data exchange of the original).
    void UpdateData();

    padlink::PadCommandChannel& m_channel;
    padlink::DiscoveryTiming m_timing;
    QString m_strStatus;
    QString m_strTitle;
    QFont m_textFont;
    // Which text the next blink step shows: true "Unit not Found".
    bool m_bBlinkOn = true;
    QTimer m_blinkTimer;
    QLabel* m_pStatus;
    QLabel* m_pTitle;
    QLabel* m_pReason;
    // Set on the GUI thread before it waits for the thread; an announcement
    // that arrives later is ignored.
    bool m_bStopping = false;
    std::unique_ptr<padlink::DiscoveryThread> m_pDiscovery;
};

}  // namespace vellumix::app
