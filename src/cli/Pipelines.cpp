#include "Pipelines.h"

#include "StopSignals.h"

#include "engine/ConversionDriver.h"
#include "engine/ConversionRun.h"
#include "engine/EngineContext.h"
#include "engine/TaskRules.h"
#include "engine/Ticks.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <memory>

namespace zorvane {

namespace {

// One pipeline of a batch: its own rings, decoder handle, run state, driver
// thread and receiver, reused file after file. Nothing is shared between two
// pipelines but the output folder, whose names are claimed atomically.
struct Pipeline {
    explicit Pipeline(ConsoleOutput& output) : receiver(state, output, false) {
        receiver.HoldLines();
        state.receiver = &receiver;
        state.view = &receiver;
        state.startDelayMs = 0;
    }

    EngineContext ctx;
    ConversionState state;
    ConsoleReceiver receiver;
    int taskIndex = -1; // the batch's task being converted; -1: idle
};

// A batch run of several pipelines, driven from the main thread by a timer
// that collects the files that ended and hands out the next ones.
class PipelineBatch {
public:
    PipelineBatch(ConversionState& batchState, bool stopAtError, ConsoleOutput& out,
                  bool liveProgress)
        : batch(batchState), stopOnError(stopAtError), output(out), progress(liveProgress),
          taskCount(int(batchState.tasks.size())) {}

    // Makes `jobs` pipelines; returns why an engine could not start.
    std::optional<QString> MakePipelines(int jobs);
    void Run();
    // What the run leaves for the summary; a run that went through also
    // ends its log here, with the totals.
    RunOutcome Conclude();

private:
    void StartNext(Pipeline& p);
    void StopOthers(const QString& reason, bool cancel);
    void CollectFile(Pipeline& p);
    void Poll();
    void DrawProgress();
    void PrintEnd(size_t failed);

