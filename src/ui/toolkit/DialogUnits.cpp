#include "DialogUnits.h"

#include <QFontMetricsF>

#include <cmath>

namespace zorvane {

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetricsF metrics(font);
    // The classic average: the width of the 52 letters, divided by 52.
    charWidth = metrics.horizontalAdvance(
                    QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
                52.0;
    charHeight = metrics.height();
}

int DialogUnits::X(int units) const { return int(std::lround(units * charWidth / 4.0)); }

int DialogUnits::Y(int units) const { return int(std::lround(units * charHeight / 8.0)); }

QRect DialogUnits::Rect(int x, int y, int width, int height) const {
    return QRect(X(x), Y(y), X(width), Y(height));
}

} // namespace zorvane
