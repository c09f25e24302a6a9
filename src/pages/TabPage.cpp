#include "pages/TabPage.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QPalette>

#include "pages/DialogLayout.h"
#include "pages/PageStyle.h"

namespace vellumix::pages {

CTabPage::CTabPage(QWidget* parent) : QWidget(parent) {
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::white);
    setPalette(palette);
    setAutoFillBackground(true);
    // No tab stop of its own: Shift+Tab from the first control would land
    // on the page and be handed straight back, trapping the focus. setFocus
    // still reaches the page.
    setFocusPolicy(Qt::NoFocus);
    setFont(TemplateFont());
}

QWidget* CTabPage::Control(int id) const {
    const auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

QWidget* CTabPage::FirstControl() const {
    // The focus chain runs through every widget of the window, this page's
    // children in their tab order among them.
    for (QWidget* w = nextInFocusChain(); w != nullptr && w != this; w = w->nextInFocusChain()) {
        if (isAncestorOf(w) && w->isVisibleTo(this) && w->isEnabled() &&
            (w->focusPolicy() & Qt::TabFocus) != 0) {
            return w;
        }
    }
    return nullptr;
}

void CTabPage::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    if (QWidget* first = FirstControl()) {
        first->setFocus(event->reason());
    }
}

void CTabPage::keyPressEvent(QKeyEvent* event) {
    if (!SwallowDialogKey(*event)) {
        QWidget::keyPressEvent(event);
    }
}

}  // namespace vellumix::pages
