// Inputs that the fuzz targets of fuzz/ crashed or hung on, fed through the
// very path those targets take (fuzz/InputRun) in the normal build: each must
// be read, and converted when the file list would accept it, without a crash
// and within a generous time. A finding that is not fixed yet is marked with
// QEXPECT_FAIL and its reason, so that the suite stays green until it is.
//
// The path itself is checked first on plain and on guard-heavy inputs: a
// regression test of a finding proves nothing if the path no longer reads or
// converts what it should.

#include "InputRun.h"
#include "Mp3Fixtures.h"
#include "TagFixtures.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

using namespace zorvane;
using namespace zorvane::fuzzing;
using namespace zorvane::testing;

namespace {

// Far above what any of these inputs needs, even under a sanitizer.
constexpr int kReadTimeoutMs = 60000;
constexpr int kConversionTimeoutMs = 60000;

// Runs `work` on a thread of its own and waits up to `ms` for it. A read that
// never returns cannot be stopped: the thread keeps what it holds, and the
// test reports the hang instead of hanging itself.
bool EndsWithin(int ms, std::function<void()> work) {
    struct Shared {
        std::mutex mutex;
        std::condition_variable cv;
        bool done = false;
    };
    auto shared = std::make_shared<Shared>();
    std::thread([shared, work = std::move(work)] {
        work();
        {
            std::lock_guard lock(shared->mutex);
            shared->done = true;
        }
        shared->cv.notify_all();
    }).detach();
    std::unique_lock lock(shared->mutex);
    return shared->cv.wait_for(lock, std::chrono::milliseconds(ms), [&] { return shared->done; });
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A short mono tone, as tests/support writes it, with the Info frame.
QByteArray ToneBytes(const QString& folder, double seconds = 0.5) {
    const QString path = folder + QStringLiteral("/tone.mp3");
    ToneParams tone;
    tone.sampleRate = 16000;
    tone.channels = 1;
    tone.seconds = seconds;
    tone.bitrateKbps = 40;
    return WriteToneMp3(path, tone) ? ReadAll(path) : QByteArray();
}

QByteArray Text(const char* text) {
    return QByteArray(1, '\0') + QByteArray(text);
}

QByteArray ChapterStart() {
    return QByteArray("c", 2) + QByteArray(16, '\xff');
}

QByteArray SynchSafe(quint32 v) {
    QByteArray out(4, '\0');
    for (int i = 0; i < 4; ++i) {
        out[i] = char((v >> (21 - 7 * i)) & 0x7f);
    }
    return out;
}

QByteArray WithTag(int version, const QByteArray& frames, const QByteArray& audio) {
    return Id3v2Header(version, 0, quint32(frames.size())) + frames + audio;
}

} // namespace

class TestFuzzRegressions : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QByteArray tone;

    // Reads and converts `input`; `converts` says whether the file list
    // accepts it, and so whether a conversion must have run.
    void Check(const QByteArray& input, bool converts) {
        auto run = std::make_shared<InputRun>(reinterpret_cast<const uint8_t*>(input.constData()),
                                              size_t(input.size()));
        QVERIFY(run->Ready());
        QVERIFY2(EndsWithin(kReadTimeoutMs, [run] { run->ReadRow(); }),
                 "reading the file did not end");
        QCOMPARE(run->Row().info.invalid == 0, converts);
        const ConversionOutcome outcome = run->Convert(kConversionTimeoutMs);
        QCOMPARE(OutcomeName(outcome),
                 OutcomeName(converts ? ConversionOutcome::Ended : ConversionOutcome::NotTried));
        QCOMPARE(run->LeftoverTemporaryFiles(), QStringList());
    }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        tone = ToneBytes(dir.path());
        QVERIFY(!tone.isEmpty());
    }

    void pathReadsAndConvertsATone() {
        InputRun run(reinterpret_cast<const uint8_t*>(tone.constData()), size_t(tone.size()));
        QVERIFY(run.Ready());
        const InfoRowCells& row = run.ReadRow();
        QCOMPARE(row.info.invalid, 0);
        QCOMPARE(row.info.sampleRate, 16000u);
        QCOMPARE(row.info.channels, 1u);
        QCOMPARE(OutcomeName(run.Convert(kConversionTimeoutMs)),
                 OutcomeName(ConversionOutcome::Ended));
        QCOMPARE(QDir(run.OutputFolder()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("input.mp3")});
        DecodedAudio audio;
        QVERIFY(DecodeMp3(run.OutputFolder() + QStringLiteral("/input.mp3"), &audio));
        QVERIFY(qAbs(audio.seconds() - 0.5 / 1.5) < 0.05);
    }

    void pathSkipsRowsClaimingTooMuchAudio() {
        const QString path = dir.filePath(QStringLiteral("long.mp3"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(tone) == tone.size());
        file.close();
        QVERIFY(PatchInfoFrameCount(path, 3600 * 16000 / 576));
        const QByteArray input = ReadAll(path);
        InputRun run(reinterpret_cast<const uint8_t*>(input.constData()), size_t(input.size()));
        QVERIFY(run.ReadRow().info.durationSeconds > kMaxConvertedSeconds);
        QCOMPARE(OutcomeName(run.Convert()), OutcomeName(ConversionOutcome::NotTried));
    }

    // Inputs on which the tag guard and TagLib do the most work the fuzz
    // targets found: they must stay quick, and the file stay convertible.
    void guardHeavyInputs_data() {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<bool>("converts");
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("text") << QByteArray("not an mp3 file at all") << false;
        QTest::newRow("tone cut in its first header") << tone.left(3) << false;

        QByteArray deep = Id3v2Frame(4, "TIT2", Text("Deepest"));
        for (int depth = 0; depth < 12; ++depth) {
            deep = Id3v2Frame(4, "CHAP", ChapterStart() + deep);
        }
        QTest::newRow("chapters nested too deep") << WithTag(4, deep, tone) << true;

        QByteArray chained;
        for (int i = 0; i < 24; ++i) {
            chained += Id3v2Frame(
                4, "CHAP",
                SynchSafe(0x0fffffff) + ChapterStart() + Id3v2Frame(4, "TIT2", Text("T")), 0x01);
        }
        QTest::newRow("chapters read on past their end") << WithTag(4, chained, tone) << true;

        QByteArray tags;
        for (int i = 0; i < 100; ++i) {
            tags += Id3v2Header(3 + i % 2, 0, 0);
        }
        QTest::newRow("a hundred empty tags") << tags + tone << true;
    }

    void guardHeavyInputs() {
        QFETCH(QByteArray, input);
        QFETCH(bool, converts);
        Check(input, converts);
    }
};

QTEST_GUILESS_MAIN(TestFuzzRegressions)
#include "tst_fuzz_regressions.moc"
