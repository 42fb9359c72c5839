#include "FileListColumns.h"

#include <cmath>

namespace zorvane {

QString DurationText(double seconds) {
    // A record's duration is never negative or beyond 2^64 (its length is
    // unsigned 64-bit); anything else, NaN included, gets no text rather than
    // an undefined conversion.
    if (!(seconds >= 1.0 && seconds < 18446744073709551616.0)) {
        return QString();
    }
    const auto whole = static_cast<uint64_t>(std::trunc(seconds));
    return QStringLiteral("%1:%2:%3")
        .arg(whole / 3600, 2, 10, QLatin1Char('0'))
        .arg(whole % 3600 / 60, 2, 10, QLatin1Char('0'))
        .arg(whole % 60, 2, 10, QLatin1Char('0'));
}

QString FrequencyText(uint32_t sampleRate) {
    return QString::number(sampleRate) + QStringLiteral(" Hz");
}

QString ChannelText(uint32_t channels) {
    switch (channels) {
    case 1:
        return QStringLiteral("1 (Mono)");
    case 2:
        return QStringLiteral("2 (Stereo)");
    default:
        return QString::number(channels);
    }
}

QString BitrateText(uint32_t kbps) {
    return QString::number(kbps) + QStringLiteral(" kbps");
}

} // namespace zorvane
