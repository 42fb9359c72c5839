#include "ConversionDriver.h"

#include "ConversionState.h"
#include "DecoderStage.h"
#include "EngineContext.h"
#include "FolderPaths.h"
#include "Ticks.h"
#include "platform/DisplayText.h"
#include "platform/FolderCreation.h"

#include <QFileInfo>

#include <thread>

namespace zorvane {

namespace {

// How long a stage thread may go without encoding anything, after the
// decoder returned, before the driver asks the whole run to stop. Time spent
// paused does not count: a user who pauses near the end of a file must not
// lose the run.
constexpr uint32_t kStageStallMs = 10000;

void JoinStage(ConversionState& state, StageThread& thread) {
    if (!thread.Started()) {
        return;
    }
    uint64_t lastDone = state.overallSamplesDone.load();
    uint32_t stallStart = TickCount();
    while (!thread.WaitFor(100)) {
        const uint64_t done = state.overallSamplesDone.load();
        // Only stages that move audio are watched: once the file's audio is
        // all encoded, writing its tags and syncing may take as long as the
        // disk needs.
        if (done != lastDone || state.paused.load() != 0 || state.fileAudioDone.load() != 0) {
            lastDone = done;
            stallStart = TickCount();
        } else if (TicksSince(stallStart) > kStageStallMs) {
            // Killing a thread would leave its file half written; every stage
            // polls `running`, so asking is enough, and the file gets ERROR.
            // No stage logged why, so the file's reason says it here.
            state.NoteFirstError(
                QStringLiteral("no audio was encoded for %1 seconds").arg(kStageStallMs / 1000));
            state.Stop();
            break;
        }
    }
    thread.Join();
}

QString SpeedText(double audioSeconds, double elapsed) {
    // A file converted within one tick would otherwise show "infx".
    const double speed = elapsed > 0.0 ? audioSeconds / elapsed : 0.0;
    return QString::asprintf("%.2f", speed);
}

// False when the task's output folder is missing and could not be made; the
// failure is then logged and recorded.
bool MakeOutputFolder(ConversionState& state, int index, const CConversionTask& task) {
    const QString folder = QFileInfo(task.destinationPath).path();
    if (QFileInfo(folder).isDir()) {
        return true;
    }
    int error = 0;
    if (CreateFolderPath(folder, &error)) {
        return true;
    }
    state.PostLog(QStringLiteral("Fail to create folder %1 !").arg(EscapedForDisplay(folder)),
                  LogError, qt_error_string(error));
    state.failures.push_back({index, state.TakeFirstError()});
    return false;
}

// A first guess for the log and the window: the encoder claims the name only
// when the file is complete, numbering on if it was taken by then. A link at
// the name, even a dangling one, counts as taken.
void GuessDestinationName(CConversionTask& task) {
    task.unnumberedDestinationPath = task.destinationPath;
    task.destinationPath = NumberedDestinationPath(task.destinationPath, 1);
    if (NameIsTaken(task.destinationPath)) {
        task.destinationPath = UniqueDestinationPath(task.unnumberedDestinationPath);
    }
}

void AnnounceTask(ConversionState& state, const CConversionTask& task) {
    if (state.view) {
        state.view->SetSourceText(task.sourcePath);
        state.view->SetDestinationText(task.destinationPath);
    }
    state.PostLog(QStringLiteral("Start a new converting task."));
    state.PostLog(QStringLiteral("Source:  %1.").arg(EscapedForDisplay(task.sourcePath)));
    state.PostLog(QStringLiteral("Destination: %1.").arg(EscapedForDisplay(task.destinationPath)));
}

void ResetFileCounters(EngineContext& ctx, ConversionState& state, const CConversionTask& task) {
    state.fileSamplesDone.store(0);
    state.fileSamplesPerSecond.store(uint64_t(task.targetRate) * task.targetChannels);
    state.fileStartTick.store(TickCount());
    state.fileAudioDone.store(0);
    ctx.decodedRing.Reset();
    ctx.processedRing.Reset();
}

// Decodes on this thread and joins the file's other stages; returns the
// seconds of audio the file produced, now counted among the finished ones.
double RunStages(EngineContext& ctx, ConversionState& state, CConversionTask& task) {
    if (!RunDecoder(ctx, task)) {
        state.Stop();
    }
    JoinStage(state, state.tempoThread);
    JoinStage(state, state.encoderThread);

    const double fileSeconds = state.FileAudioSeconds();
    // Cleared before the seconds join the finished ones, so that no
    // reader between two files counts them twice.
    state.fileSamplesDone.store(0);
    state.finishedFilesAudioSeconds.store(state.finishedFilesAudioSeconds.load() + fileSeconds);
    return fileSeconds;
}

void ReportTask(ConversionState& state, int index, uint32_t fileStart, double fileSeconds) {
    if (state.IsRunning()) {
        const double elapsed = double(TicksSince(fileStart)) / 1000.0;
        state.PostLog(
            QStringLiteral("Time elapsed %1 secs, speed %2x.")
                .arg(QString::asprintf("%.2f", elapsed), SpeedText(fileSeconds, elapsed)));
        state.PostLog(QStringLiteral("Converting status: OK."));
        return;
    }
    QString reason = state.TakeFirstError();
    if (reason.isEmpty()) {
        reason =
            state.aborted.load() != 0 ? QStringLiteral("cancelled") : QStringLiteral("stopped");
    }
    state.PostLog(QStringLiteral("Converting status: ERROR."), LogError);
    state.failures.push_back({index, reason});
    if (state.continueAfterError) {
        ResumeAfterFailure(state);
    }
}

// One file of the run; false when the run must end at once.
bool ConvertTask(EngineContext& ctx, ConversionState& state, int index, int taskCount) {
    state.PostLog(LogSeparatorLine());
    const uint32_t fileStart = TickCount();
    if (state.view) {
        state.view->SetTitle(QStringLiteral("Converting %1/%2").arg(index + 1).arg(taskCount));
    }
    // The driver's working copy: the stage threads point into it until joined.
    CConversionTask task = state.tasks[size_t(index)];
    state.TakeFirstError();

    if (!MakeOutputFolder(state, index, task)) {
        if (!state.continueAfterError) {
            state.Stop();
            return false;
        }
        return true;
    }
    GuessDestinationName(task);
    AnnounceTask(state, task);
    ResetFileCounters(ctx, state, task);
    const double fileSeconds = RunStages(ctx, state, task);
    ReportTask(state, index, fileStart, fileSeconds);
    return true;
}

void ReportRun(ConversionState& state, int taskCount, uint32_t runStart) {
    if (taskCount > 1) {
        const double total = double(TicksSince(runStart)) / 1000.0;
        state.PostLog(LogSeparatorLine());
        state.PostLog(RunTotalsLine(total, state.OverallAudioSeconds()));
    }
    state.PostFinished();
}

} // namespace

QString RunTotalsLine(double elapsedSeconds, double audioSeconds) {
    return QStringLiteral("Total time elapsed %1 secs, overall speed %2x.")
        .arg(QString::asprintf("%.2f", elapsedSeconds), SpeedText(audioSeconds, elapsedSeconds));
}

QString LogSeparatorLine() {
    return QString(99, u'-');
}

bool ResumeAfterFailure(ConversionState& state, const std::function<void()>& beforeResume) {
    if (state.aborted.load() != 0) {
        return false;
    }
    if (beforeResume) {
        beforeResume();
    }
    state.running.store(1);
    // A cancel that came since the first look wrote `aborted` before its
    // `running` = 0, which the store above may just have overwritten.
    if (state.aborted.load() != 0) {
        state.Stop();
        return false;
    }
    return true;
}

void RunDriver(EngineContext& ctx) {
    ConversionState& state = *ctx.progressWindow;
    std::this_thread::sleep_for(std::chrono::milliseconds(state.startDelayMs));
    if (state.view) {
        state.view->StartRefreshTimer();
    }
    const uint32_t runStart = TickCount();
    state.overallStartTick.store(runStart);
    state.taskIndex.store(0);
    const int taskCount = int(state.tasks.size());

    while (state.IsRunning() && state.taskIndex.load() < taskCount) {
        const int index = state.taskIndex.load();
        if (!ConvertTask(ctx, state, index, taskCount)) {
            break;
        }
        state.taskIndex.store(index + 1);
    }
    if (state.IsRunning()) {
        ReportRun(state, taskCount, runStart);
    }
}

} // namespace zorvane
