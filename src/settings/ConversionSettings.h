#pragma once

#include <QString>

#include <algorithm>
#include <array>
#include <cstdint>

namespace zorvane {

// How the speed change is applied.
enum SpeedMode : int16_t {
    SpeedModeResample = 0, // tempo and pitch change together
    SpeedModeTempo = 1,    // tempo changes, pitch is kept
};

// Output channel modes as stored in Config.ini ("LameChannel").
enum ChannelMode : int16_t {
    ChannelAutomatic = 0,
    ChannelMono = 1,
    ChannelStereo = 2,
    ChannelJointStereo = 3,
    ChannelDual = 4,
};

// Constant bitrates offered for the output, kbit/s, indexed by bitrateIndex.
inline constexpr std::array<int16_t, 17> kBitrateKbps{8,  16,  24,  32,  40,  48,  56,  64, 80,
                                                      96, 112, 128, 160, 192, 224, 256, 320};

// Output sampling rates, Hz, indexed by frequencyIndex; entry 0 means "automatic".
inline constexpr std::array<int32_t, 10> kSampleRateHz{0,     8000,  11025, 12000, 16000,
                                                       22050, 24000, 32000, 44100, 48000};

inline constexpr int kMinSpeedPercent = 20;
inline constexpr int kMaxSpeedPercent = 500;

// The speed the engine works with: the settings store keeps it in range, and
// this keeps a hand-built task from dividing by zero or asking SoX for
// nonsense.
inline constexpr int UsableSpeedPercent(int speedPercent) {
    return std::clamp(speedPercent, kMinSpeedPercent, kMaxSpeedPercent);
}

// The conversion settings. Plain data: the settings store fills it, the Options
// dialog edits it, and a conversion run takes a copy when it starts, so worker
// threads never read a record that the user interface may change.
struct ConversionSettings {
    int32_t sameAsSource = 0; // 1: write each output beside its source; 0: into outputFolder
    int16_t speedMode = SpeedModeTempo;
    int16_t speedPercent = 100; // 20..500, 100 = unchanged speed
    int16_t bitrateIndex = 11;  // index into kBitrateKbps (11 = 128 kbit/s)
    int16_t channelMode = ChannelAutomatic;
    int16_t frequencyIndex = 0; // index into kSampleRateHz, 0 = automatic
    int16_t encoderQuality = 9; // LAME quality; never stored, never changed
    QString outputFolder;       // ends with the separator once chosen in the Options dialog
    QString lastFolder;         // folder selected in the tree when the program last closed
};

} // namespace zorvane
