// Several pipelines in one process, each with its own context and run, as
// zorvane-convert --jobs runs them: what each writes must not depend on what
// the others do at the same time. Meant to run under ThreadSanitizer too.

#include "EngineHarness.h"
#include "Mp3Fixtures.h"

#include "engine/ConversionRun.h"
#include "engine/TaskRules.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace zorvane;
using namespace zorvane::testing;

namespace {

// The chain shapes a batch meets: tempo alone, tempo behind "channels",
// tempo behind "rate", and resampling; one per pipeline, so that chains of
// every kind are built and flowed at the same time.
struct Shape {
    int mode;
    int speed;
    int channelMode;
    int frequencyIndex;
};
constexpr Shape kShapes[] = {{SpeedModeTempo, 150, 0, 0},
                             {SpeedModeTempo, 80, 2, 0},
                             {SpeedModeTempo, 200, 0, 6},
                             {SpeedModeResample, 125, 1, 0}};

struct Pipeline {
    EngineContext ctx;
    ConversionState state;
    RecordingReceiver receiver;
};

ConversionSettings SettingsOf(const Shape& shape) {
    ConversionSettings settings;
    settings.speedMode = int16_t(shape.mode);
    settings.speedPercent = int16_t(shape.speed);
    settings.channelMode = int16_t(shape.channelMode);
    settings.frequencyIndex = int16_t(shape.frequencyIndex);
    return settings;
}

CConversionTask TaskOf(const QString& source, const ToneParams& tone, const QString& destination,
                       const ConversionSettings& settings) {
    return ToneTask(source, destination, uint32_t(tone.sampleRate), uint32_t(tone.channels),
                    tone.seconds, settings);
}

// Starts every pipeline, then waits for all of them with the event loop
// turning, as the command-line tool does.
bool RunAll(std::vector<std::unique_ptr<Pipeline>>& pipelines) {
    for (auto& p : pipelines) {
        p->state.receiver = &p->receiver;
        p->state.view = &p->receiver;
        p->state.startDelayMs = 0;
        for (const auto& task : p->state.tasks) {
            p->state.totalSamplesExpected += task.expectedSamples;
            p->state.totalAudioSeconds += task.AudioSeconds(task.expectedSamples);
        }
        StartConversion(p->ctx, p->state);
    }
    const bool ended = QTest::qWaitFor(
        [&] {
            for (const auto& p : pipelines) {
                if (!p->state.driverThread.Finished()) {
                    return false;
                }
            }
            return true;
        },
        120000);
    for (auto& p : pipelines) {
        if (!ended) {
            p->state.Stop();
        }
        WaitForConversion(p->ctx, p->state);
    }
    QCoreApplication::sendPostedEvents();
    return ended;
}

} // namespace

