#pragma once
// The keys a dialog takes as its own (Enter presses the default button, Esc
// closes). Windows that must not react to them swallow them with this.

#include <QKeyEvent>

namespace kestrel {

// True (and the event accepted) for Enter and Esc.
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

} // namespace kestrel
