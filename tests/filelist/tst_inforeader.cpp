// The info reader against real files: tone MP3s made at test time, tags of
// each kind written with TagLib or as raw bytes, lengths stretched by patching
// the Info frame, and files that cannot be used.

#include "engine/BoundedTagStream.h"
#include "filelist/FileListColumns.h"
#include "filelist/InfoReader.h"
#include "platform/MessageSink.h"

#include "Mp3Fixtures.h"
#include "TagFixtures.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <taglib/apetag.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>

#include <cmath>
#include <fcntl.h>
#include <limits>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

Q_DECLARE_METATYPE(zorvane::testing::ToneParams)

using namespace zorvane;
using namespace zorvane::testing;
using namespace Qt::Literals::StringLiterals;

namespace {

class RecordingSink final : public MessageSink {
public:
    void ShowError(const QString& text) override { errors.append(text); }
    void ShowMessage(const QString& text) override { messages.append(text); }
    QStringList errors;
    QStringList messages;
};

// Field name (ID3v2 frame id, APE key, or an ID3v1 field) and its text.
using Fields = QList<QPair<QString, QString>>;

// Adds an APE or ID3v1 tag with exactly these fields through TagLib, leaving
// the file's other tags alone, so each kind can say something different.
// ID3v1 knows artist, album, title, genre, comment, track and year.
bool AddTagFields(const QString& path, TagKind kind, const Fields& fields) {
    if (fields.isEmpty()) {
        return true;
    }
    const QByteArray name = QFile::encodeName(path);
    TagLib::MPEG::File file(name.constData(), TagLib::ID3v2::FrameFactory::instance(), false);
    for (const auto& [field, text] : fields) {
        const TagLib::String value(text.toStdString(), TagLib::String::UTF8);
        if (kind == TagApe) {
            file.APETag(true)->addValue(TagLib::String(field.toStdString()), value);
            continue;
        }
        TagLib::ID3v1::Tag* tag = file.ID3v1Tag(true);
        if (field == u"artist") {
            tag->setArtist(value);
        } else if (field == u"album") {
            tag->setAlbum(value);
        } else if (field == u"title") {
            tag->setTitle(value);
        } else if (field == u"genre") {
            tag->setGenre(value);
        } else if (field == u"comment") {
            tag->setComment(value);
        } else if (field == u"track") {
            tag->setTrack(text.toUInt());
        } else if (field == u"year") {
            tag->setYear(text.toUInt());
        }
    }
    return file.isValid() &&
           file.save(kind == TagApe ? TagLib::MPEG::File::APE : TagLib::MPEG::File::ID3v1,
                     TagLib::File::StripNone);
}

QByteArray SyncSafe(quint32 n) {
    QByteArray bytes(4, '\0');
    for (int i = 0; i < 4; ++i) {
        bytes[i] = char((n >> (21 - 7 * i)) & 0x7f);
    }
    return bytes;
}

// An ID3v2.4 tag of UTF-8 text frames ("COMM": a comment without
// description), written as bytes because TagLib drops frames with no text.
QByteArray Id3v2Tag(const Fields& frames) {
    QByteArray body;
    for (const auto& [id, text] : frames) {
        const QByteArray data = (id == u"COMM" ? QByteArray("\x03"
                                                            "eng"
                                                            "\0",
                                                            5)
                                               : QByteArray("\x03")) +
                                text.toUtf8();
        body += id.toLatin1() + SyncSafe(quint32(data.size())) + QByteArray(2, '\0') + data;
    }
    return QByteArray("ID3\x04\0\0", 6) + SyncSafe(quint32(body.size())) + body;
}

bool Splice(const QString& path, const QByteArray& before, const QByteArray& after) {
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite)) {
        return false;
    }
    const QByteArray body = before + file.readAll() + after;
    return file.seek(0) && file.write(body) == body.size();
}

// An APE tag with no items (TagLib will not write an empty one).
QByteArray EmptyApe(quint32 version) {
    QByteArray footer("APETAGEX");
    const quint32 words[] = {version, 32, 0, 0, 0, 0};
    for (quint32 word : words) {
        for (int shift = 0; shift < 32; shift += 8) {
            footer.append(char((word >> shift) & 0xff));
        }
    }
    return footer;
}

QByteArray Id3v1(const QByteArray& title) {
    QByteArray tag = "TAG" + title.leftJustified(30, '\0', true);
    tag = tag.leftJustified(127, '\0');
    return tag + char(0xff); // genre 255: none
}

ToneParams Tone(int rate, int channels, double seconds, int kbps = 128) {
    ToneParams tone;
    tone.sampleRate = rate;
    tone.channels = channels;
    tone.seconds = seconds;
    tone.bitrateKbps = kbps;
    return tone;
}

