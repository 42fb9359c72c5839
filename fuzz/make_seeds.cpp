// zorvane-fuzz-seeds: writes the seed corpus of the fuzz targets into a folder.
// Usage: zorvane-fuzz-seeds OUT_FOLDER
//
// Every seed is a small, well-formed (or deliberately damaged) example of what
// the reader and the engine meet in real files, so that mutations start from
// inputs that already reach deep into the tag and frame parsers. Short tones
// at low bitrates keep each one to a few KB, and so each run fast.

#include "Mp3Fixtures.h"
#include "TagFixtures.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QString>

#include <cstdio>
#include <functional>
#include <zlib.h>

using namespace zorvane::testing;

namespace {

QString outFolder;
int written = 0;
qint64 totalBytes = 0;
bool failed = false;

QString SeedPath(const char* name) {
    return outFolder + u'/' + QString::fromLatin1(name) + QStringLiteral(".mp3");
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

// Records a seed that `make` wrote to its path, or the failure to.
void Seed(const char* name, const std::function<bool(const QString&)>& make) {
    const QString path = SeedPath(name);
    if (!make(path)) {
        std::fprintf(stderr, "zorvane-fuzz-seeds: could not make %s\n", name);
        QFile::remove(path);
        failed = true;
        return;
    }
    ++written;
    totalBytes += QFileInfo(path).size();
}

// The lowest bitrate at which LAME still writes its Info frame: below it the
// frame cannot hold the tag, and LAME leaves it out.
int LowestKbpsWithInfoFrame(int rate) {
    switch (rate) {
    case 8000:
        return 24;
    case 11025:
    case 12000:
        return 32;
    case 16000:
        return 40;
    case 22050:
        return 56;
    case 32000:
        return 48;
    default:
        return 64;
    }
}

ToneParams Tone(int rate, int channels, double seconds, int kbps = 0) {
    ToneParams tone;
    tone.sampleRate = rate;
    tone.channels = channels;
    tone.seconds = seconds;
    tone.bitrateKbps = kbps > 0 ? kbps : LowestKbpsWithInfoFrame(rate);
    tone.frequencyHz = 440.0;
    tone.rightFrequencyHz = channels == 2 ? 660.0 : 0.0;
    return tone;
}

bool WriteTone(const QString& path, const ToneParams& tone) {
    QString error;
    if (!WriteToneMp3(path, tone, &error)) {
        std::fprintf(stderr, "zorvane-fuzz-seeds: %s\n", qPrintable(error));
        return false;
    }
    return true;
}

// The short mono tone that the tag seeds are built on.
constexpr int kBaseRate = 16000;
bool BaseTone(const QString& path) {
    return WriteTone(path, Tone(kBaseRate, 1, 0.2));
}

QByteArray BaseToneBytes() {
    const QString path = outFolder + QStringLiteral("/.base.tmp");
    QByteArray bytes;
    if (BaseTone(path)) {
        bytes = ReadAll(path);
    }
    QFile::remove(path);
    return bytes;
}

QByteArray Be16(quint16 v) {
    QByteArray out(2, '\0');
    out[0] = char(v >> 8);
    out[1] = char(v);
    return out;
}

QByteArray Be32(quint32 v) {
    return Be16(quint16(v >> 16)) + Be16(quint16(v));
}

QByteArray Le32(quint32 v) {
    QByteArray out(4, '\0');
    for (int i = 0; i < 4; ++i) {
        out[i] = char(v >> (8 * i));
    }
    return out;
}

QByteArray Digits(int value, int width) {
    return QByteArray::number(value).rightJustified(width, '0');
}

// A Latin-1 text frame's content.
QByteArray Text(const char* text) {
    return QByteArray(1, '\0') + QByteArray(text);
}

// An ID3v1 tag: title, artist, album, year, comment with track 3, genre Rock.
QByteArray Id3v1Tag() {
    auto field = [](const char* text, int width) {
        return QByteArray(text).leftJustified(width, '\0', true);
    };
    QByteArray tag("TAG");
    tag += field("Seed Title", 30) + field("Seed Artist", 30) + field("Seed Album", 30);
    tag += field("1999", 4) + field("Seed comment", 28) + QByteArray(1, '\0') + char(3);
    tag += char(17);
    return tag;
}

// An APEv2 item; flags bits 1-2: 0 text, 1 binary, 2 external locator.
QByteArray ApeItem(const char* key, const QByteArray& value, quint32 flags) {
    return Le32(quint32(value.size())) + Le32(flags) + QByteArray(key) + '\0' + value;
}

// An APEv2 tag with header and footer around `items`.
QByteArray ApeTag(const QList<QByteArray>& items) {
    QByteArray body;
    for (const QByteArray& item : items) {
        body += item;
    }
    const auto size = quint32(body.size() + 32); // items and footer
    auto frame = [&](bool header) {
        const quint32 flags = 0x80000000u | (header ? 0x20000000u : 0u); // has a header
        return QByteArray("APETAGEX") + Le32(2000) + Le32(size) + Le32(quint32(items.size())) +
               Le32(flags) + QByteArray(8, '\0');
    };
    return frame(true) + body + frame(false);
}

// A Lyrics3v2 block: fields, then the size of everything from LYRICSBEGIN.
QByteArray Lyrics3v2() {
    auto field = [](const char* id, const QByteArray& data) {
        return QByteArray(id) + Digits(int(data.size()), 5) + data;
    };
    QByteArray block("LYRICSBEGIN");
    block += field("IND", "11");
    block += field("LYR", "[00:00]la la la\r\n[00:01]lo lo");
    block += field("ETT", "Seed Title");
    block += field("EAR", "Seed Artist");
    return block + Digits(int(block.size()), 6) + QByteArray("LYRICS200");
}

// Inserts a zero after every 0xFF, as ID3v2 unsynchronisation does.
QByteArray Unsynchronised(const QByteArray& data) {
    QByteArray out;
    for (char c : data) {
        out += c;
        if (uchar(c) == 0xff) {
            out += '\0';
        }
    }
    return out;
}

QByteArray SynchSafe(quint32 v) {
    QByteArray out(4, '\0');
    for (int i = 0; i < 4; ++i) {
        out[i] = char((v >> (21 - 7 * i)) & 0x7f);
    }
    return out;
}

// A whole ID3v2 tag of `frames` in front of the base tone.
bool TaggedTone(const QString& path, int version, quint8 flags, const QByteArray& frames) {
    const QByteArray audio = BaseToneBytes();
    return !audio.isEmpty() &&
           WriteAll(path, Id3v2Header(version, flags, quint32(frames.size())) + frames + audio);
}

// A zlib stream of `data`, as compressed ID3v2 frames hold it.
QByteArray Deflated(const QByteArray& data) {
    uLongf size = compressBound(uLong(data.size()));
    QByteArray out(qsizetype(size), '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                  reinterpret_cast<const Bytef*>(data.constData()), uLong(data.size()),
                  Z_BEST_COMPRESSION) != Z_OK) {
        return QByteArray();
    }
    out.truncate(qsizetype(size));
    return out;
}

// The element id and the four times/offsets of a CHAP frame.
QByteArray ChapterStart(const char* elementId) {
    return QByteArray(elementId) + '\0' + Be32(0) + Be32(100) + Be32(0xffffffffu) +
           Be32(0xffffffffu);
}

// Length in bytes of the MPEG audio frame whose header is `h`; 0 when invalid.
int FrameLength(quint32 h) {
    static const int kBitrates[2][16] = {
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}};
    static const int kRates[3] = {44100, 48000, 32000};
    const int version = (h >> 19) & 3;
    const int bitrateIndex = (h >> 12) & 15;
    const int rateIndex = (h >> 10) & 3;
    if ((h & 0xffe00000u) != 0xffe00000u || version == 1 || rateIndex == 3 || bitrateIndex == 0 ||
        bitrateIndex == 15) {
        return 0;
    }
    const bool mpeg1 = version == 3;
    const int rate = kRates[rateIndex] >> (mpeg1 ? 0 : (version == 2 ? 1 : 2));
    const int kbps = kBitrates[mpeg1 ? 0 : 1][bitrateIndex];
    return (mpeg1 ? 144000 : 72000) * kbps / rate + int((h >> 9) & 1);
}

