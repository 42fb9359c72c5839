#include "EngineHarness.h"

#include "engine/ConversionRun.h"
#include "engine/TaskRules.h"

#include <QCoreApplication>
#include <QFile>
#include <QTest>

namespace zorvane::testing {

QStringList RecordingReceiver::Texts() const {
    QStringList out;
    for (const auto& line : lines) {
        out << line.text;
    }
    return out;
}

QStringList RecordingReceiver::ErrorTexts() const {
    QStringList out;
    for (const auto& line : lines) {
        if (line.level == LogError) {
            out << line.text;
        }
    }
    return out;
}

bool RecordingReceiver::event(QEvent* e) {
    if (auto* log = EngineEventCast<ConvLogEvent>(e)) {
        lines.push_back({log->text, log->level, log->detail});
        return true;
    }
    if (auto* progress = EngineEventCast<ConvProgressEvent>(e)) {
        ++progressMessages;
        lastFilePercent = progress->filePercent;
        lastOverallPercent = progress->overallPercent;
        return true;
    }
    if (EngineEventCast<ConvFinishedEvent>(e)) {
        ++finishedMessages;
        return true;
    }
    return QObject::event(e);
}

CConversionTask DirectTask(const QString& source, const QString& destination, uint32_t rate,
                           uint32_t channels, uint64_t sourceFrames) {
    CConversionTask task;
    task.sourcePath = source;
    task.sourceFormat = kFormatMp3;
    task.sourceRate = rate;
    task.sourceChannels = channels;
    task.destinationPath = destination;
    task.outputFormat = kFormatMp3;
    task.targetRate = rate;
    task.targetChannels = channels;
    task.sampleRatio = 1.0;
    task.expectedSamples = sourceFrames * channels;
    task.needsProcessing = 0;
    return task;
}

CConversionTask ToneTask(const QString& source, const QString& destination, uint32_t rate,
                         uint32_t channels, double seconds, const ConversionSettings& settings) {
    const uint64_t frames = uint64_t(seconds * rate + 0.5);
    CConversionTask task = DirectTask(source, destination, rate, channels, frames);
    task.targetChannels = TargetChannels(channels, settings.channelMode);
    task.targetRate = TargetRate(rate, settings.frequencyIndex);
    task.sampleRatio = SampleRatio(task.targetRate, task.targetChannels, rate, channels);
    task.expectedSamples = ExpectedSamples(task.sampleRatio, frames * channels,
                                           settings.speedPercent, task.targetChannels);
    task.needsProcessing = 1;
    return task;
}

bool RunToEnd(EngineContext& ctx, ConversionState& state, RecordingReceiver& receiver,
              int timeoutMs) {
    state.receiver = &receiver;
    state.view = &receiver;
    for (const auto& task : state.tasks) {
        state.totalSamplesExpected += task.expectedSamples;
        state.totalAudioSeconds += task.AudioSeconds(task.expectedSamples);
    }
    StartConversion(ctx, state);
    const bool ended = QTest::qWaitFor([&] { return state.driverThread.Finished(); }, timeoutMs);
    if (!ended) {
        state.Stop();
    }
    WaitForConversion(ctx, state);
    QCoreApplication::sendPostedEvents();
    return ended;
}

namespace {

// Offset of the frame after the first one (the Info frame), and its header.
bool SecondFrameHeader(const QString& path, quint32* header) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray data = file.read(64 * 1024);
    static const int kBitrates[2][16] = {
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}};
    static const int kRates[3] = {44100, 48000, 32000};
    int frames = 0;
    qsizetype pos = 0;
    while (pos + 4 <= data.size()) {
        const auto* p = reinterpret_cast<const unsigned char*>(data.constData() + pos);
        const quint32 h =
            (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | p[3];
        if ((h & 0xFFE00000u) != 0xFFE00000u) {
            ++pos;
            continue;
        }
        const int version = (h >> 19) & 3; // 3 = MPEG-1, 2 = MPEG-2, 0 = MPEG-2.5
        const int bitrateIndex = (h >> 12) & 15;
        const int rateIndex = (h >> 10) & 3;
        if (version == 1 || rateIndex == 3 || bitrateIndex == 0 || bitrateIndex == 15) {
            ++pos;
            continue;
        }
        const bool mpeg1 = version == 3;
        const int kbps = kBitrates[mpeg1 ? 0 : 1][bitrateIndex];
        const int rate = kRates[rateIndex] >> (mpeg1 ? 0 : (version == 2 ? 1 : 2));
        const int padding = (h >> 9) & 1;
        const int length = (mpeg1 ? 144000 : 72000) * kbps / rate + padding;
        if (++frames == 2) {
            *header = h;
            return true;
        }
        pos += length;
    }
    return false;
}

} // namespace

int FirstAudioFrameMode(const QString& path) {
    quint32 h = 0;
    return SecondFrameHeader(path, &h) ? int((h >> 6) & 3) : -1;
}

int FirstAudioFrameBitrate(const QString& path) {
    quint32 h = 0;
    if (!SecondFrameHeader(path, &h)) {
        return -1;
    }
    static const int kBitrates[2][16] = {
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}};
    const bool mpeg1 = ((h >> 19) & 3) == 3;
    return kBitrates[mpeg1 ? 0 : 1][(h >> 12) & 15];
}

} // namespace zorvane::testing
