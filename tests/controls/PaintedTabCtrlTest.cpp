#include "controls/PaintedTabCtrl.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QTest>

namespace vellumix::controls {
namespace {

using Ctrl = CPaintedTabCtrl;

// Item edges with right and bottom one past the last pixel, as the control's
// drawing counts them.
struct Edges {
    int left, top, right, bottom;
    int midX() const { return (left + right) / 2; }
};

class PaintedTabCtrlTest : public ::testing::Test {
protected:
    void SetUp() override {
        QFont font(QStringLiteral("Arial"));
        font.setPixelSize(16);
        ctrl.setFont(font);
        for (const char* text : {"       One       ", "       Two       ", "       Three       "}) {
            ctrl.addTab(QString::fromLatin1(text));
        }
        ctrl.resize(600, 300);
    }

    Edges Item(int i) const {
        const QRect r = ctrl.ItemRect(i);
        return {r.x(), r.y(), r.x() + r.width(), r.y() + r.height()};
    }

    QImage Grab(int selected) {
        ctrl.setCurrentIndex(selected);
        return ctrl.grab().toImage();
    }

    Ctrl ctrl;
};

TEST_F(PaintedTabCtrlTest, ItemsStartInsideTheControlAbutAndTakeClicks) {
    EXPECT_EQ(Item(0).left, Ctrl::kSelectedRaise);
    EXPECT_EQ(Item(0).top, Ctrl::kSelectedRaise);
    for (int i = 1; i < 3; ++i) {
        EXPECT_EQ(Item(i).left, Item(i - 1).right) << i;
        EXPECT_EQ(Item(i).bottom, Item(0).bottom) << i;
    }
    // A taller control keeps the tab row; the rest is page area.
    const int rowBottom = Item(0).bottom;
    ctrl.resize(600, 600);
    EXPECT_EQ(Item(0).bottom, rowBottom);

    for (int target : {2, 0, 1}) {
        QTest::mouseClick(&ctrl, Qt::LeftButton, {}, QPoint(Item(target).left + 1, rowBottom - 1));
        EXPECT_EQ(ctrl.currentIndex(), target);
    }
    // The wheel over a page does not switch tabs.
    QWheelEvent wheel(QPointF(300, 200), QPointF(300, 200), {}, QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&ctrl, &wheel);
    EXPECT_EQ(ctrl.currentIndex(), 1);
}

TEST_F(PaintedTabCtrlTest, SelectedTabIsWhiteRaisedAndFramedOpenBelow) {
    for (int selected = 0; selected < 3; ++selected) {
        const QImage image = Grab(selected);
        const int baseline = Item(selected).bottom;
        for (int i = 0; i < 3; ++i) {
            SCOPED_TRACE(::testing::Message() << "selected " << selected << ", tab " << i);
            const Edges e = Item(i);
            const bool sel = i == selected;
            const QColor fill = sel ? Ctrl::kSelectedTabColor : Ctrl::kTabColor;
            EXPECT_EQ(image.pixelColor(e.left + 5, e.top + 4), fill);
            EXPECT_EQ(image.pixelColor(e.left + 5, e.bottom - 1), fill);
            // Top outline 2 pixels higher on the selected tab.
            const int top = sel ? e.top - Ctrl::kSelectedRaise : e.top;
            EXPECT_EQ(image.pixelColor(e.midX(), top), Ctrl::kOutlineColor);
            EXPECT_NE(image.pixelColor(e.midX(), top + 1), Ctrl::kOutlineColor);
            // A dotted focus frame, every other pixel black, on the selected tab only.
            int black = 0;
            for (int x = e.left + 2; x < e.left + 22; ++x) {
                black += image.pixelColor(x, e.top) == QColor(Qt::black);
            }
            EXPECT_EQ(black, sel ? 10 : 0);
            // The page frame's top line is open under the selected tab only.
            EXPECT_EQ(image.pixelColor(e.midX(), baseline),
                      sel ? Ctrl::kPageColor : Ctrl::kOutlineColor);
        }
        const int w = ctrl.width();
        const int h = ctrl.height();
        for (QPoint p : {QPoint(w - 1, baseline), QPoint(0, h - 1), QPoint(w / 2, h - 1),
                         QPoint(w - 1, h / 2), QPoint(0, h / 2)}) {
            EXPECT_EQ(image.pixelColor(p), Ctrl::kOutlineColor) << p.x() << "," << p.y();
        }
        EXPECT_EQ(image.pixelColor(w / 2, h / 2), Ctrl::kPageColor);
    }
}

TEST_F(PaintedTabCtrlTest, NeighboursOfTheSelectedTabLackTheSharedEdge) {
    const QImage image = Grab(1);
    const Edges before = Item(0);
    const Edges after = Item(2);
    const int mid = (before.top + before.bottom) / 2;
    // Left of the selected tab: no right edge, its last column is fill; the
    // left edge and cut corner are there.
    EXPECT_EQ(image.pixelColor(before.right - 1, mid), Ctrl::kTabColor);
    EXPECT_EQ(image.pixelColor(before.left, mid), Ctrl::kOutlineColor);
    EXPECT_EQ(image.pixelColor(before.left + 1, before.top + 1), Ctrl::kOutlineColor);
    // Right of it: no left edge or cut corner, the top starts 4 pixels in, and
    // below the raised tab's right edge the first column is fill.
    EXPECT_EQ(image.pixelColor(after.left + 1, after.top + 1), Ctrl::kTabColor);
    EXPECT_NE(image.pixelColor(after.left + 2, after.top), Ctrl::kOutlineColor);
    EXPECT_EQ(image.pixelColor(after.left + 4, after.top), Ctrl::kOutlineColor);
    EXPECT_EQ(image.pixelColor(after.left, after.bottom - 1), Ctrl::kTabColor);
    // Away from the selected tab both edges are drawn.
    const QImage other = Grab(2);
    EXPECT_EQ(other.pixelColor(before.right - 1, mid), Ctrl::kOutlineColor);
    EXPECT_EQ(other.pixelColor(before.right, before.bottom - 1), Ctrl::kOutlineColor);
}

TEST_F(PaintedTabCtrlTest, ClickingAnotherTabRepaintsWithoutTheOldRaise) {
    ctrl.show();
    const Edges tab0 = Item(0);
    ASSERT_EQ(Grab(0).pixelColor(tab0.midX(), tab0.top - 2), Ctrl::kOutlineColor);

    QTest::mouseClick(&ctrl, Qt::LeftButton, {}, ctrl.ItemRect(2).center());
    ASSERT_EQ(ctrl.currentIndex(), 2);
    const QImage after = ctrl.grab().toImage();
    EXPECT_EQ(after.pixelColor(tab0.midX(), tab0.top - 2), Ctrl::kPageColor);
    EXPECT_EQ(after.pixelColor(tab0.midX(), tab0.top), Ctrl::kOutlineColor);
    EXPECT_EQ(after.pixelColor(tab0.left + 5, tab0.top + 4), Ctrl::kTabColor);
    EXPECT_EQ(after.pixelColor(Item(2).midX(), Item(2).top - 2), Ctrl::kOutlineColor);
}

TEST_F(PaintedTabCtrlTest, KeyboardFocusTurnsTheFocusFrameSolidAndArrowsSwitchTabs) {
    ctrl.setCurrentIndex(1);
    const Edges e = Item(1);
    // The top row of the frame, at a gap and at a dot of the dotted frame
    // (dots where x + y is even).
    const int gapX = e.left + 3 + (((e.left + 3 + e.top) & 1) != 0 ? 0 : 1);
    const QPoint gap(gapX, e.top);
    const QPoint dot(gapX + 1, e.top);
    const QColor highlight = ctrl.palette().color(QPalette::Highlight);

    const QImage unfocused = ctrl.grab().toImage();
    EXPECT_EQ(unfocused.pixelColor(gap), Ctrl::kSelectedTabColor);
    EXPECT_EQ(unfocused.pixelColor(dot), QColor(Qt::black));

    ctrl.show();
    ctrl.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&ctrl));
    ctrl.setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(ctrl.hasFocus());
    const QImage focused = ctrl.grab().toImage();
    EXPECT_EQ(focused.pixelColor(gap), highlight);
    EXPECT_EQ(focused.pixelColor(dot), highlight);
    // Only the selected tab carries it.
    EXPECT_NE(focused.pixelColor(Item(0).left + 4, Item(0).top), highlight);

    QTest::keyClick(&ctrl, Qt::Key_Right);
    EXPECT_EQ(ctrl.currentIndex(), 2);
    QTest::keyClick(&ctrl, Qt::Key_Left);
    QTest::keyClick(&ctrl, Qt::Key_Left);
    EXPECT_EQ(ctrl.currentIndex(), 0);

    // Focus gone, the frame is dotted again.
    ctrl.clearFocus();
    const QImage left = ctrl.grab().toImage();
    int marked = 0;
    for (int x = Item(0).left + 2; x < Item(0).left + 22; ++x) {
        marked += left.pixelColor(x, Item(0).top) == highlight;
    }
    EXPECT_EQ(marked, 0);
}

}  // namespace
}  // namespace vellumix::controls
