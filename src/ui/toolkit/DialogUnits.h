#pragma once

#include <QFont>
#include <QPoint>
#include <QRect>
#include <QSize>

namespace zorvane {

// Dialog layouts are given in dialog units, which scale with the dialog's
// font: one horizontal unit is a quarter of the font's average character
// width, one vertical unit an eighth of its height.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);
    int X(int units) const;
    int Y(int units) const;
    QRect Rect(int x, int y, int width, int height) const;
    // The font's average character width, in pixels.
    double CharWidth() const { return charWidth; }

private:
    double charWidth;
    double charHeight;
};

} // namespace zorvane
