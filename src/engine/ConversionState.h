#pragma once

#include "ConversionEvents.h"
#include "ConversionTask.h"
#include "StageProfile.h"
#include "StageThread.h"
#include "settings/ConversionSettings.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <vector>

namespace zorvane {

// What the driver asks of the window of a run besides messages: the title,
// the source and destination fields and the one-second refresh timer. The
// driver calls these from its own thread; implementations must hand the work
// to their own thread (a queued call) and must not block.
class ConversionView {
public:
    virtual ~ConversionView() = default;
    virtual void SetTitle(const QString& title) = 0;
    virtual void SetSourceText(const QString& path) = 0;
    virtual void SetDestinationText(const QString& path) = 0;
    virtual void StartRefreshTimer() = 0;
    // A modal error box for failures the user must see even without the log.
    virtual void ShowErrorBox(const QString& text) = 0;
};

// The shared state of one conversion run: its tasks, its flags and counters,
// its threads, and where it reports to. The window of the run owns it.
//
// Thread safety: no lock. `running`, `paused` and `aborted` are polled flags;
// the counters and seconds are written only by the encoder thread (and reset
// by the driver while no encoder runs) and read by anyone for display. The
// tasks, totals and settings are fixed before the driver starts.
class ConversionState {
public:
    ConversionState() = default;
    ConversionState(const ConversionState&) = delete;
    ConversionState& operator=(const ConversionState&) = delete;

    std::atomic<int32_t> aborted{0};
    std::atomic<int32_t> running{0};
    std::atomic<int32_t> paused{0};
    std::atomic<uint64_t> overallSamplesDone{0};
    std::atomic<uint64_t> fileSamplesDone{0};
    uint64_t totalSamplesExpected = 0;
    std::atomic<float> overallAudioSeconds{0.0f};
    std::atomic<float> fileAudioSeconds{0.0f};
    float totalAudioSeconds = 0.0f;
    std::atomic<int32_t> taskIndex{0};
    StageThread driverThread;
    StageThread encoderThread; // joined by the driver per file
    StageThread tempoThread;   // joined by the driver per file
    std::vector<CConversionTask> tasks;
    std::atomic<uint32_t> fileStartTick{0};
    // 1 once the encoder has encoded and flushed the current file's last
    // sample: what is left (tags, sync, final name) moves no audio, so the
    // driver's stall watchdog stops watching. Reset by the driver per file.
    std::atomic<int32_t> fileAudioDone{0};
    std::atomic<uint32_t> overallStartTick{0};

    // Where each stage's time went, over the whole run.
    StageProfile profile;

    // How long the driver waits before its first file. The window of a run
    // uses it to be on screen before the log starts; a run without a window
    // (the command-line tool) sets 0.
    unsigned startDelayMs = 500;

    // The settings of this run, copied when the run is built.
    ConversionSettings settings;

    // Where messages go (the window of the run); may be null in tests. It must
    // outlive the run's threads.
    QObject* receiver = nullptr;
    // The window's other operations; may be null.
    ConversionView* view = nullptr;

    bool IsRunning() const { return running.load(std::memory_order_relaxed) != 0; }
    void Stop() { running.store(0, std::memory_order_relaxed); }

    // Delivers WM_CONV_PROGRESS. Posted when final is false. When final is
    // true the call returns only after the receiver handled the message, or
    // as soon as the run stops: a window that is itself waiting for this
    // thread (Cancel) sets running to 0 first, so the two can never deadlock.
    void UpdateProgress(float filePercent, float overallPercent, bool final);

    // Posts WM_CONV_LOG with the line and its level.
    void PostLog(const QString& text, LogLevel level = LogNormal);

    // Posts WM_CONV_FINISHED.
    void PostFinished();

    // Adds encoded samples to the four progress counters (encoder thread only).
    void AddEncoded(uint64_t samples, float seconds);

private:
    void Post(ConversionEvent* event);
};

} // namespace zorvane
