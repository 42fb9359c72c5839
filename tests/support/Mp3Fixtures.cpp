#include "Mp3Fixtures.h"

#include <QByteArray>
#include <QFile>

#include <lame/lame.h>
#include <mpg123.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <numbers>

namespace zorvane::testing {

namespace {

void SetError(QString* error, const QString& text) {
    if (error)
        *error = text;
}

// libmpg123 before 1.27 needed this exactly once per process and not
// concurrently; calling it through call_once keeps tests from many threads safe.
void InitMpg123Once() {
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });
}

struct LameDeleter {
    void operator()(lame_global_flags* gf) const { lame_close(gf); }
};

struct Mpg123Deleter {
    void operator()(mpg123_handle* mh) const {
        mpg123_close(mh);
        mpg123_delete(mh);
    }
};

using Mpg123Ptr = std::unique_ptr<mpg123_handle, Mpg123Deleter>;

// LAME silently rounds an impossible bitrate itself, but doing it here makes
// the choice visible and independent of the encoder version.
int NearestLegalBitrate(int sampleRate, int wanted) {
    static constexpr std::array<int, 14> kMpeg1 = {32,  40,  48,  56,  64,  80,  96,
                                                   112, 128, 160, 192, 224, 256, 320};
    static constexpr std::array<int, 14> kMpeg2 = {8,  16, 24, 32,  40,  48,  56,
                                                   64, 80, 96, 112, 128, 144, 160};
    static constexpr std::array<int, 8> kMpeg25 = {8, 16, 24, 32, 40, 48, 56, 64};
    auto pick = [wanted](const auto& table) {
        int best = table[0];
        for (int b : table) {
            if (std::abs(b - wanted) < std::abs(best - wanted))
                best = b;
        }
        return best;
    };
    if (sampleRate >= 32000)
        return pick(kMpeg1);
    if (sampleRate >= 16000)
        return pick(kMpeg2);
    return pick(kMpeg25);
}

