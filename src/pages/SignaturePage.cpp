#include "pages/SignaturePage.h"

#include "pages/PageStyle.h"

namespace vellumix::pages {

CSignaturePage::CSignaturePage(const PageServices& services, QWidget* parent)
    : QWidget(parent), m_services(services) {
    ApplyPageStyle(*this);
}

void CSignaturePage::ActivatePage() {}

void CSignaturePage::DeactivatePage() {}

}  // namespace vellumix::pages
