#include "app/MainFrame.h"

#include <unistd.h>

#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include "ShellTestSupport.h"
#include "app/VellumixDemoApp.h"
#include "controls/PaintedTabCtrl.h"
#include "padlink/DeviceAccess.h"
#include "padlink/SerialSettings.h"
#include "pages/DisplayPage.h"
#include "res/Strings.h"
#include "support/FakePrompts.h"
#include "support/Pty.h"
#include "support/RecordingUsbPad.h"

namespace vellumix::app {
namespace {

namespace pt = padsim::test;
using namespace std::chrono_literals;

const std::vector<std::string> kEndCaptureTrace = {"StopCapture", "ClearDisplay"};

class MainFrameTest : public ::testing::Test {
protected:
    void SetUp() override { g_nPreviousTab = kSignatureTab; }

    FrameOptions FastOptions() const {
        FrameOptions options;
        options.discovery = test::FastTiming();
        options.padPause = 0ms;
        return options;
    }
    std::unique_ptr<CMainFrame> MakeFrame() {
        return std::make_unique<CMainFrame>(link, &prompts, FastOptions());
    }
    // Shown and searching.
    std::unique_ptr<CMainFrame> MakeShownFrame() {
        auto frame = MakeFrame();
        frame->show();
        frame->InitialUpdateFrame();
        return frame;
    }
    // Shown, searching, and switched to the tabbed view by the virtual pad.
    std::unique_ptr<CMainFrame> MakeConnectedFrame(test::VirtualUsbPad& pad) {
        auto frame = MakeShownFrame();
        EXPECT_TRUE(QTest::qWaitFor([&] { return frame->MainView() != nullptr; }, 10000));
        EXPECT_TRUE(test::WaitUntil([&] { return frame->ConnectionView()->DiscoveryEnded(); }));
        pad.Trace();
        pad.trace.clear();
        return frame;
    }

    testsupport::FakePrompts prompts;
    test::ShellMachine machine;
    padlink::PadLink link{machine.SerialPort(), machine.TimedHidPort()};
};

QStringList ActionTexts(const QList<QAction*>& actions) {
    QStringList texts;
    for (const QAction* action : actions) {
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    }
    return texts;
}

TEST_F(MainFrameTest, TheApplicationShowsAFixedFrameWithItsMenusBarsAndConnectionView) {
    CVellumixDemoApp app;
    ASSERT_TRUE(app.InitInstance(link, &prompts, FastOptions()));
    CMainFrame& frame = *app.MainFrame();
    EXPECT_NE(frame.PadChannel(), nullptr);
    EXPECT_TRUE(frame.isVisible());

    EXPECT_EQ(frame.windowTitle(), QStringLiteral("Signature Capture V1.0"));
    EXPECT_EQ(frame.size(), QSize(720, 617));
    EXPECT_EQ(frame.minimumSize(), frame.maximumSize());
    EXPECT_FALSE(frame.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(frame.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));

    const QList<QAction*> menus = frame.menuBar()->actions();
    ASSERT_EQ(menus.size(), 2);
    EXPECT_EQ(ActionTexts(menus), QStringList({"&File", "&Help"}));
    EXPECT_EQ(ActionTexts(menus[0]->menu()->actions()), QStringList({"-", "E&xit"}));
    EXPECT_EQ(ActionTexts(menus[1]->menu()->actions()),
              QStringList({"&About Quillet Demo", "&Help"}));
    EXPECT_TRUE(frame.ToolBar()->actions().isEmpty());
    EXPECT_EQ(frame.StatusPane()->text(), QStringLiteral("Ready"));
    const char* indicators[] = {"CAP", "NUM", "SCRL"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(frame.Indicator(i)->text(), QLatin1StringView(indicators[i]));
        EXPECT_FALSE(frame.Indicator(i)->isEnabled());
    }

    // The connection view: white, its two texts in 36-pixel Arial, placed by
    // the template's dialog units at 2 pixels each.
    CVellumixDemoView* view = frame.ConnectionView();
    EXPECT_EQ(frame.ActiveView(), view);
    EXPECT_TRUE(view->IsSearching());
    EXPECT_TRUE(view->IsBlinking());
    EXPECT_EQ(view->StatusLabel()->text(), QStringLiteral("Connecting to Unit"));
    EXPECT_EQ(view->TitleLabel()->text(), QStringLiteral("Signature Capture\nDemo Application"));
    EXPECT_EQ(view->StatusLabel()->geometry(), QRect(210, 306, 360, 60));
    EXPECT_EQ(view->TitleLabel()->geometry(), QRect(208, 122, 292, 124));
    for (const QLabel* label : {view->StatusLabel(), view->TitleLabel()}) {
        EXPECT_EQ(label->font().family(), QStringLiteral("Arial"));
        EXPECT_EQ(label->font().pixelSize(), 36);
        EXPECT_EQ(label->font().weight(), QFont::Normal);
    }
    EXPECT_EQ(view->geometry(), frame.centralWidget()->rect());
    const QImage shot = view->grab().toImage();
    EXPECT_EQ(shot.pixelColor(5, 5), QColor(Qt::white));

    app.ExitInstance();
    EXPECT_EQ(app.MainFrame(), nullptr);
    EXPECT_TRUE(prompts.asked.empty());
}

TEST_F(MainFrameTest, StatusBlinksNotFoundAndBlankWhileNoPadAnswers) {
    padlink::PadCommandChannel channel(link);
    CVellumixDemoView view(channel, test::FastTiming(), 10ms);
    view.InitialUpdate();
    // The timer drives the blink.
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.Status() == QStringLiteral("Unit not Found"); }));
    view.StopDiscovery();
    EXPECT_FALSE(view.IsBlinking());
    EXPECT_FALSE(view.PadFound());
    // Step by step from there: blank, not found, blank.
    const char* expected[] = {" ", "Unit not Found", " ", "Unit not Found"};
    for (const char* text : expected) {
        view.BlinkStep();
        EXPECT_EQ(view.StatusLabel()->text(), QLatin1StringView(text));
    }
}

