// Every frame and item of the source reaches the output, with chapter, lyric
// and event times and the length moved by the speed change. Sources are
// tagged and outputs read back with mutagen (tag_transfer.py beside this
// file), which shares no code with TagLib or the program.

#include "EngineHarness.h"
#include "Mp3Fixtures.h"
#include "TagFixtures.h"

#include "engine/TaskRules.h"
#include "filelist/InfoReader.h"
#include "platform/MessageSink.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <map>

using namespace zorvane;
using namespace zorvane::testing;

namespace {

constexpr double kSeconds = 3.0;
constexpr double kMsPerMpegFrame = 1152.0 * 1000.0 / 44100.0; // also the tolerance
constexpr qint64 kUnusedOffset = 0xFFFFFFFFll;

class IgnoringSink final : public MessageSink {
public:
    void ShowError(const QString&) override {}
    void ShowMessage(const QString&) override {}
};

QString HelperScript() {
    return QStringLiteral(ZORVANE_TEST_SOURCE_DIR "/tag_transfer.py");
}

// The Python that has mutagen: Debian's package serves the system's python3,
// which another python3 on PATH may hide.
QString FindPython() {
    for (const QString& python : {QStringLiteral("python3"), QStringLiteral("/usr/bin/python3")}) {
        QProcess process;
        process.start(python, {HelperScript(), QStringLiteral("check")});
        if (process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit &&
            process.exitCode() == 0) {
            return python;
        }
    }
    return QString();
}

bool RunHelper(const QString& python, const QStringList& arguments, QByteArray* output = nullptr) {
    QProcess process;
    process.start(python, QStringList{HelperScript()} + arguments);
    const bool ok = process.waitForFinished(60000) &&
                    process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!ok) {
        qWarning("%s", process.readAllStandardError().constData());
    }
    if (output) {
        *output = process.readAllStandardOutput();
    }
    return ok;
}

double Scaled(double sourceMs, int speed) {
    return sourceMs * 100.0 / speed;
}

bool Near(double actual, double expected) {
    return std::abs(actual - expected) <= kMsPerMpegFrame;
}

// [text or type, time] pairs of SYLT and ETCO, times in milliseconds.
QString CompareTimed(const QJsonArray& source, int sourceFormat, const QJsonArray& output,
                     int speed, int textAt) {
    if (source.size() != output.size()) {
        return QStringLiteral("%1 entries instead of %2").arg(output.size()).arg(source.size());
    }
    for (qsizetype i = 0; i < source.size(); ++i) {
        const QJsonArray in = source[i].toArray();
        const QJsonArray out = output[i].toArray();
        const double sourceMs =
            in[1 - textAt].toDouble() * (sourceFormat == 1 ? kMsPerMpegFrame : 1.0);
        if (out[textAt] != in[textAt] ||
            !Near(out[1 - textAt].toDouble(), Scaled(sourceMs, speed))) {
            return QStringLiteral("entry %1 is %2 at %3 ms, expected %4 at %5 ms")
                .arg(i)
                .arg(out[textAt].toVariant().toString())
                .arg(out[1 - textAt].toDouble())
                .arg(in[textAt].toVariant().toString())
                .arg(Scaled(sourceMs, speed));
        }
    }
    return QString();
}

} // namespace