// A tone whose first frame carries a VBRI header (Fraunhofer's VBR header,
// always 32 bytes after the frame header) instead of the Info frame.
bool VbriTone(const QString& path) {
    if (!WriteTone(path, Tone(44100, 2, 0.3))) {
        return false;
    }
    InfoFrame info;
    if (!ReadInfoFrame(path, &info) || !info.found) {
        return false;
    }
    QByteArray bytes = ReadAll(path);
    const qint64 at = info.frameOffset;
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData() + at);
    const quint32 header =
        (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | p[3];
    const int length = FrameLength(header);
    constexpr int kEntries = 4;
    QByteArray vbri = QByteArray("VBRI") + Be16(1) + Be16(1105) + Be16(75) +
                      Be32(quint32(bytes.size())) + Be32(info.frameCount) + Be16(kEntries) +
                      Be16(1) + Be16(2) + Be16(quint16(info.frameCount / kEntries + 1));
    for (int i = 0; i < kEntries; ++i) {
        vbri += Be16(quint16((bytes.size() - length) / kEntries));
    }
    if (length < 36 + vbri.size()) {
        return false;
    }
    bytes.replace(at + 4, length - 4, QByteArray(length - 4, '\0'));
    bytes.replace(at + 36, vbri.size(), vbri);
    return WriteAll(path, bytes);
}

