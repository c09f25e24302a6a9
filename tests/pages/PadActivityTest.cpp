// The pages' pad work off the GUI thread: the window goes on painting and
// answering while a slow pad takes a picture or a pattern, a long send shows
// how far it got, and leaving the page waits for the work without cutting a
// frame.
#include "pages/PadActivity.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <algorithm>
#include <functional>

#include "VirtualPadRig.h"
#include "app/ViewVellumixDemo.h"
#include "controls/PaintedTabCtrl.h"
#include "padpicture/LcdPicture.h"
#include "pages/DisplayPage.h"
#include "pages/ImagePage.h"
#include "res/SampleImages.h"
#include "res/Strings.h"
#include "support/FakePrompts.h"

namespace vellumix::pages::test {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

// A timer on the GUI thread: it ticks only while the event loop runs.
class Ticks {
public:
    explicit Ticks(std::function<void(int tick)> onTick) : m_onTick(std::move(onTick)) {
        m_timer.setInterval(20ms);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { m_onTick(++m_count); });
        m_timer.start();
    }
    int Count() const { return m_count; }
    void Stop() { m_timer.stop(); }

private:
    std::function<void(int)> m_onTick;
    QTimer m_timer;
    int m_count = 0;
};

class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override {
        count += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};

void Click(QWidget* button) {
    static_cast<QPushButton*>(button)->click();
}

// The 230 KB picture on a line paced to take about half a second, while the
// 38400 baud the host is set for would take a minute: a send long enough to
// show its progress.
constexpr int kQuickLine = 460'800;

TEST(PadWork, WindowPaintsAndShowsProgressWhileAPictureCrossesTheLine) {
    SerialPadRig rig(kQuickLine);
    testsupport::FakePrompts prompts;
    CImagePage page(PageServices{prompts, rig.channel}, nullptr);
    page.resize(700, 460);
    page.show();
    page.ActivatePage();  // the port opens
    QCoreApplication::processEvents();

    PaintCounter paints(page.Control(CImagePage::IDC_IMAGE_BOX));
    std::vector<QString> statuses;
    Ticks ticks([&](int tick) {
        statuses.push_back(page.Activity().Status());
        if (tick == 3) {
            // Covered and uncovered: the box must paint again.
            page.hide();
            page.show();
            paints.count = 0;
        }
    });
    Click(page.Control(CImagePage::IDC_SAMPLE_IMAGE_1));
    const int ticksDuring = ticks.Count();
    const int paintsDuring = paints.count;
    ticks.Stop();

    ASSERT_GT(ticksDuring, 3) << "the event loop ran while the picture went out";
    EXPECT_GT(paintsDuring, 0) << "the uncovered box painted before the send ended";
    const QRegularExpression progress(QRegularExpression::anchoredPattern(
        QString(res::kSendingPicture).arg(QStringLiteral("(\\d+)"))));
    EXPECT_TRUE(std::any_of(statuses.begin(), statuses.end(), [&](const QString& s) {
        const auto match = progress.match(s);
        return match.hasMatch() && match.captured(1).toInt() > 0 && match.captured(1).toInt() < 100;
    })) << "a share between 0 and 100% was shown";
    EXPECT_EQ(page.Activity().Status().toStdString(), "") << "nothing left to say once it is in";

    const QImage sent = padpicture::StretchToLcd(res::SampleImage(res::kSampleImage1Id));
    EXPECT_EQ(rig.pad.engine.Snapshot().lcd.convertToFormat(QImage::Format_RGB32), sent);
    EXPECT_EQ(rig.pad.engine.DiscardedBytes(), 0u);
}

TEST(PadWork, LeavingAPageWaitsForItsWorkAndNoFrameIsCut) {
    const struct {
        int tab;
        int button;
        const char* slowCommand;
        std::chrono::milliseconds delay;
        int leaveTo;
    } kCases[] = {
        // The picture's frame is taken slowly; the pattern's frames are.
        {app::kImageTab, CImagePage::IDC_SAMPLE_IMAGE_1, "DisplayImage", 300ms, app::kDisplayTab},
        {app::kDisplayTab, CDisplayPage::IDC_SHOW_FRAMES, "DrawFrame", 30ms, app::kImageTab},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.slowCommand);
        VirtualPadRig rig;
        testsupport::FakePrompts prompts;
        app::g_nPreviousTab = app::kSignatureTab;
        app::CViewVellumixDemo view(PageServices{prompts, rig.channel});
        view.resize(700, 500);
        view.InitialUpdate();
        view.show();
        view.TabCtrl()->setCurrentIndex(c.tab);
        rig.Commands();
        rig.timing->Slow(c.slowCommand, c.delay);

        QString waiting;
        bool stayed = false;
        Ticks ticks([&](int tick) {
            if (tick == 5) {
                view.TabCtrl()->setCurrentIndex(c.leaveTo);
                waiting = view.Activity().Status();
                stayed = view.Page(c.tab)->isVisible() && view.Page(c.leaveTo)->isHidden();
            }
        });
        Click(view.Page(c.tab)->Control(c.button));
        ticks.Stop();

        EXPECT_EQ(waiting.toStdString(), QString(res::kWaitingToChangePage).toStdString());
        EXPECT_TRUE(stayed) << "the page stays until its work has ended";
        EXPECT_TRUE(view.Page(c.leaveTo)->isVisible());
        EXPECT_EQ(view.Activity().Status().toStdString(), "");
        EXPECT_EQ(rig.engine.DiscardedBytes(), 0u) << "every frame reached the pad whole";

        // The work's commands, then the page's leaving ones, none between.
        const Lines trace = rig.Commands();
        const auto isWork = [&](const std::string& line) {
            return line.starts_with(c.slowCommand);
        };
        const auto lastWork = std::find_if(trace.rbegin(), trace.rend(), isWork);
        ASSERT_NE(lastWork, trace.rend());
        const auto worked = std::count_if(trace.begin(), trace.end(), isWork);
        const auto firstWork = std::find_if(trace.begin(), trace.end(), isWork);
        EXPECT_EQ(std::find_if_not(firstWork, lastWork.base(), isWork), lastWork.base())
            << "nothing came between the work's frames";
        if (c.tab == app::kDisplayTab) {
            EXPECT_GT(worked, 0);
            EXPECT_LT(worked, 26) << "the pattern stopped at its next command";
            // Display's leaving: its reset and the clear.
            EXPECT_EQ(Lines(lastWork.base(), lastWork.base() + 3),
                      (Lines{"SetFillColor r=255 g=255 b=255",
                             "FillRectangle x=0 y=0 x2=319 y2=239", "ClearDisplay"}));
        } else {
            EXPECT_EQ(trace.front(), "DisplayImage x=0 y=0 x2=319 y2=239 bytes=230400");
            EXPECT_EQ(Lines(lastWork.base(), lastWork.base() + 2),
                      (Lines{"ClearDisplay", "ClearDisplay"}));
        }
    }
}

}  // namespace
}  // namespace vellumix::pages::test
