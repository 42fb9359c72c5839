#include "AudioAnalysis.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace zorvane::testing {

namespace {

struct Range {
    qint64 begin = 0;
    qint64 end = 0;
};

// Falls back to the whole signal when the skip would leave nothing, so a very
// short clip is still measured rather than silently reported as empty.
Range Middle(const DecodedAudio& audio, double skipSeconds) {
    const qint64 frames = audio.frames();
    const qint64 skip = std::llround(std::max(0.0, skipSeconds) * double(audio.rate));
    if (2 * skip >= frames)
        return {0, frames};
    return {skip, frames - skip};
}

// One value per frame: the chosen channel, or for -1 each channel in turn.
template <typename F>
void ForEachSample(const DecodedAudio& audio, int channel, Range range, F&& f) {
    const int channels = audio.channels;
    if (channels <= 0)
        return;
    for (qint64 i = range.begin; i < range.end; ++i) {
        const float* frame = audio.samples.data() + i * channels;
        if (channel < 0) {
            for (int c = 0; c < channels; ++c)
                f(frame[c]);
        } else if (channel < channels) {
            f(frame[channel]);
        }
    }
}

double ToDb(double linear) {
    return linear > 0 ? 20.0 * std::log10(linear) : -std::numeric_limits<double>::infinity();
}

} // namespace

double RmsDbfs(const DecodedAudio& audio, int channel, double skipSeconds) {
    double sum = 0;
    qint64 count = 0;
    ForEachSample(audio, channel, Middle(audio, skipSeconds), [&](float s) {
        sum += double(s) * double(s);
        ++count;
    });
    return count > 0 ? ToDb(std::sqrt(sum / double(count)))
                     : -std::numeric_limits<double>::infinity();
}

double PeakDbfs(const DecodedAudio& audio, int channel, double skipSeconds) {
    double peak = 0;
    ForEachSample(audio, channel, Middle(audio, skipSeconds),
                  [&](float s) { peak = std::max(peak, std::fabs(double(s))); });
    return ToDb(peak);
}

double EstimateFrequencyHz(const DecodedAudio& audio, int channel, double skipSeconds) {
    if (channel < 0 || channel >= audio.channels || audio.rate <= 0)
        return 0;
    const Range range = Middle(audio, skipSeconds);
    std::vector<double> x;
    x.reserve(size_t(range.end - range.begin));
    ForEachSample(audio, channel, range, [&](float s) { x.push_back(s); });
    double peak = 0;
    for (double v : x)
        peak = std::max(peak, std::fabs(v));
    if (peak <= 0)
        return 0;
    // Coding noise near a crossing can make the signal dither around zero;
    // a crossing only counts after the signal has been clearly negative.
    const double hysteresis = 0.3 * peak;
    bool armed = false;
    double first = -1;
    double last = -1;
    qint64 cycles = -1;
    for (size_t i = 1; i < x.size(); ++i) {
        if (x[i] < -hysteresis)
            armed = true;
        if (armed && x[i - 1] <= 0 && x[i] > 0) {
            const double t = double(i - 1) + x[i - 1] / (x[i - 1] - x[i]);
            if (first < 0)
                first = t;
            last = t;
            ++cycles;
            armed = false;
        }
    }
    if (cycles < 2 || last <= first)
        return 0;
    return double(cycles) * double(audio.rate) / (last - first);
}

double CorrelationBetweenChannels(const DecodedAudio& audio, double skipSeconds) {
    if (audio.channels < 2)
        return 0;
    const Range range = Middle(audio, skipSeconds);
    const qint64 n = range.end - range.begin;
    if (n <= 0)
        return 0;
    double sumL = 0, sumR = 0;
    for (qint64 i = range.begin; i < range.end; ++i) {
        sumL += audio.samples[size_t(i * audio.channels)];
        sumR += audio.samples[size_t(i * audio.channels + 1)];
    }
    const double meanL = sumL / double(n);
    const double meanR = sumR / double(n);
    double cov = 0, varL = 0, varR = 0;
    for (qint64 i = range.begin; i < range.end; ++i) {
        const double l = audio.samples[size_t(i * audio.channels)] - meanL;
        const double r = audio.samples[size_t(i * audio.channels + 1)] - meanR;
        cov += l * r;
        varL += l * l;
        varR += r * r;
    }
    if (varL <= 0 || varR <= 0)
        return 0;
    return cov / std::sqrt(varL * varR);
}

} // namespace zorvane::testing
