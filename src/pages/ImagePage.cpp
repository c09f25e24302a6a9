#include "pages/ImagePage.h"

#include "pages/PageStyle.h"

namespace vellumix::pages {

CImagePage::CImagePage(app::IPrompts& prompts, QWidget* parent)
    : QWidget(parent), m_prompts(prompts) {
    ApplyPageStyle(*this);
}

void CImagePage::ActivatePage() {}

void CImagePage::DeactivatePage() {}

}  // namespace vellumix::pages
