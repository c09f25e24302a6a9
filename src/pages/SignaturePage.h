// The Signature tab's page: the live mirror of what is written on the pad,
// and the clear, calibrate, file, load and exit buttons. The pen report model
// and reader live in src/capture, free of widgets; this is the window over
// them.
#pragma once

#include <QWidget>

#include "pages/PageServices.h"

namespace vellumix::pages {

// A child of the main view's tab control, shown while its tab is selected.
class CSignaturePage : public QWidget {
    Q_OBJECT
public:
    // services must outlive the page; every message box and file dialog of
    // the page goes through its prompts, every pad command through its channel.
    CSignaturePage(const PageServices& services, QWidget* parent);

    // The view calls ActivatePage after showing and focusing the page when its
    // tab is entered, and DeactivatePage before hiding it when the tab is left.
    void ActivatePage();
    void DeactivatePage();
    // Ends the pen reader thread, if it runs. The main frame calls it first
    // when the window closes, before its last pad commands.
    void StopPenReader();

private:
    PageServices m_services;
};

// The Signature page once it exists, for the main frame's close sequence;
// null before. GUI thread only.
extern CSignaturePage* g_pSignaturePage;

}  // namespace vellumix::pages
