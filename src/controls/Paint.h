#pragma once
// One control's colour answer: its fill and its text colour, by palette role.

#include <QColor>
#include <QPalette>
#include <QWidget>

namespace kestrel {

inline void Paint(QWidget& widget, QPalette::ColorRole fill, const QColor& fill_colour,
                  QPalette::ColorRole text, const QColor& text_colour) {
    QPalette p = widget.palette();
    p.setColor(fill, fill_colour);
    p.setColor(text, text_colour);
    widget.setPalette(p);
}

} // namespace kestrel
