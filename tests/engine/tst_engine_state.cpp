// The engine's shared pieces: tasks, messages, the progress hand-off, the
// encoder's end-of-input decision and the output path helpers.

#include "engine/ConversionState.h"
#include "engine/ConversionTask.h"
#include "engine/EncoderStage.h"
#include "engine/FolderPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace zorvane;

namespace {

class CountingReceiver final : public QObject {
public:
    int progress = 0;
    float lastFile = -1;
    int logs = 0;
    QString lastLog;

protected:
    bool event(QEvent* e) override {
        if (auto* p = EngineEventCast<ConvProgressEvent>(e)) {
            ++progress;
            lastFile = p->filePercent;
            return true;
        }
        if (auto* l = EngineEventCast<ConvLogEvent>(e)) {
            ++logs;
            lastLog = l->text;
            return true;
        }
        return QObject::event(e);
    }
};

bool Touch(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly);
}

} // namespace

class TestEngineState : public QObject {
    Q_OBJECT

private slots:
    void newTaskHasItsDefaults() {
        const CConversionTask task;
        QVERIFY(task.sourcePath.isEmpty());
        QCOMPARE(task.sourceFormat, -1);
        QCOMPARE(task.sourceRate, uint32_t(-1));
        QCOMPARE(task.targetChannels, uint32_t(-1));
        QCOMPARE(task.outputFormat, -1);
        QCOMPARE(task.decoding.Get(), 0);
        QCOMPARE(task.encoding.Get(), 0);
        QCOMPARE(task.processing.Get(), 0);
    }

    void copiedTaskIsIndependent() {
        CConversionTask original;
        original.title = QStringLiteral("Ébène");
        original.decoding.Set(1);
        CConversionTask copy = original;
        QCOMPARE(copy.title, QStringLiteral("Ébène"));
        QVERIFY(copy.artist.isEmpty());
        QCOMPARE(copy.decoding.Get(), 1);
        copy.title = QStringLiteral("changed");
        copy.artist = QStringLiteral("someone");
        copy.decoding.Set(0);
        QCOMPARE(original.title, QStringLiteral("Ébène"));
        QVERIFY(original.artist.isEmpty());
        QCOMPARE(original.decoding.Get(), 1);
    }

    void audioSeconds_data() {
        QTest::addColumn<uint32_t>("rate");
        QTest::addColumn<uint32_t>("channels");
        QTest::addColumn<quint64>("samples");
        QTest::addColumn<double>("seconds");
        QTest::newRow("nothing") << 44100u << 2u << quint64(0) << 0.0;
        QTest::newRow("one second stereo") << 44100u << 2u << quint64(88200) << 1.0;
        QTest::newRow("mono 8 kHz") << 8000u << 1u << quint64(4000) << 0.5;
        // Past 2^32 samples: a long audiobook must not wrap.
        QTest::newRow("ten hours stereo") << 44100u << 2u << quint64(3175200000ull) << 36000.0;
    }

    void audioSeconds() {
        QFETCH(uint32_t, rate);
        QFETCH(uint32_t, channels);
        QFETCH(quint64, samples);
        QFETCH(double, seconds);
        CConversionTask task;
        task.targetRate = rate;
        task.targetChannels = channels;
        QCOMPARE(double(task.AudioSeconds(samples)), seconds);
    }

    void postedMessagesCarryTheirPayload() {
        CountingReceiver receiver;
        ConversionState state;
        state.receiver = &receiver;
        state.running = 1;
        state.PostLog(QStringLiteral("Start a new converting task."));
        state.UpdateProgress(12.5f, 3.0f, false);
        QCOMPARE(receiver.logs, 0); // posted, not sent
        QCoreApplication::sendPostedEvents();
        QCOMPARE(receiver.logs, 1);
        QCOMPARE(receiver.lastLog, QStringLiteral("Start a new converting task."));
        QCOMPARE(receiver.progress, 1);
        QCOMPARE(receiver.lastFile, 12.5f);
    }

