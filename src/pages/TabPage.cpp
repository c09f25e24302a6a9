#include "pages/TabPage.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QPalette>
#include <QPushButton>

#include "pages/DialogLayout.h"
#include "pages/PageStyle.h"

namespace vellumix::pages {

CTabPage::CTabPage(const PageServices& services, QWidget* parent)
    : QWidget(parent),
      m_pOwnActivity(services.activity == nullptr ? std::make_unique<PadActivity>(services.channel)
                                                  : nullptr),
      m_pActivity(services.activity != nullptr ? services.activity : m_pOwnActivity.get()) {
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::white);
    setPalette(palette);
    setAutoFillBackground(true);
    // No tab stop of its own: Shift+Tab from the first control would land
    // on the page and be handed straight back, trapping the focus. setFocus
    // still reaches the page.
    setFocusPolicy(Qt::NoFocus);
    setFont(TemplateFont());
    connect(m_pActivity, &PadActivity::WorkingChanged, this, &CTabPage::OnWorking);
}

CTabPage::~CTabPage() = default;

void CTabPage::OnWorking(bool working) {
    if (working) {
        QWidget* const focused = QApplication::focusWidget();
        m_pFocusBeforeWork = focused != nullptr && isAncestorOf(focused) ? focused : nullptr;
    }
    for (const auto& [id, control] : m_controls) {
        if (auto* button = qobject_cast<QPushButton*>(control)) {
            button->setEnabled(!working);
        }
    }
    // A disabled button hands the focus on to the next widget that takes
    // it; the focus comes back unless the user put it elsewhere meanwhile
    // (the tab row, for one).
    if (working) {
        m_pFocusWhileWorking = QApplication::focusWidget();
    } else if (m_pFocusBeforeWork && isVisible() &&
               QApplication::focusWidget() == m_pFocusWhileWorking) {
        m_pFocusBeforeWork->setFocus();
    }
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
