// The engine's shared pieces: tasks, messages, the progress hand-off, the
// encoder's end-of-input decision and the output path helpers.

#include "engine/ConversionDriver.h"
#include "engine/ConversionState.h"
#include "engine/ConversionTask.h"
#include "engine/EncoderStage.h"
#include "engine/FolderPaths.h"
#include "engine/OutputFile.h"
#include "platform/DisplayText.h"
#include "platform/FolderCreation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cerrno>
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

    // The speed lines divide these seconds by the time taken; a float sum of
    // every chunk's seconds was 3 % short after 30 hours. The counters are
    // one chunk past 30 hours, a fraction of a second a float cannot hold there.
    void audioSecondsFromCounters() {
        ConversionState state;
        state.fileSamplesPerSecond = 22050; // mono
        state.fileSamplesDone = 30ull * 3600 * 22050 + 576;
        state.finishedFilesAudioSeconds = 36000.0 + 1.0 / 3.0;
        const double file = 108000.0 + 576.0 / 22050.0;
        QVERIFY2(qAbs(state.FileAudioSeconds() - file) < 1e-6,
                 qPrintable(QString::number(state.FileAudioSeconds(), 'f', 6)));
        QVERIFY(qAbs(state.OverallAudioSeconds() - (36000.0 + 1.0 / 3.0 + file)) < 1e-6);
    }

    // A run that goes on after a failed file sets `running` back to 1; a
    // cancel, even one that lands just before that store, must survive it.
    void resumeAfterFailureNeverUndoesACancel() {
        ConversionState state;
        QVERIFY(ResumeAfterFailure(state));
        QVERIFY(state.IsRunning());
        state.Stop(); // the next file fails, and the user cancels meanwhile
        QVERIFY(!ResumeAfterFailure(state, [&] {
            state.aborted.store(1);
            state.Stop();
        }));
        QVERIFY(!state.IsRunning());
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

    // The reason goes into the log line "Fail to create folder ... !".
    void createFolderPathFailures() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("plain"));
        QVERIFY(Touch(file));
        const auto failsWith = [](const QString& path, int expected) {
            int error = 0;
            return CreateFolderPath(path, &error) == 0 && error == expected;
        };
        QVERIFY(failsWith(file, ENOTDIR)); // a file is in the way
        QVERIFY(failsWith(file + QStringLiteral("/sub/deeper"), ENOTDIR));
        QVERIFY(failsWith(QString(), ENOENT));
        if (::geteuid() != 0) {
            const QString locked = dir.filePath(QStringLiteral("locked"));
            QVERIFY(QDir().mkdir(locked));
            ::chmod(QFile::encodeName(locked).constData(), 0500);
            QVERIFY(failsWith(locked + QStringLiteral("/a/b"), EACCES));
            ::chmod(QFile::encodeName(locked).constData(), 0700);
        }
    }

    void backslashNamesAreOneLevel() {
        QTemporaryDir dir;
        const QString odd = dir.filePath(QStringLiteral("a\\b"));
        QCOMPARE(CreateFolderPath(odd + QStringLiteral("/c")), 1);
        QVERIFY(QFileInfo(odd + QStringLiteral("/c")).isDir());
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("a"))));
        QVERIFY(Touch(dir.filePath(QStringLiteral("x\\y.mp3"))));
        QCOMPARE(UniqueDestinationPath(dir.filePath(QStringLiteral("x\\y.mp3"))),
                 dir.filePath(QStringLiteral("x\\y (2).mp3")));
    }

    // A numbered name never outgrows the file system's 255 bytes: the stem
    // gives way, a whole character at a time.
    void numberedNamesFitTheNameLimit_data() {
        QTest::addColumn<QString>("stem");
        QTest::addColumn<int>("n");
        QTest::newRow("255 bytes, ASCII") << QString(251, u'a') << 2;
        QTest::newRow("255 bytes, number 1000") << QString(251, u'a') << 1000;
        QTest::newRow("two-byte letters") << QString(125, QChar(0xE9)) << 2;
        QTest::newRow("four-byte emoji")
            << QString(62, QChar(u'x')).replace(u'x', QStringLiteral("\U0001F600")) << 3;
        QTest::newRow("too long even unnumbered") << QString(300, u'b') << 1;
    }

    void numberedNamesFitTheNameLimit() {
        QFETCH(QString, stem);
        QFETCH(int, n);
        QTemporaryDir dir;
        const QString path = dir.filePath(stem + QStringLiteral(".mp3"));
        const QString numbered = NumberedDestinationPath(path, n);
        const QString name = QFileInfo(numbered).fileName();
        QVERIFY2(QFile::encodeName(name).size() <= 255, qPrintable(name));
        QVERIFY(name.endsWith(n < 2 ? QStringLiteral(".mp3") : QStringLiteral(" (%1).mp3").arg(n)));
        QVERIFY(stem.startsWith(name.left(10)));
        QVERIFY(!name.contains(QChar::ReplacementCharacter)); // no character was split
        QVERIFY(QFile::encodeName(name) ==
                QFile::encodeName(QFile::decodeName(QFile::encodeName(name))));
        QVERIFY(Touch(numbered)); // the file system takes it
        const QString temporary = OutputFile::TemporaryPathFor(numbered, QStringLiteral("AbC123"));
        QVERIFY(QFileInfo(temporary).fileName().startsWith(u'.'));
        QVERIFY(Touch(temporary));
    }

    // Committing never replaces: a name taken while the output was written
    // (another run, a link that dangles) moves the output to the next number,
    // and a stopped output leaves nothing behind.
    void outputFileCommitNeverReplaces_data() {
        QTest::addColumn<QString>("occupant"); // what appears at the name meanwhile
        QTest::newRow("free") << QString();
        QTest::newRow("a file") << QStringLiteral("file");
        QTest::newRow("a dangling link") << QStringLiteral("dangling");
        QTest::newRow("a link to a file") << QStringLiteral("link");
    }

    void outputFileCommitNeverReplaces() {
        QFETCH(QString, occupant);
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("elsewhere.mp3"));
        const QString dest = dir.filePath(QStringLiteral("song.mp3"));
        OutputFile output(dest);
        QVERIFY(output.Create());
        QVERIFY(output.TemporaryPath().startsWith(dir.filePath(QStringLiteral(".song.mp3."))));
        QVERIFY(output.Append("0123456789", 10));
        QVERIFY(output.WriteAt(2, "ab", 2));
        QVERIFY(!output.WriteAt(9, "ab", 2)); // past the end: refused, and it sticks
        QVERIFY(output.Error() != 0);
        OutputFile good(dest);
        QVERIFY(good.Create());
        QVERIFY(good.Append("01ab456789", 10));
        if (occupant == u"file") {
            QVERIFY(Touch(dest));
        } else if (occupant == u"dangling") {
            QVERIFY(QFile::link(target, dest));
        } else if (occupant == u"link") {
            QVERIFY(Touch(target));
            QVERIFY(QFile::link(target, dest));
        }
        QVERIFY(good.Close());
        const QString final = good.Commit();
        QCOMPARE(final, occupant.isEmpty() ? dest : dir.filePath(QStringLiteral("song (2).mp3")));
        QFile f(final);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("01ab456789"));
        QCOMPARE(QFileInfo(target).size(), 0); // never written through
        QCOMPARE(QFileInfo::exists(target), occupant == u"link");
        output.Discard(); // the failed one leaves nothing
        const QStringList left =
            QDir(dir.path())
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        QCOMPARE(left.filter(QStringLiteral(".part")), QStringList());
    }

    void escapedForDisplay_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("plain") << QStringLiteral("Ébène – 東京 😀.mp3")
                               << QStringLiteral("Ébène – 東京 😀.mp3");
        QTest::newRow("backslash stays") << QStringLiteral("a\\b") << QStringLiteral("a\\b");
        QTest::newRow("forged line") << QStringLiteral("fake\nConverting status: OK.\n.mp3")
                                     << QStringLiteral("fake\\nConverting status: OK.\\n.mp3");
        QTest::newRow("tab and return") << QStringLiteral("a\tb\rc") << QStringLiteral("a\\tb\\rc");
        QTest::newRow("terminal escape")
            << QStringLiteral("\x1b[2Jx\x7f") << QStringLiteral("\\x1b[2Jx\\x7f");
        QTest::newRow("C1 and separators")
            << (QString(QChar(0x85)) + QChar(0x2028)) << QStringLiteral("\\u0085\\u2028");
        QTest::newRow("bidirectional override")
            << (QStringLiteral("evil") + QChar(0x202E) + QStringLiteral("3pm.exe"))
            << QStringLiteral("evil\\u202e3pm.exe");
    }

    void escapedForDisplay() {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(EscapedForDisplay(text), shown);
    }
};

QTEST_GUILESS_MAIN(TestEngineState)
#include "tst_engine_state.moc"
