// How a file of the list becomes a conversion task.

#include "engine/ConversionState.h"
#include "engine/TaskRules.h"
#include "filelist/FolderScan.h"
#include "engine/MediaFileInfo.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace zorvane;

class TestTaskRules : public QObject {
    Q_OBJECT

private slots:
    void automaticRate_data() {
        QTest::addColumn<uint32_t>("source");
        QTest::addColumn<uint32_t>("target");
        QTest::newRow("standard rate kept") << 44100u << 44100u;
        QTest::newRow("22050 kept") << 22050u << 22050u;
        QTest::newRow("37800 goes up") << 37800u << 44100u;
        QTest::newRow("above the table") << 96000u << 48000u;
        QTest::newRow("below the table") << 4000u << 8000u;
        QTest::newRow("one above 8000") << 8001u << 11025u;
    }

    void automaticRate() {
        QFETCH(uint32_t, source);
        QFETCH(uint32_t, target);
        QCOMPARE(AutomaticRate(source), target);
        QCOMPARE(TargetRate(source, 0), target);
    }

    void fixedRate() {
        for (int i = 1; i < int(kSampleRateHz.size()); ++i) {
            QCOMPARE(TargetRate(44100, i), uint32_t(kSampleRateHz[size_t(i)]));
        }
    }

    void targetChannels_data() {
        QTest::addColumn<uint32_t>("source");
        QTest::addColumn<int>("mode");
        QTest::addColumn<uint32_t>("target");
        QTest::newRow("auto keeps mono") << 1u << 0 << 1u;
        QTest::newRow("auto keeps stereo") << 2u << 0 << 2u;
        QTest::newRow("mono") << 2u << 1 << 1u;
        QTest::newRow("stereo from mono") << 1u << 2 << 2u;
        QTest::newRow("joint from mono") << 1u << 3 << 2u;
        QTest::newRow("dual") << 2u << 4 << 2u;
    }

    void targetChannels() {
        QFETCH(uint32_t, source);
        QFETCH(int, mode);
        QFETCH(uint32_t, target);
        QCOMPARE(TargetChannels(source, mode), target);
    }

    void expectedSamples_data() {
        QTest::addColumn<uint32_t>("targetRate");
        QTest::addColumn<uint32_t>("targetChannels");
        QTest::addColumn<quint64>("sourceSamples");
        QTest::addColumn<int>("speed");
        QTest::addColumn<quint64>("expected");
        // 10 s of 44.1 kHz stereo.
        QTest::newRow("150 % same format")
            << 44100u << 2u << quint64(882000) << 150 << quint64(588000);
        QTest::newRow("mono 22050 at 100 %")
            << 22050u << 1u << quint64(882000) << 100 << quint64(220500);
        QTest::newRow("odd count made even")
            << 44100u << 2u << quint64(882000) << 300 << quint64(294000);
        QTest::newRow("rounding to a whole frame")
            << 44100u << 2u << quint64(10) << 300 << quint64(2);
        // 20 hours of stereo: past 2^32 samples.
        QTest::newRow("long audiobook")
            << 44100u << 2u << quint64(6350400000ull) << 100 << quint64(6350400000ull);
        QTest::newRow("speed out of range is clamped")
            << 44100u << 2u << quint64(882000) << 0 << quint64(4410000);
    }

    void expectedSamples() {
        QFETCH(uint32_t, targetRate);
        QFETCH(uint32_t, targetChannels);
        QFETCH(quint64, sourceSamples);
        QFETCH(int, speed);
        QFETCH(quint64, expected);
        const double ratio = SampleRatio(targetRate, targetChannels, 44100, 2);
        const uint64_t n = ExpectedSamples(ratio, sourceSamples, speed, targetChannels);
        QCOMPARE(quint64(n), expected);
        QCOMPARE(n % targetChannels, uint64_t(0));
    }