// Linux lets a process restart the count of its peak memory, so that each
// reading is measured on its own rather than under the peak of the ones before.
void ResetPeakMemory() {
    const int fd = ::open("/proc/self/clear_refs", O_WRONLY);
    if (fd >= 0) {
        [[maybe_unused]] const ssize_t written = ::write(fd, "5", 1);
        ::close(fd);
    }
}

// The most memory the process has held at once since it started, or since
// ResetPeakMemory where that works.
qint64 PeakMemoryBytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return qint64(usage.ru_maxrss) * 1024;
}

// The ids of the frames TagLib made of a tag, in order.
QString FrameIds(const TagLib::ID3v2::Tag* tag) {
    QStringList ids;
    for (const TagLib::ID3v2::Frame* frame : tag ? tag->frameList() : TagLib::ID3v2::FrameList()) {
        ids.append(QString::fromLatin1(frame->frameID().data(), frame->frameID().size()));
    }
    return ids.join(u' ');
}

QByteArray TextFrame(int version, const char* id, const QByteArray& text) {
    return Id3v2Frame(version, id, '\0' + text);
}

QByteArray Tag(int version, quint8 flags, const QByteArray& body) {
    return Id3v2Header(version, flags, quint32(body.size())) + body;
}

QString TagCells(const InfoRowCells& row) {
    QStringList cells;
    for (int column = ColumnTag; column <= ColumnComment; ++column) {
        cells.append(row.CellText(column));
    }
    return cells.join(u'|');
}

} // namespace

