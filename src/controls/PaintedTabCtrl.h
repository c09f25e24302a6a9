// The main view's tab control: a QTabBar that paints every pixel of itself,
// the tab row and the page frame below it. It takes the focus by Tab only;
// while it holds it, the selected tab's focus frame turns solid and Left and
// Right switch tabs. The pages are child widgets of the
// control, placed by the view inside the frame.
#pragma once

#include <QColor>
#include <QRect>
#include <QTabBar>

namespace vellumix::controls {

class CPaintedTabCtrl : public QTabBar {
    Q_OBJECT
public:
    // The system's grey-text colour, used for every outline.
    static inline const QColor kOutlineColor{0x6D, 0x6D, 0x6D};
    static inline const QColor kPageColor{Qt::white};
    static inline const QColor kTabColor{245, 245, 245};
    static inline const QColor kSelectedTabColor{Qt::white};
    static inline const QColor kTextColor{Qt::black};
    // The selected tab is drawn this much higher than the others.
    static constexpr int kSelectedRaise = 2;

    explicit CPaintedTabCtrl(QWidget* parent = nullptr);

    // Item rectangle of a tab, as the painting and the tests use it: the tab
    // row starts kItemOrigin pixels in from the control's top-left corner so
    // that the raised tab still fits above it.
    QRect ItemRect(int index) const;
    // True while a key typed on the control changes the tab: the focus stays
    // on the control then, so Left and Right go on switching tabs.
    bool IsChangingByKey() const { return m_bChangingByKey; }

protected:
    void paintEvent(QPaintEvent* event) override;
    QSize tabSizeHint(int index) const override;
    QSize minimumTabSizeHint(int index) const override { return tabSizeHint(index); }
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    // Room left of the first tab and above the tab row; the selected tab is
    // raised into the top strip.
    static constexpr int kItemOrigin = kSelectedRaise;
    // Space around the item text, as the platform's own tab control leaves it.
    static constexpr int kItemPaddingX = 6;
    static constexpr int kItemPaddingY = 3;

    bool m_bChangingByKey = false;
};

}  // namespace vellumix::controls
