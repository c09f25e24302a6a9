// What the three tab pages share: a white background painted by the page
// itself, and focus that a click or the view can give to the page.
#pragma once

#include <QPalette>
#include <QWidget>

namespace vellumix::pages {

inline void ApplyPageStyle(QWidget& page) {
    QPalette palette = page.palette();
    palette.setColor(QPalette::Window, Qt::white);
    page.setPalette(palette);
    page.setAutoFillBackground(true);
    page.setFocusPolicy(Qt::StrongFocus);
}

}  // namespace vellumix::pages
