#include "pages/DisplayPage.h"

#include "pages/PageStyle.h"

namespace vellumix::pages {

CDisplayPage::CDisplayPage(app::IPrompts& prompts, QWidget* parent)
    : QWidget(parent), m_prompts(prompts) {
    ApplyPageStyle(*this);
}

void CDisplayPage::ActivatePage() {}

void CDisplayPage::DeactivatePage() {}

}  // namespace vellumix::pages
