// Speed change through the SoX chain, checked by decoding the outputs
// independently: frequency, length, rate and channels.

#include "AudioAnalysis.h"
#include "EngineHarness.h"
#include "Mp3Fixtures.h"

#include "engine/ConversionRun.h"
#include "engine/TaskRules.h"
#include "engine/TempoStage.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace zorvane;
using namespace zorvane::testing;

namespace {

CConversionTask TempoTask(const QString& source, const QString& destination, const ToneParams& tone,
                          const ConversionSettings& settings) {
    return ToneTask(source, destination, uint32_t(tone.sampleRate), uint32_t(tone.channels),
                    tone.seconds, settings);
}

} // namespace

class TestTempo : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    EngineContext ctx;
    ToneParams tone;
    QString source;

    // Converts the source with the settings; returns the decoded output.
    DecodedAudio Convert(const ConversionSettings& settings, const QString& name,
                         RecordingReceiver* receiver, ConversionState* state) {
        const QString out = dir.filePath(name + QStringLiteral(".mp3"));
        state->settings = settings;
        state->tasks.push_back(TempoTask(source, out, tone, settings));
        if (!RunToEnd(ctx, *state, *receiver)) {
            qWarning("run did not end");
        }
        DecodedAudio decoded;
        QString error;
        if (!DecodeMp3(out, &decoded, &error)) {
            qWarning("%s", qPrintable(error));
        }
        return decoded;
    }