// Another instance holds the pad's port: this one neither probes nor shares
// it, and the connection view shows why in full, naming the holder, in a
// font and a height that fit even the longest reason.
TEST_F(MainFrameTest, APortHeldByAnotherInstanceIsRefusedAndTheWholeReasonShown) {
    const testsupport::Pty pty;
    std::filesystem::create_symlink(pty.slave, padlink::PortLinkPath(machine.ports, 1));
    const auto other = machine.SerialPort();
    ASSERT_TRUE(other->Open(padlink::DefaultPortSpec(1)));

    padlink::PadCommandChannel channel(link);
    CVellumixDemoView view(channel, test::FastTiming(), 10ms);
    view.InitialUpdate();
    QLabel* reason = view.ReasonLabel();
    ASSERT_TRUE(QTest::qWaitFor([&] { return reason->text().contains("busy"); }));
    view.StopDiscovery();
    EXPECT_FALSE(view.PadFound());
    EXPECT_TRUE(reason->text().contains(QStringLiteral("(pid %1)").arg(::getpid())))
        << reason->text().toStdString();
    EXPECT_LE(reason->heightForWidth(reason->width()), reason->height());
    EXPECT_TRUE(pty.Drain().empty()) << "a probe reached the other's line";

    reason->setText(QString::fromStdString(padlink::PermissionDeniedText(
        "/dev/hidraw12", "root", "root", padlink::DeviceKind::kUsbPad)));
    EXPECT_LE(reason->heightForWidth(reason->width()), reason->height());
}

TEST_F(MainFrameTest, PadOnUsbSwitchesToTheTabbedViewOnce) {
    test::VirtualUsbPad pad(machine);
    auto frame = MakeConnectedFrame(pad);
    // The welcome screen drawn after the probe is ClosingWhileThePad-
    // AnnouncementWaitsDoesNotDeadlock's trace.
    EXPECT_EQ(link.Kind(), padlink::PadLinkKind::kUsb);

    CViewVellumixDemo* main = frame->MainView();
    QPointer<CVellumixDemoView> connection = frame->ConnectionView();
    EXPECT_EQ(frame->ActiveView(), main);
    EXPECT_TRUE(main->isVisible());
    ASSERT_FALSE(connection.isNull());
    EXPECT_TRUE(connection->isHidden());
    EXPECT_FALSE(connection->IsBlinking());
    EXPECT_EQ(main->TabCtrl()->currentIndex(), kSignatureTab);
    EXPECT_TRUE(main->Page(kSignatureTab)->isVisible());
    EXPECT_TRUE(main->Page(kDisplayTab)->isHidden());
    EXPECT_TRUE(main->Page(kImageTab)->isHidden());
    // The view's own layout is ViewVellumixDemoTest's; here it fills the
    // client area.
    EXPECT_EQ(main->geometry(), frame->centralWidget()->rect());

    // The new- and open-document keys change nothing and start no search.
    QTest::keyClick(frame.get(), Qt::Key_N, Qt::ControlModifier);
    QTest::keyClick(frame.get(), Qt::Key_O, Qt::ControlModifier);
    QTest::qWait(50);
    EXPECT_EQ(frame->MainView(), main);
    EXPECT_EQ(frame->findChildren<CViewVellumixDemo*>().size(), 1);
    EXPECT_TRUE(connection->isHidden());
    EXPECT_FALSE(connection->IsSearching());
    EXPECT_TRUE(pad.Trace().empty());

    // The connection view lives as long as the frame.
    frame.reset();
    EXPECT_TRUE(connection.isNull());
}

TEST_F(MainFrameTest, ExitSendsTheEndOfCaptureTwiceThenCloses) {
    test::VirtualUsbPad pad(machine);
    auto frame = MakeConnectedFrame(pad);
    frame->ExitAction()->trigger();
    std::vector<std::string> expected = kEndCaptureTrace;
    expected.insert(expected.end(), kEndCaptureTrace.begin(), kEndCaptureTrace.end());
    EXPECT_EQ(pad.Trace(), expected);
    EXPECT_FALSE(frame->isVisible());
}

