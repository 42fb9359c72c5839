// Tags travel from source to output: same tag types, the eight texts, the
// encoder credit, and the cover art. Outputs are read back with TagLib.

#include "EngineHarness.h"
#include "Mp3Fixtures.h"
#include "TagFixtures.h"

#include "engine/TagWriter.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>

using namespace zorvane;
using namespace zorvane::testing;

namespace {

void CopyTexts(const testing::TagTexts& t, CConversionTask* task) {
    task->artist = t.artist;
    task->albumArtist = t.albumArtist;
    task->album = t.album;
    task->track = t.track;
    task->title = t.title;
    task->genre = t.genre;
    task->date = t.date;
    task->comment = t.comment;
}

} // namespace

class TestTags : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    EngineContext ctx;
    int counter = 0;

    // Converts a fresh tagged source; returns the output's path.
    QString ConvertTagged(int kinds, int id3v2Version, const testing::TagTexts& texts, bool cover,
                          RecordingReceiver* receiver) {
        const QString name = QStringLiteral("t%1").arg(++counter);
        const QString source = dir.filePath(name + QStringLiteral(".mp3"));
        ToneParams tone;
        tone.seconds = 1.0;
        if (!WriteToneMp3(source, tone) ||
            (kinds && !AddTags(source, kinds, texts, id3v2Version)) ||
            (cover && !AddFrontCover(source, TinyPng(), QStringLiteral("image/png")))) {
            qWarning("fixture failed");
        }
        const QString out = dir.filePath(name + QStringLiteral("_out.mp3"));
        CConversionTask task = DirectTask(source, out, 44100, 2, 44100);
        task.sourceTagTypes = uint8_t(kinds | (cover ? TagBitId3v2 : 0));
        CopyTexts(texts, &task);
        ConversionState state;
        state.tasks.push_back(task);
        RunToEnd(ctx, state, *receiver);
        return out;
    }