class TestInfoReader : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_plain = Path(u"plain.mp3"_s);
        QString error;
        QVERIFY2(WriteToneMp3(m_plain, Tone(44100, 2, 2.0), &error), qPrintable(error));
    }

    void init() {
        m_sink.errors.clear();
        m_sink.messages.clear();
    }

    // First, while the process's peak memory is still low even where it cannot
    // be reset: a reader that let TagLib inflate the picture would raise it far
    // past the margin.
    void compressedPicture_data() {
        QTest::addColumn<int>("version");
        QTest::addColumn<quint64>("inflatedBytes");
        QTest::addColumn<bool>("hidden");
        QTest::newRow("ID3v2.3, 64 MiB") << 3 << (64ull << 20) << true;
        QTest::newRow("ID3v2.4, 64 MiB") << 4 << (64ull << 20) << true;
        QTest::newRow("ID3v2.3, 1 GiB") << 3 << (1ull << 30) << true;
        QTest::newRow("ID3v2.4, 1 GiB") << 4 << (1ull << 30) << true;
        QTest::newRow("ID3v2.3, 1 KiB") << 3 << 1024ull << false;
    }

    void compressedPicture() {
        QFETCH(int, version);
        QFETCH(quint64, inflatedBytes);
        QFETCH(bool, hidden);
        const QString path = Path(u"picture.mp3"_s);
        QVERIFY(WriteCompressedPictureMp3(m_plain, path, version, inflatedBytes, u"Before"_s,
                                          u"After"_s));
        ResetPeakMemory();
        const qint64 peakBefore = PeakMemoryBytes();
        InfoRowCells row;
        Read(path, row);
        const qint64 growth = PeakMemoryBytes() - peakBefore;
        QVERIFY2(growth < (32 << 20),
                 qPrintable(u"peak memory grew by %1 KiB"_s.arg(growth >> 10)));
        QCOMPARE(row.info.invalid, 0);
        QCOMPARE(row.CellText(ColumnTag), u"ID3v2.%1  "_s.arg(version));
        QCOMPARE(row.CellText(ColumnTitle), u"Before"_s);
        QCOMPARE(row.CellText(ColumnArtist), u"After"_s);
        // The tag in front changes nothing of the audio's properties.
        InfoRowCells plain;
        Read(m_plain, plain);
        QCOMPARE(row.CellText(ColumnBitrate), plain.CellText(ColumnBitrate));
        QCOMPARE(row.CellText(ColumnDuration), plain.CellText(ColumnDuration));

        BoundedTagStream stream(path);
        TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
        QCOMPARE(FrameIds(file.ID3v2Tag()), hidden ? u"TIT2 XZRV TPE1"_s : u"TIT2 APIC TPE1"_s);
        if (hidden) {
            QCOMPARE(stream.HiddenFrames().size(), size_t(1));
            QCOMPARE(stream.HiddenFrames()[0].frameId, u"APIC"_s);
            QVERIFY(stream.HiddenFrames()[0].bytes > kMaxTagFrameBytes);
        } else {
            QVERIFY(stream.HiddenFrames().empty());
            const auto* picture = dynamic_cast<const TagLib::ID3v2::AttachedPictureFrame*>(
                file.ID3v2Tag()->frameListMap()["APIC"].front());
            QVERIFY(picture);
            QCOMPARE(qint64(picture->picture().size()),
                     qint64(inflatedBytes) - PictureFrameStart().size());
        }
    }

    // Damaged and hostile tags, against a cap of 64 KiB and a bomb of 1 MiB:
    // what is hidden, and what TagLib then makes of the tag.
    void boundedTagStream_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("hidden");
        QTest::addColumn<bool>("pastCap"); // hidden for their size, not their nesting
        QTest::addColumn<QString>("frames");
        QFile plain(m_plain);
        QVERIFY(plain.open(QIODevice::ReadOnly));
        const QByteArray audio = plain.readAll();
        const QByteArray before = TextFrame(4, "TIT2", "Before");
        const QByteArray after = TextFrame(4, "TPE1", "After");
        const QByteArray bomb = CompressedPictureFrame(4, 1 << 20);
        const QByteArray tag = Tag(4, 0, before + bomb + after);
        const QStringList apic{u"APIC"_s};
        QByteArray overlong = bomb;
        overlong.replace(4, 4, "\x7f\x7f\x7f\x7f");
        const QByteArray cut = CompressedPictureFrame(4, 1 << 20, true);
        const QByteArray cutSmall = CompressedPictureFrame(4, 16 << 10, true);
        const QByteArray chapter =
            Id3v2Frame(4, "CHAP", QByteArray("ch1\0", 4) + QByteArray(16, '\0') + bomb);
        QByteArray unsynchronised = TextFrame(3, "TIT2", "Before") +
                                    CompressedPictureFrame(3, 1 << 20) +
                                    TextFrame(3, "TPE1", "After");
        unsynchronised.replace("\xff", QByteArray("\xff\0", 2));
        // With a length indicator a chapter's content runs to the end of the
        // tag, so each holds all the chapters after it: TagLib would make
        // 2^12 frames of these 12, and 2^n of n.
        QByteArray nested;
        for (int i = 0; i < 12; ++i) {
            nested += Id3v2Frame(
                4, "CHAP", "\x0f\x7f\x7f\x7f" + QByteArray("c\0", 2) + QByteArray(16, '\0'), 0x01);
        }

        QTest::newRow("empty file") << QByteArray() << QStringList() << true << QString();
        QTest::newRow("bomb") << tag + audio << apic << true << u"TIT2 XZRV TPE1"_s;
        QTest::newRow("tag size past the end of the file")
            << Id3v2Header(4, 0, 0x0fffffff) + before + bomb + after << apic << true
            << u"TIT2 XZRV TPE1"_s;
        QTest::newRow("frame size past the end of the tag")
            << Tag(4, 0, before + overlong + after) + audio << QStringList() << true << u"TIT2"_s;
        QTest::newRow("truncated zlib stream, past the cap")
            << Tag(4, 0, before + cut + after) + audio << apic << true << u"TIT2 XZRV TPE1"_s;
        QTest::newRow("truncated zlib stream, under the cap")
            << Tag(4, 0, before + cutSmall + after) + audio << QStringList() << true
            << u"TIT2 APIC TPE1"_s;
        QTest::newRow("tag behind leading junk")
            << QByteArray(100, 'j') + tag + audio << apic << true << u"TIT2 XZRV TPE1"_s;
        QTest::newRow("bomb inside a chapter")
            << Tag(4, 0, before + chapter + after) + audio << QStringList{u"CHAP"_s} << true
            << u"TIT2 XZRV TPE1"_s;
        QTest::newRow("unsynchronised ID3v2.3 tag behind leading junk")
            << QByteArray(100, 'j') + Tag(3, 0x80, unsynchronised) + audio
            << QStringList{u"ID3v2"_s} << true << QString();
        QTest::newRow("chapters nested past the limit")
            << Tag(4, 0, nested + before) + audio << QStringList(4, u"CHAP"_s) << false
            << u"XZRV XZRV XZRV XZRV CHAP CHAP CHAP CHAP CHAP CHAP CHAP CHAP TIT2"_s;
    }

    void boundedTagStream() {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, hidden);
        QFETCH(bool, pastCap);
        QFETCH(QString, frames);
        const QString path = Path(u"damaged.mp3"_s);
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(out.write(bytes), bytes.size());
        out.close();
        constexpr uint64_t cap = 64 * 1024;
        BoundedTagStream stream(path, cap);
        TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
        QCOMPARE(FrameIds(file.ID3v2Tag()), frames);
        // A frame TagLib inflated renders at its inflated size.
        for (const TagLib::ID3v2::Frame* frame : file.ID3v2Tag()->frameList()) {
            QVERIFY(frame->render().size() <= cap);
        }
        QStringList ids;
        for (const HiddenTagFrame& frame : stream.HiddenFrames()) {
            ids.append(frame.frameId);
            QVERIFY(frame.bytes > (pastCap ? cap : 0));
        }
        QCOMPARE(ids, hidden);
    }

    void columnTable() {
        QStringList titles;
        QList<int> rightAligned;
        QList<int> widths;
        for (int column = 0; column < kFileColumnCount; ++column) {
            titles.append(kFileColumns[size_t(column)].title.toString());
            if (kFileColumns[size_t(column)].alignment == Qt::AlignRight) {
                rightAligned.append(column);
            }
            widths.append(kFileColumns[size_t(column)].defaultWidth);
        }
        QCOMPARE(titles.join(u','), u"Name,Path,Type,Tag,Artist,Album Artist,Album,Track,Title,"
                                    u"Genre,Date,Comment,Size(MB),Last Modified,Duration,"
                                    u"Frequency,Channel,Bitrate"_s);
        QCOMPARE(rightAligned, (QList<int>{2, 3, 7, 10, 12, 13, 14, 15, 16, 17}));
        QCOMPARE(widths, (QList<int>{150, 150, 65, 100, 110, 110, 110, 85, 150, 70, 65, 110, 85,
                                     120, 88, 96, 88, 88}));
    }

    void durationText_data() {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("duration");
        QTest::newRow("just under a second") << 0.999 << QString();
        QTest::newRow("one second") << 1.0 << u"00:00:01"_s;
        QTest::newRow("truncated, not rounded") << 59.99 << u"00:00:59"_s;
        QTest::newRow("3 h 25 min 7 s") << 12307.9 << u"03:25:07"_s;
        QTest::newRow("hours beyond two digits") << 360000.0 << u"100:00:00"_s;
        QTest::newRow("negative") << -5.0 << QString();
        QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << QString();
    }

    void durationText() {
        QFETCH(double, seconds);
        QFETCH(QString, duration);
        QCOMPARE(DurationText(seconds), duration);
    }

    void numberTexts() {
        QCOMPARE(ChannelText(1), u"1 (Mono)"_s);
        QCOMPARE(ChannelText(2), u"2 (Stereo)"_s);
        QCOMPARE(ChannelText(6), u"6"_s);
        QCOMPARE(FrequencyText(22050), u"22050 Hz"_s);
        QCOMPARE(BitrateText(320), u"320 kbps"_s);
    }

    void tagColumn_data() {
        QTest::addColumn<int>("kinds");
        QTest::addColumn<int>("version");
        QTest::addColumn<QString>("text");
        QTest::newRow("none") << 0 << 4 << QString();
        QTest::newRow("ID3v1") << int(TagId3v1) << 4 << u"ID3v1"_s;
        QTest::newRow("ID3v2.3") << int(TagId3v2) << 3 << u"ID3v2.3  "_s;
        QTest::newRow("ID3v2.4") << int(TagId3v2) << 4 << u"ID3v2.4  "_s;
        QTest::newRow("APE") << int(TagApe) << 4 << u"APEv2  "_s;
        QTest::newRow("ID3v2.4 + ID3v1") << int(TagId3v2 | TagId3v1) << 4 << u"ID3v2.4  ID3v1"_s;
        QTest::newRow("ID3v2.3 + APE") << int(TagId3v2 | TagApe) << 3 << u"ID3v2.3  APEv2  "_s;
        QTest::newRow("APE + ID3v1") << int(TagApe | TagId3v1) << 4 << u"APEv2  ID3v1"_s;
        QTest::newRow("all, ID3v2.3") << 7 << 3 << u"ID3v2.3  APEv2  ID3v1"_s;
        QTest::newRow("all, ID3v2.4") << 7 << 4 << u"ID3v2.4  APEv2  ID3v1"_s;
    }

    void tagColumn() {
        QFETCH(int, kinds);
        QFETCH(int, version);
        QFETCH(QString, text);
        const QString path = Copy(u"kinds.mp3"_s);
        QVERIFY(AddTags(path, kinds, ExampleTagTexts(), version));
        InfoRowCells row;
        Read(path, row);
        QCOMPARE(row.CellText(ColumnTag), text);
        QCOMPARE(int(row.info.tagFlags), kinds);
        QCOMPARE(row.info.invalid, 0);
        QVERIFY(m_sink.errors.isEmpty());
        const testing::TagTexts example = ExampleTagTexts();
        const testing::TagTexts none;
        const testing::TagTexts& want = kinds ? example : none;
        QCOMPARE(row.CellText(ColumnArtist), want.artist);
        QCOMPARE(row.info.artist, want.artist);
        QCOMPARE(row.CellText(ColumnAlbumArtist),
                 kinds & (TagId3v2 | TagApe) ? want.albumArtist : QString());
        QCOMPARE(row.CellText(ColumnGenre), want.genre);
        QCOMPARE(row.CellText(ColumnDate), want.date);
        QCOMPARE(row.CellText(ColumnComment), want.comment);
        QCOMPARE(int(row.info.trackNumber), kinds ? 7 : 0);
    }

    void emptyTags_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("flags");
        QTest::newRow("empty ID3v2") << Id3v2Tag({}) << QByteArray() << QString() << 0;
        QTest::newRow("empty ID3v1") << QByteArray() << Id3v1("") << QString() << 0;
        QTest::newRow("empty APEv2") << QByteArray() << EmptyApe(2000) << u"APEv2  "_s << 4;
        QTest::newRow("empty APEv1") << QByteArray() << EmptyApe(1000) << u"APEv1  "_s << 4;
        QTest::newRow("all three empty")
            << Id3v2Tag({}) << EmptyApe(2000) + Id3v1("") << u"APEv2  "_s << 4;
    }

    void emptyTags() {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        QFETCH(QString, text);
        QFETCH(int, flags);
        const QString path = Copy(u"empty-tags.mp3"_s);
        QVERIFY(Splice(path, before, after));
        InfoRowCells row;
        Read(path, row);
        QCOMPARE(row.CellText(ColumnTag), text);
        QCOMPARE(int(row.info.tagFlags), flags);
        QCOMPARE(TagCells(row), text + u"||||||||"_s);
        QCOMPARE(row.info.invalid, 0);
    }

    void precedence_data() {
        QTest::addColumn<int>("column");
        QTest::addColumn<Fields>("id3v2");
        QTest::addColumn<Fields>("ape");
        QTest::addColumn<Fields>("id3v1");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("trackNumber");
        QTest::addColumn<int>("trackTotal");
        const Fields v2Filler{{u"TIT2"_s, u"t2"_s}};
        const Fields apeFiller{{u"TITLE"_s, u"ta"_s}};
        const Fields v1Filler{{u"title"_s, u"t1"_s}};
        auto row = [](const char* name, int column, const Fields& v2, const Fields& ape,
                      const Fields& v1, const QString& shown, int number = 0, int total = 0) {
            QTest::newRow(name) << column << v2 << ape << v1 << shown << number << total;
        };
        row("artist: ID3v2 first", ColumnArtist, {{u"TPE1"_s, u"A2"_s}}, {{u"ARTIST"_s, u"Aa"_s}},
            {{u"artist"_s, u"A1"_s}}, u"A2"_s);
        row("artist: APE without TPE1", ColumnArtist, v2Filler, {{u"ARTIST"_s, u"Aa"_s}},
            {{u"artist"_s, u"A1"_s}}, u"Aa"_s);
        row("artist: ID3v1 last", ColumnArtist, v2Filler, apeFiller, {{u"artist"_s, u"A1"_s}},
            u"A1"_s);
        row("artist: empty TPE1 leaves it to APE", ColumnArtist,
            {{u"TPE1"_s, QString()}, {u"TIT2"_s, u"t2"_s}}, {{u"ARTIST"_s, u"Aa"_s}}, v1Filler,
            u"Aa"_s);
        row("album artist: TPE2", ColumnAlbumArtist, {{u"TPE2"_s, u"B2"_s}},
            {{u"ALBUM ARTIST"_s, u"Ba"_s}}, v1Filler, u"B2"_s);
        row("album artist: ALBUM ARTIST before ALBUMARTIST", ColumnAlbumArtist, v2Filler,
            {{u"ALBUMARTIST"_s, u"Bb"_s}, {u"ALBUM ARTIST"_s, u"Ba"_s}}, v1Filler, u"Ba"_s);
        row("album artist: only ALBUMARTIST", ColumnAlbumArtist, {}, {{u"ALBUMARTIST"_s, u"Bb"_s}},
            {}, u"Bb"_s);
        row("album artist: never from ID3v1", ColumnAlbumArtist, {}, {}, {{u"artist"_s, u"A1"_s}},
            QString());
        row("album: APE over ID3v1", ColumnAlbum, v2Filler, {{u"ALBUM"_s, u"Ca"_s}},
            {{u"album"_s, u"C1"_s}}, u"Ca"_s);
        row("title: ID3v1 text is Latin-1", ColumnTitle, {}, {}, {{u"title"_s, u"Café Müller"_s}},
            u"Café Müller"_s);
        row("genre: ID3v2 number resolved", ColumnGenre, {{u"TCON"_s, u"17"_s}},
            {{u"GENRE"_s, u"Ga"_s}}, {{u"genre"_s, u"Jazz"_s}}, u"Rock"_s);
        row("genre: ID3v1 name", ColumnGenre, v2Filler, apeFiller, {{u"genre"_s, u"Jazz"_s}},
            u"Jazz"_s);
        row("date: TDRC", ColumnDate, {{u"TDRC"_s, u"2019-05-04"_s}}, {{u"DATE"_s, u"2018"_s}},
            {{u"year"_s, u"2017"_s}}, u"2019-05-04"_s);
        row("date: DATE before YEAR", ColumnDate, v2Filler,
            {{u"YEAR"_s, u"2016"_s}, {u"DATE"_s, u"2018"_s}}, v1Filler, u"2018"_s);
        row("date: only YEAR", ColumnDate, {}, {{u"YEAR"_s, u"2016"_s}}, {}, u"2016"_s);
        row("date: ID3v1 year", ColumnDate, v2Filler, apeFiller, {{u"year"_s, u"2017"_s}},
            u"2017"_s);
        row("comment: COMM", ColumnComment, {{u"COMM"_s, u"D2"_s}}, {{u"COMMENT"_s, u"Da"_s}},
            {{u"comment"_s, u"D1"_s}}, u"D2"_s);
        row("comment: ID3v1", ColumnComment, v2Filler, apeFiller, {{u"comment"_s, u"D1"_s}},
            u"D1"_s);
        row("track: TRCK with total", ColumnTrack, {{u"TRCK"_s, u"7/15"_s}}, {{u"TRACK"_s, u"3"_s}},
            {{u"track"_s, u"9"_s}}, u"7/15"_s, 7, 15);
        row("track: TRACKNUMBER", ColumnTrack, v2Filler, {{u"TRACKNUMBER"_s, u"7"_s}},
            {{u"track"_s, u"9"_s}}, u"7"_s, 7, 0);
        row("track: not a number", ColumnTrack, v2Filler, {{u"TRACK"_s, u"B2"_s}},
            {{u"track"_s, u"9"_s}}, u"B2"_s, 0, 0);
        row("track: ID3v1", ColumnTrack, v2Filler, apeFiller, {{u"track"_s, u"9"_s}}, u"9"_s, 9, 0);
    }

    void precedence() {
        QFETCH(int, column);
        QFETCH(Fields, id3v2);
        QFETCH(Fields, ape);
        QFETCH(Fields, id3v1);
        QFETCH(QString, shown);
        QFETCH(int, trackNumber);
        QFETCH(int, trackTotal);
        const QString path = Copy(u"precedence.mp3"_s);
        QVERIFY(id3v2.isEmpty() || Splice(path, Id3v2Tag(id3v2), QByteArray()));
        QVERIFY(AddTagFields(path, TagApe, ape));
        QVERIFY(AddTagFields(path, TagId3v1, id3v1));
        InfoRowCells row;
        Read(path, row);
        QCOMPARE(row.CellText(column), shown);
        QCOMPARE(*TagTextOfColumn(row.info, column), shown);
        QCOMPARE(int(row.info.trackNumber), trackNumber);
        QCOMPARE(int(row.info.trackTotal), trackTotal);
    }

    void trackSplit_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("totalBefore");
        QTest::addColumn<int>("number");
        QTest::addColumn<int>("total");
        QTest::newRow("7/15") << u"7/15"_s << 0 << 7 << 15;
        QTest::newRow("7") << u"7"_s << 0 << 7 << 0;
        QTest::newRow("B2") << u"B2"_s << 0 << 0 << 0;
        QTest::newRow("no slash keeps the total") << u"7"_s << 12 << 7 << 12;
        QTest::newRow("empty keeps the total") << QString() << 12 << 0 << 12;
        QTest::newRow("blanks and sign") << u" +7/ 15"_s << 0 << 7 << 15;
        QTest::newRow("digits then letters") << u"12a/3b"_s << 0 << 12 << 3;
        QTest::newRow("first slash splits") << u"7/15/20"_s << 0 << 7 << 15;
        QTest::newRow("no number before slash") << u"/9"_s << 5 << 0 << 9;
        QTest::newRow("modulo 256") << u"300/1000"_s << 0 << 44 << 232;
        QTest::newRow("negative") << u"-1"_s << 0 << 255 << 0;
        QTest::newRow("beyond 64 bits") << u"100000000000000000000"_s << 0 << 0 << 0;
        QTest::newRow("beyond 64 bits, odd") << u"99999999999999999999"_s << 0 << 255 << 0;
    }

    void trackSplit() {
        QFETCH(QString, text);
        QFETCH(int, totalBefore);
        QFETCH(int, number);
        QFETCH(int, total);
        MediaFileInfo info;
        info.trackNumber = 99;
        info.trackTotal = uint8_t(totalBefore);
        SplitTrackText(text, info);
        QCOMPARE(int(info.trackNumber), number);
        QCOMPARE(int(info.trackTotal), total);
    }

    void stream_data() {
        QTest::addColumn<ToneParams>("tone");
        QTest::addColumn<qint64>("claimedSeconds"); // 0: the file's own length
        QTest::addColumn<QString>("duration");
        QTest::addColumn<QString>("frequency");
        QTest::addColumn<QString>("channel");
        QTest::newRow("stereo 44.1 kHz") << Tone(44100, 2, 3.0) << qint64(0) << u"00:00:03"_s
                                         << u"44100 Hz"_s << u"2 (Stereo)"_s;
        QTest::newRow("mono 22.05 kHz") << Tone(22050, 1, 2.0, 64) << qint64(0) << u"00:00:02"_s
                                        << u"22050 Hz"_s << u"1 (Mono)"_s;
        QTest::newRow("under a second")
            << Tone(48000, 2, 0.5) << qint64(0) << QString() << u"48000 Hz"_s << u"2 (Stereo)"_s;
        QTest::newRow("3 h 25 min 7 s") << Tone(44100, 2, 1.0) << qint64(12307) << u"03:25:07"_s
                                        << u"44100 Hz"_s << u"2 (Stereo)"_s;
        QTest::newRow("7 h stereo, past 2^31 samples")
            << Tone(44100, 2, 1.0) << qint64(7 * 3600) << u"07:00:00"_s << u"44100 Hz"_s
            << u"2 (Stereo)"_s;
        QTest::newRow("100 h stereo") << Tone(44100, 2, 1.0) << qint64(100 * 3600) << u"100:00:00"_s
                                      << u"44100 Hz"_s << u"2 (Stereo)"_s;
        QTest::newRow("100 h mono") << Tone(48000, 1, 1.0) << qint64(100 * 3600) << u"100:00:00"_s
                                    << u"48000 Hz"_s << u"1 (Mono)"_s;
    }

    void stream() {
        QFETCH(ToneParams, tone);
        QFETCH(qint64, claimedSeconds);
        QFETCH(QString, duration);
        QFETCH(QString, frequency);
        QFETCH(QString, channel);
        const QString path = Path(u"stream.mp3"_s);
        QString error;
        QVERIFY2(WriteToneMp3(path, tone, &error), qPrintable(error));
        if (claimedSeconds > 0) {
            // Two frames over the exact need cover the encoder delay and padding
            // that the decoder takes off, and stay well under a second more.
            InfoFrame frame;
            QVERIFY(ReadInfoFrame(path, &frame) && frame.hasFrameCount);
            const qint64 frames = (claimedSeconds * tone.sampleRate + frame.samplesPerFrame - 1) /
                                      frame.samplesPerFrame +
                                  2;
            QVERIFY(PatchInfoFrameCount(path, quint32(frames)));
        }
        const qint64 length = Mpg123ReportedLength(path);
        QVERIFY(length > 0);
        if (claimedSeconds == 0) {
            QCOMPARE(length, qint64(std::llround(tone.seconds * tone.sampleRate)));
        }

        std::atomic<double> total{10.0};
        InfoReader reader(m_sink, &total);
        InfoRowCells row;
        reader.ReadMediaInfo(path, row);
        QVERIFY(m_sink.errors.isEmpty());
        QCOMPARE(row.info.invalid, 0);
        QCOMPARE(row.CellText(ColumnType), QString());
        QCOMPARE(row.info.sampleRate, uint32_t(tone.sampleRate));
        QCOMPARE(row.info.channels, uint32_t(tone.channels));
        QCOMPARE(row.info.totalSamples, uint64_t(length) * uint64_t(tone.channels));
        const double seconds = double(length) / tone.sampleRate;
        QCOMPARE(row.info.durationSeconds, seconds);
        QCOMPARE(total.load(), 10.0 + seconds);
        QCOMPARE(row.CellText(ColumnDuration), duration);
        QCOMPARE(row.CellText(ColumnFrequency), frequency);
        QCOMPARE(row.CellText(ColumnChannel), channel);
    }

    void bitrate_data() {
        QTest::addColumn<ToneParams>("tone");
        QTest::addColumn<QString>("text");
        QTest::newRow("128 kbps") << Tone(44100, 2, 20.0, 128) << u"128 kbps"_s;
        QTest::newRow("320 kbps") << Tone(48000, 2, 20.0, 320) << u"320 kbps"_s;
        QTest::newRow("64 kbps mono") << Tone(22050, 1, 20.0, 64) << u"64 kbps"_s;
    }

    void bitrate() {
        QFETCH(ToneParams, tone);
        QFETCH(QString, text);
        const QString path = Path(u"bitrate.mp3"_s);
        QString error;
        QVERIFY2(WriteToneMp3(path, tone, &error), qPrintable(error));
        InfoRowCells row;
        Read(path, row);
        QCOMPARE(row.CellText(ColumnBitrate), text);
        QCOMPARE(row.info.bitrateKbps, uint32_t(tone.bitrateKbps));
    }

    void invalidFiles_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("decoderComplains");
        QTest::addColumn<QString>("tagKinds");
        QTest::newRow("not an MP3") << u"text"_s << true << QString();
        QTest::newRow("not an MP3, with ID3v1") << u"tagged text"_s << true << u"ID3v1"_s;
        QTest::newRow("empty") << u"empty"_s << true << QString();
        QTest::newRow("missing") << u"missing"_s << false << QString();
        QTest::newRow("a folder") << u"folder"_s << false << QString();
        QTest::newRow("no read permission") << u"unreadable"_s << false << QString();
        QTest::newRow("a FIFO") << u"fifo"_s << false << QString();
    }

    void invalidFiles() {
        QFETCH(QString, kind);
        QFETCH(bool, decoderComplains);
        QFETCH(QString, tagKinds);
        const QString path = Path(u"invalid-"_s + kind + u".mp3"_s);
        if (kind == u"text") {
            QVERIFY(WriteNotMp3(path));
        } else if (kind == u"tagged text") {
            QVERIFY(WriteNotMp3(path) && Splice(path, QByteArray(), Id3v1("Kept")));
        } else if (kind == u"empty") {
            QVERIFY(WriteEmptyFile(path));
        } else if (kind == u"fifo") {
            // Opening it would wait for a writer that never comes.
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (kind == u"folder") {
            QVERIFY(QDir().mkpath(path));
        } else if (kind == u"unreadable") {
            if (::geteuid() == 0) {
                QSKIP("root reads files whatever their permissions");
            }
            QVERIFY(QFile::copy(m_plain, path));
            QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0), 0);
        }
        InfoRowCells row;
        Read(path, row);
        QCOMPARE(row.info.invalid, 1);
        QCOMPARE(row.CellText(ColumnType), u"Unknown"_s);
        QCOMPARE(row.CellTextColor(ColumnType), kInvalidTypeTextRgb);
        QCOMPARE(row.CellText(ColumnDuration), QString());
        QCOMPARE(row.CellText(ColumnFrequency), QString());
        QCOMPARE(row.CellText(ColumnChannel), QString());
        QCOMPARE(row.CellText(ColumnBitrate), QString());
        QCOMPARE(row.info.bitrateKbps, uint32_t(0));
        // A file the decoder rejects still shows its tags.
        QCOMPARE(row.CellText(ColumnTag), tagKinds);
        QCOMPARE(row.CellText(ColumnTitle), tagKinds.isEmpty() ? QString() : u"Kept"_s);
        QCOMPARE(m_sink.errors.size(), decoderComplains ? 1 : 0);
        QCOMPARE(m_sink.messages, QStringList());
        if (decoderComplains) {
            const QString& text = m_sink.errors[0];
            QVERIFY2(text.startsWith(u"Trouble with mpg123: "_s), qPrintable(text));
            QVERIFY2(!text.contains(u"no error"_s, Qt::CaseInsensitive), qPrintable(text));
        }
    }

    void readingAgainForgetsTheOldFile() {
        const QString tagged = Copy(u"again.mp3"_s);
        QVERIFY(AddTags(tagged, 7, ExampleTagTexts()));
        InfoRowCells row;
        Read(tagged, row);
        QCOMPARE(row.info.tagFlags, uint8_t(7));
        Read(m_plain, row);
        QCOMPARE(TagCells(row), u"||||||||"_s);
        QCOMPARE(row.info.tagFlags, uint8_t(0));
        QCOMPARE(row.info.trackNumber, uint8_t(0));
        QCOMPARE(row.info.artist, QString());
        QCOMPARE(row.CellText(ColumnDuration), u"00:00:02"_s);

        const QString missing = Path(u"gone.mp3"_s);
        Read(missing, row);
        QCOMPARE(row.CellText(ColumnDuration), QString());
        QCOMPARE(row.CellText(ColumnBitrate), QString());
        QCOMPARE(row.info.totalSamples, uint64_t(0));
    }

private:
    QString Path(const QString& name) const { return m_dir.filePath(name); }

    QString Copy(const QString& name) const {
        const QString path = Path(name);
        QFile::remove(path);
        return QFile::copy(m_plain, path) ? path : QString();
    }

    // What the loader does for an added file.
    void Read(const QString& path, InfoRowCells& row) {
        InfoReader reader(m_sink);
        reader.ReadMediaInfo(path, row);
        InfoReader::ReadBitrate(path, row);
    }

    QTemporaryDir m_dir;
    QString m_plain;
    RecordingSink m_sink;
};

QTEST_GUILESS_MAIN(TestInfoReader)
#include "tst_inforeader.moc"
