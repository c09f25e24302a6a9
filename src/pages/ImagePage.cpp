#include "pages/ImagePage.h"

#include "pages/PageStyle.h"

namespace vellumix::pages {

CImagePage::CImagePage(const PageServices& services, QWidget* parent)
    : QWidget(parent), m_services(services) {
    ApplyPageStyle(*this);
}

void CImagePage::ActivatePage() {}

void CImagePage::DeactivatePage() {}

}  // namespace vellumix::pages
