#include "app/ViewVellumixDemo.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include "controls/PaintedTabCtrl.h"
#include "padlink/HidPort.h"
#include "padlink/PadCommandChannel.h"
#include "padlink/hid/MemoryHidDevice.h"
#include "pages/DisplayPage.h"
#include "pages/ImagePage.h"
#include "pages/SignaturePage.h"
#include "support/FakePrompts.h"

namespace vellumix::app {
namespace {

using View = CViewVellumixDemo;

class ViewVellumixDemoTest : public ::testing::Test {
protected:
    void SetUp() override { g_nPreviousTab = 0; }

    // Shown and laid out, as after the main frame's view switch.
    void ShowLaidOut(View& v) {
        v.resize(700, 500);
        v.InitialUpdate();
        v.show();
    }

    void ClickTab(int tab) {
        QTest::mouseClick(view.TabCtrl(), Qt::LeftButton, {},
                          view.TabCtrl()->ItemRect(tab).center());
    }

    // Which pages are shown, e.g. "100" for the Signature page alone.
    std::string Shown() const {
        std::string shown;
        for (int tab = 0; tab < 3; ++tab) {
            shown += view.Page(tab)->isHidden() ? '0' : '1';
        }
        return shown;
    }

    testsupport::FakePrompts prompts;
    // No pad behind the link: an empty in-memory HID bus, so every exchange
    // fails at once, and no serial port that could scan for a device.
    padlink::PadLink link{
        std::make_unique<padlink::HidPort>(std::make_unique<padlink::hid::MemoryHidBackend>())};
    padlink::PadCommandChannel channel{link};
    View view{pages::PageServices{prompts, channel}};
};

TEST_F(ViewVellumixDemoTest, InitialUpdateMakesThreeTabsAndShowsTheSignaturePage) {
    view.resize(700, 500);
    view.InitialUpdate();
    ASSERT_EQ(view.TabCtrl()->count(), 3);
    EXPECT_EQ(view.TabCtrl()->currentIndex(), kSignatureTab);
    EXPECT_EQ(Shown(), "100");
    // Before the layout pass the pages sit 10 pixels below the tab control's top.
    const QRect tabs = view.TabCtrl()->geometry();
    EXPECT_EQ(tabs, View::kInitialTabCtrlRect);
    for (int tab = 0; tab < 3; ++tab) {
        EXPECT_EQ(view.Page(tab)->parentWidget(), view.TabCtrl());
        EXPECT_EQ(view.Page(tab)->geometry(), QRect(1, 10, tabs.width() - 3, tabs.height() - 70));
    }
    // A second initial update adds no second set of pages.
    view.InitialUpdate();
    EXPECT_EQ(view.TabCtrl()->count(), 3);
    EXPECT_EQ(view.findChildren<pages::CSignaturePage*>().size(), 1);
    EXPECT_TRUE(prompts.asked.empty());
}

TEST_F(ViewVellumixDemoTest, LayoutPlacesTabControlAndPagesOnWhite) {
    ShowLaidOut(view);
    EXPECT_EQ(view.TabCtrl()->geometry(), QRect(10, 10, 680, 480));
    for (int tab = 0; tab < 3; ++tab) {
        // 1 in from the left, 2 from the right, 30 below the top, 60 above the
        // bottom, in the tab control's coordinates; below the tab row.
        EXPECT_EQ(view.Page(tab)->geometry(), QRect(1, 30, 677, 390)) << tab;
    }
    EXPECT_GT(view.Page(0)->y(), view.TabCtrl()->ItemRect(0).bottom() + 1);
    const QImage image = view.grab().toImage();
    EXPECT_EQ(image.pixelColor(3, 3), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(view.Page(0)->mapTo(&view, QPoint(20, 20))), QColor(Qt::white));

    view.resize(600, 400);
    EXPECT_EQ(view.TabCtrl()->geometry(), QRect(10, 10, 580, 380));
    EXPECT_EQ(view.Page(2)->geometry(), QRect(1, 30, 577, 290));
}

TEST_F(ViewVellumixDemoTest, TabChangesLeaveThenEnterPagesInOrder) {
    ShowLaidOut(view);
    std::vector<std::string> calls;
    QObject::connect(&view, &View::PageLeft, [&](int tab) {
        calls.push_back("leave " + std::to_string(tab) + " " + Shown());
    });
    QObject::connect(&view, &View::PageEntered, [&](int tab) {
        calls.push_back("enter " + std::to_string(tab) + " " + Shown());
    });

    ClickTab(kDisplayTab);
    ClickTab(kImageTab);
    ClickTab(kImageTab);  // already selected: no change
    view.TabCtrl()->setCurrentIndex(kSignatureTab);

    // A page is still shown while it is deactivated, and already shown when
    // it is activated.
    const std::vector<std::string> expected = {
        "leave 0 100", "enter 1 010", "leave 1 010", "enter 2 001", "leave 2 001", "enter 0 100",
    };
    EXPECT_EQ(calls, expected);
    EXPECT_EQ(g_nPreviousTab, kSignatureTab);
}

TEST_F(ViewVellumixDemoTest, StalePreviousTabDoesNotDeactivateAPageNeverEntered) {
    g_nPreviousTab = kImageTab;  // left behind by an earlier view
    ShowLaidOut(view);
    QSignalSpy left(&view, &View::PageLeft);
    ClickTab(kDisplayTab);
    ASSERT_EQ(left.count(), 1);
    EXPECT_EQ(left.at(0).at(0).toInt(), kSignatureTab);
}

TEST_F(ViewVellumixDemoTest, KeysOnAPageReachNothingAroundTheView) {
    QDialog host;
    auto* const layout = new QVBoxLayout(&host);
    auto* const inner = new View(pages::PageServices{prompts, channel}, &host);
    auto* const button = new QPushButton(QStringLiteral("Default"), &host);
    button->setDefault(true);
    layout->addWidget(inner);
    layout->addWidget(button);
    host.resize(700, 560);
    inner->InitialUpdate();
    host.show();
    QSignalSpy clicked(button, &QPushButton::clicked);

    for (int tab : {kSignatureTab, kDisplayTab, kImageTab}) {
        inner->TabCtrl()->setCurrentIndex(tab);
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape, Qt::Key_Right}) {
            QTest::keyClick(inner->Page(tab), key);
            EXPECT_TRUE(host.isVisible()) << tab << " " << key;
            EXPECT_EQ(inner->TabCtrl()->currentIndex(), tab) << key;
        }
    }
    EXPECT_EQ(clicked.count(), 0);
    // Outside the view the same key does close the dialog.
    QTest::keyClick(button, Qt::Key_Escape);
    EXPECT_FALSE(host.isVisible());
}