TEST_F(MainFrameTest, CloseBoxSendsTheEndOfCaptureOnce) {
    test::VirtualUsbPad pad(machine);
    auto frame = MakeConnectedFrame(pad);
    EXPECT_TRUE(frame->close());
    EXPECT_EQ(pad.Trace(), kEndCaptureTrace);
    // A second close sends nothing more.
    frame->close();
    EXPECT_EQ(pad.Trace(), kEndCaptureTrace);
}

TEST_F(MainFrameTest, StatusBarSaysWhatThePadRefusedUntilTheNextAction) {
    test::VirtualUsbPad pad(machine);
    auto frame = MakeConnectedFrame(pad);
    CViewVellumixDemo* view = frame->MainView();
    view->TabCtrl()->setCurrentIndex(kDisplayTab);
    pad.engine.SetFault("DrawLine", {padsim::engine::FaultKind::kNak, 0, -1});
    static_cast<QPushButton*>(view->DisplayPage()->Control(pages::CDisplayPage::IDC_SHOW_LINES))
        ->click();
    EXPECT_EQ(frame->StatusPane()->text().toStdString(),
              "Show Lines stopped early. The pad refused DrawLine");
    EXPECT_FALSE(frame->PadChannel()->LinkDown()) << "a refusal is no lost link";
    view->TabCtrl()->setCurrentIndex(kImageTab);
    EXPECT_EQ(frame->StatusPane()->text(), QStringLiteral("Ready"));
}

TEST_F(MainFrameTest, ClosingDuringAPatternWaitsForItsCommandThenEndsCapture) {
    test::VirtualUsbPad pad(machine);
    auto frame = MakeConnectedFrame(pad);
    CViewVellumixDemo* view = frame->MainView();
    view->TabCtrl()->setCurrentIndex(kDisplayTab);
    pad.Trace();
    pad.trace.clear();
    machine.timing->Slow("DrawFrame", 30ms);
    bool closedAtOnce = true;
    QString waiting;
    QTimer::singleShot(100ms, frame.get(), [&] {
        closedAtOnce = frame->close();
        waiting = frame->StatusPane()->text();
    });
    static_cast<QPushButton*>(view->DisplayPage()->Control(pages::CDisplayPage::IDC_SHOW_FRAMES))
        ->click();
    EXPECT_FALSE(closedAtOnce);
    EXPECT_EQ(waiting.toStdString(), QString(res::kWaitingToClose).toStdString());
    EXPECT_FALSE(frame->isVisible());
    // The frames up to the stop, then the end of capture.
    const auto& trace = pad.Trace();
    const auto frames = std::count_if(trace.begin(), trace.end(), [](const std::string& line) {
        return line.starts_with("DrawFrame");
    });
    EXPECT_GT(frames, 0);
    EXPECT_LT(frames, 26);
    ASSERT_GE(trace.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(trace.end() - 2, trace.end()), kEndCaptureTrace);
    EXPECT_TRUE(trace[trace.size() - 3].starts_with("DrawFrame"));
}

TEST_F(MainFrameTest, ClosingBeforeAPadIsFoundStopsTheSearchAndSendsNoCommand) {
    // A device with the pad's ids that refuses the probe keeps the search
    // going on USB; only probes may ever reach it.
    testsupport::RecordingUsbPad device(*machine.hid);
    device.SetAnswer([](const test::Bytes&) { return pt::Nak(); });
    auto frame = MakeShownFrame();
    ASSERT_TRUE(test::WaitUntil([&] { return device.FrameCount() >= 2; }));
    frame->ExitAction()->trigger();
    EXPECT_FALSE(frame->isVisible());
    EXPECT_TRUE(frame->ConnectionView()->DiscoveryEnded());
    const std::size_t sent = device.FrameCount();
    for (const auto& f : device.Frames()) {
        EXPECT_EQ(f, pt::kProbeFrame);
    }
    QTest::qWait(50);
    EXPECT_EQ(device.FrameCount(), sent);
    EXPECT_EQ(frame->MainView(), nullptr);
}

TEST_F(MainFrameTest, ClosingWhileThePadAnnouncementWaitsDoesNotDeadlock) {
    test::VirtualUsbPad pad(machine);
    auto frame = MakeShownFrame();
    // No event loop runs here, so the thread draws the welcome screen and
    // then blocks in its announcement to this thread.
    ASSERT_TRUE(test::WaitUntil([&] { return pad.TraceHas(test::kProbeAndWelcomeTrace.back()); }));
    frame->close();
    EXPECT_EQ(frame->MainView(), nullptr);
    EXPECT_TRUE(frame->ConnectionView()->DiscoveryEnded());
    // The pad was found and the thread has ended: the end of capture is sent.
    std::vector<std::string> expected = test::kProbeAndWelcomeTrace;
    expected.insert(expected.end(), kEndCaptureTrace.begin(), kEndCaptureTrace.end());
    EXPECT_EQ(pad.Trace(), expected);
    // The dropped announcement does not switch views later either.
    QTest::qWait(20);
    EXPECT_EQ(frame->MainView(), nullptr);
}

}  // namespace
}  // namespace vellumix::app