    void finalProgressWaitsForTheReceiver() {
        CountingReceiver receiver;
        ConversionState state;
        state.receiver = &receiver;
        state.running = 1;
        std::atomic<bool> returned{false};
        std::thread encoder([&] {
            state.UpdateProgress(100.0f, 50.0f, true);
            returned = true;
        });
        QThread::msleep(100);
        QVERIFY(!returned); // still waiting: nobody has handled it
        QVERIFY(QTest::qWaitFor([&] { return returned.load(); }, 5000));
        encoder.join();
        QCOMPARE(receiver.progress, 1);
        QCOMPARE(receiver.lastFile, 100.0f);
    }

    // The window's Cancel sets running to 0 and then waits for the encoder
    // without handling messages: the final update must give up, not hang.
    void finalProgressDoesNotDeadlockAgainstCancel() {
        CountingReceiver receiver;
        ConversionState state;
        state.receiver = &receiver;
        state.running = 1;
        StageThread encoder;
        encoder.Start([&] { state.UpdateProgress(100.0f, 100.0f, true); });
        QThread::msleep(50);
        state.Stop();
        QVERIFY(encoder.WaitFor(2000));
        encoder.Join();
        QCoreApplication::sendPostedEvents(); // the late message is still freed
        QCOMPARE(receiver.progress, 1);
    }

    void finalProgressOnTheReceiversThreadIsDirect() {
        CountingReceiver receiver;
        ConversionState state;
        state.receiver = &receiver;
        state.running = 1;
        state.UpdateProgress(40.0f, 20.0f, true);
        QCOMPARE(receiver.progress, 1);
    }

    // The end of input is decided from the flags first, then the fill level.
    // The hook lands exactly between the two reads: the upstream stage writes
    // its last samples and ends there. The encoder must not take the fill
    // level it saw before as the end of the file.
    void lastChunkIsNeverDecidedFromAStaleFillLevel() {
        SampleRing ring(4096);
        CConversionTask task;
        task.decoding.Set(1);
        std::vector<int32_t> first(300, 1);
        ring.Write(first.data(), uint32_t(first.size()));
        std::vector<int32_t> last(500, 2);
        const uint32_t chunk = 1152 * 2;
        ChunkPlan plan = PlanNextChunk(task, ring, chunk, [&] {
            ring.Write(last.data(), uint32_t(last.size()));
            task.decoding.Set(0);
        });
        if (plan.kind == ChunkPlan::Last) {
            QCOMPARE(plan.count, 800u);
        } else {
            QCOMPARE(plan.kind, ChunkPlan::Wait);
            plan = PlanNextChunk(task, ring, chunk);
            QCOMPARE(plan.kind, ChunkPlan::Last);
            QCOMPARE(plan.count, 800u);
        }
    }

    void chunkPlanCases_data() {
        QTest::addColumn<int>("decoding");
        QTest::addColumn<int>("processing");
        QTest::addColumn<uint32_t>("stored");
        QTest::addColumn<int>("kind");
        QTest::addColumn<uint32_t>("count");
        QTest::newRow("full chunk while decoding")
            << 1 << 0 << 5000u << int(ChunkPlan::Full) << 2304u;
        QTest::newRow("short while decoding waits") << 1 << 0 << 100u << int(ChunkPlan::Wait) << 0u;
        QTest::newRow("short while processing waits")
            << 0 << 1 << 100u << int(ChunkPlan::Wait) << 0u;
        QTest::newRow("remainder is the last chunk")
            << 0 << 0 << 100u << int(ChunkPlan::Last) << 100u;
        QTest::newRow("empty at the end: chunk of 0") << 0 << 0 << 0u << int(ChunkPlan::Last) << 0u;
        QTest::newRow("full chunk after the end")
            << 0 << 0 << 2304u << int(ChunkPlan::Full) << 2304u;
    }

    void chunkPlanCases() {
        QFETCH(int, decoding);
        QFETCH(int, processing);
        QFETCH(uint32_t, stored);
        QFETCH(int, kind);
        QFETCH(uint32_t, count);
        SampleRing ring(8192);
        std::vector<int32_t> data(stored, 7);
        ring.Write(data.data(), stored);
        CConversionTask task;
        task.decoding.Set(decoding);
        task.processing.Set(processing);
        const ChunkPlan plan = PlanNextChunk(task, ring, 2304);
        QCOMPARE(int(plan.kind), kind);
        QCOMPARE(plan.count, count);
    }

