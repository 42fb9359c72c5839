#include "AudioAnalysis.h"
#include "Mp3Fixtures.h"
#include "TagFixtures.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

using namespace zorvane::testing;

class TestSupport : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void toneRoundTrip_data();
    void toneRoundTrip();
    void stereoChannelsStaySeparate();
    void decodedSamplesLineUpWithTheSource();
    void silenceDecodesToZero();
    void unusableFilesDoNotDecode();
    void truncatedFileDecodesShorter();

    void tagsRoundTrip_data();
    void tagsRoundTrip();
    void frontCoverKeepsOtherTags();
    void tinyPngLooksLikePng();

    void patchedFrameCountIsBelieved();

private:
    QString pathFor(const QString& name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
};

void TestSupport::initTestCase() {
    QVERIFY(m_dir.isValid());
}

void TestSupport::toneRoundTrip_data() {
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("channels");
    QTest::addColumn<double>("level");
    for (int rate : {8000, 11025, 22050, 32000, 44100, 48000}) {
        for (int channels : {1, 2}) {
            for (double level : {-6.0, -20.0, -70.0}) {
                const QByteArray name = QByteArray::number(rate) +
                                        (channels == 1 ? " mono " : " stereo ") +
                                        QByteArray::number(level) + " dBFS";
                QTest::newRow(name.constData()) << rate << channels << level;
            }
        }
    }
}

void TestSupport::toneRoundTrip() {
    QFETCH(int, rate);
    QFETCH(int, channels);
    QFETCH(double, level);

    ToneParams tone;
    tone.sampleRate = rate;
    tone.channels = channels;
    tone.levelDbfs = level;
    tone.seconds = 1.0;
    const QString path =
        pathFor(QStringLiteral("tone_%1_%2_%3.mp3").arg(rate).arg(channels).arg(-level));
    QString error;
    QVERIFY2(WriteToneMp3(path, tone, &error), qPrintable(error));

    InfoFrame info;
    QVERIFY(ReadInfoFrame(path, &info));
    QVERIFY(info.hasFrameCount);
    QVERIFY(info.hasLameExtension);
    QVERIFY(info.lameCrcValid);
    QCOMPARE(info.sampleRate, rate);
    QCOMPARE(info.channels, channels);
    const qint64 expectedFrames = std::llround(tone.seconds * rate);
    QCOMPARE(qint64(info.frameCount) * info.samplesPerFrame - info.encoderDelay -
                 info.encoderPadding,
             expectedFrames);

    DecodedAudio audio;
    QVERIFY2(DecodeMp3(path, &audio, &error), qPrintable(error));
    QCOMPARE(audio.rate, long(rate));
    QCOMPARE(audio.channels, channels);
    // The Info frame carries delay and padding, so gapless decoding is exact.
    QCOMPARE(audio.frames(), expectedFrames);
    QCOMPARE(Mpg123ReportedLength(path), audio.frames());

    for (int c = 0; c < channels; ++c) {
        const double hz = EstimateFrequencyHz(audio, c);
        QVERIFY2(std::fabs(hz / tone.frequencyHz - 1.0) < 0.005,
                 qPrintable(QStringLiteral("channel %1: %2 Hz").arg(c).arg(hz)));
        // RMS of a sine is its peak minus 3.01 dB.
        const double rms = RmsDbfs(audio, c, 0.05) + 10.0 * std::log10(2.0);
        QVERIFY2(std::fabs(rms - level) < 0.5,
                 qPrintable(QStringLiteral("channel %1: %2 dBFS").arg(c).arg(rms)));
        QVERIFY(PeakDbfs(audio, c) < level + 1.0);
    }
    if (channels == 2)
        QVERIFY(CorrelationBetweenChannels(audio, 0.05) > 0.99);
}