    void outputNames_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("output");
        QTest::newRow("lower case") << QStringLiteral("song.mp3") << QStringLiteral("song.mp3");
        QTest::newRow("upper case") << QStringLiteral("song.MP3") << QStringLiteral("song.mp3");
        QTest::newRow("dots inside") << QStringLiteral("a.b.c.Mp3") << QStringLiteral("a.b.c.mp3");
        QTest::newRow("no extension") << QStringLiteral("README") << QStringLiteral("README.mp3");
        QTest::newRow("non-ASCII")
            << QStringLiteral("Ébène – 東京.mp3") << QStringLiteral("Ébène – 東京.mp3");
    }

    void outputNames() {
        QFETCH(QString, name);
        QFETCH(QString, output);
        QCOMPARE(OutputName(name), output);
    }

    void destinationFollowsTheSettings() {
        ConversionSettings s;
        s.outputFolder = QStringLiteral("/music/out/");
        QCOMPARE(DestinationPath(QStringLiteral("/books/"), QStringLiteral("a.MP3"), s),
                 QStringLiteral("/music/out/a.mp3"));
        s.outputFolder = QStringLiteral("/music/no-slash");
        QCOMPARE(DestinationPath(QStringLiteral("/books/"), QStringLiteral("a.mp3"), s),
                 QStringLiteral("/music/no-slash/a.mp3"));
        s.sameAsSource = 1;
        QCOMPARE(DestinationPath(QStringLiteral("/books/"), QStringLiteral("a.mp3"), s),
                 QStringLiteral("/books/a.mp3"));
    }

    void buildTaskFromARow() {
        MediaFileInfo info;
        info.formatCode = 2;
        info.tagFlags = 3;
        info.sampleRate = 37800;
        info.channels = 1;
        info.totalSamples = 378000; // 10 s mono
        info.artist = QStringLiteral("A");
        info.comment = QStringLiteral("C");
        ConversionSettings s;
        s.outputFolder = QStringLiteral("/out/");
        s.speedPercent = 200;
        s.channelMode = ChannelJointStereo;
        const CConversionTask task =
            BuildTask(info, QStringLiteral("/in/"), QStringLiteral("x.mp3"), s);
        QCOMPARE(task.sourcePath, QStringLiteral("/in/x.mp3"));
        QCOMPARE(task.destinationPath, QStringLiteral("/out/x.mp3"));
        QCOMPARE(task.targetRate, 44100u);
        QCOMPARE(task.targetChannels, 2u);
        QCOMPARE(task.outputFormat, kFormatMp3);
        QCOMPARE(task.needsProcessing, 1);
        QCOMPARE(task.sourceTagTypes, uint8_t(3));
        QCOMPARE(task.expectedSamples, uint64_t(441000)); // 5 s of 44.1 kHz stereo
        QCOMPARE(task.artist, QStringLiteral("A"));
        QCOMPARE(task.comment, QStringLiteral("C"));

        ConversionState state;
        AppendTask(state, task);
        AppendTask(state, task);
        QCOMPARE(state.tasks.size(), size_t(2));
        QCOMPARE(state.totalSamplesExpected, uint64_t(882000));
        QCOMPARE(state.totalAudioSeconds, 10.0f);
    }

    void folderScanOrder() {
        QTemporaryDir dir;
        const QStringList files = {QStringLiteral("b.mp3"),      QStringLiteral("A.MP3"),
                                   QStringLiteral("notes.txt"),  QStringLiteral(".hidden.mp3"),
                                   QStringLiteral("sub/c.mp3"),  QStringLiteral("sub/deeper/d.Mp3"),
                                   QStringLiteral("a-sub/e.mp3")};
        for (const QString& f : files) {
            QVERIFY(QDir().mkpath(QFileInfo(dir.filePath(f)).path()));
            QFile file(dir.filePath(f));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("folder.mp3")))); // a folder, not a file
        QStringList seen;
        auto collect = [&](const QFileInfo& f) {
            seen << QDir(dir.path()).relativeFilePath(f.filePath());
            return true;
        };
        QVERIFY(ScanFolder(dir.path(), false, collect));
        QCOMPARE(seen, QStringList({QStringLiteral(".hidden.mp3"), QStringLiteral("A.MP3"),
                                    QStringLiteral("b.mp3")}));
        seen.clear();
        QVERIFY(ScanFolder(dir.path(), true, collect));
        QCOMPARE(seen,
                 QStringList({QStringLiteral(".hidden.mp3"), QStringLiteral("A.MP3"),
                              QStringLiteral("b.mp3"), QStringLiteral("a-sub/e.mp3"),
                              QStringLiteral("sub/c.mp3"), QStringLiteral("sub/deeper/d.Mp3")}));
        seen.clear();
        int calls = 0;
        QVERIFY(!ScanFolder(dir.path(), true, [&](const QFileInfo&) { return ++calls < 2; }));
        QCOMPARE(calls, 2);
    }
};

QTEST_GUILESS_MAIN(TestTaskRules)
#include "tst_taskrules.moc"