Mpg123Ptr OpenForFloat(const QString& path, QString* error) {
    InitMpg123Once();
    int err = MPG123_OK;
    Mpg123Ptr mh(mpg123_new(nullptr, &err));
    if (!mh) {
        SetError(
            error,
            QStringLiteral("mpg123_new: %1").arg(QString::fromUtf8(mpg123_plain_strerror(err))));
        return nullptr;
    }
    mpg123_param(mh.get(), MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    mpg123_format_none(mh.get());
    const long* rates = nullptr;
    size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    for (size_t i = 0; i < rateCount; ++i)
        mpg123_format(mh.get(), rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_FLOAT_32);
    if (mpg123_open(mh.get(), QFile::encodeName(path).constData()) != MPG123_OK) {
        SetError(error, QStringLiteral("mpg123_open %1: %2")
                            .arg(path, QString::fromUtf8(mpg123_strerror(mh.get()))));
        return nullptr;
    }
    return mh;
}

quint32 ReadBe32(const QByteArray& data, qint64 at) {
    const auto* p = reinterpret_cast<const unsigned char*>(data.constData()) + at;
    return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | quint32(p[3]);
}

void WriteBe32(QByteArray* data, qint64 at, quint32 value) {
    (*data)[at] = char((value >> 24) & 0xff);
    (*data)[at + 1] = char((value >> 16) & 0xff);
    (*data)[at + 2] = char((value >> 8) & 0xff);
    (*data)[at + 3] = char(value & 0xff);
}

// CRC-16/ARC (polynomial 0x8005, reflected, initial value 0): the checksum
// LAME puts over the first 190 bytes of its Info frame. Decoders that verify
// it throw away the whole LAME extension on a mismatch.
quint16 LameCrc16(const QByteArray& data, qint64 begin, qint64 end) {
    quint16 crc = 0;
    for (qint64 i = begin; i < end; ++i) {
        crc ^= static_cast<unsigned char>(data[i]);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc;
}

qint64 SkipId3v2(const QByteArray& data) {
    if (data.size() < 10 || !data.startsWith("ID3"))
        return 0;
    const auto* p = reinterpret_cast<const unsigned char*>(data.constData());
    const qint64 size = (qint64(p[6] & 0x7f) << 21) | (qint64(p[7] & 0x7f) << 14) |
                        (qint64(p[8] & 0x7f) << 7) | qint64(p[9] & 0x7f);
    const bool footer = (p[5] & 0x10) != 0;
    return 10 + size + (footer ? 10 : 0);
}

// Where the Info frame's fields and the LAME extension live, so that reading
// and patching agree byte for byte.
struct InfoLayout {
    InfoFrame info;
    qint64 lameOffset = -1;
    qint64 frameCountOffset = -1;
};

bool LocateInfoFrame(const QByteArray& data, InfoLayout* layout) {
    InfoFrame& info = layout->info;
    info = InfoFrame();
    const auto* p = reinterpret_cast<const unsigned char*>(data.constData());
    qint64 pos = SkipId3v2(data);
    // Tolerate a little junk or padding between the tag and the first frame.
    const qint64 searchEnd = std::min<qint64>(data.size() - 4, pos + 4096);
    for (; pos < searchEnd; ++pos) {
        if (p[pos] != 0xff || (p[pos + 1] & 0xe0) != 0xe0)
            continue;
        const int versionBits = (p[pos + 1] >> 3) & 3;
        const int layerBits = (p[pos + 1] >> 1) & 3;
        const int rateIndex = (p[pos + 2] >> 2) & 3;
        const int bitrateIndex = p[pos + 2] >> 4;
        if (versionBits == 1 || layerBits != 1 || rateIndex == 3 || bitrateIndex == 0 ||
            bitrateIndex == 15)
            continue;
        break;
    }
    if (pos >= searchEnd)
        return false;

    const int versionBits = (p[pos + 1] >> 3) & 3;
    const bool mpeg1 = versionBits == 3;
    const bool crcProtected = (p[pos + 1] & 1) == 0;
    const int rateIndex = (p[pos + 2] >> 2) & 3;
    const bool mono = (p[pos + 3] >> 6) == 3;
    static constexpr int kRates[3][3] = {
        {11025, 12000, 8000}, {22050, 24000, 16000}, {44100, 48000, 32000}};
    const int rateRow = versionBits == 0 ? 0 : (versionBits == 2 ? 1 : 2);
    info.frameOffset = pos;
    info.sampleRate = kRates[rateRow][rateIndex];
    info.channels = mono ? 1 : 2;
    info.samplesPerFrame = mpeg1 ? 1152 : 576;

    const int sideInfo = mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    // Writers disagree on whether the CRC word shifts the tag; try both, then
    // search, the way tolerant decoders do.
    QList<qint64> candidates = {pos + 4 + sideInfo};
    if (crcProtected)
        candidates.append(pos + 6 + sideInfo);
    qint64 tag = -1;
    for (qint64 c : candidates) {
        if (c + 8 <= data.size() && (data.mid(c, 4) == QByteArrayLiteral("Xing") ||
                                     data.mid(c, 4) == QByteArrayLiteral("Info"))) {
            tag = c;
            break;
        }
    }
    if (tag < 0) {
        const QByteArray head = data.mid(pos, 200);
        qint64 at = head.indexOf("Xing");
        if (at < 0)
            at = head.indexOf("Info");
        if (at < 0)
            return false;
        tag = pos + at;
    }
    if (tag + 8 > data.size())
        return false;

    info.found = true;
    info.tagOffset = tag;
    info.isXing = data.mid(tag, 4) == QByteArrayLiteral("Xing");
    const quint32 flags = ReadBe32(data, tag + 4);
    qint64 field = tag + 8;
    if (flags & 1) {
        if (field + 4 > data.size())
            return false;
        info.hasFrameCount = true;
        info.frameCount = ReadBe32(data, field);
        layout->frameCountOffset = field;
        field += 4;
    }
    if (flags & 2) {
        if (field + 4 > data.size())
            return false;
        info.hasByteCount = true;
        info.byteCount = ReadBe32(data, field);
        field += 4;
    }
    if (flags & 4)
        field += 100;
    if (flags & 8)
        field += 4;

    if (field + 36 <= data.size()) {
        const QByteArray encoder = data.mid(field, 9);
        // Only LAME-style writers fill the extension; other encoders leave
        // zeros or their own name, and a zero block has no meaningful CRC.
        if (encoder.startsWith("LAME") || encoder.startsWith("Lavf") ||
            encoder.startsWith("Lavc") || encoder.startsWith("L3.99")) {
            info.hasLameExtension = true;
            layout->lameOffset = field;
            info.encoder = QString::fromLatin1(encoder).trimmed();
            const auto* e = p + field;
            info.encoderDelay = (int(e[21]) << 4) | (e[22] >> 4);
            info.encoderPadding = ((e[22] & 0x0f) << 8) | int(e[23]);
            const quint16 stored = quint16((e[34] << 8) | e[35]);
            info.lameCrcValid = stored == LameCrc16(data, pos, field + 34);
        }
    }
    return true;
}

bool WriteWholeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(bytes) == bytes.size() && file.flush();
}

} // namespace

