// Dialog units to pixels.
#include "controls/DialogUnits.h"

#include <QFontMetrics>
#include <QWidget>
#include <gtest/gtest.h>

#include <cmath>

using kestrel::DialogUnits;

namespace {

TEST(DialogUnits, ConvertsWithRoundingFromBaseUnits) {
    const DialogUnits units(6, 13);
    const struct {
        int units, x, y;
    } cases[] = {
        {0, 0, 0},       {1, 2, 2},   // 1.5 -> 2, 1.625 -> 2
        {2, 3, 3},       {3, 5, 5},   // 4.5 -> 5, 4.875 -> 5
        {4, 6, 7},       {8, 12, 13}, // 6.5 -> 7: halves round up
        {12, 18, 20},    {351, 527, 570},
        {468, 702, 761}, {-3, -5, -5}, // negative halves round away from zero
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.units);
        EXPECT_EQ(units.X(c.units), c.x);
        EXPECT_EQ(units.Y(c.units), c.y);
    }
    EXPECT_EQ(units.ToPixels(370, 118, 73, 12), QRect(555, 192, 110, 20));
    EXPECT_EQ(units.ToPixels(218, 72), QSize(327, 117));
}

TEST(DialogUnits, BaseUnitsComeFromTheFont) {
    for (const int points : {8, 10, 14}) {
        SCOPED_TRACE(points);
        const QFont font(QStringLiteral("Arial"), points);
        const DialogUnits units(font);
        const QFontMetricsF metrics(font);
        const double average = metrics.horizontalAdvance(QStringLiteral(
                                   "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
                               52.0;
        EXPECT_LE(std::abs(units.BaseWidth() - average), 1.0);
        EXPECT_GT(units.BaseWidth(), 0);
        EXPECT_EQ(units.BaseHeight(), QFontMetrics(font).height());
        EXPECT_EQ(units.X(4), units.BaseWidth());
        EXPECT_EQ(units.Y(8), units.BaseHeight());
    }
    EXPECT_LT(DialogUnits(QFont(QStringLiteral("Arial"), 8)).BaseHeight(),
              DialogUnits(QFont(QStringLiteral("Arial"), 14)).BaseHeight());
}

TEST(DialogUnits, PlacesAWidgetRelativeToItsParent) {
    QWidget parent;
    QWidget child(&parent);
    const DialogUnits units(5, 14);
    kestrel::PlaceAt(child, units, 26, 15, 418, 103);
    EXPECT_EQ(child.geometry(), QRect(33, 26, 523, 180));
}

} // namespace
