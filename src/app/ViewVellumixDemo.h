// The main view once the pad has been found: the painted tab control with the
// Signature, Display and Image pages. The main frame creates it in place of
// the connection view and calls InitialUpdate once it is in place.
//
// The three pages share the view's PadActivity: while one page's pad work
// runs, a tab change waits for it (a pattern stops at its next command, a
// frame on its way goes out whole) and happens once the page's action has
// ended; so does the set-up for a pad that came back meanwhile.
#pragma once

#include <QFont>
#include <QRect>
#include <QWidget>
#include <array>
#include <memory>

#include "pages/PadActivity.h"
#include "pages/PageServices.h"
#include "pages/TabPage.h"

namespace vellumix::controls {
class CPaintedTabCtrl;
}
namespace vellumix::pages {
class CSignaturePage;
class CDisplayPage;
class CImagePage;
}  // namespace vellumix::pages

namespace vellumix::app {

// Index of the tab that was selected before the current change; 0 at start.
// Shared by every instance of the view, and touched on the GUI thread only.
extern int g_nPreviousTab;

enum PageTab : int {
    kSignatureTab = 0,
    kDisplayTab = 1,
    kImageTab = 2,
};

class CViewVellumixDemo : public QWidget {
    Q_OBJECT
public:
    // Where the tab control sits until the first layout, in pixels.
    static constexpr QRect kInitialTabCtrlRect{40, 30, 560, 270};
    // The tab control fills the view less this margin on every side.
    static constexpr int kTabCtrlMargin = 10;
    // Pages inside the tab control's client area: 1 in from the left, 2 in
    // from the right, 60 up from the bottom, and from the top 10 at the initial
    // update but 30 once the view is laid out, below the tab row.
    static constexpr int kPageInsetLeft = 1;
    static constexpr int kPageInsetRight = 2;
    static constexpr int kPageInsetBottom = 60;
    static constexpr int kPageInsetTopInitial = 10;
    static constexpr int kPageInsetTop = 30;

    // services must outlive the view; the pages ask the user and reach the pad
    // through them.
    explicit CViewVellumixDemo(const pages::PageServices& services, QWidget* parent = nullptr);
    ~CViewVellumixDemo() override;

    // Creates the three pages and the tabs, shows the Signature page and
    // selects its tab. Runs once; later calls do nothing.
    void InitialUpdate();

    controls::CPaintedTabCtrl* TabCtrl() const { return m_pTabCtrl; }
    // Null before InitialUpdate. The pages are children of the tab control and
    // are deleted with it.
    pages::CSignaturePage* SignaturePage() const { return m_pSignaturePage; }
    pages::CDisplayPage* DisplayPage() const { return m_pDisplayPage; }
    pages::CImagePage* ImagePage() const { return m_pImagePage; }
    // The page of a tab; null for any other index.
    pages::CTabPage* Page(int tab) const;
    // The pad work of the three pages.
    pages::PadActivity& Activity() const { return *m_pActivity; }
    // The pad came back after its link failed (it may have been power
    // cycled): sets it up again for the page on show, as that page's start
    // did.
    void PadReturned();

signals:
    // After the left page's DeactivatePage, while it is still shown.
    void PageLeft(int tab);
    // After the entered page's ActivatePage.
    void PageEntered(int tab);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void OnSelChange(int tab);
    // Leaves the shown page for tab's, as one action.
    void ChangePage(int tab);
    void LeavePage(int tab);
    void EnterPage(int tab);
    void Layout();
    void PlacePages(int topInset);

    pages::PageServices m_services;
    // Outlives the pages, which are deleted first.
    std::unique_ptr<pages::PadActivity> m_pActivity;
    pages::CSignaturePage* m_pSignaturePage = nullptr;
    pages::CDisplayPage* m_pDisplayPage = nullptr;
    pages::CImagePage* m_pImagePage = nullptr;
    // The same three, by tab index.
    std::array<pages::CTabPage*, 3> m_pages{};
    QFont m_tabFont;
    controls::CPaintedTabCtrl* m_pTabCtrl;
};

}  // namespace vellumix::app
