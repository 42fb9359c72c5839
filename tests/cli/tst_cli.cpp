// zorvane-convert end to end, as a user runs it.

#include "../engine/EngineHarness.h"
#include "AudioAnalysis.h"
#include "Mp3Fixtures.h"
#include "TagFixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <functional>

#include <cstring>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace zorvane::testing;

namespace {

struct Result {
    int exitCode = -1; // -1: killed by a signal, or hung and killed by the test
    QString out;
    QString err;
};

// A line is only what stands between two line breaks: counting lines, not
// substrings, is what tells a real status line from one forged inside a name.
qsizetype CountLines(const QString& text, const QString& line) {
    return text.split(u'\n').count(line);
}

bool MakeFifo(const QString& path) {
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

// A socket file stays behind when nobody listens on it any more.
bool MakeSocket(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (size_t(name.size()) >= sizeof(address.sun_path)) {
        return false;
    }
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0); // bind and close fail harmlessly on -1
    const bool bound =
        ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    ::close(fd);
    return bound;
}

} // namespace

class TestCli : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString configHome;
    QString stereo;
    QString mono;
    QString longSource;

    // With a `script`, bash runs it, and "$0" "$@" in it are the tool and `args`.
    void Start(QProcess& p, const QStringList& args, const QString& script = QString()) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        // Never the user's own Config.ini.
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
        env.insert(QStringLiteral("HOME"), dir.path());
        p.setProcessEnvironment(env);
        if (script.isEmpty()) {
            p.start(QStringLiteral(ZORVANE_CONVERT), args);
        } else {
            p.start(QStringLiteral("bash"),
                    QStringList{QStringLiteral("-c"), script, QStringLiteral(ZORVANE_CONVERT)} +
                        args);
        }
    }

    // A hang ends in a kill after two minutes, and shows as exit code -1.
    Result Run(const QStringList& args, const QString& script = QString()) {
        QProcess p;
        Start(p, args, script);
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
        // Long enough that a run of three is still busy when a test signals it.
        tone.seconds = 40;
        longSource = dir.filePath(QStringLiteral("in/long.mp3"));
        QVERIFY(WriteToneMp3(longSource, tone));
    }

    void init() { QFile::remove(configHome + QStringLiteral("/Zorvane/Config.ini")); }

    void badArguments_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("hint");
        QTest::newRow("nothing") << QStringList() << QStringLiteral("no input files");
        QTest::newRow("unknown option") << QStringList{QStringLiteral("--fast"), stereo}
                                        << QStringLiteral("unknown option --fast");
        QTest::newRow("--out without folder") << QStringList{stereo, QStringLiteral("--out")}
                                              << QStringLiteral("--out needs a value");
        QTest::newRow("speed too high")
            << QStringList{QStringLiteral("--speed"), QStringLiteral("501"), stereo}
            << QStringLiteral("from 20 to 500");
        QTest::newRow("speed too low") << QStringList{QStringLiteral("--speed=19"), stereo}
                                       << QStringLiteral("from 20 to 500");
        QTest::newRow("speed not a number")
            << QStringList{QStringLiteral("--speed"), QStringLiteral("fast"), stereo}
            << QStringLiteral("--speed fast is not valid");
        QTest::newRow("bitrate not in the table")
            << QStringList{QStringLiteral("--bitrate"), QStringLiteral("100"), stereo}
            << QStringLiteral("one of 8, 16");
        QTest::newRow("rate not in the table")
            << QStringList{QStringLiteral("--rate"), QStringLiteral("44000"), stereo}
            << QStringLiteral("auto or one of 8000");
        QTest::newRow("unknown channels")
            << QStringList{QStringLiteral("--channels"), QStringLiteral("quad"), stereo}
            << QStringLiteral("auto, mono, stereo, joint or dual");
        QTest::newRow("unknown mode")
            << QStringList{QStringLiteral("--mode"), QStringLiteral("pitch"), stereo}
            << QStringLiteral("tempo or resample");
        QTest::newRow("two destinations")
            << QStringList{QStringLiteral("--out"), QStringLiteral("x"),
                           QStringLiteral("--same-as-source"), stereo}
            << QStringLiteral("exclude each other");
        QTest::newRow("no pipeline") << QStringList{QStringLiteral("--jobs=0"), stereo}
                                     << QStringLiteral("a number of files from 1 to 64");
        QTest::newRow("jobs not a number")
            << QStringList{QStringLiteral("--jobs"), QStringLiteral("all"), stereo}
            << QStringLiteral("--jobs all is not valid");
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
        for (const char* flag :
             {"--speed", "--mode", "--bitrate", "--rate", "--channels", "--out", "--same-as-source",
              "--recursive", "--list", "--profile", "--stop-on-error", "--jobs"}) {
            QVERIFY2(r.out.contains(QLatin1String(flag)), flag);
        }
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
        const Result r = Run({QStringLiteral("--same-as-source"), src});
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

    void listPrintsTheFileListRows() {
        QTemporaryDir here;
        QVERIFY(QDir().mkpath(here.filePath(QStringLiteral("sub"))));
        QVERIFY(QFile::copy(stereo, here.filePath(QStringLiteral("b.mp3"))));
        QVERIFY(QFile::copy(mono, here.filePath(QStringLiteral("sub/a.mp3"))));
        QVERIFY(WriteNotMp3(here.filePath(QStringLiteral("c.mp3"))));
        QVERIFY(WriteNotMp3(here.filePath(QStringLiteral("notes.txt"))));
        const Result flat = Run({QStringLiteral("--list"), here.path()});
        QCOMPARE(flat.exitCode, 0);
        // The decoder's complaint names the file it is about.
        QVERIFY2(flat.err.contains(here.filePath(QStringLiteral("c.mp3")) +
                                   QStringLiteral(": Trouble with mpg123: ")),
                 qPrintable(flat.err));
        QStringList lines = flat.out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3); // header, b.mp3, c.mp3
        QCOMPARE(lines[0].split(u'\t').size(), 18);
        QVERIFY(lines[0].startsWith(QStringLiteral("Name\tPath\tType\tTag\tArtist")));
        QVERIFY(lines[0].endsWith(QStringLiteral("Duration\tFrequency\tChannel\tBitrate")));
        const QStringList b = lines[1].split(u'\t');
        QCOMPARE(b.size(), 18);
        QCOMPARE(b[0], QStringLiteral("b.mp3"));
        QCOMPARE(b[1], here.path() + u'/');
        QCOMPARE(b[2], QStringLiteral("MP3"));
        QCOMPARE(b[14], QStringLiteral("00:00:02"));
        QCOMPARE(b[15], QStringLiteral("44100 Hz"));
        QCOMPARE(b[16], QStringLiteral("2 (Stereo)"));
        QCOMPARE(lines[2].split(u'\t')[2], QStringLiteral("Unknown"));

        const Result deep = Run({QStringLiteral("--list"), QStringLiteral("-r"), here.path()});
        lines = deep.out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 4); // a folder's own files first, then its subfolders
        QCOMPARE(lines[3].split(u'\t')[0], QStringLiteral("a.mp3"));
        QCOMPARE(lines[3].split(u'\t')[16], QStringLiteral("1 (Mono)"));
    }

    void invalidFilesAreListedAndSkipped() {
        QTemporaryDir here;
        QVERIFY(QFile::copy(stereo, here.filePath(QStringLiteral("good.mp3"))));
        QVERIFY(WriteNotMp3(here.filePath(QStringLiteral("bad.mp3"))));
        QVERIFY(WriteEmptyFile(here.filePath(QStringLiteral("empty.mp3"))));
        const Result r =
            Run({QStringLiteral("--out"), here.filePath(QStringLiteral("out")), here.path()});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.err.contains(here.filePath(QStringLiteral("bad.mp3")) +
                               QStringLiteral(": not a valid MP3 file")));
        QVERIFY(r.err.contains(here.filePath(QStringLiteral("empty.mp3")) +
                               QStringLiteral(": not a valid MP3 file")));
        QCOMPARE(r.out.count(QStringLiteral("Start a new converting task.")), 1);
        QCOMPARE(r.out.count(QStringLiteral("Converting status: OK.")), 1);
        QVERIFY(QFileInfo::exists(here.filePath(QStringLiteral("out/good.mp3"))));
    }

    void flagsReachTheEngine() {
        const QString out = dir.filePath(QStringLiteral("flags"));
        const Result r =
            Run({QStringLiteral("--speed"), QStringLiteral("200"), QStringLiteral("--mode"),
                 QStringLiteral("resample"), QStringLiteral("--bitrate"), QStringLiteral("64"),
                 QStringLiteral("--rate"), QStringLiteral("22050"), QStringLiteral("--channels"),
                 QStringLiteral("mono"), QStringLiteral("--out"), out, stereo});
        QVERIFY2(r.exitCode == 0, qPrintable(r.out + r.err));
        const QString file = out + QStringLiteral("/Ébène – 東京.mp3");
        DecodedAudio decoded;
        QVERIFY(DecodeMp3(file, &decoded));
        QCOMPARE(int(decoded.rate), 22050);
        QCOMPARE(decoded.channels, 1);
        QVERIFY2(qAbs(decoded.seconds() - 1.0) < 0.05,
                 qPrintable(QString::number(decoded.seconds())));
        QVERIFY(qAbs(EstimateFrequencyHz(decoded, 0, 0.1) - 880.0) <
                8.8); // pitch follows in resampling
        QCOMPARE(FirstAudioFrameBitrate(file), 64);
    }

    void tagsTravelThroughTheTool() {
        QTemporaryDir here;
        const QString src = here.filePath(QStringLiteral("tagged.mp3"));
        QVERIFY(QFile::copy(stereo, src));
        QFile::setPermissions(src, QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY(AddTags(src, TagId3v2 | TagApe, ExampleTagTexts()));
        QVERIFY(AddFrontCover(src, TinyPng(), QStringLiteral("image/png")));
        const Result r = Run({QStringLiteral("--out"), here.filePath(QStringLiteral("out")), src});
        QCOMPARE(r.exitCode, 0);
        const ReadBackTags read = ReadTags(here.filePath(QStringLiteral("out/tagged.mp3")));
        QCOMPARE(read.kinds, int(TagId3v2 | TagApe));
        QCOMPARE(read.id3v2, ExampleTagTexts());
        QCOMPARE(read.ape, ExampleTagTexts());
        QCOMPARE(read.pictures.size(), 1);
    }

    void folderOfTwentyFiles() {
        QTemporaryDir here;
        ToneParams tone;
        tone.seconds = 1.5;
        QVERIFY(QDir().mkpath(here.filePath(QStringLiteral("in"))));
        for (int i = 0; i < 20; ++i) {
            tone.frequencyHz = 300 + 20 * i;
            QVERIFY(WriteToneMp3(
                here.filePath(QStringLiteral("in/%1.mp3").arg(i, 2, 10, QLatin1Char('0'))), tone));
        }
        QByteArray before;
        for (int i = 0; i < 20; ++i) {
            QFile f(here.filePath(QStringLiteral("in/%1.mp3").arg(i, 2, 10, QLatin1Char('0'))));
            QVERIFY(f.open(QIODevice::ReadOnly));
            before += f.readAll();
        }
        const Result r = Run({QStringLiteral("--speed"), QStringLiteral("150"),
                              here.filePath(QStringLiteral("in")), QStringLiteral("--out"),
                              here.filePath(QStringLiteral("out"))});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QCOMPARE(r.out.count(QStringLiteral("Converting status: OK.")), 20);
        QVERIFY(r.out.contains(QStringLiteral("Total time elapsed")));
        QCOMPARE(QDir(here.filePath(QStringLiteral("out"))).entryList(QDir::Files).size(), 20);
        QByteArray after;
        for (int i = 0; i < 20; ++i) {
            QFile f(here.filePath(QStringLiteral("in/%1.mp3").arg(i, 2, 10, QLatin1Char('0'))));
            QVERIFY(f.open(QIODevice::ReadOnly));
            after += f.readAll();
        }
        QCOMPARE(after, before); // sources are only read
    }

    // A file that fails costs only itself, unless --stop-on-error; either
    // way the summary on standard error names every file not converted and
    // why. "@" stands for the folder of the row: notes.mp3 is no MP3, and
    // of a.mp3, b.mp3 and c.mp3 only b (40 s) outgrows the 100 KiB limit.
    void failedFilesAreSummarised_data() {
        QTest::addColumn<QStringList>("flags");
        QTest::addColumn<int>("converted");
        QTest::addColumn<QStringList>("summary"); // each line's start
        const QString notes = QStringLiteral("  @/notes.mp3: not a valid MP3 file");
        const QString big = QStringLiteral("  @/b.mp3: Output file write error");
        const QString folder =
            QStringLiteral(".mp3: Fail to create folder @/notes.mp3/sub !: Not a directory");
        QTest::newRow("goes on") << QStringList() << 2
                                 << QStringList{QStringLiteral("2 of 4 files failed:"), notes, big};
        // b fails in its pipeline while a and c convert beside it.
        QTest::newRow("goes on, three at once")
            << QStringList{QStringLiteral("--jobs"), QStringLiteral("3")} << 2
            << QStringList{QStringLiteral("2 of 4 files failed:"), notes, big};
        QTest::newRow("--stop-on-error")
            << QStringList{QStringLiteral("--stop-on-error")} << 1
            << QStringList{QStringLiteral("3 of 4 files failed:"), notes, big,
                           QStringLiteral("  @/c.mp3: not converted: the run stopped")};
        QTest::newRow("output folder cannot be made")
            << QStringList{QStringLiteral("--out"), QStringLiteral("@/notes.mp3/sub")} << 0
            << QStringList{QStringLiteral("4 of 4 files failed:"), notes,
                           QStringLiteral("  @/a") + folder, QStringLiteral("  @/b") + folder,
                           QStringLiteral("  @/c") + folder};
    }

    void failedFilesAreSummarised() {
        QFETCH(QStringList, flags);
        QFETCH(int, converted);
        QFETCH(QStringList, summary);
        QTemporaryDir here;
        QVERIFY(WriteNotMp3(here.filePath(QStringLiteral("notes.mp3"))));
        QVERIFY(QFile::copy(stereo, here.filePath(QStringLiteral("a.mp3"))));
        QVERIFY(QFile::copy(longSource, here.filePath(QStringLiteral("b.mp3"))));
        QVERIFY(QFile::copy(mono, here.filePath(QStringLiteral("c.mp3"))));
        QStringList args = QStringList{QStringLiteral("--out"), QStringLiteral("@/out")} + flags +
                           QStringList{QStringLiteral("@/notes.mp3"), QStringLiteral("@/a.mp3"),
                                       QStringLiteral("@/b.mp3"), QStringLiteral("@/c.mp3")};
        summary.replaceInStrings(QStringLiteral("@"), here.path());
        const Result r = Run(args.replaceInStrings(QStringLiteral("@"), here.path()),
                             QStringLiteral("ulimit -f 100 && exec \"$0\" \"$@\""));
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(CountLines(r.out, QStringLiteral("Converting status: OK.")), converted);
        QCOMPARE(r.out.contains(QStringLiteral("Finished converting")),
                 !flags.contains(u"--stop-on-error"));
        const QStringList err = r.err.split(u'\n');
        const qsizetype at = err.indexOf(summary[0]);
        QVERIFY2(at >= 0 && at + summary.size() == err.size() - 1, qPrintable(r.err));
        for (qsizetype i = 1; i < summary.size(); ++i) {
            QVERIFY2(err[at + i].startsWith(summary[i]), qPrintable(err[at + i]));
        }
        // The engine's line stays as the window shows it; why follows it.
        QCOMPARE(r.out.count(QStringLiteral("\nERROR: Fail to create folder %1/notes.mp3/sub !: "
                                            "Not a directory\n")
                                 .arg(here.path())),
                 converted == 0 ? 3 : 0);
        // Nothing of the failed files is left, not even a temporary.
        QCOMPARE(QDir(here.filePath(QStringLiteral("out")))
                     .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                     .size(),
                 converted);
    }

    // A night's batch from the wild: damaged files convert whole with a
    // warning each; a file that vanishes is named at the end, the rest done.
    void batchOfThirtyGoesOn_data() {
        QTest::addColumn<bool>("deleteNinth");
        QTest::newRow("all present") << false;
        QTest::newRow("file 9 deleted during the run") << true;
    }

    void batchOfThirtyGoesOn() {
        QFETCH(bool, deleteNinth);
        QTemporaryDir here;
        const QString in = here.filePath(QStringLiteral("in"));
        QVERIFY(QDir().mkpath(in));
        auto name = [&](int i) {
            return in + QStringLiteral("/%1.mp3").arg(i, 2, 10, QLatin1Char('0'));
        };
        ToneParams tone;
        tone.seconds = 1;
        QVERIFY(QFile::copy(longSource, name(1))); // keeps the run busy while file 9 goes
        for (int i = 2; i <= 30; ++i) {
            tone.frequencyHz = 200 + 20 * i;
            QVERIFY(WriteToneMp3(name(i), tone));
        }
        auto damage = [](const QString& path, const std::function<void(QByteArray&)>& how) {
            QFile f(path);
            QByteArray bytes = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
            f.close();
            how(bytes);
            return f.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                   f.write(bytes) == bytes.size();
        };
        QVERIFY(
            damage(name(7), [](QByteArray& b) { b.insert(b.size() / 2, QByteArray(20480, 'Z')); }));
        QVERIFY(damage(name(12), [](QByteArray& b) { b.chop(150); }));
        QVERIFY(damage(name(20), [](QByteArray& b) { b += QByteArray(2048, 'x'); }));

        QProcess p;
        Start(p, {QStringLiteral("--jobs"), QStringLiteral("1"), QStringLiteral("--speed"),
                  QStringLiteral("60"), QStringLiteral("--out"),
                  here.filePath(QStringLiteral("out")), in});
        QByteArray out;
        if (deleteNinth) {
            QVERIFY(QTest::qWaitFor(
                [&] {
                    out += p.readAllStandardOutput();
                    return out.contains("Start a new converting task.");
                },
                60000));
            QVERIFY(QFile::remove(name(9)));
        }
        QVERIFY(p.waitForFinished(120000));
        out += p.readAllStandardOutput();
        const QString err = QString::fromLocal8Bit(p.readAllStandardError());
        QCOMPARE(p.exitCode(), deleteNinth ? 1 : 0);
        QCOMPARE(QString::fromLocal8Bit(out).count(QStringLiteral("WARNING: Damaged data skipped")),
                 3);
        if (deleteNinth) {
            QVERIFY2(err.contains(QStringLiteral("1 of 30 files failed:\n  %1: File Error: No such "
                                                 "file or directory")
                                      .arg(name(9))),
                     qPrintable(err));
        }
        const QStringList outputs =
            QDir(here.filePath(QStringLiteral("out")))
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        QCOMPARE(outputs.size(), deleteNinth ? 29 : 30);
        for (const QString& output : outputs) {
            DecodedAudio decoded;
            QVERIFY(DecodeMp3(here.filePath(QStringLiteral("out/") + output), &decoded));
            const double expected = (output == u"01.mp3" ? 40.0 : 1.0) / 0.6;
            // Within one MPEG frame; the garbage costs file 7 up to two more.
            const double slack = (output == u"07.mp3" ? 3 : 1) * 1152.0 / 44100;
            QVERIFY2(qAbs(decoded.seconds() - expected) <= slack,
                     qPrintable(QStringLiteral("%1: %2 s").arg(output).arg(decoded.seconds())));
        }
    }

    // The name of a file or folder need not be UTF-8; such a name cannot be
    // opened from its decoded text, so it is named (invalid bytes as \xHH)
    // and counted, whether a folder scan or the command line brought it.
    void namesThatAreNotUtf8() {
        QTemporaryDir here;
        const QByteArray in = QFile::encodeName(here.filePath(QStringLiteral("in")));
        QVERIFY(QDir().mkpath(here.filePath(QStringLiteral("in"))));
        // QTemporaryDir cannot remove what it cannot name.
        const auto cleanup = qScopeGuard([&] {
            ::unlink((in + "/bad\xff.mp3").constData());
            ::rmdir((in + "/sub\xfe").constData());
        });
        QCOMPARE(::mkdir((in + "/sub\xfe").constData(), 0700), 0);
        QVERIFY(QFile::copy(stereo, here.filePath(QStringLiteral("in/good.mp3"))));
        QVERIFY(QFile::copy(stereo, here.filePath(QStringLiteral("in/x.mp3"))));
        QCOMPARE(::rename((in + "/x.mp3").constData(), (in + "/bad\xff.mp3").constData()), 0);
        const Result r = Run({here.filePath(QStringLiteral("out")), QString::fromLocal8Bit(in)},
                             QStringLiteral("exec \"$0\" -r --out \"$1\" \"$2\" "
                                            "\"$2\"/bad$'\\xff'.mp3"));
        QCOMPARE(r.exitCode, 1);
        const QString prefix = QStringLiteral("zorvane-convert: ") + QString::fromLocal8Bit(in);
        QCOMPARE(CountLines(r.err, prefix + QStringLiteral("/bad\\xff.mp3: the name is not valid "
                                                           "UTF-8; rename it to convert it")),
                 2);
        QCOMPARE(CountLines(r.err, prefix + QStringLiteral("/sub\\xfe: the folder name is not "
                                                           "valid UTF-8; rename it to convert the "
                                                           "files in it")),
                 1);
        QCOMPARE(CountLines(r.err, QStringLiteral("3 of 4 files failed:")), 1);
        QCOMPARE(CountLines(r.out, QStringLiteral("Converting status: OK.")), 1);
    }

    // Opening a FIFO blocks until a writer comes, and a device never ends:
    // neither may stop the run, however it reaches the tool. "@" stands for
    // the folder of the row, where good.mp3 and the FIFO x.mp3 lie, and in/
    // holds good.mp3, the FIFO x.mp3, y.mp3 (a link to it), the socket s.mp3
    // and z.mp3 (a link to ../good.mp3, which is fine).
    void nonRegularInputs_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("fifoConfig");
        QTest::addColumn<QStringList>("named");
        QTest::addColumn<int>("converted");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("FIFO named .mp3 as argument")
            << QStringList{QStringLiteral("@/x.mp3"), QStringLiteral("@/good.mp3")} << false
            << QStringList{QStringLiteral("@/x.mp3")} << 1 << 1;
        QTest::newRow("folder with FIFO, link to it and socket")
            << QStringList{QStringLiteral("@/in")} << false
            << QStringList{QStringLiteral("@/in/s.mp3"), QStringLiteral("@/in/x.mp3"),
                           QStringLiteral("@/in/y.mp3")}
            << 2 << 1;
        QTest::newRow("device as argument")
            << QStringList{QStringLiteral("/dev/zero"), QStringLiteral("@/good.mp3")} << false
            << QStringList{QStringLiteral("/dev/zero")} << 1 << 1;
        // The defaults stand in for settings that cannot be read.
        QTest::newRow("FIFO as Config.ini")
            << QStringList{QStringLiteral("@/good.mp3")} << true
            << QStringList{configHome + QStringLiteral("/Zorvane/Config.ini")} << 1 << 0;
    }

    void nonRegularInputs() {
        QFETCH(QStringList, args);
        QFETCH(bool, fifoConfig);
        QFETCH(QStringList, named);
        QFETCH(int, converted);
        QFETCH(int, exitCode);
        QTemporaryDir here;
        QVERIFY(QDir().mkpath(here.filePath(QStringLiteral("in"))));
        QVERIFY(QFile::copy(stereo, here.filePath(QStringLiteral("good.mp3"))));
        QVERIFY(QFile::copy(stereo, here.filePath(QStringLiteral("in/good.mp3"))));
        QVERIFY(MakeFifo(here.filePath(QStringLiteral("x.mp3"))));
        QVERIFY(MakeFifo(here.filePath(QStringLiteral("in/x.mp3"))));
        QVERIFY(QFile::link(QStringLiteral("x.mp3"), here.filePath(QStringLiteral("in/y.mp3"))));
        QVERIFY(MakeSocket(here.filePath(QStringLiteral("in/s.mp3"))));
        QVERIFY(
            QFile::link(QStringLiteral("../good.mp3"), here.filePath(QStringLiteral("in/z.mp3"))));
        if (fifoConfig) {
            QVERIFY(QDir().mkpath(configHome + QStringLiteral("/Zorvane")));
            QVERIFY(MakeFifo(configHome + QStringLiteral("/Zorvane/Config.ini")));
        }
        for (QString& arg : args) {
            arg.replace(u'@', here.path());
        }
        const Result r =
            Run(QStringList{QStringLiteral("--out"), here.filePath(QStringLiteral("out"))} + args);
        QVERIFY2(r.exitCode == exitCode, qPrintable(r.err));
        QCOMPARE(CountLines(r.out, QStringLiteral("Converting status: OK.")), converted);
        for (QString path : named) {
            path.replace(u'@', here.path());
            QVERIFY2(r.err.contains(path + QStringLiteral(": not a regular file")),
                     qPrintable(r.err));
        }
    }

    // `| head -1`, with head gone before the tool's first line: the tool must
    // neither die of SIGPIPE nor give up the files.
    void closedStandardOutput() {
        QTemporaryDir here;
        const QString out = here.filePath(QStringLiteral("out"));
        // The loop writes until head has taken its line and exited, so the
        // tool meets a pipe without a reader whatever the scheduler does.
        const Result r = Run({QStringLiteral("--speed"), QStringLiteral("200"),
                              QStringLiteral("--out"), out, stereo, mono, stereo},
                             QStringLiteral("{ trap '' PIPE; while echo waiting; do :; done "
                                            "2>/dev/null; trap - PIPE; exec \"$0\" \"$@\"; } "
                                            "| head -n 1; exit \"${PIPESTATUS[0]}\""));
        QVERIFY2(r.exitCode == 1, qPrintable(QString::number(r.exitCode) + r.err)); // 141: SIGPIPE
        QCOMPARE(r.out, QStringLiteral("waiting\n"));
        QCOMPARE(r.err.count(QStringLiteral("cannot write to standard output: Broken pipe")), 1);
        const QStringList outputs = QDir(out).entryList(QDir::Files);
        QCOMPARE(outputs.size(), 3);
        for (const QString& name : outputs) {
            DecodedAudio decoded;
            QVERIFY(DecodeMp3(out + u'/' + name, &decoded));
            QVERIFY2(qAbs(decoded.seconds() - 1.0) < 0.05,
                     qPrintable(name + u' ' + QString::number(decoded.seconds())));
        }
    }

    // Whatever signal comes (a closed terminal, Ctrl+C, kill), the run ends as
    // a failure that the tool itself reports, never as a death by signal. A
    // Ctrl+C while that stop is under way ends the tool at once, without a
    // status line and without an incomplete output under a final name; held
    // stopped while both arrive, the tool takes them in a fixed order
    // (hang-up first) whatever the scheduler does.
    void signalsEndTheRunCleanly_data() {
        QTest::addColumn<QList<int>>("signalNumbers");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("hang-up") << QList<int>{SIGHUP} << 1;
        QTest::newRow("interrupt") << QList<int>{SIGINT} << 1;
        QTest::newRow("terminate") << QList<int>{SIGTERM} << 1;
        QTest::newRow("second Ctrl+C") << QList<int>{SIGSTOP, SIGHUP, SIGINT, SIGCONT} << 130;
    }

    void signalsEndTheRunCleanly() {
        QFETCH(QList<int>, signalNumbers);
        QFETCH(int, exitCode);
        QTemporaryDir here;
        QProcess p;
        Start(p, {QStringLiteral("--jobs"), QStringLiteral("1"), QStringLiteral("--speed"),
                  QStringLiteral("60"), QStringLiteral("--out"),
                  here.filePath(QStringLiteral("out")), longSource, longSource, longSource});
        QByteArray out;
        QVERIFY(QTest::qWaitFor(
            [&] {
                out += p.readAllStandardOutput();
                return out.contains("Start a new converting task.");
            },
            60000));
        for (int signalNumber : signalNumbers) {
            QCOMPARE(::kill(pid_t(p.processId()), signalNumber), 0);
        }
        if (!p.waitForFinished(120000)) {
            p.kill();
            p.waitForFinished();
            QFAIL("the tool hung");
        }
        out += p.readAllStandardOutput();
        const QString text = QString::fromLocal8Bit(out);
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), exitCode);
        QVERIFY2(text.contains(QStringLiteral("ERROR: Converting status: ERROR.")) ==
                     (exitCode == 1),
                 qPrintable(text));
        QVERIFY(!text.contains(QStringLiteral("Finished converting")));
        // The file that was cut short is gone, after a clean stop with its
        // temporary name.
        const auto hidden = exitCode == 1 ? QDir::Hidden : QDir::Filters();
        QCOMPARE(QDir(here.filePath(QStringLiteral("out")))
                     .entryList(QDir::AllEntries | hidden | QDir::NoDotAndDotDot)
                     .size(),
                 CountLines(text, QStringLiteral("Converting status: OK.")));
    }

    // Several files at once write what one at a time writes, and each
    // file's lines stay together: Start, Source, Destination, ..., status.
    void jobsWriteWhatOneJobWrites_data() {
        QTest::addColumn<int>("jobs");
        QTest::newRow("two at once") << 2;
        QTest::newRow("four at once") << 4;
    }

    void jobsWriteWhatOneJobWrites() {
        QFETCH(int, jobs);
        QTemporaryDir here;
        const QString in = here.filePath(QStringLiteral("in"));
        QVERIFY(QDir().mkpath(in));
        ToneParams tone;
        for (int i = 0; i < 6; ++i) {
            tone.seconds = 0.5 + 0.4 * i;
            tone.frequencyHz = 300 + 90 * i;
            tone.channels = i == 3 ? 1 : 2;
            QVERIFY(WriteToneMp3(in + QStringLiteral("/%1.mp3").arg(i), tone));
        }
        const QStringList common{QStringLiteral("--speed"), QStringLiteral("130"),
                                 QStringLiteral("--channels"), QStringLiteral("auto"), in};
        const Result one = Run(QStringList{QStringLiteral("--jobs=1"), QStringLiteral("--out"),
                                           here.filePath(QStringLiteral("one"))} +
                               common);
        QVERIFY2(one.exitCode == 0, qPrintable(one.err));
        const Result many =
            Run(QStringList{QStringLiteral("--jobs=%1").arg(jobs), QStringLiteral("--out"),
                            here.filePath(QStringLiteral("many"))} +
                common);
        QVERIFY2(many.exitCode == 0, qPrintable(many.err));
        QCOMPARE(CountLines(many.out, QStringLiteral("Finished converting, all done ^_^")), 1);
        QCOMPARE(CountLines(many.out, QStringLiteral("Converting status: OK.")), 6);
        QStringList blocks = many.out.split(QString(99, u'-') + u'\n', Qt::SkipEmptyParts);
        QVERIFY(blocks.size() == 7 && blocks.last().startsWith(QStringLiteral("Total time")));
        blocks.removeLast();
        QStringList sources;
        for (const QString& block : blocks) {
            const QStringList lines = block.split(u'\n', Qt::SkipEmptyParts);
            QVERIFY2(lines.size() == 5 && lines[0] == u"Start a new converting task." &&
                         lines[1].startsWith(QStringLiteral("Source:  ")) &&
                         lines[2].startsWith(QStringLiteral("Destination: ")) &&
                         lines[3].startsWith(QStringLiteral("Time elapsed")) &&
                         lines[4] == u"Converting status: OK.",
                     qPrintable(block));
            sources << lines[1];
        }
        sources.removeDuplicates();
        QCOMPARE(sources.size(), 6);
        for (int i = 0; i < 6; ++i) {
            DecodedAudio a;
            DecodedAudio b;
            QVERIFY(DecodeMp3(here.filePath(QStringLiteral("one/%1.mp3").arg(i)), &a));
            QVERIFY(DecodeMp3(here.filePath(QStringLiteral("many/%1.mp3").arg(i)), &b));
            QCOMPARE(b.channels, a.channels);
            QVERIFY2(a.samples == b.samples, qPrintable(QString::number(i)));
        }
    }

    // Ctrl+C stops every pipeline: the files under way end as errors and
    // leave nothing, not even a temporary; the files never started are
    // named; what had finished stays whole.
    void interruptStopsEveryPipeline_data() {
        QTest::addColumn<int>("jobs");
        QTest::newRow("two at once") << 2;
        QTest::newRow("four at once") << 4;
    }

    void interruptStopsEveryPipeline() {
        QFETCH(int, jobs);
        QTemporaryDir here;
        const QString out = here.filePath(QStringLiteral("out"));
        QStringList args{QStringLiteral("--jobs"),  QString::number(jobs),
                         QStringLiteral("--speed"), QStringLiteral("60"),
                         QStringLiteral("--out"),   out};
        for (int i = 0; i < 5; ++i) {
            const QString source = here.filePath(QStringLiteral("%1.mp3").arg(i));
            QVERIFY(QFile::copy(longSource, source));
            args << source;
        }
        QProcess p;
        Start(p, args);
        const auto entries = [&] {
            return QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        };
        QVERIFY(QTest::qWaitFor(
            [&] { return entries().filter(QStringLiteral(".part")).size() >= jobs; }, 60000));
        QCOMPARE(::kill(pid_t(p.processId()), SIGINT), 0);
        QVERIFY(p.waitForFinished(60000));
        const QString text = QString::fromLocal8Bit(p.readAllStandardOutput());
        const QString err = QString::fromLocal8Bit(p.readAllStandardError());
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 1);
        QVERIFY(!text.contains(QStringLiteral("Finished converting")));
        const qsizetype converted = CountLines(text, QStringLiteral("Converting status: OK."));
        QVERIFY2(CountLines(text, QStringLiteral("ERROR: Converting status: ERROR.")) >= 1,
                 qPrintable(text));
        QVERIFY2(err.contains(QStringLiteral("%1 of 5 files failed:").arg(5 - converted)),
                 qPrintable(err));
        QCOMPARE(err.count(QStringLiteral("not converted: the run was interrupted")),
                 5 - CountLines(text, QStringLiteral("Start a new converting task.")));
        const QStringList left = entries();
        QCOMPARE(left.size(), converted);
        for (const QString& name : left) {
            DecodedAudio decoded;
            QVERIFY(DecodeMp3(out + u'/' + name, &decoded));
            QVERIFY2(qAbs(decoded.seconds() - 40.0 / 0.6) <= 1152.0 / 44100, qPrintable(name));
        }
    }

    // Files converted at the same time may want the same name: song.MP3 and
    // song.mp3 both make song.mp3, and so does a song.mp3 of another folder.
    // Each gets a name of its own, and none overwrites another.
    void sourcesWithOneOutputNameGetNamesOfTheirOwn() {
        QTemporaryDir here;
        const QStringList sources{here.filePath(QStringLiteral("a/song.MP3")),
                                  here.filePath(QStringLiteral("a/song.mp3")),
                                  here.filePath(QStringLiteral("b/song.mp3"))};
        ToneParams tone;
        tone.seconds = 3;
        for (int i = 0; i < 3; ++i) {
            QVERIFY(QDir().mkpath(QFileInfo(sources[i]).path()));
            tone.frequencyHz = 400 + 200 * i;
            QVERIFY(WriteToneMp3(sources[i], tone));
        }
        const QString out = here.filePath(QStringLiteral("out"));
        const Result r = Run(QStringList{QStringLiteral("--jobs"), QStringLiteral("3"),
                                         QStringLiteral("--speed"), QStringLiteral("100"),
                                         QStringLiteral("--out"), out} +
                             sources);
        QVERIFY2(r.exitCode == 0, qPrintable(r.out + r.err));
        QStringList names =
            QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        names.sort();
        QCOMPARE(names, (QStringList{QStringLiteral("song (2).mp3"), QStringLiteral("song (3).mp3"),
                                     QStringLiteral("song.mp3")}));
        QList<int> heard;
        for (const QString& name : names) {
            DecodedAudio decoded;
            QVERIFY(DecodeMp3(out + u'/' + name, &decoded));
            heard << int(std::lround(EstimateFrequencyHz(decoded, 0) / 200.0)) * 200;
        }
        std::sort(heard.begin(), heard.end());
        QCOMPARE(heard, (QList<int>{400, 600, 800}));
    }

    // A line break in a name must not start a line of its own that reads
    // like one of the tool's.
    void controlCharactersInNamesAreEscaped() {
        QTemporaryDir here;
        const QString forged = QStringLiteral("\nConverting status: OK.\n.mp3");
        QVERIFY(QDir().mkpath(here.filePath(QStringLiteral("in"))));
        QVERIFY(QFile::copy(stereo, here.filePath(QStringLiteral("in/fake") + forged)));
        QVERIFY(WriteNotMp3(here.filePath(QStringLiteral("in/bad") + forged)));
        const QString missing = here.filePath(QStringLiteral("gone") + forged);
        const Result r = Run({QStringLiteral("--out"), here.filePath(QStringLiteral("out")),
                              here.filePath(QStringLiteral("in")), missing});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(CountLines(r.out, QStringLiteral("Converting status: OK.")), 1);
        QCOMPARE(CountLines(r.err, QStringLiteral("Converting status: OK.")), 0);
        const QString shown = QStringLiteral("\\nConverting status: OK.\\n.mp3");
        QVERIFY2(r.err.contains(here.filePath(QStringLiteral("in/bad")) + shown +
                                QStringLiteral(": not a valid MP3 file")),
                 qPrintable(r.err));
        QVERIFY2(r.err.contains(here.filePath(QStringLiteral("gone")) + shown +
                                QStringLiteral(": no such file")),
                 qPrintable(r.err));

        // On a terminal the live progress line names the file too.
        const Result tty = Run({QStringLiteral("--out"), here.filePath(QStringLiteral("tty")),
                                here.filePath(QStringLiteral("in"))},
                               QStringLiteral("SHELL=/bin/bash script -qec "
                                              "\"$(printf '%q ' \"$0\" \"$@\")\" /dev/null"));
        QVERIFY2(tty.out.contains(QStringLiteral("] fake\\nConverting status: OK.\\n")),
                 qPrintable(tty.out));

        const Result list = Run({QStringLiteral("--list"), here.filePath(QStringLiteral("in"))});
        const QStringList lines = list.out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3); // header, bad, fake
        QCOMPARE(lines[2].split(u'\t')[0], QStringLiteral("fake") + shown);
        QCOMPARE(lines[2].split(u'\t')[1], here.filePath(QStringLiteral("in")) + u'/');
    }

    // A cover too large to carry over is left out with a warning; the file
    // itself converts, so nothing is marked as an error.
    void warningsAreNoErrors() {
        QTemporaryDir here;
        const QString src = here.filePath(QStringLiteral("big cover.mp3"));
        QVERIFY(QFile::copy(stereo, src));
        QFile::setPermissions(src, QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY(AddFrontCover(src, QByteArray(17 * 1024 * 1024, 'x'), QStringLiteral("image/png")));
        const Result r = Run({QStringLiteral("--out"), here.filePath(QStringLiteral("out")), src});
        QVERIFY2(r.exitCode == 0, qPrintable(r.out + r.err));
        const QStringList lines = r.out.split(u'\n');
        QVERIFY2(lines.filter(QRegularExpression(QStringLiteral("^WARNING: .*APIC"))).size() == 1,
                 qPrintable(r.out));
        QVERIFY2(lines.filter(QRegularExpression(QStringLiteral("^ERROR: "))).isEmpty(),
                 qPrintable(r.out));
        QCOMPARE(CountLines(r.out, QStringLiteral("Converting status: OK.")), 1);
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
