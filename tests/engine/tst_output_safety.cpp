// Whatever happens to a conversion (a full disk, a stop, a second run into
// the same folder, a link or a FIFO where a file should be, a source that
// disappears), no damaged output is reported as converted or left under a
// finished file's name, and nothing is written outside the output folder.

#include "EngineHarness.h"
#include "Mp3Fixtures.h"
#include "TagFixtures.h"

#include "engine/ConversionRun.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace zorvane;
using namespace zorvane::testing;

namespace {

// Everything in a folder, hidden temporary files included.
QStringList FolderEntries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}

CConversionTask TaggedTask(const QString& source, const QString& destination, double seconds) {
    CConversionTask task = DirectTask(source, destination, 44100, 2, uint64_t(seconds * 44100));
    task.sourceTagTypes = TagBitId3v1 | TagBitId3v2 | TagBitApe;
    const testing::TagTexts texts = ExampleTagTexts();
    task.artist = texts.artist;
    task.album = texts.album;
    task.title = texts.title;
    task.track = texts.track;
    return task;
}

// Runs a run with the process's file-size limit set to `limit` bytes: every
// write past it fails (EFBIG), as on a full disk.
bool RunWithFileSizeLimit(EngineContext& ctx, ConversionState& state, RecordingReceiver& receiver,
                          rlim_t limit) {
    struct rlimit old {};
    ::getrlimit(RLIMIT_FSIZE, &old);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = limit;
    ::setrlimit(RLIMIT_FSIZE, &small);
    const bool ended = RunToEnd(ctx, state, receiver);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    return ended;
}

} // namespace

