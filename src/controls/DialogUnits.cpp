#include "DialogUnits.h"

#include <QFontMetrics>
#include <QWidget>

namespace kestrel {

namespace {

// a * b / c, rounded half away from zero, as the classic conversion does.
int MulDivRounded(int a, int b, int c) {
    const long long product = static_cast<long long>(a) * b;
    const long long half = c / 2;
    const long long q = product >= 0 ? (product + half) / c : (product - half) / c;
    return static_cast<int>(q);
}

} // namespace

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int alphabet = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    // 52 letters: halve the 26-letter average and round.
    base_width_ = (alphabet / 26 + 1) / 2;
    base_height_ = metrics.height();
}

int DialogUnits::X(int units) const {
    return MulDivRounded(units, base_width_, 4);
}

int DialogUnits::Y(int units) const {
    return MulDivRounded(units, base_height_, 8);
}

QRect DialogUnits::ToPixels(int x, int y, int width, int height) const {
    return QRect(X(x), Y(y), X(width), Y(height));
}

QSize DialogUnits::ToPixels(int width, int height) const {
    return QSize(X(width), Y(height));
}

void PlaceAt(QWidget& widget, const DialogUnits& units, int x, int y, int width, int height) {
    widget.setGeometry(units.ToPixels(x, y, width, height));
}

} // namespace kestrel