void ToneSeeds() {
    // Every rate of MPEG-1, -2 and -2.5, mono and stereo, at the lowest
    // bitrate that keeps the Info frame.
    static const int kRates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
    for (int rate : kRates) {
        for (int channels : {1, 2}) {
            const QByteArray name = QByteArray("tone-") + QByteArray::number(rate) +
                                    (channels == 1 ? "-mono" : "-stereo");
            Seed(name.constData(),
                 [&](const QString& path) { return WriteTone(path, Tone(rate, channels, 0.2)); });
        }
    }
    Seed("tiny-44100-mono",
         [](const QString& path) { return WriteTone(path, Tone(44100, 1, 0.1)); });
    Seed("tiny-22050-stereo",
         [](const QString& path) { return WriteTone(path, Tone(22050, 2, 0.1)); });
    Seed("tiny-8000-mono", [](const QString& path) { return WriteTone(path, Tone(8000, 1, 0.1)); });
    Seed("tone-silence", [](const QString& path) {
        ToneParams tone = Tone(16000, 1, 0.2);
        tone.silence = true;
        return WriteTone(path, tone);
    });
    Seed("tone-1s-48000-stereo",
         [](const QString& path) { return WriteTone(path, Tone(48000, 2, 1.0)); });
}

void TagSeeds() {
    const TagTexts texts = ExampleTagTexts();
    struct TagSeed {
        const char* name;
        int kinds;
        int version;
    };
    static const TagSeed kTagSeeds[] = {
        {"tags-id3v1", TagId3v1, 4},
        {"tags-id3v23", TagId3v2, 3},
        {"tags-id3v24", TagId3v2, 4},
        {"tags-ape", TagApe, 4},
        {"tags-all-id3v23", TagId3v1 | TagId3v2 | TagApe, 3},
        {"tags-all-id3v24", TagId3v1 | TagId3v2 | TagApe, 4},
    };
    for (const TagSeed& seed : kTagSeeds) {
        Seed(seed.name, [&](const QString& path) {
            return BaseTone(path) && AddTags(path, seed.kinds, texts, seed.version);
        });
    }
    Seed("tags-odd-texts", [&](const QString& path) {
        TagTexts odd = texts;
        odd.track = QStringLiteral("-300/+9999");
        odd.genre = QStringLiteral("(17)Rock");
        odd.date = QStringLiteral("2021-13-45T25:61");
        odd.title = QString::fromUtf8("\xc3\xa9t\xc3\xa9 \xe2\x99\xab \xf0\x9f\x8e\xb5");
        return BaseTone(path) && AddTags(path, TagId3v2 | TagApe, odd, 4);
    });
    Seed("cover-id3v23", [&](const QString& path) {
        return BaseTone(path) && AddTags(path, TagId3v2, texts, 3) &&
               AddFrontCover(path, TinyPng(), QStringLiteral("image/png"));
    });
    Seed("cover-id3v24-all-tags", [&](const QString& path) {
        return BaseTone(path) && AddTags(path, TagId3v1 | TagId3v2 | TagApe, texts, 4) &&
               AddFrontCover(path, TinyPng(), QStringLiteral("image/png"));
    });
    Seed("cover-only", [](const QString& path) {
        return BaseTone(path) && AddFrontCover(path, TinyPng(), QStringLiteral("image/png"));
    });
}