private slots:
    void sameTagTypesAndTexts_data() {
        QTest::addColumn<int>("kinds");
        QTest::addColumn<int>("version");
        QTest::newRow("ID3v1 only") << int(TagId3v1) << 4;
        QTest::newRow("ID3v2.3 only") << int(TagId3v2) << 3;
        QTest::newRow("ID3v2.4 with ID3v1") << int(TagId3v2 | TagId3v1) << 4;
        QTest::newRow("APE only") << int(TagApe) << 4;
        QTest::newRow("all three") << int(TagId3v1 | TagId3v2 | TagApe) << 4;
        QTest::newRow("none") << 0 << 4;
    }

    void sameTagTypesAndTexts() {
        QFETCH(int, kinds);
        QFETCH(int, version);
        const testing::TagTexts texts = ExampleTagTexts();
        RecordingReceiver receiver;
        const QString out = ConvertTagged(kinds, version, texts, false, &receiver);
        QVERIFY2(receiver.ErrorTexts().isEmpty(), qPrintable(receiver.ErrorTexts().join(u'|')));
        QVERIFY(receiver.Texts().contains(QStringLiteral("Converting status: OK.")));
        const ReadBackTags read = ReadTags(out);
        QCOMPARE(read.kinds, kinds);
        if (kinds & TagId3v2) {
            QCOMPARE(read.id3v2, texts);
            QCOMPARE(read.id3v2EncodedBy, EncoderCreditText());
            // Frames in the order the tag step writes them, in the source's
            // version (2.3 has a year where 2.4 has a recording time).
            QCOMPARE(read.id3v2Version, version);
            QCOMPARE(
                read.id3v2FrameOrder.mid(0, 7),
                QStringList({QStringLiteral("TPE1"), QStringLiteral("TPE2"), QStringLiteral("TALB"),
                             QStringLiteral("TRCK"), QStringLiteral("TIT2"), QStringLiteral("TCON"),
                             version == 3 ? QStringLiteral("TYER") : QStringLiteral("TDRC")}));
        }
        if (kinds & TagApe) {
            QCOMPARE(read.ape, texts);
            QCOMPARE(read.apeEncodedBy, EncoderCreditText());
        }
        if (kinds & TagId3v1) {
            testing::TagTexts v1 = texts;
            v1.albumArtist.clear(); // ID3v1 has no such field
            QCOMPARE(read.id3v1, v1);
        }
        // The audio is still there after the tags were written.
        DecodedAudio decoded;
        QVERIFY(DecodeMp3(out, &decoded));
        QCOMPARE(decoded.frames(), qint64(44100));
    }

    void creditText() {
        QCOMPARE(EncoderCreditText(), QStringLiteral("Zorvane\r\nhttps://www.quenlor.com/zorvane"));
    }

    void trackSplitAndEmptyTexts() {
        testing::TagTexts texts = ExampleTagTexts();
        texts.track = QStringLiteral("7/12");
        texts.album.clear();
        RecordingReceiver receiver;
        const QString out = ConvertTagged(TagId3v1 | TagId3v2 | TagApe, 4, texts, false, &receiver);
        const ReadBackTags read = ReadTags(out);
        QCOMPARE(read.id3v2.track, QStringLiteral("7/12"));
        QCOMPARE(read.ape.track, QStringLiteral("7/12"));
        QCOMPARE(read.id3v1.track, QStringLiteral("7"));
        QVERIFY(read.id3v1.album.isEmpty());
        QVERIFY(read.id3v2.album.isEmpty());
        QVERIFY(read.ape.album.isEmpty());
    }

    void nonLatinTextsSurviveWhereTheTagCanHoldThem() {
        testing::TagTexts texts = ExampleTagTexts();
        texts.title = QStringLiteral("Ébène – 東京");
        texts.artist = QStringLiteral("Hörbücher");
        RecordingReceiver receiver;
        const QString out = ConvertTagged(TagId3v2 | TagApe | TagId3v1, 4, texts, false, &receiver);
        const ReadBackTags read = ReadTags(out);
        QCOMPARE(read.id3v2.title, texts.title);
        QCOMPARE(read.ape.title, texts.title);
        QCOMPARE(read.id3v1.artist, texts.artist); // Latin-1 fits ID3v1
    }

    void frontCoverIsKept() {
        RecordingReceiver receiver;
        const QString out = ConvertTagged(TagId3v2, 4, ExampleTagTexts(), true, &receiver);
        const ReadBackTags read = ReadTags(out);
        QCOMPARE(read.pictures.size(), 1);
        QCOMPARE(read.pictures.first(), TinyPng());
        QCOMPARE(read.pictureMimeTypes.first(), QStringLiteral("image/png"));
        // After the nine frames of the tag step.
        QCOMPARE(read.id3v2FrameOrder.last(), QStringLiteral("APIC"));
    }

    // Characters beyond U+FFFF (emoji, musical symbols, rare CJK) are two
    // UTF-16 units; every field of every tag that holds Unicode keeps them.
    void charactersBeyondTheBmpSurvive_data() {
        QTest::addColumn<int>("kinds");
        QTest::addColumn<int>("version");
        QTest::newRow("ID3v2.4 source") << int(TagId3v2) << 4;
        QTest::newRow("ID3v2.3 source (UTF-16)") << int(TagId3v2) << 3;
        QTest::newRow("APE") << int(TagApe) << 4;
    }

    void charactersBeyondTheBmpSurvive() {
        QFETCH(int, kinds);
        QFETCH(int, version);
        const QString astral = QStringLiteral("Smile \U0001F600 \U0001D11E \U00020BB7");
        testing::TagTexts texts;
        texts.artist = QStringLiteral("A ") + astral;
        texts.albumArtist = QStringLiteral("AA ") + astral;
        texts.album = QStringLiteral("Al ") + astral;
        texts.track = QStringLiteral("\U0001D7D5/12");
        texts.title = QStringLiteral("T ") + astral;
        texts.genre = QStringLiteral("G ") + astral;
        texts.date = QStringLiteral("2024 ") + astral;
        texts.comment = QStringLiteral("C ") + astral;
        RecordingReceiver receiver;
        const QString out = ConvertTagged(kinds, version, texts, false, &receiver);
        QVERIFY(receiver.Texts().contains(QStringLiteral("Converting status: OK.")));
        const ReadBackTags read = ReadTags(out);
        QCOMPARE(read.kinds, kinds);
        QCOMPARE((kinds & TagId3v2) ? read.id3v2 : read.ape, texts);
    }
};

QTEST_GUILESS_MAIN(TestTags)
#include "tst_tags.moc"
