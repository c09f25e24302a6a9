#include "app/VellumixDemoView.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>

#include "app/WelcomeScreen.h"
#include "capture/PenReader.h"
#include "padlink/PadCommandChannel.h"
#include "pages/PageStyle.h"
#include "pages/QueuedHandOver.h"
#include "res/Strings.h"

namespace vellumix::app {

namespace {

constexpr char kTextFontFamily[] = "Arial";

}  // namespace

CVellumixDemoView::CVellumixDemoView(padlink::PadCommandChannel& channel,
                                     padlink::DiscoveryTiming timing,
                                     std::chrono::milliseconds blinkInterval, QWidget* parent)
    : QWidget(parent),
      m_channel(channel),
      m_timing(timing),
      m_pStatus(new QLabel(this)),
      m_pTitle(new QLabel(this)),
      m_pReason(new QLabel(this)) {
    resize(kTemplateSize);
    m_pStatus->setGeometry(kStatusRect);
    m_pTitle->setGeometry(kTitleRect);
    m_pReason->setGeometry(kReasonRect);
    m_pReason->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_pReason->setWordWrap(true);
    // Black text straight on the view's white, like the original's hollow
    // colour answer for the two statics.
    for (QLabel* label : {m_pStatus, m_pTitle, m_pReason}) {
        label->setAutoFillBackground(false);
        label->setAttribute(Qt::WA_TranslucentBackground);
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, Qt::black);
        label->setPalette(palette);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    m_blinkTimer.setInterval(blinkInterval);
    connect(&m_blinkTimer, &QTimer::timeout, this, &CVellumixDemoView::BlinkStep);
}

CVellumixDemoView::~CVellumixDemoView() {
    StopDiscovery();
}

void CVellumixDemoView::InitialUpdate() {
    if (m_pDiscovery) {
        return;
    }
    m_bBlinkOn = true;

    m_textFont = QFont(QString::fromLatin1(kTextFontFamily));
    m_textFont.setStyleHint(QFont::SansSerif);
    m_textFont.setPixelSize(kTextFontPixels);
    m_textFont.setWeight(QFont::Normal);
    m_pStatus->setFont(m_textFont);
    m_pTitle->setFont(m_textFont);
    QFont reasonFont = m_textFont;
    reasonFont.setPixelSize(kReasonFontPixels);
    m_pReason->setFont(reasonFont);

    m_strStatus = res::kConnecting;
    m_strTitle = res::kConnectionTitle;
    UpdateData();

    m_pDiscovery = std::make_unique<padlink::DiscoveryThread>(
        m_channel.Link(), m_timing, [this](std::stop_token stop) {
            // Still on the discovery thread, which has the pad to itself.
            if (!DrawWelcomeScreen(m_channel, stop)) {
                return;
            }
            // The window message of the original, sent and waited for: the
            // thread goes on only once the frame has switched views, or
            // gives the call up when the window closes first.
            capture::PostAndWait(
                [this](std::function<void()> task) { pages::PostQueued(this, std::move(task)); },
                [this] { OnPadAnnounced(); }, stop);
        });
    m_pDiscovery->Start();
    m_blinkTimer.start();
}

void CVellumixDemoView::BlinkStep() {
    m_strStatus = m_bBlinkOn ? QString(res::kUnitNotFound) : QString(res::kBlinkBlank);
    m_bBlinkOn = !m_bBlinkOn;
    if (m_pDiscovery) {
        m_pReason->setText(QString::fromStdString(m_pDiscovery->LastOpenFailureText()));
    }
    UpdateData();
}

void CVellumixDemoView::StopDiscovery() {
    m_bStopping = true;
    m_blinkTimer.stop();
    if (!m_pDiscovery) {
        return;
    }
    // An announcement waiting in this thread's queue is abandoned by the
    // stop, so the join cannot wait for this very thread.
    m_pDiscovery->RequestStop();
    m_pDiscovery->Join();
}

bool CVellumixDemoView::PadFound() const {
    return m_pDiscovery && m_pDiscovery->PadFound();
}

bool CVellumixDemoView::IsSearching() const {
    return m_pDiscovery && m_pDiscovery->IsRunning();
}

bool CVellumixDemoView::DiscoveryEnded() const {
    return m_pDiscovery && m_pDiscovery->IsFinished();
}

void CVellumixDemoView::OnPadAnnounced() {
    // Qt timers belong to the thread that started them, so the blink stops
    // here rather than on the discovery thread.
    m_blinkTimer.stop();
    if (m_bStopping) {
        return;
    }
    emit PadConnected();
}

void CVellumixDemoView::UpdateData() {
    m_pStatus->setText(m_strStatus);
    m_pTitle->setText(m_strTitle);
}

void CVellumixDemoView::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
}

void CVellumixDemoView::keyPressEvent(QKeyEvent* event) {
    if (!pages::SwallowDialogKey(*event)) {
        QWidget::keyPressEvent(event);
    }
}

}  // namespace vellumix::app
