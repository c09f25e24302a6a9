#include "pages/SignaturePage.h"

#include "pages/PageStyle.h"

namespace vellumix::pages {

CSignaturePage::CSignaturePage(app::IPrompts& prompts, QWidget* parent)
    : QWidget(parent), m_prompts(prompts) {
    ApplyPageStyle(*this);
}

void CSignaturePage::ActivatePage() {}

void CSignaturePage::DeactivatePage() {}

}  // namespace vellumix::pages
