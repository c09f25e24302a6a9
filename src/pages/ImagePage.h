// The Image tab's page: sample pictures, custom pictures and stored
// signature files shown full-screen on the pad's LCD and on the PC.
#pragma once

#include <QWidget>

#include "pages/PageServices.h"

namespace vellumix::pages {

// A child of the main view's tab control, shown while its tab is selected.
class CImagePage : public QWidget {
    Q_OBJECT
public:
    // services must outlive the page; every message box and file dialog of
    // the page goes through its prompts, every pad command through its channel.
    CImagePage(const PageServices& services, QWidget* parent);

    // The view calls ActivatePage after showing and focusing the page when its
    // tab is entered, and DeactivatePage before hiding it when the tab is left.
    void ActivatePage();
    void DeactivatePage();

private:
    PageServices m_services;
};

}  // namespace vellumix::pages
