// What the three tab pages share: a white background painted by the page
// itself, the templates' font, and focus that a click or the view can give to the page. Also the
// Enter and Escape swallowing that the pages and both main views share.
#pragma once

#include <QKeyEvent>
#include <QPalette>
#include <QWidget>

#include "pages/DialogLayout.h"

namespace vellumix::pages {

inline void ApplyPageStyle(QWidget& page) {
    QPalette palette = page.palette();
    palette.setColor(QPalette::Window, Qt::white);
    page.setPalette(palette);
    page.setAutoFillBackground(true);
    page.setFocusPolicy(Qt::StrongFocus);
    page.setFont(TemplateFont());
}

// Accepts Enter and Escape so they stop here: passed on, they would reach a
// dialog or window around the widget and press its default button or close
// it. Returns false for every other key, which the caller hands on as usual.
inline bool SwallowDialogKey(QKeyEvent& event) {
    switch (event.key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            event.accept();
            return true;
        default:
            return false;
    }
}

}  // namespace vellumix::pages