class TestOutputSafety : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    EngineContext ctx;
    QString covered; // 10 s, all three tag kinds, a 300 KB cover
    qint64 coveredOutputSize = 0;
    qint64 leadingTagSize = 0;
    qint64 trailingTagSize = 0;

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        covered = dir.filePath(QStringLiteral("covered.mp3"));
        ToneParams tone;
        tone.seconds = 10;
        QVERIFY(WriteToneMp3(covered, tone));
        QVERIFY(AddTags(covered, TagId3v1 | TagId3v2 | TagApe, ExampleTagTexts()));
        QByteArray cover(300000, Qt::Uninitialized);
        for (char& c : cover) {
            c = char(QRandomGenerator::global()->bounded(256));
        }
        QVERIFY(AddFrontCover(covered, cover, QStringLiteral("image/jpeg")));

        // The layout of a good output: ID3v2 (with the cover), audio, APE, ID3v1.
        const QString out = dir.filePath(QStringLiteral("reference/covered.mp3"));
        ConversionState state;
        state.tasks.push_back(TaggedTask(covered, out, tone.seconds));
        RecordingReceiver receiver;
        QVERIFY(RunToEnd(ctx, state, receiver));
        QVERIFY(receiver.Texts().contains(QStringLiteral("Converting status: OK.")));
        coveredOutputSize = QFileInfo(out).size();
        InfoFrame info;
        QVERIFY(ReadInfoFrame(out, &info) && info.found);
        leadingTagSize = info.frameOffset;
        QFile f(out);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        trailingTagSize = bytes.size() - bytes.lastIndexOf("APETAGEX", bytes.size() - 160);
        QVERIFY(leadingTagSize > 300000);
        QVERIFY2(trailingTagSize > 128 && trailingTagSize < 4096,
                 QByteArray::number(trailingTagSize).constData());
        QCOMPARE(ReadTags(out).pictures.value(0), cover);
    }

    // A disk that fills up at any point of the file: the file is an error,
    // its name stays free, and no half-written file or temporary is left.
    void fullDiskLeavesNothingBehind_data() {
        QTest::addColumn<int>("where"); // 0 leading tag, 1 audio, 2 trailing tags
        QTest::addColumn<bool>("tagError");
        QTest::newRow("in the ID3v2 tag with the cover") << 0 << true;
        QTest::newRow("in the audio") << 1 << false;
        QTest::newRow("in the APE and ID3v1 tags") << 2 << true;
    }

    void fullDiskLeavesNothingBehind() {
        QFETCH(int, where);
        QFETCH(bool, tagError);
        const qint64 audio = coveredOutputSize - leadingTagSize - trailingTagSize;
        const qint64 limits[] = {leadingTagSize / 2, leadingTagSize + audio / 2,
                                 coveredOutputSize - trailingTagSize / 2};
        const QString folder = dir.filePath(QStringLiteral("full%1").arg(where));
        const QString out = folder + QStringLiteral("/covered.mp3");
        ConversionState state;
        state.tasks.push_back(TaggedTask(covered, out, 10));
        RecordingReceiver receiver;
        QVERIFY(RunWithFileSizeLimit(ctx, state, receiver, rlim_t(limits[where])));
        const QStringList errors = receiver.ErrorTexts();
        QVERIFY2(errors.size() >= 2, qPrintable(receiver.Texts().join(u'|')));
        QCOMPARE(errors.first(), tagError ? QStringLiteral("Fail to write tag:  ") + out
                                          : QStringLiteral("Output file write error"));
        QCOMPARE(errors.last(), QStringLiteral("Converting status: ERROR."));
        QVERIFY(!receiver.Texts().contains(QStringLiteral("Converting status: OK.")));
        QCOMPARE(FolderEntries(folder), QStringList());
    }

    // An existing name, link or not, is never written through.
    void linksAtTheOutputNameAreNeverFollowed_data() {
        QTest::addColumn<bool>("dangling");
        QTest::newRow("dangling link") << true;
        QTest::newRow("link to a file") << false;
    }

    void linksAtTheOutputNameAreNeverFollowed() {
        QFETCH(bool, dangling);
        QTemporaryDir elsewhere;
        const QString victim = elsewhere.filePath(QStringLiteral("victim.mp3"));
        if (!dangling) {
            QFile f(victim);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("precious");
        }
        const QString folder =
            dir.filePath(dangling ? QStringLiteral("link1") : QStringLiteral("link2"));
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::link(victim, folder + QStringLiteral("/song.mp3")));
        ConversionState state;
        state.tasks.push_back(TaggedTask(covered, folder + QStringLiteral("/song.mp3"), 10));
        RecordingReceiver receiver;
        QVERIFY(RunToEnd(ctx, state, receiver));
        QVERIFY(receiver.Texts().contains(QStringLiteral("Converting status: OK.")));
        QVERIFY(receiver.Texts().contains(
            QStringLiteral("Destination: %1.").arg(folder + QStringLiteral("/song (2).mp3"))));
        QCOMPARE(QFileInfo::exists(victim), !dangling);
        if (!dangling) {
            QCOMPARE(QFileInfo(victim).size(), qint64(8));
        }
        QCOMPARE(QFileInfo(folder + QStringLiteral("/song (2).mp3")).size(), coveredOutputSize);
    }

    // Two runs converting the same file into one folder at the same moment
    // each get a whole file of their own.
    void twoRunsIntoOneFolderAtOnce() {
        ToneParams tone;
        tone.seconds = 8;
        const QString source = dir.filePath(QStringLiteral("min1.mp3"));
        QVERIFY(WriteToneMp3(source, tone));
        for (int attempt = 0; attempt < 3; ++attempt) {
            const QString folder = dir.filePath(QStringLiteral("twice%1").arg(attempt));
            EngineContext otherCtx;
            ConversionState first;
            ConversionState second;
            RecordingReceiver firstLog;
            RecordingReceiver secondLog;
            for (auto [state, receiver] :
                 {std::pair{&first, &firstLog}, std::pair{&second, &secondLog}}) {
                state->tasks.push_back(DirectTask(source, folder + QStringLiteral("/min1.mp3"),
                                                  44100, 2, uint64_t(8 * 44100)));
                state->totalSamplesExpected = state->tasks[0].expectedSamples;
                state->receiver = receiver;
                state->startDelayMs = 0;
            }
            StartConversion(ctx, first);
            StartConversion(otherCtx, second);
            QVERIFY(QTest::qWaitFor(
                [&] { return first.driverThread.Finished() && second.driverThread.Finished(); },
                60000));
            WaitForConversion(ctx, first);
            WaitForConversion(otherCtx, second);
            QCoreApplication::sendPostedEvents();
            QVERIFY(firstLog.Texts().contains(QStringLiteral("Converting status: OK.")));
            QVERIFY(secondLog.Texts().contains(QStringLiteral("Converting status: OK.")));
            QCOMPARE(FolderEntries(folder),
                     QStringList({QStringLiteral("min1 (2).mp3"), QStringLiteral("min1.mp3")}));
            for (const QString& name : FolderEntries(folder)) {
                DecodedAudio decoded;
                QVERIFY2(DecodeMp3(folder + u'/' + name, &decoded), qPrintable(name));
                QVERIFY2(qAbs(decoded.frames() - 8 * 44100) <= 1152, qPrintable(name));
            }
        }
    }

    // Only regular files are read: a FIFO would block forever, a device
    // would never end.
    void nonRegularSourcesAreRefused_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("FIFO") << QStringLiteral("fifo");
        QTest::newRow("device") << QStringLiteral("device");
        QTest::newRow("folder") << QStringLiteral("folder");
    }

    void nonRegularSourcesAreRefused() {
        QFETCH(QString, kind);
        QString source = dir.filePath(kind + QStringLiteral(".mp3"));
        if (kind == u"fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(source).constData(), 0600), 0);
        } else if (kind == u"device") {
            source = QStringLiteral("/dev/zero");
        } else {
            QVERIFY(QDir().mkpath(source));
        }
        const QString folder = dir.filePath(QStringLiteral("odd_") + kind);
        ConversionState state;
        state.tasks.push_back(
            DirectTask(source, folder + QStringLiteral("/x.mp3"), 44100, 2, 44100));
        RecordingReceiver receiver;
        QVERIFY(RunToEnd(ctx, state, receiver, 20000));
        QCOMPARE(receiver.ErrorTexts(),
                 QStringList({QStringLiteral("File Error: Not a regular file (a folder, device, "
                                             "FIFO or socket)"),
                              QStringLiteral("Converting status: ERROR.")}));
        QCOMPARE(FolderEntries(folder), QStringList());
    }

    // The cover is read before any output exists, from the very file being
    // decoded: a source deleted half-way still gives a whole, covered output.
    void sourceDeletedDuringItsConversionKeepsItsCover() {
        const QString source = dir.filePath(QStringLiteral("doomed.mp3"));
        QVERIFY(QFile::copy(covered, source));
        const QString out = dir.filePath(QStringLiteral("doomed/doomed.mp3"));
        ConversionState state;
        state.tasks.push_back(TaggedTask(source, out, 10));
        state.totalSamplesExpected = state.tasks[0].expectedSamples;
        RecordingReceiver receiver;
        state.receiver = &receiver;
        state.startDelayMs = 0;
        state.paused = 1; // holds the encoder; the decoder fills the rings
        StartConversion(ctx, state);
        QVERIFY(QTest::qWaitFor([&] { return ctx.decodedRing.Used(0) > 0; }, 20000));
        QVERIFY(QFile::remove(source));
        state.paused = 0;
        QVERIFY(QTest::qWaitFor([&] { return state.driverThread.Finished(); }, 60000));
        WaitForConversion(ctx, state);
        QCoreApplication::sendPostedEvents();
        QVERIFY(receiver.Texts().contains(QStringLiteral("Converting status: OK.")));
        QCOMPARE(QFileInfo(out).size(), coveredOutputSize);
        QCOMPARE(ReadTags(out).pictures.size(), 1);
    }

    // A compressed picture that inflates to a gigabyte (a file of a megabyte)
    // is skipped with a warning; a small compressed one travels as any other.
    void oversizedTagFramesAreSkipped_data() {
        QTest::addColumn<quint64>("inflated");
        QTest::addColumn<bool>("skipped");
        QTest::newRow("1 GB picture") << (quint64(1) << 30) << true;
        QTest::newRow("1 KB picture") << (quint64(1) << 10) << false;
    }

    void oversizedTagFramesAreSkipped() {
        QFETCH(quint64, inflated);
        QFETCH(bool, skipped);
        const QString plain = dir.filePath(QStringLiteral("plain.mp3"));
        ToneParams tone;
        tone.seconds = 2;
        QVERIFY(WriteToneMp3(plain, tone));
        const QString source = dir.filePath(QStringLiteral("bomb%1.mp3").arg(inflated));
        QVERIFY(WriteCompressedPictureMp3(plain, source, 4, inflated, QStringLiteral("Title"),
                                          QStringLiteral("Artist")));
        const QString out = dir.filePath(QStringLiteral("bomb/%1.mp3").arg(inflated));
        CConversionTask task = DirectTask(source, out, 44100, 2, 2 * 44100);
        task.sourceTagTypes = TagBitId3v2;
        task.title = QStringLiteral("Title");
        struct rusage before {};
        ::getrusage(RUSAGE_SELF, &before);
        ConversionState state;
        state.tasks.push_back(task);
        RecordingReceiver receiver;
        QVERIFY(RunToEnd(ctx, state, receiver));
        struct rusage after {};
        ::getrusage(RUSAGE_SELF, &after);
        QVERIFY(receiver.Texts().contains(QStringLiteral("Converting status: OK.")));
        QStringList warnings;
        for (const LoggedLine& line : receiver.lines) {
            if (line.level == LogWarning) {
                warnings << line.text;
            }
        }
        QCOMPARE(warnings,
                 skipped ? QStringList(QStringLiteral(
                               "Tag frame APIC of the source skipped: it holds more than 16 MB."))
                         : QStringList());
        const ReadBackTags read = ReadTags(out);
        QCOMPARE(read.pictures.size(), skipped ? 0 : 1);
        QCOMPARE(read.id3v2.title, QStringLiteral("Title"));
        QVERIFY(QFileInfo(out).size() < 200000);
        QVERIFY2(after.ru_maxrss - before.ru_maxrss < 64 * 1024,
                 qPrintable(QStringLiteral("peak memory grew by %1 KB")
                                .arg(after.ru_maxrss - before.ru_maxrss)));
    }
};

QTEST_GUILESS_MAIN(TestOutputSafety)
#include "tst_output_safety.moc"