private slots:
    void initTestCase() {
        QVERIFY(ctx.IsValid());
        tone.seconds = 4.0;
        tone.frequencyHz = 440.0;
        tone.levelDbfs = -6.0;
        source = dir.filePath(QStringLiteral("tone.mp3"));
        QVERIFY(WriteToneMp3(source, tone));
    }

    void chainShapes_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("speed");
        QTest::addColumn<uint32_t>("sourceRate");
        QTest::addColumn<uint32_t>("sourceChannels");
        QTest::addColumn<uint32_t>("targetRate");
        QTest::addColumn<uint32_t>("targetChannels");
        QTest::addColumn<QStringList>("chain");
        const int tempo = SpeedModeTempo;
        const int resample = SpeedModeResample;
        QTest::newRow("tempo only, even at 100 %") << tempo << 100 << 44100u << 2u << 44100u << 2u
                                                   << QStringList{QStringLiteral("tempo 1.000000")};
        QTest::newRow("tempo with channels")
            << tempo << 150 << 44100u << 1u << 44100u << 2u
            << QStringList{QStringLiteral("channels 2"), QStringLiteral("tempo 1.500000")};
        QTest::newRow("tempo with rate")
            << tempo << 80 << 44100u << 2u << 22050u << 2u
            << QStringList{QStringLiteral("rate 22050"), QStringLiteral("tempo 0.800000")};
        QTest::newRow("tempo with channels and rate")
            << tempo << 500 << 48000u << 2u << 16000u << 1u
            << QStringList{QStringLiteral("channels 1"), QStringLiteral("rate 16000"),
                           QStringLiteral("tempo 5.000000")};
        QTest::newRow("resampling 150 %") << resample << 150 << 44100u << 2u << 44100u << 2u
                                          << QStringList{QStringLiteral("rate 29400")};
        QTest::newRow("resampling 80 %") << resample << 80 << 44100u << 2u << 44100u << 2u
                                         << QStringList{QStringLiteral("rate 55125")};
        QTest::newRow("resampling 200 % to 44100")
            << resample << 200 << 22050u << 2u << 44100u << 2u
            << QStringList{QStringLiteral("rate 22050")};
        QTest::newRow("resampling with channels")
            << resample << 100 << 44100u << 2u << 44100u << 1u
            << QStringList{QStringLiteral("channels 1"), QStringLiteral("rate 44100")};
    }

    void chainShapes() {
        QFETCH(int, mode);
        QFETCH(int, speed);
        QFETCH(uint32_t, sourceRate);
        QFETCH(uint32_t, sourceChannels);
        QFETCH(uint32_t, targetRate);
        QFETCH(uint32_t, targetChannels);
        QFETCH(QStringList, chain);
        CConversionTask task;
        task.sourceRate = sourceRate;
        task.sourceChannels = sourceChannels;
        task.targetRate = targetRate;
        task.targetChannels = targetChannels;
        ConversionSettings settings;
        settings.speedMode = int16_t(mode);
        settings.speedPercent = int16_t(speed);
        QCOMPARE(TempoChainFor(task, settings), chain);
    }

    void tempoKeepsPitchAndScalesLength_data() {
        QTest::addColumn<int>("speed");
        QTest::newRow("150 %") << 150;
        QTest::newRow("50 %") << 50;
        QTest::newRow("300 %") << 300;
    }

    void tempoKeepsPitchAndScalesLength() {
        QFETCH(int, speed);
        ConversionSettings settings;
        settings.speedPercent = int16_t(speed);
        RecordingReceiver receiver;
        ConversionState state;
        const DecodedAudio out =
            Convert(settings, QStringLiteral("tempo%1").arg(speed), &receiver, &state);
        QVERIFY2(receiver.ErrorTexts().isEmpty(), qPrintable(receiver.ErrorTexts().join(u'|')));
        QCOMPARE(int(out.rate), 44100);
        QCOMPARE(out.channels, 2);
        const double expected = tone.seconds * 100.0 / speed;
        QVERIFY2(
            qAbs(out.seconds() - expected) < 0.050,
            qPrintable(QStringLiteral("%1 s, expected %2 s").arg(out.seconds()).arg(expected)));
        for (int channel = 0; channel < 2; ++channel) {
            const double f = EstimateFrequencyHz(out, channel, 0.2);
            QVERIFY2(qAbs(f - 440.0) < 4.4, qPrintable(QString::number(f)));
        }
        // The encoder counted what it encoded against what was expected.
        QVERIFY(receiver.lastFilePercent > 97.0f && receiver.lastFilePercent < 103.0f);
    }

    void profileAccountsForEveryStage() {
        ConversionSettings settings;
        settings.speedPercent = 150;
        RecordingReceiver receiver;
        ConversionState state;
        Convert(settings, QStringLiteral("profiled"), &receiver, &state);
        const StageProfile& p = state.profile;
        for (const StageTimes* t : {&p.decoder, &p.tempo, &p.encoder}) {
            QVERIFY(t->totalUs.load() > 0);
            QVERIFY(t->waitInputUs.load() + t->waitOutputUs.load() <= t->totalUs.load());
        }
        // The decoder never waits for input, the encoder never for room.
        QCOMPARE(p.decoder.waitInputUs.load(), uint64_t(0));
        QCOMPARE(p.encoder.waitOutputUs.load(), uint64_t(0));
        const QStringList rows = p.Report().split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(rows.size(), 4);
        QVERIFY(rows[1].startsWith(QStringLiteral("decoder")));
        QVERIFY(rows[3].startsWith(QStringLiteral("encoder")));
    }

    void resamplingRaisesPitch() {
        ConversionSettings settings;
        settings.speedMode = SpeedModeResample;
        settings.speedPercent = 150;
        RecordingReceiver receiver;
        ConversionState state;
        const DecodedAudio out =
            Convert(settings, QStringLiteral("resample150"), &receiver, &state);
        QVERIFY(receiver.ErrorTexts().isEmpty());
        QCOMPARE(int(out.rate), 44100);
        QVERIFY2(qAbs(out.seconds() - tone.seconds / 1.5) < 0.050,
                 qPrintable(QString::number(out.seconds())));
        const double f = EstimateFrequencyHz(out, 0, 0.2);
        QVERIFY2(qAbs(f - 660.0) < 6.6, qPrintable(QString::number(f)));
    }

    void everyTargetRate_data() {
        QTest::addColumn<int>("frequencyIndex");
        for (int i = 1; i < int(kSampleRateHz.size()); ++i) {
            QTest::newRow(qPrintable(QString::number(kSampleRateHz[size_t(i)]))) << i;
        }
    }

    void everyTargetRate() {
        QFETCH(int, frequencyIndex);
        ConversionSettings settings;
        settings.frequencyIndex = int16_t(frequencyIndex);
        settings.speedPercent = 125;
        settings.bitrateIndex = 5; // 48 kbit/s exists at every rate
        RecordingReceiver receiver;
        ConversionState state;
        const DecodedAudio out =
            Convert(settings, QStringLiteral("rate%1").arg(frequencyIndex), &receiver, &state);
        QVERIFY(receiver.ErrorTexts().isEmpty());
        QCOMPARE(int(out.rate), kSampleRateHz[size_t(frequencyIndex)]);
        QCOMPARE(out.channels, 2);
        QVERIFY2(qAbs(out.seconds() - tone.seconds / 1.25) < 0.080,
                 qPrintable(QString::number(out.seconds())));
    }

    void everyChannelMode_data() {
        QTest::addColumn<int>("channelMode");
        QTest::addColumn<int>("sourceChannels");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("frameMode");
        QTest::newRow("automatic stereo") << 0 << 2 << 2 << 1;
        QTest::newRow("automatic mono") << 0 << 1 << 1 << 3;
        QTest::newRow("mono from stereo") << 1 << 2 << 1 << 3;
        QTest::newRow("stereo") << 2 << 2 << 2 << 0;
        QTest::newRow("joint from mono") << 3 << 1 << 2 << 1;
        QTest::newRow("dual") << 4 << 2 << 2 << 2;
    }

    void everyChannelMode() {
        QFETCH(int, channelMode);
        QFETCH(int, sourceChannels);
        QFETCH(int, channels);
        QFETCH(int, frameMode);
        ToneParams t = tone;
        t.channels = sourceChannels;
        t.seconds = 2.0;
        const QString src = dir.filePath(QStringLiteral("src%1.mp3").arg(sourceChannels));
        if (!QFileInfo::exists(src)) {
            QVERIFY(WriteToneMp3(src, t));
        }
        ConversionSettings settings;
        settings.channelMode = int16_t(channelMode);
        ConversionState state;
        state.settings = settings;
        const QString out =
            dir.filePath(QStringLiteral("ch%1_%2.mp3").arg(channelMode).arg(sourceChannels));
        state.tasks.push_back(TempoTask(src, out, t, settings));
        RecordingReceiver receiver;
        QVERIFY(RunToEnd(ctx, state, receiver));
        QVERIFY(receiver.ErrorTexts().isEmpty());
        DecodedAudio decoded;
        QVERIFY(DecodeMp3(out, &decoded));
        QCOMPARE(decoded.channels, channels);
        QCOMPARE(FirstAudioFrameMode(out), frameMode);
        QVERIFY(qAbs(EstimateFrequencyHz(decoded, 0, 0.2) - 440.0) < 4.4);
    }

    void cancelDuringTempoStopsEveryStage() {
        ToneParams t = tone;
        t.seconds = 60;
        const QString src = dir.filePath(QStringLiteral("long.mp3"));
        QVERIFY(WriteToneMp3(src, t));
        ConversionSettings settings;
        settings.speedPercent = 70;
        ConversionState state;
        state.settings = settings;
        state.tasks.push_back(
            TempoTask(src, dir.filePath(QStringLiteral("cancelled.mp3")), t, settings));
        RecordingReceiver receiver;
        state.receiver = &receiver;
        state.view = &receiver;
        StartConversion(ctx, state);
        QVERIFY(QTest::qWaitFor([&] { return state.fileSamplesDone.load() > 0; }, 20000));
        QElapsedTimer timer;
        timer.start();
        CancelConversion(ctx, state);
        QVERIFY(timer.elapsed() < 1000);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(receiver.Texts().last(), QStringLiteral("Converting status: ERROR."));
    }
};

QTEST_GUILESS_MAIN(TestTempo)
#include "tst_tempo.moc"
