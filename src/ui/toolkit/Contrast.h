#pragma once

#include <QColor>

class QStyleOptionViewItem;

namespace zorvane {

// The program's fixed colours were chosen for a white list on a light
// desktop. These helpers keep them where they can be read and replace them
// where they cannot, by one rule used everywhere:
//   - a fixed colour, background or text, stays as it is in a light theme;
//     in a dark theme it becomes the colour of the same tint that stands off
//     the theme's base by the contrast it has against white (ThemedColour):
//     pale rows become rows a little lighter than the base, dark red text a
//     light red;
//   - text is then drawn in that colour when it reaches kMinimumTextContrast
//     against what is behind it, else in the nearest lighter or darker
//     colour of the same hue that does (ReadableOn).
// The theme's own colours (its text on its base) are never changed.

// WCAG's level AA for ordinary text.
inline constexpr double kMinimumTextContrast = 4.5;

// WCAG relative luminance: 0 for black, 1 for white.
double RelativeLuminance(const QColor& colour);
// WCAG contrast ratio, from 1 (the same) to 21 (black on white).
double ContrastRatio(const QColor& a, const QColor& b);
// Below mid luminance. A theme whose base colour is dark is a dark theme.
bool IsDarkColour(const QColor& colour);

// `preferred` when it reaches `minimum` against `background`; otherwise the
// colour of the same hue and saturation whose lightness is nearest to it and
// reaches it (black or white when only they do).
QColor ReadableOn(const QColor& background, const QColor& preferred,
                  double minimum = kMinimumTextContrast);

// What to paint for `colour`, chosen for a white background, in a theme
// whose base colour is `base`. A contrast above kKeptHueContrast is mirrored
// as that much, so that strong dark colours keep their hue when lightened.
QColor ThemedColour(const QColor& colour, const QColor& base);
inline constexpr double kKeptHueContrast = 7.0;

// Paints an item of a list in the fixed colours `background` and `text`
// (invalid: the theme's base, the theme's text), each themed for the
// option's palette, the text readable on the background. Taken from the
// palette at every paint, so a change of theme shows at the next repaint.
void ApplyThemedColours(QStyleOptionViewItem* option, const QColor& background, const QColor& text);

} // namespace zorvane