    void encoderMode_data() {
        QTest::addColumn<uint32_t>("channels");
        QTest::addColumn<int>("channelMode");
        QTest::addColumn<int>("mode"); // LAME: 0 stereo, 1 joint, 2 dual, 3 mono
        QTest::newRow("automatic stereo is joint") << 2u << 0 << 1;
        QTest::newRow("mono setting on 2 channels") << 2u << 1 << 1;
        QTest::newRow("stereo") << 2u << 2 << 0;
        QTest::newRow("joint") << 2u << 3 << 1;
        QTest::newRow("dual") << 2u << 4 << 2;
        QTest::newRow("unknown") << 2u << 9 << 1;
        QTest::newRow("one channel is mono whatever the setting") << 1u << 2 << 3;
        QTest::newRow("one channel, dual setting") << 1u << 4 << 3;
    }

    void encoderMode() {
        QFETCH(uint32_t, channels);
        QFETCH(int, channelMode);
        QFETCH(int, mode);
        QCOMPARE(EncoderModeFor(channels, channelMode), mode);
    }

    void uniqueDestinationNumbersFromTwo() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("a.mp3"));
        QVERIFY(Touch(path));
        QCOMPARE(UniqueDestinationPath(path), dir.filePath(QStringLiteral("a (2).mp3")));
        QVERIFY(Touch(dir.filePath(QStringLiteral("a (2).mp3"))));
        QCOMPARE(UniqueDestinationPath(path), dir.filePath(QStringLiteral("a (3).mp3")));
    }

    void uniqueDestinationSplitsAtTheNamesLastDot() {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("v1.2 %1 mix"));
        QVERIFY(QDir().mkpath(folder));
        QCOMPARE(UniqueDestinationPath(folder + QStringLiteral("/Ébène.tar.mp3")),
                 folder + QStringLiteral("/Ébène.tar (2).mp3"));
        QCOMPARE(UniqueDestinationPath(folder + QStringLiteral("/noext")),
                 folder + QStringLiteral("/noext (2)"));
    }

    void createFolderPathLevelByLevel() {
        QTemporaryDir dir;
        const QString deep = dir.filePath(QStringLiteral("x/Hörbücher/東京"));
        QCOMPARE(CreateFolderPath(deep), 1);
        QVERIFY(QFileInfo(dir.filePath(QStringLiteral("x"))).isDir());
        QVERIFY(QFileInfo(dir.filePath(QStringLiteral("x/Hörbücher"))).isDir());
        QVERIFY(QFileInfo(deep).isDir());
        QCOMPARE(CreateFolderPath(deep), 1); // already there
        QCOMPARE(CreateFolderPath(deep + u'/'), 1);
    }

    void createFolderPathFailures() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("plain"));
        QVERIFY(Touch(file));
        QCOMPARE(CreateFolderPath(file), 0);                          // a file is in the way
        QCOMPARE(CreateFolderPath(file + QStringLiteral("/sub")), 0); // under a file
        QCOMPARE(CreateFolderPath(QString()), 0);
        if (::geteuid() != 0) {
            const QString locked = dir.filePath(QStringLiteral("locked"));
            QVERIFY(QDir().mkdir(locked));
            ::chmod(QFile::encodeName(locked).constData(), 0500);
            QCOMPARE(CreateFolderPath(locked + QStringLiteral("/a/b")), 0);
            ::chmod(QFile::encodeName(locked).constData(), 0700);
        }
    }

    void folderOfPath() {
        QCOMPARE(FolderOfPath(QStringLiteral("/music/out/a.mp3")), QStringLiteral("/music/out"));
        QCOMPARE(FolderOfPath(QStringLiteral("/a.mp3")), QStringLiteral("/"));
        QCOMPARE(FolderOfPath(QStringLiteral("a.mp3")), QString());
    }
};

QTEST_GUILESS_MAIN(TestEngineState)
#include "tst_engine_state.moc"
