#pragma once

#include "Mp3Fixtures.h"

namespace zorvane::testing {

// In every function `channel` is 0-based; -1 takes all channels together.
// Levels are dB relative to full scale (1.0), so a full-scale sine has an RMS
// of -3.01 dBFS and a peak of 0 dBFS. Digital silence gives -infinity.
// `skipSeconds` leaves out that much at both ends, where an MP3 encoder's
// start-up and flush transients live.

double RmsDbfs(const DecodedAudio& audio, int channel, double skipSeconds = 0.0);
double PeakDbfs(const DecodedAudio& audio, int channel, double skipSeconds = 0.0);

// The frequency of a steady tone, from the average period between
// upward zero crossings (linearly interpolated, with hysteresis against
// coding noise). Better than 0.1 % for a tone of a few hundred cycles.
// Needs a real channel (not -1). Returns 0 when fewer than two cycles are found.
double EstimateFrequencyHz(const DecodedAudio& audio, int channel, double skipSeconds = 0.1);

// Pearson correlation of the two channels: 1 for identical, -1 for inverted,
// near 0 for unrelated tones. 0 for mono or constant signals.
double CorrelationBetweenChannels(const DecodedAudio& audio, double skipSeconds = 0.0);

} // namespace zorvane::testing
