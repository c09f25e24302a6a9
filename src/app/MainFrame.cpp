#include "app/MainFrame.h"

#include <QAction>
#include <QCloseEvent>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <thread>

#include "app/AboutDialog.h"
#include "app/HelpDialog.h"
#include "app/ViewVellumixDemo.h"
#include "padlink/PadCommandChannel.h"
#include "padlink/SerialPort.h"
#include "pages/Prompts.h"
#include "pages/SignaturePage.h"
#include "res/Strings.h"

namespace vellumix::app {

namespace {

// The accelerators that used to start a new document or open one: they
// would re-run the views' initial update and so a second search for the pad
// over a live link. They are kept, and do nothing.
const QKeySequence kInertAccelerators[] = {QKeySequence(Qt::CTRL | Qt::Key_N),
                                           QKeySequence(Qt::CTRL | Qt::Key_O)};

// Caption, system menu and minimise box; no maximise box, and with the fixed
// size no sizing either.
constexpr Qt::WindowFlags kFrameFlags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                        Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                                        Qt::WindowCloseButtonHint;

}  // namespace

CMainFrame::CMainFrame(padlink::PadLink& link, pages::IPrompts* prompts, FrameOptions options,
                       QWidget* parent)
    : QMainWindow(parent, kFrameFlags),
      m_link(link),
      m_options(options),
      m_pOwnPrompts(prompts == nullptr ? std::make_unique<pages::QtPrompts>(this) : nullptr),
      m_prompts(prompts == nullptr ? *m_pOwnPrompts : *prompts) {
    setWindowTitle(res::kFrameTitle);
    setFixedSize(kFixedSize);

    m_pClient = new QWidget(this);
    setCentralWidget(m_pClient);
    m_pClient->installEventFilter(this);
    // Throws std::bad_alloc when it cannot be had, which ends start-up: the
    // pages take the channel for granted, and discovery draws through it.
    m_pPadChannel = std::make_unique<padlink::PadCommandChannel>(m_link);
    m_pConnectionView = new CVellumixDemoView(*m_pPadChannel, m_options.discovery,
                                              m_options.blinkInterval, m_pClient);
    m_pActiveView = m_pConnectionView;
    connect(m_pConnectionView, &CVellumixDemoView::PadConnected, this, &CMainFrame::OnPadConnected);

    CreateMenus();
    CreateBars();
    for (const QKeySequence& keys : kInertAccelerators) {
        new QShortcut(keys, this);
    }

    RecalcLayout();
}

CMainFrame::~CMainFrame() {
    m_pClient->removeEventFilter(this);
    // The connection view's thread may still use the transports.
    if (m_pConnectionView) {
        m_pConnectionView->StopDiscovery();
    }
    StopLinkWatch();
    // The views and their pages go before the channel they send through.
    delete m_pMainView;
    delete m_pConnectionView;
    m_pPadChannel.reset();
    if (padlink::SerialPort* serial = m_link.Serial(); serial != nullptr && serial->IsOpen()) {
        serial->Close();
    }
}

void CMainFrame::CreateMenus() {
    QMenu* file = menuBar()->addMenu(res::kMenuFile);
    file->addSeparator();
    m_pExitAction = file->addAction(res::kMenuExit, this, &CMainFrame::OnExit);
    QMenu* help = menuBar()->addMenu(res::kMenuHelp);
    help->addAction(res::kMenuAbout, this, &CMainFrame::OnAppAbout);
    help->addAction(res::kMenuHelpItem, this, &CMainFrame::OnHelp);
}

void CMainFrame::CreateBars() {
    // Empty, but dockable on every side with its handle, as the frame always
    // had it.
    m_pToolBar = addToolBar(QString());
    m_pToolBar->setObjectName(QStringLiteral("toolBar"));
    m_pToolBar->setMovable(true);
    m_pToolBar->setFloatable(true);
    m_pToolBar->setAllowedAreas(Qt::AllToolBarAreas);

    m_strConnection = res::kStatusReady;
    m_pStatusPane = new QLabel(m_strConnection, this);
    statusBar()->addWidget(m_pStatusPane, 1);
    const QLatin1StringView indicators[] = {res::kIndicatorCaps, res::kIndicatorNum,
                                            res::kIndicatorScroll};
    for (int i = 0; i < 3; ++i) {
        m_pIndicators[i] = new QLabel(indicators[i], this);
        m_pIndicators[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        // The lock states cannot be read portably: shown as inactive.
        m_pIndicators[i]->setEnabled(false);
        statusBar()->addPermanentWidget(m_pIndicators[i]);
    }
}

void CMainFrame::InitialUpdateFrame() {
    if (m_pConnectionView) {
        m_pConnectionView->InitialUpdate();
    }
}

void CMainFrame::OnPadConnected() {
    // One switch only: a second announcement must not stack a second set of
    // pages with their own pad commands.
    if (m_pMainView || m_bClosed) {
        return;
    }
    QWidget* const old = m_pActiveView;
    m_pMainView = new CViewVellumixDemo(pages::PageServices{m_prompts, *m_pPadChannel}, m_pClient);
    m_pActiveView = m_pMainView;
    m_pMainView->show();
    if (old != nullptr) {
        // Hidden, not deleted: the discovery thread is still inside the call
        // that brought us here, and the view owns it.
        old->hide();
    }
    m_pMainView->InitialUpdate();
    RecalcLayout();
    connect(&m_pMainView->Activity(), &pages::PadActivity::StatusChanged, this,
            &CMainFrame::ShowStatus);
    ShowStatus();

    // From here on a failed link is noticed and the pad looked for again.
    padlink::DiscoveryOptions search;
    search.portPause = m_options.discovery.portPause;
    search.replyPause = m_options.discovery.replyPause;
    search.usbWait = m_options.discovery.usbWait;
    m_pReconnector = std::make_unique<padlink::PadReconnector>(
        *m_pPadChannel, search, m_options.discovery.passPause,
        [this](padlink::DiscoveryResult found) {
            QMetaObject::invokeMethod(
                this, [this, found] { OnPadReturned(found); }, Qt::QueuedConnection);
        });
    m_pPadChannel->SetLinkDownHandler(
        [this] { QMetaObject::invokeMethod(this, &CMainFrame::OnLinkDown, Qt::QueuedConnection); });
    m_pLinkCheck = new QTimer(this);
    m_pLinkCheck->setInterval(kLinkCheckInterval);
    connect(m_pLinkCheck, &QTimer::timeout, this, [this] { m_pPadChannel->CheckLink(); });
    m_pLinkCheck->start();
}

void CMainFrame::OnLinkDown() {
    if (m_bClosed || !m_pReconnector) {
        return;
    }
    m_strConnection = res::kPadDisconnected;
    m_pMainView->Activity().ForgetProblems();
    ShowStatus();
    m_pReconnector->Start();
}

void CMainFrame::OnPadReturned(padlink::DiscoveryResult found) {
    if (m_bClosed || m_pMainView == nullptr) {
        return;
    }
    const QString where =
        found.link == padlink::PadLinkKind::kUsb
            ? QString(res::kUsbLinkName)
            : QString::fromLatin1(padlink::kComPortPrefix.data(),
                                  static_cast<qsizetype>(padlink::kComPortPrefix.size())) +
                  QString::number(found.comNumber);
    m_strConnection = QString(res::kPadReturned).arg(where);
    m_pMainView->Activity().ForgetProblems();
    ShowStatus();
    m_pMainView->PadReturned();
}

void CMainFrame::ShowStatus() {
    const QString said = m_pMainView ? m_pMainView->Activity().Status() : QString();
    m_pStatusPane->setText(said.isEmpty() ? m_strConnection : said);
}

bool CMainFrame::WaitForPadWork(std::function<void()> then) {
    if (m_bClosed || !m_pMainView || !m_pMainView->Activity().IsBusy()) {
        return false;
    }
    // A pattern stops at its next command; a frame on its way goes out whole.
    m_pMainView->Activity().RequestStop();
    m_pMainView->Activity().WhenIdle(pages::PadActivity::Deferred::kClose, std::move(then));
    return true;
}

void CMainFrame::StopLinkWatch() {
    if (m_pLinkCheck != nullptr) {
        m_pLinkCheck->stop();
    }
    if (m_pPadChannel) {
        m_pPadChannel->SetLinkDownHandler({});
    }
    if (m_pReconnector) {
        m_pReconnector->Stop();
    }
}

void CMainFrame::SendEndCapture() {
    // Only a pad that was found may be talked to, and only once the
    // discovery thread is done with the transports: after the view switch
    // (it sends nothing more) or after it has ended.
    const bool padTakenOver = m_pMainView || (m_pConnectionView && m_pConnectionView->PadFound() &&
                                              m_pConnectionView->DiscoveryEnded());
    if (!padTakenOver) {
        return;
    }
    m_pPadChannel->StopCapture();
    std::this_thread::sleep_for(m_options.padPause);
    m_pPadChannel->ClearDisplay();
    std::this_thread::sleep_for(m_options.padPause);
}

void CMainFrame::OnExit() {
    if (WaitForPadWork([this] { OnExit(); })) {
        return;
    }
    SendEndCapture();
    close();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (WaitForPadWork([this] { close(); })) {
        event->ignore();
        return;
    }
    if (!m_bClosed) {
        m_bClosed = true;
        StopLinkWatch();
        if (m_pConnectionView) {
            m_pConnectionView->StopDiscovery();
        }
        // The Signature page exists once the main view does.
        if (m_pMainView != nullptr && m_pMainView->SignaturePage() != nullptr) {
            m_pMainView->SignaturePage()->StopPenReader();
        }
        SendEndCapture();
    }
    event->accept();
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_pClient && event->type() == QEvent::Resize) {
        RecalcLayout();
    }
    return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::RecalcLayout() {
    // Every view covers the client area; only the active one is shown.
    for (QWidget* view : {static_cast<QWidget*>(m_pConnectionView.data()),
                          static_cast<QWidget*>(m_pMainView.data())}) {
        if (view != nullptr) {
            view->setGeometry(m_pClient->rect());
        }
    }
}

void CMainFrame::OnAppAbout() {
    CAboutDialog dialog(this);
    dialog.exec();
}

void CMainFrame::OnHelp() {
    // No parent, as the help window always had: it stands on its own.
    CHelpDialog dialog;
    dialog.exec();
}

}  // namespace vellumix::app
