#pragma once

#include <QString>
#include <QtGlobal>

#include <vector>

namespace zorvane::testing {

// What WriteToneMp3 should produce. A tone is a pure sine starting at phase 0.
struct ToneParams {
    int sampleRate = 44100;
    int channels = 2;
    double seconds = 1.0;
    double frequencyHz = 440.0;
    double levelDbfs = -6.0; // peak amplitude relative to full scale
    // Clamped by the encoder to the nearest bitrate the MPEG version allows
    // (8..64 kbps at 8-12 kHz, 8..160 at 16-24 kHz, 32..320 at 32-48 kHz).
    int bitrateKbps = 128;
    bool silence = false;
    double rightFrequencyHz = 0; // 0 = same as left
};

// The exact PCM a ToneParams stands for, interleaved, -1..1.
std::vector<float> MakeTonePcm(const ToneParams& tone);

// Encodes the tone as CBR MP3 with libmp3lame (quality 2, joint stereo, no
// resampling) and puts the finished LAME/Info frame first, so a gapless
// decoder returns exactly round(seconds * sampleRate) frames, lined up sample
// for sample with MakeTonePcm. LAME's own 0.95 gain for CBR below 320 kbps is
// undone, so the decoded level is the requested one.
bool WriteToneMp3(const QString& path, const ToneParams& tone, QString* error = nullptr);

// A file that is certainly not MPEG audio (plain text).
bool WriteNotMp3(const QString& path);

// A zero-byte file.
bool WriteEmptyFile(const QString& path);

// Cuts the file to `size` bytes (or extends it with zeros).
bool TruncateFile(const QString& path, qint64 size);

struct DecodedAudio {
    long rate = 0;
    int channels = 0;
    std::vector<float> samples; // interleaved, -1..1

    qint64 frames() const {
        return channels > 0 ? static_cast<qint64>(samples.size()) / channels : 0;
    }
    double seconds() const { return rate > 0 ? static_cast<double>(frames()) / rate : 0.0; }
};

// Decodes the whole file with libmpg123 as 32-bit float, gapless as mpg123
// does by default. Fails on a file in which no MPEG frame decodes.
bool DecodeMp3(const QString& path, DecodedAudio* out, QString* error = nullptr);

// The length in sample frames that mpg123 announces right after opening the
// file, before decoding anything; it comes from the Info frame when there is
// one. -1 when the file does not open or mpg123 cannot tell.
qint64 Mpg123ReportedLength(const QString& path);

// The Xing/Info frame at the start of an MP3 file, as found in the bytes.
struct InfoFrame {
    bool found = false;
    bool isXing = false;        // "Xing" (VBR) rather than "Info" (CBR)
    qint64 frameOffset = 0;     // byte offset of the MPEG frame holding it
    qint64 tagOffset = 0;       // byte offset of the "Xing"/"Info" text
    bool hasFrameCount = false; // flag bit 0
    quint32 frameCount = 0;     // MPEG frames after the Info frame
    bool hasByteCount = false;  // flag bit 1
    quint32 byteCount = 0;
    bool hasLameExtension = false;
    QString encoder;           // e.g. "LAME3.100"
    int encoderDelay = -1;     // samples, from the LAME extension
    int encoderPadding = -1;   // samples, from the LAME extension
    bool lameCrcValid = false; // the LAME extension's own CRC-16 matches
    int sampleRate = 0;
    int channels = 0;
    int samplesPerFrame = 0; // 1152 for MPEG-1, 576 for MPEG-2/2.5
};

// Reads the Info frame of the first MPEG frame (after any ID3v2 tag).
bool ReadInfoFrame(const QString& path, InfoFrame* out);

// Overwrites the frame count of the Info frame (only when its flag says it has
// one) and recomputes the LAME CRC, so a tiny file claims to be long.
bool PatchInfoFrameCount(const QString& path, quint32 frames);

} // namespace zorvane::testing
