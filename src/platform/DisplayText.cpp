#include "DisplayText.h"

namespace zorvane {

namespace {

bool NeedsEscape(char16_t c) {
    return c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F) || c == 0x2028 || c == 0x2029 ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0x200E ||
           c == 0x200F || c == 0x061C;
}

} // namespace

QString EscapedForDisplay(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && !NeedsEscape(text.at(i).unicode())) {
        ++i;
    }
    if (i == text.size()) {
        return text; // the usual case: nothing to copy
    }
    QString out = text.left(i);
    out.reserve(text.size() + 8);
    for (; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (!NeedsEscape(c)) {
            out += QChar(c);
        } else if (c == u'\n') {
            out += QLatin1String("\\n");
        } else if (c == u'\r') {
            out += QLatin1String("\\r");
        } else if (c == u'\t') {
            out += QLatin1String("\\t");
        } else if (c < 0x80) {
            out += QString::asprintf("\\x%02x", unsigned(c));
        } else {
            out += QString::asprintf("\\u%04x", unsigned(c));
        }
    }
    return out;
}

QString HmsText(double seconds) {
    // An estimate early in a run may be huge; past 2^64 it would not convert.
    const auto whole = !(seconds > 0)                     ? 0ULL
                       : seconds < 18446744073709551616.0 ? static_cast<unsigned long long>(seconds)
                                                          : ~0ULL;
    return QString::asprintf("%02llu:%02llu:%02llu", whole / 3600, (whole % 3600) / 60, whole % 60);
}

} // namespace zorvane
