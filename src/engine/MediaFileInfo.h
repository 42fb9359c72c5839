#pragma once

#include "TagTexts.h"

#include <cstdint>

namespace zorvane {

// What one row of the file list knows about its MP3 file, and what a task is
// built from. A row starts with a default-constructed record (every number 0,
// every text empty); the loader fills the size and format code, the info
// reader the rest.
struct MediaFileInfo : TagTexts {
    // 1 when the file cannot be converted: it does not open, the decoder
    // refuses it, or it has no rate, channels or length.
    int32_t invalid = 0;
    uint8_t formatCode = 0;  // kFormatMp3 for ".mp3"
    uint8_t tagFlags = 0;    // TagTypeBits of the non-empty tags (APE: any APE tag)
    uint8_t trackNumber = 0; // modulo 256, for sorting
    uint8_t trackTotal = 0;  // the number after "/", 0 when none
    uint32_t sampleRate = 0; // Hz
    uint32_t channels = 0;
    // Interleaved samples of all channels. A stereo 44.1 kHz file passes 2^31
    // samples after 6 h 45 min, so this never goes through 32 bits.
    uint64_t totalSamples = 0;
    uint32_t bitrateKbps = 0;
    double sizeMB = 0.0;
    double durationSeconds = 0.0;
};

} // namespace zorvane
