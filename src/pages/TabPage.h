// What the three pages of the main view's tabs share: the view enters and
// leaves them through ActivatePage and DeactivatePage without knowing which
// page is which, they paint a white background with the templates' font,
// and their controls are found by template id.
//
// Focus works as in a dialog: the page itself is never a tab stop, and
// focus given to it (the view's setFocus when its tab is entered) goes on to
// its first control in tab order, so Space presses that control at once.
//
// Every pad command of a page goes through its PadActivity (Pad()); while
// work of the activity runs off the GUI thread, the page's push buttons are
// disabled, so no pad action can start on top of it.
//
// Thread safety: GUI thread only.
#pragma once

#include <QPointer>
#include <QWidget>
#include <map>
#include <memory>

#include "pages/PadActivity.h"
#include "pages/PageServices.h"

namespace vellumix::pages {

class CTabPage : public QWidget {
    Q_OBJECT
public:
    // The view calls ActivatePage after showing and focusing the page when
    // its tab is entered, and DeactivatePage before hiding it when the tab is
    // left.
    virtual void ActivatePage() = 0;
    virtual void DeactivatePage() = 0;
    // The pad came back after its link failed (it may have been power
    // cycled): sends what entering the page sent. The Signature page, whose
    // capture set-up is sent once at its start, says so itself.
    virtual void RestorePadSetup() { ActivatePage(); }

    // The activity the page's pad work goes through: the view's, or the
    // page's own when it was given none.
    PadActivity& Activity() const { return *m_pActivity; }

    // The control with a template id, or null.
    QWidget* Control(int id) const;
    // The first visible, enabled control that takes focus by Tab; null when
    // there is none.
    QWidget* FirstControl() const;

protected:
    CTabPage(const PageServices& services, QWidget* parent);
    ~CTabPage() override;

    PadCommands& Pad() const { return m_pActivity->Pad(); }

    // Registers a child under its template id.
    void AddControl(int id, QWidget* control) { m_controls[id] = control; }

    void focusInEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Push buttons off while the activity's work runs, and the focus back
    // where it was once it has ended.
    void OnWorking(bool working);

    std::map<int, QWidget*> m_controls;  // children, owned by Qt's parent chain
    std::unique_ptr<PadActivity> m_pOwnActivity;
    PadActivity* m_pActivity;
    QPointer<QWidget> m_pFocusBeforeWork;
    QPointer<QWidget> m_pFocusWhileWorking;
};

}  // namespace vellumix::pages
