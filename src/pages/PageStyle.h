// The Enter and Escape swallowing that the pages and both main views share.
#pragma once

#include <QKeyEvent>

namespace vellumix::pages {

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
