// zorvane-convert end to end, as a user runs it.

#include "../engine/EngineHarness.h"
#include "Mp3Fixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace zorvane::testing;

namespace {

struct Result {
    int exitCode = -1;
    QString out;
    QString err;
};

} // namespace

class TestCli : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString configHome;
    QString stereo;
    QString mono;

    Result Run(const QStringList& args) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        // Never the user's own Config.ini.
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
        env.insert(QStringLiteral("HOME"), dir.path());
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(ZORVANE_CONVERT), args);
        if (!p.waitForFinished(120000)) {
            p.kill();
            p.waitForFinished();
        }
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                QString::fromLocal8Bit(p.readAllStandardOutput()),
                QString::fromLocal8Bit(p.readAllStandardError())};
    }

    void WriteConfig(const QByteArray& text) {
        QDir().mkpath(configHome + QStringLiteral("/Zorvane"));
        QFile f(configHome + QStringLiteral("/Zorvane/Config.ini"));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        configHome = dir.filePath(QStringLiteral("config"));
        ToneParams tone;
        tone.seconds = 2;
        stereo = dir.filePath(QStringLiteral("in/Hörbücher/Ébène – 東京.mp3"));
        QVERIFY(QDir().mkpath(QFileInfo(stereo).path()));
        QVERIFY(WriteToneMp3(stereo, tone));
        tone.channels = 1;
        mono = dir.filePath(QStringLiteral("in/mono.MP3"));
        QVERIFY(WriteToneMp3(mono, tone));
    }

    void init() { QFile::remove(configHome + QStringLiteral("/Zorvane/Config.ini")); }

    void badArguments_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("hint");
        QTest::newRow("nothing") << QStringList() << QStringLiteral("no input files");
        QTest::newRow("unknown option") << QStringList{QStringLiteral("--fast"), stereo}
                                        << QStringLiteral("unknown option --fast");
        QTest::newRow("--out without folder") << QStringList{stereo, QStringLiteral("--out")}
                                              << QStringLiteral("--out needs a folder");
    }

    void badArguments() {
        QFETCH(QStringList, args);
        QFETCH(QString, hint);
        const Result r = Run(args);
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains(hint), qPrintable(r.err));
    }

    void helpDocumentsTheOptions() {
        const Result r = Run({QStringLiteral("--help")});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.contains(QStringLiteral("--out DIR")));
        QVERIFY(r.out.contains(QStringLiteral("Exit status")));
    }

    void convertsWithNonAsciiNamesIntoOutFolder() {
        const QString out = dir.filePath(QStringLiteral("out1"));
        const Result r = Run({QStringLiteral("--out"), out, stereo, mono});
        QVERIFY2(r.exitCode == 0, qPrintable(r.out + r.err));
        const QString first = out + QStringLiteral("/Ébène – 東京.mp3");
        QVERIFY(r.out.contains(QStringLiteral("Source:  %1.").arg(stereo)));
        QVERIFY(r.out.contains(QStringLiteral("Destination: %1.").arg(first)));
        QCOMPARE(r.out.count(QStringLiteral("Converting status: OK.")), 2);
        QVERIFY(r.out.contains(QStringLiteral("Finished converting, all done ^_^")));
        DecodedAudio a;
        QVERIFY(DecodeMp3(first, &a));
        QCOMPARE(a.channels, 2);
        DecodedAudio m;
        QVERIFY(DecodeMp3(out + QStringLiteral("/mono.mp3"), &m)); // extension in lower case
        QCOMPARE(m.channels, 1);
    }

    void besideTheSourceWithoutOut() {
        QTemporaryDir here;
        const QString src = here.filePath(QStringLiteral("a.mp3"));
        QVERIFY(QFile::copy(stereo, src));
        const Result r = Run({src});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(QFileInfo::exists(here.filePath(QStringLiteral("a (2).mp3"))));
    }

    void channelModeFromConfig() {
        WriteConfig("[MP3]\nLameChannel=2\nLameBits=13\n");
        const QString out = dir.filePath(QStringLiteral("out2"));
        const Result r = Run({QStringLiteral("--out"), out, stereo});
        QCOMPARE(r.exitCode, 0);
        const QString file = out + QStringLiteral("/Ébène – 東京.mp3");
        QCOMPARE(FirstAudioFrameMode(file), 0); // stereo
        QCOMPARE(FirstAudioFrameBitrate(file), 192);
    }

    void failedConversionExitsOne() {
        const QString text = dir.filePath(QStringLiteral("notes.mp3"));
        QVERIFY(WriteNotMp3(text));
        const Result r = Run({QStringLiteral("--out"), dir.filePath(QStringLiteral("out3")), text});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(text), qPrintable(r.err));
    }

    void missingInputIsNamed() {
        const QString missing = dir.filePath(QStringLiteral("nowhere.mp3"));
        const Result r =
            Run({QStringLiteral("--out"), dir.filePath(QStringLiteral("out4")), missing, stereo});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.err.contains(missing));
        QVERIFY(r.out.contains(QStringLiteral("Converting status: OK.")));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
