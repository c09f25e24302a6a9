#include "pages/SignaturePage.h"

#include "pages/PageStyle.h"

namespace vellumix::pages {

CSignaturePage* g_pSignaturePage = nullptr;

CSignaturePage::CSignaturePage(const PageServices& services, QWidget* parent)
    : QWidget(parent), m_services(services) {
    ApplyPageStyle(*this);
}

void CSignaturePage::ActivatePage() {}

void CSignaturePage::DeactivatePage() {}

void CSignaturePage::StopPenReader() {}

}  // namespace vellumix::pages
