#pragma once
// Forms are laid out in dialog units: a quarter of the font's average
// character width across, an eighth of its height down. Positions follow
// from the font, so the layout scales with it.

#include <QFont>
#include <QRect>

class QWidget;

namespace kestrel {

class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);
    // From known base units, in pixels.
    DialogUnits(int base_width, int base_height)
        : base_width_(base_width), base_height_(base_height) {}

    // Base units of the font: average width of "A".."Z","a".."z" rounded
    // to whole pixels, and the full line height.
    int BaseWidth() const { return base_width_; }
    int BaseHeight() const { return base_height_; }

    int X(int units) const;
    int Y(int units) const;
    QRect ToPixels(int x, int y, int width, int height) const;
    QSize ToPixels(int width, int height) const;

private:
    int base_width_;
    int base_height_;
};

// Moves and sizes a widget to a rectangle given in dialog units, relative to
// its parent.
void PlaceAt(QWidget& widget, const DialogUnits& units, int x, int y, int width, int height);

} // namespace kestrel