void CompressedFrameSeeds() {
    const QString audio = outFolder + QStringLiteral("/.audio.tmp");
    if (!BaseTone(audio)) {
        failed = true;
        return;
    }
    for (int version : {3, 4}) {
        for (quint64 inflated : {quint64(2048), quint64(1) << 20}) {
            const QByteArray name = QByteArray("compressed-picture-id3v2") +
                                    QByteArray::number(version) + "-" +
                                    QByteArray::number(inflated);
            Seed(name.constData(), [&](const QString& path) {
                return WriteCompressedPictureMp3(audio, path, version, inflated,
                                                 QStringLiteral("Title"), QStringLiteral("Artist"));
            });
        }
    }
    Seed("compressed-picture-truncated", [&](const QString& path) {
        const QByteArray frames = Id3v2Frame(4, "TIT2", Text("Title")) +
                                  CompressedPictureFrame(4, 4096, true) +
                                  Id3v2Frame(4, "TPE1", Text("Artist"));
        return TaggedTone(path, 4, 0, frames);
    });
    QFile::remove(audio);
}

void HandMadeId3v2Seeds() {
    Seed("id3v24-chapters", [](const QString& path) {
        const QByteArray inner = Id3v2Frame(4, "TIT2", Text("Chapter one"));
        const QByteArray chap = Id3v2Frame(4, "CHAP", ChapterStart("ch1") + inner);
        const QByteArray toc =
            Id3v2Frame(4, "CTOC",
                       QByteArray("toc") + '\0' + char(0x03) + char(1) + QByteArray("ch1") + '\0' +
                           Id3v2Frame(4, "TIT2", Text("Contents")));
        return TaggedTone(path, 4, 0, toc + chap + Id3v2Frame(4, "TIT2", Text("Book")));
    });
    Seed("id3v23-nested-chapters", [](const QString& path) {
        QByteArray frame = Id3v2Frame(3, "TIT2", Text("Deepest"));
        for (int depth = 0; depth < 3; ++depth) {
            frame = Id3v2Frame(3, "CHAP", ChapterStart("c") + frame);
        }
        return TaggedTone(path, 3, 0, frame);
    });
    // Past what the tag guard lets TagLib walk: nesting deeper than it allows,
    // chapter frames whose length indicator makes TagLib count the frames
    // after them again and again, and more tag headers than it measures.
    Seed("id3v24-chapters-too-deep", [](const QString& path) {
        QByteArray frame = Id3v2Frame(4, "TIT2", Text("Deepest"));
        for (int depth = 0; depth < 10; ++depth) {
            frame = Id3v2Frame(4, "CHAP", ChapterStart("c") + frame);
        }
        return TaggedTone(path, 4, 0, frame + Id3v2Frame(4, "TPE1", Text("After")));
    });
    Seed("id3v23-unsynchronised-chapters-too-deep", [](const QString& path) {
        QByteArray frame = Id3v2Frame(3, "TIT2", Text("Deepest \xff"));
        for (int depth = 0; depth < 10; ++depth) {
            frame = Id3v2Frame(3, "CHAP", ChapterStart("c") + frame);
        }
        return TaggedTone(path, 3, 0x80, Unsynchronised(frame));
    });
    Seed("id3v24-chapters-length-indicator", [](const QString& path) {
        QByteArray frames;
        for (int i = 0; i < 16; ++i) {
            const QByteArray content = ChapterStart("c") + Id3v2Frame(4, "TIT2", Text("T"));
            // A length past the frame's own end makes TagLib read on into the
            // frames after it.
            frames += Id3v2Frame(4, "CHAP", SynchSafe(0x0fffffff) + content, 0x01);
        }
        return TaggedTone(path, 4, 0, frames);
    });
    // Compressed chapter frames: the guard inflates them to find the frames
    // inside, and hides those that inflate past what it lets it keep.
    for (quint32 padding : {quint32(0), quint32(80000)}) {
        const QByteArray name = QByteArray("id3v24-compressed-chapter-") +
                                (padding == 0 ? "small" : "inflating-past-64k");
        Seed(name.constData(), [padding](const QString& path) {
            const QByteArray content = ChapterStart("c") + Id3v2Frame(4, "TIT2", Text("Inside")) +
                                       QByteArray(qsizetype(padding), '\0');
            const QByteArray stored = SynchSafe(quint32(content.size())) + Deflated(content);
            return TaggedTone(path, 4, 0,
                              Id3v2Frame(4, "CHAP", stored, 0x09) +
                                  Id3v2Frame(4, "TPE1", Text("After")));
        });
    }
    Seed("id3v2-many-empty-tags", [](const QString& path) {
        QByteArray tags;
        for (int i = 0; i < 80; ++i) {
            tags += Id3v2Header(i % 2 == 0 ? 3 : 4, 0, 0);
        }
        const QByteArray audio = BaseToneBytes();
        return !audio.isEmpty() && WriteAll(path, tags + audio);
    });
    Seed("id3v24-unsynchronised-frame", [](const QString& path) {
        // Unsynchronised, with the data length indicator that then comes first.
        const QByteArray text = Text("A\xff\xe0Z");
        const QByteArray data = SynchSafe(quint32(text.size())) + Unsynchronised(text);
        return TaggedTone(
            path, 4, 0, Id3v2Frame(4, "TIT2", data, 0x03) + Id3v2Frame(4, "TPE1", Text("Artist")));
    });
    Seed("id3v23-unsynchronised-tag", [](const QString& path) {
        const QByteArray frames =
            Id3v2Frame(3, "TIT2", Text("Title \xff\xfb")) + Id3v2Frame(3, "TPE1", Text("Artist"));
        return TaggedTone(path, 3, 0x80, Unsynchronised(frames));
    });
    Seed("id3v24-extended-header-footer", [](const QString& path) {
        const QByteArray body = SynchSafe(6) + char(1) + char(0) +
                                Id3v2Frame(4, "TIT2", Text("Title")) + QByteArray(16, '\0');
        const QByteArray header = Id3v2Header(4, 0x50, quint32(body.size()));
        QByteArray footer = header;
        footer.replace(0, 3, "3DI");
        const QByteArray audio = BaseToneBytes();
        return !audio.isEmpty() && WriteAll(path, header + body + footer + audio);
    });
    Seed("id3v23-extended-header", [](const QString& path) {
        const QByteArray body = Be32(6) + Be16(0) + Be32(8) + Id3v2Frame(3, "TALB", Text("Album")) +
                                QByteArray(8, '\0');
        return TaggedTone(path, 3, 0x40, body);
    });
    Seed("id3v22", [](const QString& path) {
        auto frame = [](const char* id, const QByteArray& data) {
            const auto n = quint32(data.size());
            return QByteArray(id) + char(n >> 16) + char(n >> 8) + char(n) + data;
        };
        return TaggedTone(path, 2, 0,
                          frame("TT2", Text("Old title")) + frame("TP1", Text("Old artist")) +
                              frame("COM", QByteArray("\0engdesc\0text", 13)));
    });
    Seed("id3v2-twice", [](const QString& path) {
        const QByteArray first = Id3v2Frame(4, "TIT2", Text("First"));
        const QByteArray second = Id3v2Frame(3, "TIT2", Text("Second"));
        const QByteArray audio = BaseToneBytes();
        return !audio.isEmpty() &&
               WriteAll(path, Id3v2Header(4, 0, quint32(first.size())) + first +
                                  Id3v2Header(3, 0, quint32(second.size())) + second + audio);
    });
    Seed("id3v2-after-junk", [](const QString& path) {
        const QByteArray frames = Id3v2Frame(4, "TIT2", Text("Late"));
        const QByteArray audio = BaseToneBytes();
        return !audio.isEmpty() &&
               WriteAll(path, QByteArray(100, 'x') + Id3v2Header(4, 0, quint32(frames.size())) +
                                  frames + audio);
    });
    Seed("id3v24-comment-and-genre", [](const QString& path) {
        const QByteArray comm = QByteArray(1, '\0') + QByteArray("eng") + "desc" + '\0' + "text";
        return TaggedTone(path, 4, 0,
                          Id3v2Frame(4, "COMM", comm) + Id3v2Frame(4, "TCON", Text("(17)")) +
                              Id3v2Frame(4, "TRCK", Text("7/15")) +
                              Id3v2Frame(4, "TDRC", Text("2021")));
    });
}

