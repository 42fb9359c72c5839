// Files as they come from the wild: garbage inside, junk or a broken frame
// at the end, a header that lies about the length. Whatever other players
// decode converts to its full length with one warning line; what cannot be
// converted whole is never reported as converted.

#include "EngineHarness.h"
#include "Mp3Fixtures.h"
#include "TagFixtures.h"

#include "engine/StreamDamage.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace zorvane;
using namespace zorvane::testing;

namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray RandomBytes(int size) {
    QRandomGenerator random(20240611); // the same garbage every run
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& c : bytes) {
        c = char(random.bounded(256));
    }
    return bytes;
}

QStringList LinesOfLevel(const RecordingReceiver& receiver, int level) {
    QStringList out;
    for (const LoggedLine& line : receiver.lines) {
        if (line.level == level) {
            out << line.text;
        }
    }
    return out;
}

} // namespace

class TestDamaged : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    EngineContext ctx;
    QString clean; // 10 s stereo tone
    qint64 cleanFrames = 0;

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        clean = dir.filePath(QStringLiteral("clean.mp3"));
        ToneParams tone;
        tone.seconds = 10;
        QVERIFY(WriteToneMp3(clean, tone));
        DecodedAudio decoded;
        QVERIFY(DecodeMp3(clean, &decoded));
        cleanFrames = decoded.frames();
    }

    void damagedStreamsConvertWhole_data() {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<int>("skippedAtLeast"); // bytes in the warning; -1: no warning
        QTest::addColumn<int>("framesLost");     // MPEG frames the damage may cost
        QTest::newRow("clean") << QStringLiteral("none") << -1 << 0;
        QTest::newRow("20 KB of garbage in the middle") << QStringLiteral("garbage") << 20480 << 3;
        QTest::newRow("2 KB of text after the audio") << QStringLiteral("text") << 2048 << 0;
        QTest::newRow("64 KB of zeros after the audio") << QStringLiteral("zeros") << 65536 << 0;
        QTest::newRow("text after the audio, then APE and ID3v1 tags")
            << QStringLiteral("text+tags") << 2048 << 0;
        QTest::newRow("last frame cut short") << QStringLiteral("cut") << 1 << 2;
    }

    void damagedStreamsConvertWhole() {
        QFETCH(QString, damage);
        QFETCH(int, skippedAtLeast);
        QFETCH(int, framesLost);
        const QString source = dir.filePath(damage + QStringLiteral(".mp3"));
        QByteArray bytes = ReadAll(clean);
        if (damage == u"garbage") {
            bytes.insert(bytes.size() / 2, RandomBytes(20480));
            // Random bytes hold what looks like frame headers now and then;
            // the decoder plays those as a click, as every player does.
        } else if (damage.startsWith(u"text")) {
            bytes += QByteArray("Ripped with love. ").repeated(114).left(2048);
        } else if (damage == u"zeros") {
            bytes += QByteArray(65536, '\0');
        } else if (damage == u"cut") {
            bytes.chop(150);
        }
        QVERIFY(WriteAll(source, bytes));
        if (damage == u"text+tags") {
            QVERIFY(AddTags(source, TagApe | TagId3v1, ExampleTagTexts()));
        }
        const QString out = dir.filePath(QStringLiteral("out/") + damage + QStringLiteral(".mp3"));
        ConversionState state;
        state.tasks.push_back(DirectTask(source, out, 44100, 2, uint64_t(cleanFrames)));
        RecordingReceiver receiver;
        QVERIFY(RunToEnd(ctx, state, receiver));
        QVERIFY2(receiver.Texts().contains(QStringLiteral("Converting status: OK.")),
                 qPrintable(receiver.Texts().join(u'|')));
        const QStringList warnings = LinesOfLevel(receiver, LogWarning);
        if (skippedAtLeast < 0) {
            QCOMPARE(warnings, QStringList());
        } else {
            QCOMPARE(warnings.size(), 1);
            const QRegularExpression re(QStringLiteral("^Damaged data skipped: (\\d+) bytes"));
            const auto match = re.match(warnings.first());
            QVERIFY2(match.hasMatch(), qPrintable(warnings.first()));
            const int skipped = match.captured(1).toInt();
            const int lookalikes = damage == u"garbage" ? skippedAtLeast / 2 : 0;
            QVERIFY2(skipped >= skippedAtLeast - lookalikes && skipped <= skippedAtLeast + 4 * 418,
                     qPrintable(warnings.first()));
        }
        DecodedAudio decoded;
        QVERIFY(DecodeMp3(out, &decoded));
        QVERIFY2(decoded.frames() <= cleanFrames + 1152 &&
                     decoded.frames() >= cleanFrames - 1152 * (framesLost + 1),
                 qPrintable(QStringLiteral("%1 of %2").arg(decoded.frames()).arg(cleanFrames)));
    }

    // What ends a file: tags are no damage; junk is not audio; frames are.
    void tailsAreToldApart_data() {
        QTest::addColumn<QString>("tail");
        QTest::addColumn<int>("tagBytes");
        QTest::addColumn<bool>("audio");
        QTest::newRow("nothing") << QString() << 0 << false;
        QTest::newRow("text") << QStringLiteral("text") << 0 << false;
        QTest::newRow("ID3v1") << QStringLiteral("id3v1") << 128 << false;
        QTest::newRow("APE with header, then ID3v1") << QStringLiteral("ape+id3v1") << -1 << false;
        QTest::newRow("Lyrics3v2, then ID3v1")
            << QStringLiteral("lyrics+id3v1") << 128 + 40 << false;
        QTest::newRow("more MPEG frames") << QStringLiteral("frames") << 0 << true;
    }

    void tailsAreToldApart() {
        QFETCH(QString, tail);
        QFETCH(int, tagBytes);
        QFETCH(bool, audio);
        QByteArray bytes = QByteArray("junk").repeated(100);
        const qint64 start = bytes.size();
        if (tail == u"text") {
            bytes += QByteArray("Ripped with love. ").repeated(20);
        } else if (tail == u"frames") {
            bytes += ReadAll(clean).mid(20000, 4000);
        } else if (tail == u"lyrics+id3v1") {
            bytes += QByteArray("LYRICSBEGININD0000210") + QByteArray(4, 'x') + "000025LYRICS200";
        }
        const QString path = dir.filePath(QStringLiteral("tail.bin"));
        QVERIFY(WriteAll(path, bytes));
        if (tail == u"ape+id3v1") {
            QVERIFY(AddTags(path, TagApe | TagId3v1, ExampleTagTexts()));
            tagBytes = int(QFileInfo(path).size() - bytes.size());
        } else if (tail.endsWith(u"id3v1")) {
            QVERIFY(AddTags(path, TagId3v1, ExampleTagTexts()));
        }
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const uint64_t size = uint64_t(f.size());
        QCOMPARE(TrailingTagBytes(f.handle(), size), uint64_t(tagBytes));
        QCOMPARE(AudioFollowsAt(f.handle(), uint64_t(start), size - uint64_t(tagBytes)), audio);
    }

    // A stage that ends while the one before it still runs stops the run
    // instead of leaving it waiting for room in a ring.
    void stageEndingEarlyStopsTheRun() {
        ConversionState state;
        CConversionTask task = DirectTask(clean, dir.filePath(QStringLiteral("out/fmt.wav")), 44100,
                                          2, uint64_t(cleanFrames));
        task.outputFormat = 3;
        task.needsProcessing = 1;
        state.tasks.push_back(task);
        RecordingReceiver receiver;
        QVERIFY(RunToEnd(ctx, state, receiver, 20000));
        QCOMPARE(receiver.ErrorTexts(),
                 QStringList({QStringLiteral("Output format 3 is not supported"),
                              QStringLiteral("Converting status: ERROR.")}));
    }

    // LAME lowers a bitrate the sampling rate cannot carry; the log says so.
    void impossibleBitrateIsNamed_data() {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("bitrateIndex");
        QTest::addColumn<QString>("warning");
        QTest::newRow("128 at 8 kHz") << 8000 << 11
                                      << QStringLiteral("Bitrate 128 kbit/s is not possible at "
                                                        "8000 Hz; the file gets 64 kbit/s.");
        QTest::newRow("192 at 22.05 kHz")
            << 22050 << 13
            << QStringLiteral("Bitrate 192 kbit/s is not possible "
                              "at 22050 Hz; the file gets 160 kbit/s.");
        QTest::newRow("128 at 44.1 kHz") << 44100 << 11 << QString();
    }

    void impossibleBitrateIsNamed() {
        QFETCH(int, rate);
        QFETCH(int, bitrateIndex);
        QFETCH(QString, warning);
        ToneParams tone;
        tone.sampleRate = rate;
        tone.seconds = 1;
        const QString source = dir.filePath(QStringLiteral("rate%1.mp3").arg(rate));
        QVERIFY(WriteToneMp3(source, tone));
        const QString out = dir.filePath(QStringLiteral("out/rate%1.mp3").arg(rate));
        ConversionState state;
        state.settings.bitrateIndex = int16_t(bitrateIndex);
        state.tasks.push_back(DirectTask(source, out, uint32_t(rate), 2, uint64_t(rate)));
        RecordingReceiver receiver;
        QVERIFY(RunToEnd(ctx, state, receiver));
        QCOMPARE(LinesOfLevel(receiver, LogWarning),
                 warning.isEmpty() ? QStringList() : QStringList(warning));
        QVERIFY(receiver.Texts().contains(QStringLiteral("Converting status: OK.")));
    }
};

QTEST_GUILESS_MAIN(TestDamaged)
#include "tst_damaged.moc"
