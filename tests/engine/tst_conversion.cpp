// Whole files through the driver, decoder and encoder, checked by decoding
// the results independently.

#include "AudioAnalysis.h"
#include "EngineHarness.h"
#include "Mp3Fixtures.h"

#include "engine/ConversionDriver.h"
#include "engine/ConversionRun.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace zorvane;
using namespace zorvane::testing;

namespace {

struct Source {
    QString path;
    ToneParams tone;
    qint64 frames = 0;
};

Source MakeSource(const QString& path, ToneParams tone) {
    Source s{path, tone, 0};
    QString error;
    if (!WriteToneMp3(path, tone, &error)) {
        qFatal("cannot make fixture %s: %s", qPrintable(path), qPrintable(error));
    }
    s.frames = qint64(tone.seconds * tone.sampleRate + 0.5);
    return s;
}

CConversionTask TaskFor(const Source& s, const QString& destination) {
    return DirectTask(s.path, destination, uint32_t(s.tone.sampleRate), uint32_t(s.tone.channels),
                      uint64_t(s.frames));
}

bool IsTimeLine(const QString& text) {
    static const QRegularExpression re(
        QStringLiteral("^Time elapsed \\d+\\.\\d\\d secs, speed \\d+\\.\\d\\dx\\.$"));
    return re.match(text).hasMatch();
}

QByteArray FileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestConversion : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    EngineContext ctx;
    Source stereo;

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        QVERIFY2(ctx.IsValid(), qPrintable(ctx.InitError()));
        ToneParams tone;
        tone.seconds = 3.0;
        stereo = MakeSource(dir.filePath(QStringLiteral("stereo.mp3")), tone);
    }

    void emptyRunOnlyFinishes() {
        ConversionState state;
        RecordingReceiver receiver;
        QElapsedTimer timer;
        timer.start();
        QVERIFY(RunToEnd(ctx, state, receiver));
        QVERIFY(timer.elapsed() >= 450);
        QVERIFY(receiver.lines.empty());
        QCOMPARE(receiver.finishedMessages, 1);
    }

    void oneTaskLogSequence() {
        const QString out = dir.filePath(QStringLiteral("one/out.mp3"));
        ConversionState state;
        state.tasks.push_back(TaskFor(stereo, out));
        RecordingReceiver receiver;
        QVERIFY(RunToEnd(ctx, state, receiver));
        const QStringList texts = receiver.Texts();
        QCOMPARE(texts.size(), 6);
        QCOMPARE(texts[0], QString(99, u'-'));
        QCOMPARE(texts[1], QStringLiteral("Start a new converting task."));
        QCOMPARE(texts[2], QStringLiteral("Source:  %1.").arg(stereo.path));
        QCOMPARE(texts[3], QStringLiteral("Destination: %1.").arg(out));
        QVERIFY2(IsTimeLine(texts[4]), qPrintable(texts[4]));
        QCOMPARE(texts[5], QStringLiteral("Converting status: OK."));
        QVERIFY(receiver.ErrorTexts().isEmpty());
        QCOMPARE(receiver.finishedMessages, 1);
        QVERIFY(receiver.progressMessages >= 1);
        QCOMPARE(receiver.lastFilePercent, receiver.lastOverallPercent);
        QVERIFY(receiver.lastFilePercent > 99.0f);
        QVERIFY(QFileInfo(out).isFile()); // its folder was created
    }

    void threeTasksEndWithTotals() {
        ConversionState state;
        for (int i = 0; i < 3; ++i) {
            state.tasks.push_back(
                TaskFor(stereo, dir.filePath(QStringLiteral("three/%1.mp3").arg(i))));
        }
        RecordingReceiver receiver;
        QVERIFY(RunToEnd(ctx, state, receiver));
        const QStringList texts = receiver.Texts();
        QCOMPARE(texts.count(QStringLiteral("Converting status: OK.")), 3);
        QCOMPARE(texts.count(QString(99, u'-')), 4);
        QCOMPARE(texts.at(texts.size() - 2), QString(99, u'-'));
        QVERIFY2(
            QRegularExpression(
                QStringLiteral(
                    "^Total time elapsed \\d+\\.\\d\\d secs, overall speed \\d+\\.\\d\\dx\\.$"))
                .match(texts.last())
                .hasMatch(),
            qPrintable(texts.last()));
        QCOMPARE(receiver.finishedMessages, 1);
        QCOMPARE(state.overallSamplesDone.load(), 3 * uint64_t(stereo.frames) * 2);
    }

    // The second of three files fails: the window's run stops there, the
    // command-line tool's goes on. A folder that cannot be made logs no
    // status line, as it did before the file started.
    void failureInSecondOfThree_data() {
        QTest::addColumn<bool>("goOn");
        QTest::addColumn<bool>("folderFails"); // else the source is missing
        QTest::newRow("missing source stops") << false << false;
        QTest::newRow("missing source, run goes on") << true << false;
        QTest::newRow("folder stops") << false << true;
        QTest::newRow("folder, run goes on") << true << true;
    }

    void failureInSecondOfThree() {
        QFETCH(bool, goOn);
        QFETCH(bool, folderFails);
        QTemporaryDir here;
        const QString blocker = here.filePath(QStringLiteral("blocker"));
        QVERIFY(QFile(blocker).open(QIODevice::WriteOnly));
        ConversionState state;
        state.continueAfterError = goOn;
        state.tasks.push_back(TaskFor(stereo, here.filePath(QStringLiteral("out/1.mp3"))));
        Source second = stereo;
        QString reason = QStringLiteral("File Error: No such file or directory");
        QStringList errors = {reason, QStringLiteral("Converting status: ERROR.")};
        if (folderFails) {
            const QString line = QStringLiteral("Fail to create folder %1/sub !").arg(blocker);
            reason = line + QStringLiteral(": Not a directory");
            errors = QStringList{line};
        } else {
            second.path = here.filePath(QStringLiteral("gone.mp3"));
        }
        state.tasks.push_back(TaskFor(second, (folderFails ? blocker + QStringLiteral("/sub")
                                                           : here.filePath(QStringLiteral("out"))) +
                                                  QStringLiteral("/2.mp3")));
        state.tasks.push_back(TaskFor(stereo, here.filePath(QStringLiteral("out/3.mp3"))));
        RecordingReceiver receiver;
        QVERIFY(RunToEnd(ctx, state, receiver));
        const QStringList texts = receiver.Texts();
        QCOMPARE(receiver.ErrorTexts(), errors);
        // The window shows the fixed line; why travels beside it.
        const auto error = std::find_if(receiver.lines.begin(), receiver.lines.end(),
                                        [](const LoggedLine& l) { return l.level == LogError; });
        QVERIFY(error != receiver.lines.end());
        QCOMPARE(error->detail, folderFails ? QStringLiteral("Not a directory") : QString());
        QCOMPARE(state.failures.size(), size_t(1));
        QCOMPARE(state.failures[0].taskIndex, 1);
        QCOMPARE(state.failures[0].reason, reason);
        QCOMPARE(texts.count(QStringLiteral("Converting status: OK.")), goOn ? 2 : 1);
        QCOMPARE(receiver.finishedMessages, goOn ? 1 : 0);
        QCOMPARE(texts.last().startsWith(QStringLiteral("Total time elapsed")), goOn);
        QVERIFY(QFileInfo::exists(here.filePath(QStringLiteral("out/1.mp3"))));
        QCOMPARE(QFileInfo::exists(here.filePath(QStringLiteral("out/3.mp3"))), goOn);
    }

    void existingOutputIsNumberedNeverOverwritten() {
        const QString folder = dir.filePath(QStringLiteral("numbered"));
        QVERIFY(QDir().mkpath(folder));
        const QString out = folder + QStringLiteral("/a.mp3");
        {
            QFile f(out);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("precious");
        }
        ConversionState state;
        state.tasks.push_back(TaskFor(stereo, out));
        state.tasks.push_back(TaskFor(stereo, out));
        RecordingReceiver receiver;
        QVERIFY(RunToEnd(ctx, state, receiver));
        QCOMPARE(FileBytes(out), QByteArray("precious"));
        QVERIFY(receiver.Texts().contains(
            QStringLiteral("Destination: %1.").arg(folder + QStringLiteral("/a (2).mp3"))));
        QVERIFY(receiver.Texts().contains(
            QStringLiteral("Destination: %1.").arg(folder + QStringLiteral("/a (3).mp3"))));
    }

    void sourceIsNeverModified() {
        const QByteArray before = FileBytes(stereo.path);
        ConversionState state;
        // Same folder and name as the source: must become "stereo (2).mp3".
        state.tasks.push_back(TaskFor(stereo, stereo.path));
        RecordingReceiver receiver;
        QVERIFY(RunToEnd(ctx, state, receiver));
        QCOMPARE(FileBytes(stereo.path), before);
        QVERIFY(QFileInfo::exists(dir.filePath(QStringLiteral("stereo (2).mp3"))));
    }

    void notAnMp3IsRefused_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("text file") << QStringLiteral("text");
        QTest::newRow("empty file") << QStringLiteral("empty");
    }

    void notAnMp3IsRefused() {
        QFETCH(QString, kind);
        const QString path = dir.filePath(kind + QStringLiteral(".mp3"));
        QVERIFY(kind == u"text" ? WriteNotMp3(path) : WriteEmptyFile(path));
        ConversionState state;
        Source bad = stereo;
        bad.path = path;
        state.tasks.push_back(
            TaskFor(bad, dir.filePath(QStringLiteral("bad/") + kind + QStringLiteral(".mp3"))));
        RecordingReceiver receiver;
        QVERIFY(RunToEnd(ctx, state, receiver));
        const QStringList errors = receiver.ErrorTexts();
        QVERIFY2(errors.size() == 2, qPrintable(receiver.Texts().join(u'|')));
        QVERIFY2(errors[0].startsWith(QStringLiteral("Trouble with mpg123: ")),
                 qPrintable(errors[0]));
        QCOMPARE(errors[1], QStringLiteral("Converting status: ERROR."));
        QCOMPARE(receiver.finishedMessages, 0);
    }

    void unsupportedFormatIsRefused() {
        ConversionState state;
        CConversionTask task = TaskFor(stereo, dir.filePath(QStringLiteral("fmt/out.mp3")));
        task.sourceRate = 12345; // no MPEG rate: the decoder cannot deliver it
        state.tasks.push_back(task);
        RecordingReceiver receiver;
        QVERIFY(RunToEnd(ctx, state, receiver));
        QCOMPARE(receiver.ErrorTexts(), QStringList({QStringLiteral("Invalid Format!"),
                                                     QStringLiteral("Converting status: ERROR.")}));
    }

    // Even root cannot create a file in /proc.
    void unwritableOutputFolder() {
        ConversionState state;
        state.tasks.push_back(TaskFor(stereo, QStringLiteral("/proc/out.mp3")));
        RecordingReceiver receiver;
        QVERIFY(RunToEnd(ctx, state, receiver));
        // No tag step after a file that was never created: one reason, one status.
        QCOMPARE(receiver.ErrorTexts(),
                 QStringList({QStringLiteral("Error creating file /proc/out.mp3"),
                              QStringLiteral("Converting status: ERROR.")}));
        QVERIFY(!receiver.Texts().contains(QStringLiteral("Converting status: OK.")));
    }

    // A disk that fills up part-way: the file is reported as an error, never OK.
    void writeFailingPartWay() {
        Source longer = MakeSource(dir.filePath(QStringLiteral("long.mp3")), [] {
            ToneParams s;
            s.seconds = 10;
            return s;
        }());
        const QString out = dir.filePath(QStringLiteral("full/out.mp3"));
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("full"))));
        ConversionState state;
        state.tasks.push_back(TaskFor(longer, out));
        RecordingReceiver receiver;

        struct rlimit old {};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &old), 0);
        auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = old;
        small.rlim_cur = 20000;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        const bool ended = RunToEnd(ctx, state, receiver);
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);

        QVERIFY(ended);
        const QStringList errors = receiver.ErrorTexts();
        QVERIFY2(errors.contains(QStringLiteral("Output file write error")),
                 qPrintable(errors.join(u'|')));
        QCOMPARE(errors.last(), QStringLiteral("Converting status: ERROR."));
        QVERIFY(!receiver.Texts().contains(QStringLiteral("Converting status: OK.")));
        QCOMPARE(receiver.finishedMessages, 0);
        QCOMPARE(QDir(dir.filePath(QStringLiteral("full")))
                     .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList());
    }

    void cancelMidFileStopsPromptlyAndNeverSaysOk() {
        Source longer = MakeSource(dir.filePath(QStringLiteral("cancel.mp3")), [] {
            ToneParams s;
            s.seconds = 60;
            return s;
        }());
        ConversionState state;
        state.tasks.push_back(TaskFor(longer, dir.filePath(QStringLiteral("cancel/a.mp3"))));
        state.tasks.push_back(TaskFor(longer, dir.filePath(QStringLiteral("cancel/b.mp3"))));
        RecordingReceiver receiver;
        state.receiver = &receiver;
        state.view = &receiver;
        state.totalSamplesExpected = 2 * uint64_t(longer.frames) * 2;
        StartConversion(ctx, state);
        QVERIFY(QTest::qWaitFor([&] { return state.fileSamplesDone.load() > 0; }, 20000));
        QElapsedTimer timer;
        timer.start();
        CancelConversion(ctx, state);
        QVERIFY2(timer.elapsed() < 1000, QByteArray::number(timer.elapsed()).constData());
        QCoreApplication::sendPostedEvents();
        QVERIFY(!receiver.Texts().contains(QStringLiteral("Converting status: OK.")));
        QCOMPARE(receiver.Texts().last(), QStringLiteral("Converting status: ERROR."));
        QCOMPARE(receiver.Texts().count(QStringLiteral("Start a new converting task.")), 1);
        QCOMPARE(receiver.finishedMessages, 0);
        QCOMPARE(state.aborted.load(), 1);
        // The half-converted file is gone, temporary name and all.
        QCOMPARE(QDir(dir.filePath(QStringLiteral("cancel")))
                     .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList());
    }

    void pauseHoldsTheEncoder() {
        ConversionState state;
        state.tasks.push_back(TaskFor(stereo, dir.filePath(QStringLiteral("pause/a.mp3"))));
        RecordingReceiver receiver;
        state.receiver = &receiver;
        state.view = &receiver;
        state.totalSamplesExpected = uint64_t(stereo.frames) * 2;
        StartConversion(ctx, state);
        state.paused = 1; // the driver waits 500 ms before its first file
        QTest::qWait(800);
        QCOMPARE(state.fileSamplesDone.load(), uint64_t(0));
        QVERIFY(!state.driverThread.Finished());
        state.paused = 0;
        QVERIFY(QTest::qWaitFor([&] { return state.driverThread.Finished(); }, 30000));
        WaitForConversion(ctx, state);
        QCoreApplication::sendPostedEvents();
        QVERIFY(receiver.Texts().contains(QStringLiteral("Converting status: OK.")));
    }

    // Decoded length within one MPEG frame; rate, channels, bitrate and mode
    // as configured.
    void outputFormat_data() {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("channelMode");
        QTest::addColumn<int>("bitrateIndex");
        QTest::addColumn<int>("expectMode");
        QTest::addColumn<int>("expectKbps");
        QTest::newRow("stereo 44.1k default: joint 128") << 44100 << 2 << 0 << 11 << 1 << 128;
        QTest::newRow("channel mode stereo") << 44100 << 2 << 2 << 11 << 0 << 128;
        QTest::newRow("channel mode dual") << 44100 << 2 << 4 << 11 << 2 << 128;
        QTest::newRow("mono source stays mono") << 44100 << 1 << 0 << 11 << 3 << 128;
        QTest::newRow("mono with stereo setting") << 22050 << 1 << 2 << 7 << 3 << 64;
        QTest::newRow("48k at 320") << 48000 << 2 << 3 << 16 << 1 << 320;
        // (8 kbit/s frames are too small to carry the Info tag, so the
        // exact-length check below cannot hold there; 32 is the lowest that can.)
        QTest::newRow("8k mono at 32") << 8000 << 1 << 0 << 3 << 3 << 32;
        QTest::newRow("16k stereo at 48") << 16000 << 2 << 0 << 5 << 1 << 48;
    }

    void outputFormat() {
        QFETCH(int, rate);
        QFETCH(int, channels);
        QFETCH(int, channelMode);
        QFETCH(int, bitrateIndex);
        QFETCH(int, expectMode);
        QFETCH(int, expectKbps);
        ToneParams tone;
        tone.sampleRate = rate;
        tone.channels = channels;
        tone.seconds = 2.3;
        const QString tag = QStringLiteral("fmt_%1_%2_%3_%4")
                                .arg(rate)
                                .arg(channels)
                                .arg(channelMode)
                                .arg(bitrateIndex);
        const Source src = MakeSource(dir.filePath(tag + QStringLiteral("_in.mp3")), tone);
        const QString out = dir.filePath(tag + QStringLiteral("_out.mp3"));
        ConversionState state;
        state.settings.channelMode = int16_t(channelMode);
        state.settings.bitrateIndex = int16_t(bitrateIndex);
        state.tasks.push_back(TaskFor(src, out));
        RecordingReceiver receiver;
        QVERIFY(RunToEnd(ctx, state, receiver));
        QVERIFY2(receiver.ErrorTexts().isEmpty(), qPrintable(receiver.ErrorTexts().join(u'|')));

        DecodedAudio decoded;
        QString error;
        QVERIFY2(DecodeMp3(out, &decoded, &error), qPrintable(error));
        QCOMPARE(int(decoded.rate), rate);
        QCOMPARE(decoded.channels, channels);
        QVERIFY2(qAbs(decoded.frames() - src.frames) <= 1152,
                 qPrintable(QStringLiteral("%1 vs %2").arg(decoded.frames()).arg(src.frames)));
        QCOMPARE(FirstAudioFrameMode(out), expectMode);
        QCOMPARE(FirstAudioFrameBitrate(out), expectKbps);
        // The Info tag at the start tells players the exact length.
        InfoFrame info;
        QVERIFY(ReadInfoFrame(out, &info));
        QVERIFY(info.found);
        QVERIFY(!info.isXing);
        QVERIFY(info.hasLameExtension);
        QCOMPARE(Mpg123ReportedLength(out), decoded.frames());
    }

    void sixtySecondsKeepLengthWithinOneFrame() {
        ToneParams tone;
        tone.seconds = 60;
        const Source src = MakeSource(dir.filePath(QStringLiteral("sixty.mp3")), tone);
        const QString out = dir.filePath(QStringLiteral("sixty_out.mp3"));
        ConversionState state;
        state.tasks.push_back(TaskFor(src, out));
        RecordingReceiver receiver;
        QVERIFY(RunToEnd(ctx, state, receiver));
        QVERIFY(receiver.Texts().contains(QStringLiteral("Converting status: OK.")));
        DecodedAudio decoded;
        QVERIFY(DecodeMp3(out, &decoded));
        QVERIFY2(qAbs(decoded.frames() - src.frames) <= 1152,
                 qPrintable(QString::number(decoded.frames() - src.frames)));
        QCOMPARE(FirstAudioFrameMode(out), 1);
        QCOMPARE(FirstAudioFrameBitrate(out), 128);
        // Progress was reported along the way, not only at the end.
        QVERIFY(receiver.progressMessages >= 2);
    }

    // Quiet passages keep their level: the samples travel at full precision.
    void quietToneKeepsItsLevel_data() {
        QTest::addColumn<double>("level");
        QTest::newRow("-70 dBFS") << -70.0;
        QTest::newRow("-50 dBFS") << -50.0;
        QTest::newRow("-6 dBFS") << -6.0;
    }

    void quietToneKeepsItsLevel() {
        QFETCH(double, level);
        ToneParams tone;
        tone.seconds = 2;
        tone.levelDbfs = level;
        const QString name = QStringLiteral("quiet%1").arg(int(-level));
        const Source src = MakeSource(dir.filePath(name + QStringLiteral(".mp3")), tone);
        const QString out = dir.filePath(name + QStringLiteral("_out.mp3"));
        ConversionState state;
        state.tasks.push_back(TaskFor(src, out));
        RecordingReceiver receiver;
        QVERIFY(RunToEnd(ctx, state, receiver));
        DecodedAudio in;
        DecodedAudio converted;
        QVERIFY(DecodeMp3(src.path, &in));
        QVERIFY(DecodeMp3(out, &converted));
        for (int channel = 0; channel < 2; ++channel) {
            const double before = RmsDbfs(in, channel, 0.2);
            const double after = RmsDbfs(converted, channel, 0.2);
            QVERIFY2(qAbs(after - before) < 1.0,
                     qPrintable(QStringLiteral("%1 dB became %2 dB").arg(before).arg(after)));
        }
    }
};

QTEST_GUILESS_MAIN(TestConversion)
#include "tst_conversion.moc"