void TrailingTagSeeds() {
    Seed("ape-binary-items", [](const QString& path) {
        const QByteArray cover = QByteArray("cover.png") + '\0' + TinyPng();
        const QByteArray ape =
            ApeTag({ApeItem("Title", "Seed Title", 0), ApeItem("Artist", "Seed Artist", 0),
                    ApeItem("Cover Art (Front)", cover, 1 << 1),
                    ApeItem("Binary", QByteArray("\x00\x01\x02\xff", 4), 1 << 1),
                    ApeItem("Related", "http://localhost/", 2 << 1), ApeItem("Track", "3/9", 0)});
        const QByteArray audio = BaseToneBytes();
        return !audio.isEmpty() && WriteAll(path, audio + ape + Id3v1Tag());
    });
    Seed("lyrics3v2", [](const QString& path) {
        const QByteArray audio = BaseToneBytes();
        return !audio.isEmpty() && WriteAll(path, audio + Lyrics3v2() + Id3v1Tag());
    });
    Seed("ape-lyrics3v2-id3v1", [](const QString& path) {
        const QByteArray ape = ApeTag({ApeItem("Album", "Seed Album", 0)});
        const QByteArray audio = BaseToneBytes();
        return !audio.isEmpty() && WriteAll(path, audio + ape + Lyrics3v2() + Id3v1Tag());
    });
}