// Focus given to a page goes on to its first control, as in a dialog, so
// Space after a click on a tab presses that control.
TEST_F(ViewVellumixDemoTest, EnteringATabFocusesThePagesFirstControl) {
    ShowLaidOut(view);
    view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    // Right after the switch from the connection view too.
    EXPECT_EQ(QApplication::focusWidget(),
              view.SignaturePage()->Control(pages::CSignaturePage::IDC_CLEAR_DISPLAY));

    const struct {
        int tab;
        QWidget* first;
        bool press;  // Show Lines would run its pattern against no pad
    } kCases[] = {
        {kImageTab, view.ImagePage()->Control(pages::CImagePage::IDC_SAMPLE_IMAGE_1), true},
        {kDisplayTab, view.DisplayPage()->Control(pages::CDisplayPage::IDC_SHOW_LINES), false},
        {kSignatureTab, view.SignaturePage()->Control(pages::CSignaturePage::IDC_CLEAR_DISPLAY),
         true},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.tab);
        ClickTab(c.tab);
        ASSERT_EQ(QApplication::focusWidget(), c.first);
        if (c.press) {
            QSignalSpy pressed(static_cast<QPushButton*>(c.first), &QPushButton::clicked);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
            EXPECT_EQ(pressed.count(), 1);
        }
        // The page is no tab stop of its own: Shift+Tab leaves it for the
        // tab bar rather than bouncing back to the first control.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        EXPECT_EQ(QApplication::focusWidget(), view.TabCtrl());
    }
}

TEST_F(ViewVellumixDemoTest, ArrowKeysOnTheTabBarSwitchPagesAndKeepTheFocus) {
    ShowLaidOut(view);
    view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    view.TabCtrl()->setFocus(Qt::TabFocusReason);
    for (const char* shown : {"010", "001"}) {
        QTest::keyClick(view.TabCtrl(), Qt::Key_Right);
        EXPECT_EQ(Shown(), shown);
        EXPECT_EQ(QApplication::focusWidget(), view.TabCtrl());
    }
    // A click hands the focus to the page again.
    ClickTab(kSignatureTab);
    EXPECT_EQ(QApplication::focusWidget(),
              view.SignaturePage()->Control(pages::CSignaturePage::IDC_CLEAR_DISPLAY));
}

}  // namespace
}  // namespace vellumix::app