class TestTagTransfer : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QTemporaryDir home;
    EngineContext ctx;
    QString python;
    std::map<int, QString> sources; // by ID3v2 version; 0: APE behind Lyrics3v2
    int outputs = 0;

    QJsonObject Dump(const QString& path) {
        QByteArray json;
        if (!RunHelper(python, {QStringLiteral("dump"), path}, &json)) {
            return QJsonObject();
        }
        return QJsonDocument::fromJson(json).object();
    }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid() && home.isValid());
        qputenv("HOME", QFile::encodeName(home.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral("config"))));
        QVERIFY(ctx.IsValid());
        python = FindPython();
        if (python.isEmpty()) {
            QSKIP("python3 with mutagen (python3-mutagen) is not installed");
        }
        const QString audio = dir.filePath(QStringLiteral("audio.mp3"));
        ToneParams tone;
        tone.seconds = kSeconds;
        QVERIFY(WriteToneMp3(audio, tone));
        for (int version : {0, 2, 3, 4}) {
            sources[version] = dir.filePath(QStringLiteral("source%1.mp3").arg(version));
            QVERIFY(RunHelper(python, {QStringLiteral("make"), audio, sources[version],
                                       QString::number(version), QString::number(kSeconds)}));
        }
    }

    void everyTagKeptAndTimesRescaled_data() {
        QTest::addColumn<int>("version");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("speed");
        for (int version : {4, 3}) {
            for (int mode : {int(SpeedModeTempo), int(SpeedModeResample)}) {
                for (int speed : {50, 150, 300}) {
                    QTest::addRow("ID3v2.%d %s %d %%", version,
                                  mode == SpeedModeTempo ? "tempo" : "resampling", speed)
                        << version << mode << speed;
                }
            }
        }
        QTest::newRow("ID3v2.2 becomes 2.3") << 2 << int(SpeedModeTempo) << 150;
        QTest::newRow("APE behind Lyrics3v2") << 0 << int(SpeedModeResample) << 50;
    }

    void everyTagKeptAndTimesRescaled() {
        QFETCH(int, version);
        QFETCH(int, mode);
        QFETCH(int, speed);
        const QString source = sources[version];
        // Through the file list, as the program does it.
        IgnoringSink sink;
        InfoReader reader(sink);
        InfoRowCells row;
        reader.ReadStreamAndTags(source, row);
        const bool ape = version != 2; // the 2.2 source has only its ID3v2 tag
        QCOMPARE(row.info.tagFlags & TagBitApe, ape ? TagBitApe : 0);
        ConversionSettings settings;
        settings.speedMode = int16_t(mode);
        settings.speedPercent = int16_t(speed);
        settings.sameAsSource = 1;
        CConversionTask task =
            BuildTask(row.info, dir.path() + u'/', QFileInfo(source).fileName(), settings);
        task.destinationPath = dir.filePath(QStringLiteral("out%1.mp3").arg(++outputs));
        const QString out = task.destinationPath;
        ConversionState state;
        state.settings = settings;
        state.tasks.push_back(task);
        RecordingReceiver receiver;
        QVERIFY(RunToEnd(ctx, state, receiver));
        QVERIFY2(receiver.ErrorTexts().isEmpty(), qPrintable(receiver.ErrorTexts().join(u'|')));

        const QJsonObject before = Dump(source);
        const QJsonObject after = Dump(out);
        QVERIFY(!before.isEmpty() && !after.isEmpty());

        // APE: every item but MP3Gain's, all values of each.
        const QJsonObject apeBefore = before[u"ape"].toObject();
        const QJsonObject apeAfter = after[u"ape"].toObject();
        QVERIFY(apeBefore.size() > 9 || !ape);
        for (auto it = apeBefore.begin(); it != apeBefore.end(); ++it) {
            if (it.key().startsWith(u"MP3GAIN_")) {
                QVERIFY2(!apeAfter.contains(it.key()), qPrintable(it.key()));
            } else {
                QVERIFY2(apeAfter[it.key()] == it.value(), qPrintable(it.key()));
            }
        }
        if (version == 0) {
            return; // no ID3v2 tag to compare
        }

        QCOMPARE(after[u"version"].toInt(), version == 4 ? 4 : 3);
        QStringList nine = {QStringLiteral("TPE1"), QStringLiteral("TPE2"), QStringLiteral("TALB"),
                            QStringLiteral("TRCK"), QStringLiteral("TIT2"), QStringLiteral("TCON"),
                            QStringLiteral("TDRC"), QStringLiteral("COMM"), QStringLiteral("TENC")};
        if (version != 4) {
            nine[6] = QStringLiteral("TYER");
            if (version == 3) {
                nine.insert(7, QStringLiteral("TDAT")); // the source's date has a day
            }
        }
        QCOMPARE(ReadTags(out).id3v2FrameOrder.mid(0, nine.size()), nine);

        const QJsonObject framesBefore = before[u"frames"].toObject();
        const QJsonObject framesAfter = after[u"frames"].toObject();
        DecodedAudio decoded;
        QVERIFY(DecodeMp3(out, &decoded));
        for (auto it = framesBefore.begin(); it != framesBefore.end(); ++it) {
            const QString& key = it.key();
            const QJsonObject in = it.value().toObject();
            const QJsonObject outFrame = framesAfter[key].toObject();
            if (key == u"MLLT") {
                QVERIFY(!framesAfter.contains(key));
            } else if (key.startsWith(u"COMM:") && in[u"desc"].toString().isEmpty()) {
                // Written anew from the list's text, in TagLib's own language.
                QVERIFY(framesAfter.contains(u"COMM::XXX"));
                QCOMPARE(framesAfter[u"COMM::XXX"].toObject()[u"text"], in[u"text"]);
            } else if (key == u"TLEN") {
                QVERIFY2(Near(outFrame[u"text"][0].toString().toDouble(), decoded.seconds() * 1000),
                         qPrintable(outFrame[u"text"][0].toString()));
            } else if (key.startsWith(u"CHAP:")) {
                QVERIFY2(Near(outFrame[u"start_time"].toDouble(),
                              Scaled(in[u"start_time"].toDouble(), speed)),
                         qPrintable(key));
                QVERIFY2(Near(outFrame[u"end_time"].toDouble(),
                              Scaled(in[u"end_time"].toDouble(), speed)),
                         qPrintable(key));
                QCOMPARE(outFrame[u"start_offset"].toInteger(), kUnusedOffset);
                QCOMPARE(outFrame[u"end_offset"].toInteger(), kUnusedOffset);
                QCOMPARE(outFrame[u"sub_frames"], in[u"sub_frames"]);
            } else if (key.startsWith(u"SYLT:")) {
                QCOMPARE(outFrame[u"format"].toInt(), 2); // milliseconds
                const QString error = CompareTimed(in[u"text"].toArray(), in[u"format"].toInt(),
                                                   outFrame[u"text"].toArray(), speed, 0);
                QVERIFY2(error.isEmpty(), qPrintable(key + QStringLiteral(": ") + error));
            } else if (key == u"ETCO") {
                const QString error = CompareTimed(in[u"events"].toArray(), in[u"format"].toInt(),
                                                   outFrame[u"events"].toArray(), speed, 0);
                QVERIFY2(error.isEmpty(), qPrintable(key + QStringLiteral(": ") + error));
            } else {
                QVERIFY2(framesAfter[key] == it.value(),
                         qPrintable(key + QStringLiteral(": ") +
                                    QString::fromUtf8(
                                        QJsonDocument(outFrame).toJson(QJsonDocument::Compact))));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestTagTransfer)
#include "tst_tag_transfer.moc"