    ConversionState& batch;
    const bool stopOnError;
    ConsoleOutput& output;
    BatchProgressLine progress;
    const int taskCount;
    std::vector<std::unique_ptr<Pipeline>> pipelines;
    std::vector<TaskFailure> failures;
    int next = 0;
    int filesDone = 0;
    bool stopAll = false;
    bool stopAsked = false;
    uint64_t samplesOfDoneFiles = 0;
    double secondsOfDoneFiles = 0.0;
    uint32_t runStart = 0;
    int ticks = 0;
};

std::optional<QString> PipelineBatch::MakePipelines(int jobs) {
    for (int i = 0; i < jobs; ++i) {
        pipelines.push_back(std::make_unique<Pipeline>(output));
        if (!pipelines.back()->ctx.IsValid()) {
            return pipelines.back()->ctx.InitError();
        }
    }
    return std::nullopt;
}

void PipelineBatch::Run() {
    runStart = TickCount();
    batch.overallStartTick.store(runStart);
    batch.profile.Reset();
    for (auto& p : pipelines) {
        StartNext(*p);
    }
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [this] { Poll(); });
    poll.start(50);
    QCoreApplication::exec();
    progress.Clear();
}

void PipelineBatch::StartNext(Pipeline& p) {
    if (stopAll || StopRequested() || next >= taskCount) {
        return;
    }
    const CConversionTask& task = batch.tasks[size_t(next)];
    p.state.tasks.clear();
    p.state.totalSamplesExpected = 0;
    p.state.totalAudioSeconds = 0.0f;
    AppendTask(p.state, task);
    p.state.settings = batch.settings;
    p.state.continueAfterError = batch.continueAfterError;
    p.taskIndex = next++;
    WithStopSignalsBlocked([&p] { StartConversion(p.ctx, p.state); });
}

// `cancel`: the files under way end as errors; otherwise they fail with `reason`.
void PipelineBatch::StopOthers(const QString& reason, bool cancel) {
    for (auto& other : pipelines) {
        if (other->taskIndex < 0) {
            continue;
        }
        if (cancel) {
            other->state.aborted.store(1);
        } else {
            other->state.NoteFirstError(reason);
        }
        other->state.Stop();
    }
}

void PipelineBatch::CollectFile(Pipeline& p) {
    WaitForConversion(p.ctx, p.state);
    QCoreApplication::sendPostedEvents(&p.receiver);
    progress.Clear();
    for (const QString& line : p.receiver.TakeHeldLines()) {
        output.WriteLine(line);
    }
    for (const TaskFailure& failure : p.state.failures) {
        failures.push_back({p.taskIndex, failure.reason});
    }
    samplesOfDoneFiles += p.state.overallSamplesDone.load();
    secondsOfDoneFiles += p.state.OverallAudioSeconds();
    batch.profile.Add(p.state.profile);
    ++filesDone;
    if (!p.state.failures.empty() && stopOnError && !stopAll) {
        stopAll = true;
        StopOthers(QStringLiteral("not finished: the run stopped at another file's failure "
                                  "(--stop-on-error)"),
                   false);
    }
    p.taskIndex = -1;
}

void PipelineBatch::Poll() {
    if (StopRequested() && !stopAsked) {
        // Stop cleanly: the files under way end as errors, nothing is killed.
        stopAsked = true;
        StopOthers(QString(), true);
    }
    bool busy = false;
    for (auto& p : pipelines) {
        if (p->taskIndex >= 0 && p->state.driverThread.Finished()) {
            CollectFile(*p);
            StartNext(*p);
        }
        busy = busy || p->taskIndex >= 0;
    }
    if (!busy) {
        QCoreApplication::quit();
    } else if (++ticks % 4 == 0) {
        DrawProgress();
    }
}

void PipelineBatch::DrawProgress() {
    uint64_t samples = samplesOfDoneFiles;
    double seconds = secondsOfDoneFiles;
    for (const auto& p : pipelines) {
        if (p->taskIndex >= 0) {
            samples += p->state.overallSamplesDone.load();
            seconds += p->state.OverallAudioSeconds();
        }
    }
    const double elapsed = double(TicksSince(runStart)) / 1000.0;
    const double percent = batch.totalSamplesExpected > 0
                               ? 100.0 * double(samples) / double(batch.totalSamplesExpected)
                               : 0.0;
    progress.Draw(percent, filesDone, taskCount, elapsed > 0 ? seconds / elapsed : 0.0, elapsed);
}

RunOutcome PipelineBatch::Conclude() {
    RunOutcome outcome;
    outcome.failures = failures;
    std::sort(outcome.failures.begin(), outcome.failures.end(),
              [](const TaskFailure& a, const TaskFailure& b) { return a.taskIndex < b.taskIndex; });
    outcome.firstNotReached = next;
    outcome.finished = !stopAll && !StopRequested() && next == taskCount;
    for (const auto& p : pipelines) {
        outcome.errorLines += p->receiver.ErrorLines();
    }
    if (outcome.finished) {
        PrintEnd(outcome.failures.size());
    }
    return outcome;
}

void PipelineBatch::PrintEnd(size_t failed) {
    if (taskCount > 1) {
        const double total = double(TicksSince(runStart)) / 1000.0;
        output.WriteLine(LogSeparatorLine());
        output.WriteLine(RunTotalsLine(total, secondsOfDoneFiles));
    }
    output.WriteLine(FinishedLine(failed, size_t(taskCount)));
}

} // namespace

RunOutcome RunPipelines(ConversionState& batch, int jobs, bool stopOnError, ConsoleOutput& output,
                        bool liveProgress) {
    PipelineBatch run(batch, stopOnError, output, liveProgress);
    if (std::optional<QString> error = run.MakePipelines(jobs)) {
        RunOutcome outcome;
        outcome.engineError = std::move(error);
        return outcome;
    }
    run.Run();
    return run.Conclude();
}

} // namespace zorvane