void TestSupport::stereoChannelsStaySeparate() {
    ToneParams tone;
    tone.frequencyHz = 440;
    tone.rightFrequencyHz = 1000;
    const QString path = pathFor(QStringLiteral("two_tones.mp3"));
    QVERIFY(WriteToneMp3(path, tone));
    DecodedAudio audio;
    QVERIFY(DecodeMp3(path, &audio));
    QVERIFY(std::fabs(EstimateFrequencyHz(audio, 0) / 440.0 - 1.0) < 0.002);
    QVERIFY(std::fabs(EstimateFrequencyHz(audio, 1) / 1000.0 - 1.0) < 0.002);
    QVERIFY(std::fabs(CorrelationBetweenChannels(audio, 0.05)) < 0.1);
}

void TestSupport::decodedSamplesLineUpWithTheSource() {
    ToneParams tone;
    tone.levelDbfs = -1.0;
    const QString path = pathFor(QStringLiteral("aligned.mp3"));
    QVERIFY(WriteToneMp3(path, tone));
    DecodedAudio audio;
    QVERIFY(DecodeMp3(path, &audio));
    const std::vector<float> source = MakeTonePcm(tone);
    QCOMPARE(audio.samples.size(), source.size());
    // Sample for sample, away from the edges where the codec rings: a shift
    // of even one sample would leave an error of about -17 dB here.
    double error = 0;
    const size_t begin = 2 * 2048;
    const size_t end = source.size() - 2 * 2048;
    for (size_t i = begin; i < end; ++i)
        error += std::pow(double(audio.samples[i]) - source[i], 2);
    const double errorDb = 10.0 * std::log10(error / double(end - begin));
    QVERIFY2(errorDb < -60.0, qPrintable(QString::number(errorDb)));
    QVERIFY(std::fabs(PeakDbfs(audio, -1, 0.05) + 1.0) < 0.2);
}

void TestSupport::silenceDecodesToZero() {
    ToneParams tone;
    tone.silence = true;
    tone.seconds = 0.5;
    const QString path = pathFor(QStringLiteral("silence.mp3"));
    QVERIFY(WriteToneMp3(path, tone));
    DecodedAudio audio;
    QVERIFY(DecodeMp3(path, &audio));
    QCOMPARE(audio.frames(), qint64(22050));
    QVERIFY(RmsDbfs(audio, -1) < -100.0);
    QCOMPARE(EstimateFrequencyHz(audio, 0), 0.0);
}