void DamagedSeeds() {
    Seed("info-claims-3s", [](const QString& path) {
        return BaseTone(path) && PatchInfoFrameCount(path, 3 * kBaseRate / 576);
    });
    Seed("info-claims-1h", [](const QString& path) {
        return BaseTone(path) && PatchInfoFrameCount(path, 3600 * kBaseRate / 576);
    });
    Seed("info-claims-0-frames",
         [](const QString& path) { return BaseTone(path) && PatchInfoFrameCount(path, 0); });
    Seed("info-claims-1-frame",
         [](const QString& path) { return BaseTone(path) && PatchInfoFrameCount(path, 1); });
    Seed("vbri-instead-of-info", VbriTone);
    Seed("xing-instead-of-info", [](const QString& path) {
        InfoFrame info;
        if (!WriteTone(path, Tone(32000, 1, 0.2)) || !ReadInfoFrame(path, &info) || !info.found) {
            return false;
        }
        QByteArray bytes = ReadAll(path);
        bytes.replace(info.tagOffset, 4, "Xing");
        return WriteAll(path, bytes);
    });
    Seed("cut-in-half", [](const QString& path) {
        return BaseTone(path) && TruncateFile(path, QFileInfo(path).size() / 2);
    });
    Seed("cut-after-info-frame", [](const QString& path) {
        InfoFrame info;
        return BaseTone(path) && ReadInfoFrame(path, &info) && info.found &&
               TruncateFile(path, info.tagOffset + 160);
    });
    Seed("cut-in-first-header",
         [](const QString& path) { return BaseTone(path) && TruncateFile(path, 3); });
    Seed("cut-in-id3v2", [](const QString& path) {
        const TagTexts texts = ExampleTagTexts();
        return BaseTone(path) && AddTags(path, TagId3v2, texts, 4) && TruncateFile(path, 40);
    });
    Seed("zeros-appended", [](const QString& path) {
        return BaseTone(path) && TruncateFile(path, QFileInfo(path).size() + 700);
    });
    Seed("not-mp3", [](const QString& path) { return WriteNotMp3(path); });
    Seed("empty", [](const QString& path) { return WriteEmptyFile(path); });
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: zorvane-fuzz-seeds OUT_FOLDER\n");
        return 2;
    }
    outFolder = QFile::decodeName(argv[1]);
    if (!QDir().mkpath(outFolder)) {
        std::fprintf(stderr, "zorvane-fuzz-seeds: cannot make %s\n", argv[1]);
        return 1;
    }
    ToneSeeds();
    TagSeeds();
    CompressedFrameSeeds();
    HandMadeId3v2Seeds();
    TrailingTagSeeds();
    DamagedSeeds();
    std::printf("%d seeds, %lld bytes, in %s\n", written, static_cast<long long>(totalBytes),
                argv[1]);
    return failed ? 1 : 0;
}
