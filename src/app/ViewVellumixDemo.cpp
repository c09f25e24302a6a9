#include "app/ViewVellumixDemo.h"

#include <QKeyEvent>
#include <QPainter>

#include "controls/PaintedTabCtrl.h"
#include "pages/DisplayPage.h"
#include "pages/ImagePage.h"
#include "pages/PageStyle.h"
#include "pages/SignaturePage.h"
#include "res/Strings.h"

namespace vellumix::app {

int g_nPreviousTab = kSignatureTab;

namespace {

// The font the tab control lays its items out with (the painting uses its
// own). The platform's "System" face has a single 16-pixel size, so that is
// the size a request for it yields; Arial stands in for the face.
constexpr char kTabLayoutFontFamily[] = "Arial";
constexpr int kTabLayoutFontPixels = 16;
constexpr QFont::Weight kTabLayoutFontWeight = QFont::Light;

}  // namespace

CViewVellumixDemo::CViewVellumixDemo(const pages::PageServices& services, QWidget* parent)
    : QWidget(parent),
      m_services(services),
      m_pActivity(std::make_unique<pages::PadActivity>(services.channel)),
      m_pTabCtrl(new controls::CPaintedTabCtrl(this)) {
    m_services.activity = m_pActivity.get();
    m_pTabCtrl->setGeometry(kInitialTabCtrlRect);
}

CViewVellumixDemo::~CViewVellumixDemo() {
    // The pages (children of the tab control) use the activity to the end.
    delete m_pTabCtrl;
}

pages::CTabPage* CViewVellumixDemo::Page(int tab) const {
    if (tab < 0 || tab >= static_cast<int>(m_pages.size())) {
        return nullptr;
    }
    return m_pages[static_cast<std::size_t>(tab)];
}

void CViewVellumixDemo::InitialUpdate() {
    // A second run would stack a second set of pages, each with its own pad
    // commands, under the first.
    if (m_pSignaturePage != nullptr) {
        return;
    }
    m_pSignaturePage = new pages::CSignaturePage(m_services, m_pTabCtrl);
    m_pDisplayPage = new pages::CDisplayPage(m_services, m_pTabCtrl);
    m_pImagePage = new pages::CImagePage(m_services, m_pTabCtrl);
    m_pages = {m_pSignaturePage, m_pDisplayPage, m_pImagePage};

    m_pTabCtrl->addTab(res::kTabSignature);
    m_pTabCtrl->addTab(res::kTabDisplay);
    m_pTabCtrl->addTab(res::kTabImage);

    m_tabFont = QFont(QString::fromLatin1(kTabLayoutFontFamily));
    m_tabFont.setStyleHint(QFont::SansSerif);
    m_tabFont.setPixelSize(kTabLayoutFontPixels);
    m_tabFont.setWeight(kTabLayoutFontWeight);
    m_pTabCtrl->setFont(m_tabFont);

    PlacePages(kPageInsetTopInitial);

    m_pSignaturePage->show();
    m_pDisplayPage->hide();
    m_pImagePage->hide();

    // The first tab is selected now, and the page shown is the Signature page,
    // whatever an earlier view left in the shared previous-tab value; a stale
    // value would deactivate a page that was never entered and leave the
    // Signature page's reader running.
    g_nPreviousTab = kSignatureTab;
    m_pTabCtrl->setCurrentIndex(kSignatureTab);
    m_pSignaturePage->setFocus();
    // Connected only now: setting up the tabs is not a tab change.
    connect(m_pTabCtrl, &QTabBar::currentChanged, this, &CViewVellumixDemo::OnSelChange);
}

void CViewVellumixDemo::OnSelChange(int tab) {
    if (m_pActivity->IsBusy()) {
        // The page's work ends first: a pattern at its next command, a frame
        // on its way once it is in. The tab the user chose last is entered.
        m_pActivity->RequestStop();
        m_pActivity->WhenIdle(pages::PadActivity::Deferred::kPageChange,
                              [this] { ChangePage(m_pTabCtrl->currentIndex()); });
        return;
    }
    ChangePage(tab);
}

void CViewVellumixDemo::ChangePage(int tab) {
    // Back on the shown page while its work ended: nothing to change.
    if (tab == g_nPreviousTab) {
        return;
    }
    const pages::PadActivity::Action action = m_pActivity->BeginAction();
    LeavePage(g_nPreviousTab);
    g_nPreviousTab = tab;
    EnterPage(tab);
}

void CViewVellumixDemo::LeavePage(int tab) {
    pages::CTabPage* const left = Page(tab);
    if (left == nullptr) {
        return;
    }
    left->DeactivatePage();
    emit PageLeft(tab);
    left->hide();
}

void CViewVellumixDemo::PadReturned() {
    if (m_pActivity->IsBusy()) {
        m_pActivity->WhenIdle(pages::PadActivity::Deferred::kPadSetup, [this] { PadReturned(); });
        return;
    }
    for (pages::CTabPage* page : m_pages) {
        if (page->isVisible()) {
            page->RestorePadSetup();
            return;
        }
    }
}

void CViewVellumixDemo::EnterPage(int tab) {
    pages::CTabPage* const entered = Page(tab);
    if (entered == nullptr) {
        return;
    }
    for (pages::CTabPage* other : m_pages) {
        if (other != entered) {
            other->hide();
        }
    }
    entered->show();
    // The page hands the focus on to its first control; but keys typed on
    // the tab bar leave it there, so Left and Right go on switching pages.
    if (!m_pTabCtrl->IsChangingByKey()) {
        entered->setFocus();
    }
    entered->ActivatePage();
    emit PageEntered(tab);
}

void CViewVellumixDemo::PlacePages(int topInset) {
    const QRect client = m_pTabCtrl->rect();
    const QRect area(QPoint(client.left() + kPageInsetLeft, client.top() + topInset),
                     QPoint(client.right() - kPageInsetRight, client.bottom() - kPageInsetBottom));
    for (pages::CTabPage* page : m_pages) {
        page->setGeometry(area);
    }
}

void CViewVellumixDemo::Layout() {
    if (!isVisible() || m_pSignaturePage == nullptr) {
        return;
    }
    m_pTabCtrl->setGeometry(
        rect().adjusted(kTabCtrlMargin, kTabCtrlMargin, -kTabCtrlMargin, -kTabCtrlMargin));
    PlacePages(kPageInsetTop);
}

void CViewVellumixDemo::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
}

void CViewVellumixDemo::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Layout();
}

void CViewVellumixDemo::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Qt delivers the resize of a widget sized while hidden just before it
    // counts as visible, so that resize alone would never lay the view out.
    Layout();
}

void CViewVellumixDemo::keyPressEvent(QKeyEvent* event) {
    if (!pages::SwallowDialogKey(*event)) {
        QWidget::keyPressEvent(event);
    }
}

}  // namespace vellumix::app