std::vector<float> MakeTonePcm(const ToneParams& tone) {
    const qint64 frames = std::llround(tone.seconds * tone.sampleRate);
    const int channels = std::clamp(tone.channels, 1, 2);
    std::vector<float> pcm(static_cast<size_t>(frames * channels), 0.0f);
    if (tone.silence || frames <= 0)
        return pcm;
    const double amplitude = std::pow(10.0, tone.levelDbfs / 20.0);
    const double rightHz = tone.rightFrequencyHz > 0 ? tone.rightFrequencyHz : tone.frequencyHz;
    const double twoPi = 2.0 * std::numbers::pi;
    for (qint64 i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / tone.sampleRate;
        pcm[size_t(i * channels)] = float(amplitude * std::sin(twoPi * tone.frequencyHz * t));
        if (channels == 2)
            pcm[size_t(i * 2 + 1)] = float(amplitude * std::sin(twoPi * rightHz * t));
    }
    return pcm;
}

bool WriteToneMp3(const QString& path, const ToneParams& tone, QString* error) {
    if (tone.channels < 1 || tone.channels > 2) {
        SetError(error, QStringLiteral("channels must be 1 or 2"));
        return false;
    }
    std::unique_ptr<lame_global_flags, LameDeleter> gf(lame_init());
    if (!gf) {
        SetError(error, QStringLiteral("lame_init failed"));
        return false;
    }
    lame_set_num_channels(gf.get(), tone.channels);
    lame_set_in_samplerate(gf.get(), tone.sampleRate);
    // Without this LAME may pick a lower output rate for low bitrates.
    lame_set_out_samplerate(gf.get(), tone.sampleRate);
    lame_set_mode(gf.get(), tone.channels == 1 ? MONO : JOINT_STEREO);
    lame_set_VBR(gf.get(), vbr_off);
    lame_set_brate(gf.get(), NearestLegalBitrate(tone.sampleRate, tone.bitrateKbps));
    lame_set_quality(gf.get(), 2);
    lame_set_bWriteVbrTag(gf.get(), 1);
    lame_set_write_id3tag_automatic(gf.get(), 0);
    if (lame_init_params(gf.get()) < 0) {
        SetError(error, QStringLiteral("lame_init_params rejected %1 Hz, %2 channel(s)")
                            .arg(tone.sampleRate)
                            .arg(tone.channels));
        return false;
    }

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        SetError(error, QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
        return false;
    }

    // For CBR below 320 kbps LAME's presets scale the input by 0.95 (-0.45 dB)
    // to leave headroom, even over an explicit lame_set_scale. The file must
    // decode at the level the test asked for, so undo it on the way in; LAME
    // works in floats, so the boosted input does not clip.
    const float applied = lame_get_scale(gf.get());
    const float makeUp = applied > 0 ? 1.0f / applied : 1.0f;
    std::vector<float> pcm = MakeTonePcm(tone);
    for (float& sample : pcm)
        sample *= makeUp;
    const qint64 frames = static_cast<qint64>(pcm.size()) / tone.channels;
    constexpr int kChunk = 4096;
    std::vector<float> left(kChunk), right(kChunk);
    std::vector<unsigned char> mp3(kChunk * 5 / 4 + 7200);
    auto writeOut = [&](int bytes) {
        if (bytes < 0) {
            SetError(error, QStringLiteral("lame encode error %1").arg(bytes));
            return false;
        }
        if (bytes > 0 && file.write(reinterpret_cast<const char*>(mp3.data()), bytes) != bytes) {
            SetError(error, QStringLiteral("write failed: %1").arg(file.errorString()));
            return false;
        }
        return true;
    };
    for (qint64 start = 0; start < frames; start += kChunk) {
        const int n = int(std::min<qint64>(kChunk, frames - start));
        for (int i = 0; i < n; ++i) {
            left[size_t(i)] = pcm[size_t((start + i) * tone.channels)];
            right[size_t(i)] =
                tone.channels == 2 ? pcm[size_t((start + i) * 2 + 1)] : left[size_t(i)];
        }
        const int bytes = lame_encode_buffer_ieee_float(gf.get(), left.data(), right.data(), n,
                                                        mp3.data(), int(mp3.size()));
        if (!writeOut(bytes))
            return false;
    }
    if (!writeOut(lame_encode_flush(gf.get(), mp3.data(), int(mp3.size()))))
        return false;

    // LAME reserved the first frame for this; only now does it know the totals.
    std::vector<unsigned char> tag(2880);
    const size_t tagSize = lame_get_lametag_frame(gf.get(), tag.data(), tag.size());
    if (tagSize == 0 || tagSize > tag.size()) {
        SetError(error, QStringLiteral("no LAME tag frame"));
        return false;
    }
    if (!file.seek(0) ||
        file.write(reinterpret_cast<const char*>(tag.data()), qint64(tagSize)) != qint64(tagSize)) {
        SetError(error, QStringLiteral("cannot write the LAME tag: %1").arg(file.errorString()));
        return false;
    }
    if (!file.flush()) {
        SetError(error, QStringLiteral("flush failed: %1").arg(file.errorString()));
        return false;
    }
    return true;
}

