#pragma once

#include "ui/toolkit/DialogUnits.h"

#include <QFont>

#include <cmath>

namespace zorvane {

// The average character of the 8-point dialog font that the original pixel
// sizes were chosen for (one dialog unit = 1.5 pixels).
inline constexpr double kReferenceCharWidth = 6.0;

// A size in pixels chosen for that font, grown or shrunk in step with `font`,
// so that what fitted there fits here too: a larger font or a higher font
// resolution gets wider columns instead of cut texts.
inline int FontScaledPixels(int pixels, const QFont& font) {
    return int(std::lround(pixels * DialogUnits(font).CharWidth() / kReferenceCharWidth));
}

} // namespace zorvane