void TestSupport::unusableFilesDoNotDecode() {
    const QString text = pathFor(QStringLiteral("text.mp3"));
    const QString empty = pathFor(QStringLiteral("empty.mp3"));
    QVERIFY(WriteNotMp3(text));
    QVERIFY(WriteEmptyFile(empty));
    QCOMPARE(QFileInfo(empty).size(), qint64(0));
    DecodedAudio audio;
    QString error;
    QVERIFY(!DecodeMp3(text, &audio, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!DecodeMp3(empty, &audio, &error));
    QVERIFY(!DecodeMp3(pathFor(QStringLiteral("missing.mp3")), &audio, &error));
    QVERIFY(!ReadInfoFrame(text, nullptr));
    InfoFrame info;
    QVERIFY(!ReadInfoFrame(text, &info));
    QVERIFY(!PatchInfoFrameCount(text, 10));
}

void TestSupport::truncatedFileDecodesShorter() {
    ToneParams tone;
    tone.seconds = 2.0;
    const QString path = pathFor(QStringLiteral("truncated.mp3"));
    QVERIFY(WriteToneMp3(path, tone));
    const qint64 size = QFileInfo(path).size();
    QVERIFY(TruncateFile(path, size / 2));
    QCOMPARE(QFileInfo(path).size(), size / 2);
    DecodedAudio audio;
    QVERIFY(DecodeMp3(path, &audio));
    QVERIFY(audio.seconds() > 0.8);
    QVERIFY(audio.seconds() < 1.2);
}

void TestSupport::tagsRoundTrip_data() {
    QTest::addColumn<int>("kinds");
    QTest::addColumn<int>("version");
    for (int kinds = 0; kinds <= 7; ++kinds) {
        for (int version : {3, 4}) {
            if (!(kinds & TagId3v2) && version == 3)
                continue;
            const QByteArray name =
                QByteArray(kinds & TagId3v1 ? "v1 " : "") +
                (kinds & TagId3v2 ? "v2." + QByteArray::number(version) + " " : "") +
                (kinds & TagApe ? "ape" : "") + (kinds == 0 ? "none" : "");
            QTest::newRow(name.constData()) << kinds << version;
        }
    }
}

void TestSupport::tagsRoundTrip() {
    QFETCH(int, kinds);
    QFETCH(int, version);

    ToneParams tone;
    tone.seconds = 0.2;
    const QString path = pathFor(QStringLiteral("tags_%1_%2.mp3").arg(kinds).arg(version));
    QVERIFY(WriteToneMp3(path, tone));
    // Tags written twice: the second call must replace, not add to, the first.
    TagTexts old = ExampleTagTexts();
    old.title = QStringLiteral("Old title");
    QVERIFY(AddTags(path, TagId3v1 | TagId3v2 | TagApe, old, 4));
    const TagTexts texts = ExampleTagTexts();
    QVERIFY(AddTags(path, kinds, texts, version));

    const ReadBackTags back = ReadTags(path);
    QCOMPARE(back.kinds, kinds);
    if (kinds & TagId3v2) {
        QCOMPARE(back.id3v2Version, version);
        QCOMPARE(back.id3v2, texts);
        // TagLib appends the frames it converts for 2.3 (the date, the genre)
        // after the ones it keeps as they are.
        const QStringList order =
            version == 3 ? QStringList({QStringLiteral("TPE1"), QStringLiteral("TPE2"),
                                        QStringLiteral("TALB"), QStringLiteral("TRCK"),
                                        QStringLiteral("TIT2"), QStringLiteral("COMM"),
                                        QStringLiteral("TYER"), QStringLiteral("TCON")})
                         : QStringList({QStringLiteral("TPE1"), QStringLiteral("TPE2"),
                                        QStringLiteral("TALB"), QStringLiteral("TRCK"),
                                        QStringLiteral("TIT2"), QStringLiteral("TCON"),
                                        QStringLiteral("TDRC"), QStringLiteral("COMM")});
        QCOMPARE(back.id3v2FrameOrder, order);
    } else {
        QCOMPARE(back.id3v2Version, 0);
        QVERIFY(back.id3v2FrameOrder.isEmpty());
    }
    if (kinds & TagApe) {
        QCOMPARE(back.ape, texts);
        // TagLib keeps APE items sorted by key and writes them that way.
        QCOMPARE(back.apeKeyOrder,
                 QStringList({QStringLiteral("ALBUM"), QStringLiteral("ALBUM ARTIST"),
                              QStringLiteral("ARTIST"), QStringLiteral("COMMENT"),
                              QStringLiteral("DATE"), QStringLiteral("GENRE"),
                              QStringLiteral("TITLE"), QStringLiteral("TRACK")}));
    } else {
        QVERIFY(back.apeKeyOrder.isEmpty());
    }
    if (kinds & TagId3v1) {
        TagTexts v1 = texts;
        v1.albumArtist.clear();
        QCOMPARE(back.id3v1, v1);
    }
    QVERIFY(back.pictures.isEmpty());
    QVERIFY(back.id3v2EncodedBy.isEmpty());
    QVERIFY(back.apeEncodedBy.isEmpty());

    // The audio must be untouched by tagging.
    DecodedAudio audio;
    QVERIFY(DecodeMp3(path, &audio));
    QCOMPARE(audio.frames(), qint64(8820));
}

void TestSupport::frontCoverKeepsOtherTags() {
    for (int version : {3, 4}) {
        const QString path = pathFor(QStringLiteral("cover_%1.mp3").arg(version));
        ToneParams tone;
        tone.seconds = 0.2;
        QVERIFY(WriteToneMp3(path, tone));
        QVERIFY(AddTags(path, TagId3v1 | TagId3v2 | TagApe, ExampleTagTexts(), version));
        QVERIFY(AddFrontCover(path, TinyPng(), QStringLiteral("image/png")));
        const ReadBackTags back = ReadTags(path);
        QCOMPARE(back.kinds, TagId3v1 | TagId3v2 | TagApe);
        QCOMPARE(back.id3v2Version, version);
        QCOMPARE(back.id3v2, ExampleTagTexts());
        QCOMPARE(back.ape, ExampleTagTexts());
        QCOMPARE(back.pictures, QList<QByteArray>({TinyPng()}));
        QCOMPARE(back.pictureMimeTypes, QStringList({QStringLiteral("image/png")}));
        QCOMPARE(back.id3v2FrameOrder.count(QStringLiteral("APIC")), 1);
        InfoFrame info;
        QVERIFY(ReadInfoFrame(path, &info));
        QVERIFY(info.lameCrcValid);
        QVERIFY(info.frameOffset > 0);
    }
    // A file without any tag gets a fresh 2.4 tag holding only the picture.
    const QString bare = pathFor(QStringLiteral("cover_bare.mp3"));
    QVERIFY(WriteToneMp3(bare, ToneParams()));
    QVERIFY(AddFrontCover(bare, TinyPng(), QStringLiteral("image/png")));
    const ReadBackTags back = ReadTags(bare);
    QCOMPARE(back.kinds, int(TagId3v2));
    QCOMPARE(back.id3v2Version, 4);
    QCOMPARE(back.id3v2FrameOrder, QStringList({QStringLiteral("APIC")}));
}

void TestSupport::tinyPngLooksLikePng() {
    const QByteArray png = TinyPng();
    QVERIFY(png.startsWith("\x89PNG\r\n\x1a\n"));
    QVERIFY(png.contains("IHDR"));
    QVERIFY(png.endsWith("IEND\xae\x42\x60\x82"));
}

void TestSupport::patchedFrameCountIsBelieved() {
    ToneParams tone;
    tone.seconds = 0.5;
    const QString path = pathFor(QStringLiteral("patched.mp3"));
    QVERIFY(WriteToneMp3(path, tone));
    // Behind a large ID3v2 tag, to be sure the Info frame is found after it.
    QVERIFY(AddTags(path, TagId3v2, ExampleTagTexts()));
    QVERIFY(AddFrontCover(path, QByteArray(20000, 'x'), QStringLiteral("image/png")));
    InfoFrame before;
    QVERIFY(ReadInfoFrame(path, &before));
    QVERIFY(before.frameOffset > 20000);

    constexpr quint32 kFrames = 5'000'000;
    QVERIFY(PatchInfoFrameCount(path, kFrames));
    InfoFrame after;
    QVERIFY(ReadInfoFrame(path, &after));
    QCOMPARE(after.frameCount, kFrames);
    QVERIFY(after.lameCrcValid);
    QCOMPARE(after.encoderDelay, before.encoderDelay);
    QCOMPARE(after.encoderPadding, before.encoderPadding);

    const qint64 claimed =
        qint64(kFrames) * after.samplesPerFrame - after.encoderDelay - after.encoderPadding;
    QVERIFY(claimed > (qint64(1) << 32));
    QCOMPARE(Mpg123ReportedLength(path), claimed);

    // Decoding still ends where the data ends.
    DecodedAudio audio;
    QVERIFY(DecodeMp3(path, &audio));
    QVERIFY(audio.frames() < 2 * 22050);
}

QTEST_GUILESS_MAIN(TestSupport)
#include "tst_support.moc"
