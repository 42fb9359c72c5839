#include "Contrast.h"

#include <QStyleOptionViewItem>

#include <algorithm>
#include <array>
#include <cmath>

namespace zorvane {

namespace {

// Enough halvings to settle an 8-bit channel with room to spare.
constexpr int kSearchSteps = 24;

double LinearChannel(int value) {
    const double c = value / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

// What the screen will show: the painter works in 8-bit channels, so every
// contrast is judged on the rounded colour, never on the exact one.
QColor Rounded(const QColor& colour) {
    return QColor(colour.rgb());
}

// Smallest t in [lo, hi] for which reaches(t) holds, assuming it holds for
// every larger t; hi when it holds nowhere but there.
template <typename Pred> double LowestThat(double lo, double hi, Pred reaches) {
    for (int step = 0; step < kSearchSteps; ++step) {
        const double mid = (lo + hi) / 2;
        (reaches(mid) ? hi : lo) = mid;
    }
    return hi;
}

} // namespace

double RelativeLuminance(const QColor& colour) {
    const QColor rgb = colour.toRgb();
    return 0.2126 * LinearChannel(rgb.red()) + 0.7152 * LinearChannel(rgb.green()) +
           0.0722 * LinearChannel(rgb.blue());
}

double ContrastRatio(const QColor& a, const QColor& b) {
    const double la = RelativeLuminance(a);
    const double lb = RelativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

bool IsDarkColour(const QColor& colour) {
    return RelativeLuminance(colour) < 0.5;
}

QColor ReadableOn(const QColor& background, const QColor& preferred, double minimum) {
    if (ContrastRatio(background, preferred) >= minimum) {
        return preferred;
    }
    const double back = RelativeLuminance(background) + 0.05;
    float hue = 0;
    float saturation = 0;
    float lightness = 0;
    preferred.toHsl().getHslF(&hue, &saturation, &lightness);
    // Grey has no hue (-1); any hue will do at zero saturation.
    hue = std::max(hue, 0.0f);
    auto at = [&](double l) {
        return Rounded(QColor::fromHslF(hue, saturation, float(std::clamp(l, 0.0, 1.0))));
    };
    auto darkEnough = [&](double l) { return (RelativeLuminance(at(l)) + 0.05) * minimum <= back; };
    auto lightEnough = [&](double l) { return RelativeLuminance(at(l)) + 0.05 >= back * minimum; };
    // Lightness moves luminance one way only, so each direction has one
    // boundary; the nearer reachable one changes the colour least.
    const bool canDarken = darkEnough(0);
    const bool canLighten = lightEnough(1);
    const double darker =
        canDarken ? lightness - LowestThat(0, lightness,
                                           [&](double d) { return darkEnough(lightness - d); })
                  : 0;
    const double lighter = canLighten ? LowestThat(lightness, 1, lightEnough) : 1;
    if (canDarken && (!canLighten || lightness - darker <= lighter - lightness)) {
        return at(darker);
    }
    if (canLighten) {
        return at(lighter);
    }
    // Only a minimum above what black or white give can get here.
    const QColor black(Qt::black);
    const QColor white(Qt::white);
    return ContrastRatio(background, black) >= ContrastRatio(background, white) ? black : white;
}

QColor ThemedColour(const QColor& colour, const QColor& base) {
    if (!IsDarkColour(base)) {
        return colour;
    }
    const QColor light = colour.toRgb();
    const double step = std::min(ContrastRatio(QColor(Qt::white), light), kKeptHueContrast);
    const QColor dark = Rounded(base);
    if (step < 1.001) {
        return dark;
    }
    const double target = std::min((RelativeLuminance(dark) + 0.05) * step - 0.05, 1.0);

    // The tint is what the colour keeps of white per channel, relative to its
    // least kept one: pink keeps red and blue, so red and blue are what the
    // dark base gains; dark red keeps most red. A grey keeps all three alike.
    const std::array<int, 3> lost{255 - light.red(), 255 - light.green(), 255 - light.blue()};
    const auto [least, most] = std::minmax_element(lost.begin(), lost.end());
    std::array<double, 3> tint{};
    for (size_t i = 0; i < 3; ++i) {
        tint[i] = double(*most + *least - lost[i]) / (*most + *least);
    }
    const std::array<int, 3> from{dark.red(), dark.green(), dark.blue()};
    // 0..1 adds the tint to the base, 1..2 then goes on towards white, so
    // that every step can be reached and luminance only grows along the way.
    auto at = [&](double t) {
        std::array<double, 3> c{};
        for (size_t i = 0; i < 3; ++i) {
            const double tinted = std::min(from[i] + std::min(t, 1.0) * tint[i] * 255, 255.0);
            c[i] = tinted + std::max(t - 1, 0.0) * (255 - tinted);
        }
        return QColor(int(std::lround(c[0])), int(std::lround(c[1])), int(std::lround(c[2])));
    };
    return at(LowestThat(0, 2, [&](double t) { return RelativeLuminance(at(t)) >= target; }));
}

void ApplyThemedColours(QStyleOptionViewItem* option, const QColor& background,
                        const QColor& text) {
    const QColor base = option->palette.color(QPalette::Base);
    const QColor back = background.isValid() ? ThemedColour(background, base) : base;
    const QColor fore =
        text.isValid() ? ThemedColour(text, base) : option->palette.color(QPalette::Text);
    option->backgroundBrush = back;
    option->palette.setColor(QPalette::Text, ReadableOn(back, fore));
}

} // namespace zorvane