class TestPipelines : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    ToneParams stereoTone;
    ToneParams monoTone;
    QString stereo;
    QString mono;
    // What each shape writes from each source when its pipeline runs alone.
    std::vector<DecodedAudio> alone;

    const QString& SourceOf(int i) const { return i % 2 == 0 ? stereo : mono; }
    const ToneParams& ToneOf(int i) const { return i % 2 == 0 ? stereoTone : monoTone; }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        stereoTone.seconds = 1.0;
        stereoTone.frequencyHz = 500;
        stereo = dir.filePath(QStringLiteral("stereo.mp3"));
        QVERIFY(WriteToneMp3(stereo, stereoTone));
        monoTone = stereoTone;
        monoTone.channels = 1;
        monoTone.frequencyHz = 700;
        mono = dir.filePath(QStringLiteral("mono.mp3"));
        QVERIFY(WriteToneMp3(mono, monoTone));
        for (int shape = 0; shape < 4; ++shape) {
            for (int source = 0; source < 2; ++source) {
                std::vector<std::unique_ptr<Pipeline>> one;
                one.push_back(std::make_unique<Pipeline>());
                const QString out =
                    dir.filePath(QStringLiteral("alone-%1-%2.mp3").arg(shape).arg(source));
                one[0]->state.settings = SettingsOf(kShapes[shape]);
                one[0]->state.tasks.push_back(
                    TaskOf(SourceOf(source), ToneOf(source), out, one[0]->state.settings));
                QVERIFY(RunAll(one));
                QCOMPARE(one[0]->receiver.finishedMessages, 1);
                DecodedAudio decoded;
                QVERIFY(DecodeMp3(out, &decoded));
                alone.push_back(decoded);
            }
        }
    }

    // Every pipeline converts both sources, one after the other, so that
    // files start, end and reset their rings while the others flow.
    void sideBySideWriteWhatEachWritesAlone_data() {
        QTest::addColumn<int>("count");
        QTest::newRow("two pipelines") << 2;
        QTest::newRow("four pipelines") << 4;
    }

    void sideBySideWriteWhatEachWritesAlone() {
        QFETCH(int, count);
        QTemporaryDir out;
        std::vector<std::unique_ptr<Pipeline>> pipelines;
        for (int i = 0; i < count; ++i) {
            pipelines.push_back(std::make_unique<Pipeline>());
            ConversionState& state = pipelines.back()->state;
            state.settings = SettingsOf(kShapes[i % 4]);
            for (int source = 0; source < 2; ++source) {
                state.tasks.push_back(TaskOf(
                    SourceOf(source), ToneOf(source),
                    out.filePath(QStringLiteral("%1-%2.mp3").arg(i).arg(source)), state.settings));
            }
        }
        QVERIFY(RunAll(pipelines));
        for (int i = 0; i < count; ++i) {
            const Pipeline& p = *pipelines[size_t(i)];
            QVERIFY2(p.receiver.ErrorTexts().isEmpty(),
                     qPrintable(p.receiver.ErrorTexts().join(u'\n')));
            QCOMPARE(p.receiver.finishedMessages, 1);
            for (int source = 0; source < 2; ++source) {
                DecodedAudio decoded;
                QVERIFY(DecodeMp3(out.filePath(QStringLiteral("%1-%2.mp3").arg(i).arg(source)),
                                  &decoded));
                const DecodedAudio& expected = alone[size_t((i % 4) * 2 + source)];
                QCOMPARE(decoded.rate, expected.rate);
                QCOMPARE(decoded.channels, expected.channels);
                QVERIFY2(decoded.samples == expected.samples,
                         qPrintable(QStringLiteral("pipeline %1, source %2").arg(i).arg(source)));
            }
        }
    }

    // A file that fails stops its own run only; the runs beside it neither
    // stop nor log anything of it.
    void aFailureStaysInItsPipeline() {
        QTemporaryDir out;
        const QString broken = out.filePath(QStringLiteral("broken.mp3"));
        QVERIFY(WriteNotMp3(broken));
        std::vector<std::unique_ptr<Pipeline>> pipelines;
        for (int i = 0; i < 3; ++i) {
            pipelines.push_back(std::make_unique<Pipeline>());
            ConversionState& state = pipelines.back()->state;
            state.settings = SettingsOf(kShapes[i]);
            state.tasks.push_back(TaskOf(i == 0 ? broken : stereo, stereoTone,
                                         out.filePath(QStringLiteral("a%1.mp3").arg(i)),
                                         state.settings));
            state.tasks.push_back(TaskOf(
                mono, monoTone, out.filePath(QStringLiteral("b%1.mp3").arg(i)), state.settings));
        }
        QVERIFY(RunAll(pipelines));
        const Pipeline& failed = *pipelines[0];
        QCOMPARE(failed.state.failures.size(), size_t(1));
        QCOMPARE(failed.state.failures[0].taskIndex, 0);
        QCOMPARE(failed.receiver.finishedMessages, 0);
        QVERIFY(!QFileInfo::exists(out.filePath(QStringLiteral("b0.mp3"))));
        for (int i = 1; i < 3; ++i) {
            const Pipeline& p = *pipelines[size_t(i)];
            QVERIFY(p.state.failures.empty());
            QVERIFY(p.receiver.ErrorTexts().isEmpty());
            QCOMPARE(p.receiver.Texts().count(QStringLiteral("Converting status: OK.")), 2);
            QCOMPARE(p.receiver.finishedMessages, 1);
        }
    }
};

QTEST_GUILESS_MAIN(TestPipelines)
#include "tst_pipelines.moc"