bool WriteNotMp3(const QString& path) {
    return WriteWholeFile(path, QByteArrayLiteral("This is a plain text file, not MPEG audio.\n"
                                                  "It has no frame sync anywhere in it.\n"));
}

bool WriteEmptyFile(const QString& path) {
    return WriteWholeFile(path, QByteArray());
}

bool TruncateFile(const QString& path, qint64 size) {
    QFile file(path);
    return file.exists() && file.resize(size);
}

bool DecodeMp3(const QString& path, DecodedAudio* out, QString* error) {
    if (!out)
        return false;
    *out = DecodedAudio();
    Mpg123Ptr mh = OpenForFloat(path, error);
    if (!mh)
        return false;
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_getformat(mh.get(), &rate, &channels, &encoding) != MPG123_OK) {
        SetError(error, QStringLiteral("no MPEG audio in %1: %2")
                            .arg(path, QString::fromUtf8(mpg123_strerror(mh.get()))));
        return false;
    }
    if (encoding != MPG123_ENC_FLOAT_32) {
        SetError(error, QStringLiteral("mpg123 did not agree to float output"));
        return false;
    }
    out->rate = rate;
    out->channels = channels;

    std::vector<float> buffer(16384);
    for (;;) {
        size_t done = 0;
        const int rc = mpg123_read(mh.get(), reinterpret_cast<unsigned char*>(buffer.data()),
                                   buffer.size() * sizeof(float), &done);
        out->samples.insert(out->samples.end(), buffer.begin(),
                            buffer.begin() + qsizetype(done / sizeof(float)));
        if (rc == MPG123_DONE)
            break;
        if (rc == MPG123_NEW_FORMAT) {
            long newRate = 0;
            int newChannels = 0;
            mpg123_getformat(mh.get(), &newRate, &newChannels, &encoding);
            if (newRate != rate || newChannels != channels) {
                SetError(error, QStringLiteral("format changes mid-stream in %1").arg(path));
                return false;
            }
            continue;
        }
        if (rc != MPG123_OK) {
            SetError(error, QStringLiteral("decode error in %1: %2")
                                .arg(path, QString::fromUtf8(mpg123_strerror(mh.get()))));
            return false;
        }
    }
    if (out->frames() == 0) {
        SetError(error, QStringLiteral("no audio decoded from %1").arg(path));
        return false;
    }
    return true;
}

qint64 Mpg123ReportedLength(const QString& path) {
    Mpg123Ptr mh = OpenForFloat(path, nullptr);
    if (!mh)
        return -1;
    const off_t length = mpg123_length(mh.get());
    return length < 0 ? -1 : static_cast<qint64>(length);
}

bool ReadInfoFrame(const QString& path, InfoFrame* out) {
    if (!out)
        return false;
    *out = InfoFrame();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // The Info frame is the first frame; an ID3v2 tag before it may be large
    // (cover art), so read its size first instead of guessing.
    QByteArray head = file.read(10);
    const qint64 skip = SkipId3v2(head);
    file.seek(0);
    const QByteArray data = file.read(skip + 8192);
    InfoLayout layout;
    const bool ok = LocateInfoFrame(data, &layout);
    *out = layout.info;
    return ok;
}

bool PatchInfoFrameCount(const QString& path, quint32 frames) {
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    const qint64 skip = SkipId3v2(file.read(10));
    file.seek(0);
    QByteArray data = file.read(skip + 8192);
    InfoLayout layout;
    if (!LocateInfoFrame(data, &layout) || layout.frameCountOffset < 0)
        return false;
    WriteBe32(&data, layout.frameCountOffset, frames);
    qint64 dirtyEnd = layout.frameCountOffset + 4;
    if (layout.lameOffset >= 0) {
        const quint16 crc = LameCrc16(data, layout.info.frameOffset, layout.lameOffset + 34);
        data[layout.lameOffset + 34] = char(crc >> 8);
        data[layout.lameOffset + 35] = char(crc & 0xff);
        dirtyEnd = layout.lameOffset + 36;
    }
    const qint64 begin = layout.frameCountOffset;
    if (!file.seek(begin))
        return false;
    const QByteArray changed = data.mid(begin, dirtyEnd - begin);
    return file.write(changed) == changed.size() && file.flush();
}

} // namespace zorvane::testing
