// The main window: a fixed-size frame with the File and Help menus, an empty
// tool bar and a status bar. It owns the pad command channel and shows the
// connection view until the pad is found, then the tabbed main view.
//
// Size: the window is made exactly 720 x 617 pixels and cannot be resized.
// That is the size the program has always had, there measured with the
// window frame; under X the window manager draws the frame around it, and Qt
// cannot know its width beforehand, so here 720 x 617 is the window proper
// (with no window manager, as under the headless demo's X server, that is the
// whole window).
//
// Lock indicators: Qt has no portable way to read the Caps, Num and Scroll
// Lock states, so the status bar shows the three indicator panes greyed out.
//
// Status pane: what the pages' pad activity has to say (a command the pad
// refused or did not answer, a pattern that stopped early, a long send's
// progress, a wait), else the state of the link ("Ready", "Pad connected on
// COM1"). Closing the window, or Exit, while the pages' pad work runs waits
// for it to end: a frame on its way is never cut.
//
// Thread safety: a GUI-thread object. The discovery thread reaches it only
// through the connection view's PadConnected, raised on the GUI thread. The
// pages get the channel through their services, not through the frame.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QSize>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>

#include "app/VellumixDemoView.h"
#include "app/ViewVellumixDemo.h"
#include "padlink/DiscoveryThread.h"
#include "padlink/PadLink.h"
#include "padlink/PadProtocol.h"
#include "padlink/PadReconnector.h"

class QAction;
class QTimer;
class QLabel;
class QToolBar;

namespace vellumix::padlink {
class PadCommandChannel;
}
namespace vellumix::pages {
class IPrompts;
class QtPrompts;
}  // namespace vellumix::pages

namespace vellumix::app {

struct FrameOptions {
    padlink::DiscoveryTiming discovery;
    std::chrono::milliseconds blinkInterval = CVellumixDemoView::kBlinkInterval;
    std::chrono::milliseconds padPause = padlink::kLeaveCapturePause;
};

// How often an idle link is looked at for a hang-up or a vanished device.
inline constexpr std::chrono::milliseconds kLinkCheckInterval{500};

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    static constexpr QSize kFixedSize{720, 617};

    // The pad's link must outlive the frame. prompts: null makes the frame
    // use real message boxes and file dialogs; otherwise it must outlive the
    // frame. Creates the channel, the bars and the connection view;
    // discovery starts with InitialUpdateFrame.
    explicit CMainFrame(padlink::PadLink& link, pages::IPrompts* prompts = nullptr,
                        FrameOptions options = {}, QWidget* parent = nullptr);
    // The destroy sequence: ends discovery, deletes the views, then the
    // channel, and closes the serial port. The USB device stays open until
    // the process ends.
    ~CMainFrame() override;

    // The connection view's initial update: starts discovery and the blink.
    void InitialUpdateFrame();

    // Null only when it could not be allocated.
    padlink::PadCommandChannel* PadChannel() const { return m_pPadChannel.get(); }
    CVellumixDemoView* ConnectionView() const { return m_pConnectionView; }
    // Null until the pad has been found.
    CViewVellumixDemo* MainView() const { return m_pMainView; }
    QWidget* ActiveView() const { return m_pActiveView; }
    QAction* ExitAction() const { return m_pExitAction; }
    QToolBar* ToolBar() const { return m_pToolBar; }
    QLabel* StatusPane() const { return m_pStatusPane; }
    // CAP, NUM, SCRL.
    QLabel* Indicator(int index) const { return m_pIndicators[index]; }

public slots:
    // WM_PAD_CONNECTED: replaces the connection view by the tabbed view.
    void OnPadConnected();
    // File / Exit: StopCapture and ClearDisplay with their pauses, then the
    // close sequence, which sends them again.
    void OnExit();
    void OnAppAbout();
    void OnHelp();
    // The link failed (a command, a pen read or the idle check found it):
    // says so and looks for the pad again off the GUI thread.
    void OnLinkDown();
    // A pad answered again: names where and sets it up for the page on show.
    void OnPadReturned(padlink::DiscoveryResult found);

protected:
    // The close sequence: stop discovery, stop the pen reader, StopCapture,
    // pause, ClearDisplay, pause. No pad command goes out when no pad was
    // ever found.
    void closeEvent(QCloseEvent* event) override;
    // Keeps the views covering the client area.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateMenus();
    void CreateBars();
    // The status pane from the link's state and the pages' activity.
    void ShowStatus();
    // True, and the close or exit put off until the pages' pad work has
    // ended, while it runs.
    bool WaitForPadWork(std::function<void()> then);
    void SendEndCapture();
    // Ends the watch on the link and any search for the pad; safe twice.
    void StopLinkWatch();
    void RecalcLayout();

    padlink::PadLink& m_link;
    FrameOptions m_options;
    std::unique_ptr<pages::QtPrompts> m_pOwnPrompts;
    pages::IPrompts& m_prompts;
    std::unique_ptr<padlink::PadCommandChannel> m_pPadChannel;
    std::unique_ptr<padlink::PadReconnector> m_pReconnector;
    QTimer* m_pLinkCheck = nullptr;
    QToolBar* m_pToolBar = nullptr;
    QLabel* m_pStatusPane = nullptr;
    // The link's state, shown while the pages have nothing to say.
    QString m_strConnection;
    QLabel* m_pIndicators[3] = {};
    QAction* m_pExitAction = nullptr;
    // The views' parent, the frame's client area.
    QWidget* m_pClient = nullptr;
    // The connection view stays alive, hidden, until the frame goes.
    QPointer<CVellumixDemoView> m_pConnectionView;
    QPointer<CViewVellumixDemo> m_pMainView;
    QWidget* m_pActiveView = nullptr;
    bool m_bClosed = false;
};

}  // namespace vellumix::app
