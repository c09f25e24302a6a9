#include "pages/DisplayPage.h"

#include "pages/PageStyle.h"

namespace vellumix::pages {

CDisplayPage::CDisplayPage(const PageServices& services, QWidget* parent)
    : QWidget(parent), m_services(services) {
    ApplyPageStyle(*this);
}

void CDisplayPage::ActivatePage() {}

void CDisplayPage::DeactivatePage() {}

}  // namespace vellumix::pages
