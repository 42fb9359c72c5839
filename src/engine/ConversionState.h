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

// A file of a run that ended without its output.
struct TaskFailure {
    int taskIndex = 0;
    // The first error line logged while the file converted, with its detail
    // ("File Error: No such file or directory").
    QString reason;
};

// The shared state of one conversion run: its tasks, its flags and counters,
// its threads, and where it reports to. The window of the run owns it.
//
// Thread safety: no lock. `running`, `paused` and `aborted` are polled flags;
// the sample counters are written only by the encoder thread (and reset by
// the driver while no encoder runs) and read by anyone for display. The
// tasks, totals and settings are fixed before the driver starts.
class ConversionState {
public:
    ConversionState() = default;
    ~ConversionState();
    ConversionState(const ConversionState&) = delete;
    ConversionState& operator=(const ConversionState&) = delete;

    std::atomic<int32_t> aborted{0};
    std::atomic<int32_t> running{0};
    std::atomic<int32_t> paused{0};
    std::atomic<uint64_t> overallSamplesDone{0};
    std::atomic<uint64_t> fileSamplesDone{0};
    uint64_t totalSamplesExpected = 0;
    // targetRate x targetChannels of the current file, set by the driver
    // before its stages start: with fileSamplesDone it gives the file's
    // seconds exactly, where a float sum of every chunk's seconds drifted
    // by percents over a long audiobook.
    std::atomic<uint64_t> fileSamplesPerSecond{0};
    // Exact seconds of the files the driver is done with (driver only).
    std::atomic<double> finishedFilesAudioSeconds{0.0};
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

    // false (the window): the first file that fails stops the run, as the
    // user watches it and decides. true (the command-line tool): the failure
    // is recorded and the run goes on with the next file, so that one bad
    // file does not cost a night's batch; only a cancel stops the run then.
    bool continueAfterError = false;

    // The files that failed or were cancelled, in task order. Written by the
    // driver thread; read once it has been joined (WaitForConversion).
    std::vector<TaskFailure> failures;

    // Where messages go (the window of the run); may be null in tests. It must
    // outlive the run's threads.
    QObject* receiver = nullptr;
    // The window's other operations; may be null.
    ConversionView* view = nullptr;

    bool IsRunning() const { return running.load(std::memory_order_relaxed) != 0; }
    // Sequentially consistent, like the cancel's `aborted` = 1 before it: a
    // driver that sets `running` back to 1 after a failed file and then reads
    // `aborted` again is sure to see a cancel whose stop it overwrote.
    void Stop() { running.store(0); }

    // Seconds of audio encoded: of the current file, and of the whole run
    // (the files done plus the current one), from the 64-bit counters.
    // Between two files a reader may miss the last file's seconds for an
    // instant; it never counts them twice.
    double FileAudioSeconds() const;
    double OverallAudioSeconds() const;

    // Delivers WM_CONV_PROGRESS. Posted when final is false. When final is
    // true the call returns only after the receiver handled the message, or
    // as soon as the run stops: a window that is itself waiting for this
    // thread (Cancel) sets running to 0 first, so the two can never deadlock.
    void UpdateProgress(float filePercent, float overallPercent, bool final);

    // Posts WM_CONV_LOG with the line and its level. The first error line of
    // a file is kept as the file's reason (see TakeFirstError).
    void PostLog(const QString& text, LogLevel level = LogNormal);
    // The same with why it happened, e.g. the errno text; see ConvLogEvent.
    void PostLog(const QString& text, LogLevel level, const QString& detail);

    // Keeps `reason` as the current file's reason unless one was kept
    // already. Any thread.
    void NoteFirstError(const QString& reason);
    // The current file's reason, and forgets it; empty when none was noted.
    // Driver only, while no stage thread of the file runs.
    QString TakeFirstError();

    // Posts WM_CONV_FINISHED.
    void PostFinished();

    // Adds encoded samples to the two progress counters (encoder thread only).
    void AddEncoded(uint64_t samples);

private:
    void Post(ConversionEvent* event);

    // Heap text owned by the state; a stage thread publishes it with one
    // compare-and-swap, so that the first error wins without a lock.
    std::atomic<QString*> firstError{nullptr};
};

} // namespace zorvane
