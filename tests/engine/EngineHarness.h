#pragma once

// Runs real conversions in a test: a recording window, tasks made from
// generated files, and a wait for the driver that keeps the event loop going.

#include "engine/ConversionState.h"
#include "engine/ConversionTask.h"
#include "engine/EngineContext.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <vector>

namespace zorvane::testing {

struct LoggedLine {
    QString text;
    int level;
    QString detail;
};

// A window for a run that remembers everything the engine told it.
class RecordingReceiver final : public QObject, public ConversionView {
public:
    std::vector<LoggedLine> lines;
    int progressMessages = 0;
    float lastFilePercent = -1;
    float lastOverallPercent = -1;
    int finishedMessages = 0;
    int errorBoxes = 0;

    QStringList Texts() const;
    QStringList ErrorTexts() const;

    void SetTitle(const QString&) override {}
    void SetSourceText(const QString&) override {}
    void SetDestinationText(const QString&) override {}
    void StartRefreshTimer() override {}
    void ShowErrorBox(const QString&) override { ++errorBoxes; }

protected:
    bool event(QEvent* e) override;
};

// A task for an MP3 source converted at its own rate and channel count
// straight from the decoder to the encoder.
CConversionTask DirectTask(const QString& source, const QString& destination, uint32_t rate,
                           uint32_t channels, uint64_t sourceFrames);

// A task for a generated tone through the tempo stage, with the output
// format and expected length the task rules give for `settings`.
CConversionTask ToneTask(const QString& source, const QString& destination, uint32_t rate,
                         uint32_t channels, double seconds, const ConversionSettings& settings);

// Starts the run, keeps the event loop turning until the driver returns (or
// timeoutMs passes, which fails the test's expectations), then delivers
// what is still queued.
bool RunToEnd(EngineContext& ctx, ConversionState& state, RecordingReceiver& receiver,
              int timeoutMs = 60000);

// The channel mode bits of the first audio frame after the Info frame:
// 0 stereo, 1 joint stereo, 2 dual channel, 3 mono; -1 when none is found.
int FirstAudioFrameMode(const QString& path);
// The bitrate in kbit/s of that frame; -1 when none is found.
int FirstAudioFrameBitrate(const QString& path);

} // namespace zorvane::testing
