// zorvane-convert: the conversion engine without a window.

#include "CommandLine.h"
#include "ConsoleReceiver.h"

#include "engine/ConversionDriver.h"
#include "engine/ConversionRun.h"
#include "engine/ConversionState.h"
#include "engine/EngineContext.h"
#include "engine/FolderPaths.h"
#include "engine/TaskRules.h"
#include "engine/Ticks.h"
#include "filelist/FileListColumns.h"
#include "filelist/FileRow.h"
#include "filelist/FolderScan.h"
#include "filelist/InfoReader.h"
#include "filelist/InfoRowSink.h"
#include "platform/DisplayText.h"
#include "platform/MessageSink.h"
#include "settings/SettingsStore.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>
#include <vector>

using namespace zorvane;

namespace {

std::atomic<int> interrupted{0};
static_assert(std::atomic<int>::is_always_lock_free, "used in a signal handler");

// The first stop signal asks the run to stop cleanly. A Ctrl+C while that
// stop is under way is the user insisting: the output being written exists
// only under its hidden temporary name, so ending at once leaves nothing
// half done under a final name.
void OnInterrupt(int signalNumber) {
    if (interrupted.exchange(1) != 0 && signalNumber == SIGINT) {
        _exit(130);
    }
}

void SetSignalHandler(int signalNumber, void (*handler)(int),
                      const sigset_t* blockedDuring = nullptr) {
    struct sigaction action {};
    action.sa_handler = handler;
    if (blockedDuring) {
        action.sa_mask = *blockedDuring;
    } else {
        sigemptyset(&action.sa_mask);
    }
    // Restarted calls spare the libraries' reads and writes from EINTR.
    action.sa_flags = SA_RESTART;
    sigaction(signalNumber, &action, nullptr);
}

void PrintError(const QString& text) {
    std::fprintf(stderr, "zorvane-convert: %s\n", text.toLocal8Bit().constData());
}

// A file that is not converted, and why, for the summary at the end.
struct Unconverted {
    QString shownPath;
    QString reason;
};

// Reports a file left out before the run, now and in the summary.
void Skip(QList<Unconverted>* skipped, const QString& shownPath, const QString& reason) {
    PrintError(QStringLiteral("%1: %2").arg(shownPath, reason));
    skipped->append({shownPath, reason});
}

const QString kNotRegular =
    QStringLiteral("not a regular file (a device, FIFO or socket); skipped");
const QString kBadName = QStringLiteral("the name is not valid UTF-8; rename it to convert it");

// The files named on the command line, folders expanded. Inputs that do not
// exist, are not regular files or have names a QString cannot hold are
// reported and listed in *skipped; only regular files go on, since opening
// anything else may block for ever.
QList<QFileInfo> CollectFiles(const CliOptions& options, QList<Unconverted>* skipped) {
    QList<QFileInfo> files;
    for (const QByteArray& name : options.unrepresentableInputs) {
        Skip(skipped, EscapedNameBytes(name), kBadName);
    }
    for (const QString& input : options.inputs) {
        const QFileInfo info(input);
        if (info.isDir()) {
            const qsizetype before = files.size();
            const qsizetype skippedBefore = skipped->size();
            ScanFolder(
                info.absoluteFilePath(), options.recursive,
                [&files](const QFileInfo& f) {
                    files << f;
                    return true;
                },
                [skipped](const QFileInfo& f) {
                    Skip(skipped, EscapedForDisplay(f.filePath()), kNotRegular);
                },
                [skipped](const QString& shownPath, bool isFolder) {
                    Skip(skipped, shownPath,
                         isFolder ? QStringLiteral("the folder name is not valid UTF-8; rename "
                                                   "it to convert the files in it")
                                  : kBadName);
                });
            if (files.size() == before && skipped->size() == skippedBefore) {
                PrintError(QStringLiteral("%1: no MP3 files in this folder%2")
                               .arg(EscapedForDisplay(input),
                                    options.recursive
                                        ? QString()
                                        : QStringLiteral(" (add -r to include subfolders)")));
            }
        } else if (info.isFile()) {
            files << info;
        } else if (info.exists()) {
            Skip(skipped, EscapedForDisplay(input), kNotRegular);
        } else {
            Skip(skipped, EscapedForDisplay(input),
                 QStringLiteral("no such file or folder; check the path"));
        }
    }
    return files;
}

// The files of a run that were not converted: those skipped before it, the
// failed ones (in task order), and those from `firstNotReached` on, which the
// run never started because it stopped.
QList<Unconverted> NotConverted(QList<Unconverted> skipped,
                                const std::vector<CConversionTask>& tasks,
                                const std::vector<TaskFailure>& failures, int firstNotReached) {
    for (const TaskFailure& failure : failures) {
        skipped.append({EscapedForDisplay(tasks[size_t(failure.taskIndex)].sourcePath),
                        EscapedForDisplay(failure.reason)});
    }
    const QString why =
        interrupted.load() != 0
            ? QStringLiteral("not converted: the run was interrupted")
            : QStringLiteral("not converted: the run stopped at the failure (--stop-on-error)");
    for (int i = firstNotReached; i < int(tasks.size()); ++i) {
        skipped.append({EscapedForDisplay(tasks[size_t(i)].sourcePath), why});
    }
    return skipped;
}

// The first task a one-pipeline run never reached.
int FirstNotReached(const ConversionState& state, bool finished) {
    if (finished) {
        return int(state.tasks.size());
    }
    // The driver counts a file as gone through after its status line; a
    // file whose folder could not be made stopped the run before that.
    int next = state.taskIndex.load();
    if (!state.failures.empty()) {
        next = std::max(next, state.failures.back().taskIndex + 1);
    }
    return next;
}

void PrintSummary(const QList<Unconverted>& notConverted, qsizetype fileCount) {
    if (notConverted.isEmpty()) {
        return;
    }
    QString text = QStringLiteral("%1 of %2 %3 failed:\n")
                       .arg(notConverted.size())
                       .arg(fileCount)
                       .arg(fileCount == 1 ? QStringLiteral("file") : QStringLiteral("files"));
    for (const Unconverted& file : notConverted) {
        text += QStringLiteral("  %1: %2\n").arg(file.shownPath, file.reason);
    }
    std::fputs(text.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

QString RowLine(const InfoRowCells& row) {
    QStringList cells;
    for (int column = 0; column < kFileColumnCount; ++column) {
        QString text = row.CellText(column);
        if (column == ColumnName || column == ColumnPath) {
            // A name must stay recognisable, so its odd characters are shown, not blanked.
            text = EscapedForDisplay(text);
        } else {
            // A tab or line break inside a tag text would break the columns.
            text.replace(u'\t', u' ').replace(u'\n', u' ').replace(u'\r', u' ');
        }
        cells << text;
    }
    return cells.join(u'\t');
}

QString HeaderLine() {
    QStringList titles;
    for (const FileColumnInfo& column : kFileColumns) {
        titles << column.title.toString();
    }
    return titles.join(u'\t');
}

void AddTimes(StageTimes& into, const StageTimes& from) {
    AddMicros(into.totalUs, from.totalUs.load());
    AddMicros(into.waitInputUs, from.waitInputUs.load());
    AddMicros(into.waitOutputUs, from.waitOutputUs.load());
}

// Runs `start` with the stop signals blocked, so that the engine threads it
// starts (and the threads those start) inherit the mask and the handlers
// run on the main thread only.
template <typename Start> void WithStopSignalsBlocked(Start start) {
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&stopSignals, signalNumber);
    }
    sigset_t mainMask;
    pthread_sigmask(SIG_BLOCK, &stopSignals, &mainMask);
    start();
    pthread_sigmask(SIG_SETMASK, &mainMask, nullptr);
}

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

// What a batch run of several pipelines leaves for the summary.
struct BatchOutcome {
    bool finished = false; // every file went through, no stop
    std::vector<TaskFailure> failures;
    int firstNotReached = 0;
    int errorLines = 0;
};

// Converts the tasks of `batch` with `jobs` pipelines, each file as a run of
// one task of its own pipeline, handed out in task order as pipelines come
// free. Each file's log lines are printed as one block when it ends.
BatchOutcome RunPipelines(ConversionState& batch, int jobs, bool stopOnError, ConsoleOutput& output,
                          bool liveProgress, bool* engineFailed) {
    BatchOutcome outcome;
    std::vector<std::unique_ptr<Pipeline>> pipelines;
    for (int i = 0; i < jobs; ++i) {
        pipelines.push_back(std::make_unique<Pipeline>(output));
        if (!pipelines.back()->ctx.IsValid()) {
            PrintError(pipelines.back()->ctx.InitError());
            *engineFailed = true;
            return outcome;
        }
    }
    const int taskCount = int(batch.tasks.size());
    int next = 0;
    int filesDone = 0;
    bool stopAll = false;
    bool stopAsked = false;
    uint64_t samplesOfDoneFiles = 0;
    double secondsOfDoneFiles = 0.0;
    BatchProgressLine progress(liveProgress);
    const uint32_t runStart = TickCount();
    batch.overallStartTick.store(runStart);
    batch.profile.Reset();

    auto startNext = [&](Pipeline& p) {
        if (stopAll || interrupted.load() != 0 || next >= taskCount) {
            return;
        }
        const CConversionTask& task = batch.tasks[size_t(next)];
        p.state.tasks = {task};
        p.state.totalSamplesExpected = task.expectedSamples;
        p.state.totalAudioSeconds = task.AudioSeconds(task.expectedSamples);
        p.state.settings = batch.settings;
        p.state.continueAfterError = batch.continueAfterError;
        p.taskIndex = next++;
        WithStopSignalsBlocked([&p] { StartConversion(p.ctx, p.state); });
    };
    auto stopOthers = [&](const QString& reason, bool cancel) {
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
    };
    auto finish = [&](Pipeline& p) {
        WaitForConversion(p.ctx, p.state);
        QCoreApplication::sendPostedEvents(&p.receiver);
        progress.Clear();
        for (const QString& line : p.receiver.TakeHeldLines()) {
            output.WriteLine(line);
        }
        for (const TaskFailure& failure : p.state.failures) {
            outcome.failures.push_back({p.taskIndex, failure.reason});
        }
        samplesOfDoneFiles += p.state.overallSamplesDone.load();
        secondsOfDoneFiles += p.state.OverallAudioSeconds();
        AddTimes(batch.profile.decoder, p.state.profile.decoder);
        AddTimes(batch.profile.tempo, p.state.profile.tempo);
        AddTimes(batch.profile.encoder, p.state.profile.encoder);
        ++filesDone;
        if (!p.state.failures.empty() && stopOnError && !stopAll) {
            stopAll = true;
            stopOthers(QStringLiteral("not finished: the run stopped at another file's failure "
                                      "(--stop-on-error)"),
                       false);
        }
        p.taskIndex = -1;
    };
    auto drawProgress = [&] {
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
        progress.Draw(percent, filesDone, taskCount, elapsed > 0 ? seconds / elapsed : 0.0,
                      elapsed);
    };

    for (auto& p : pipelines) {
        startNext(*p);
    }
    QTimer poll;
    int ticks = 0;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (interrupted.load() != 0 && !stopAsked) {
            // Stop cleanly: the files under way end as errors, nothing is killed.
            stopAsked = true;
            stopOthers(QString(), true);
        }
        bool busy = false;
        for (auto& p : pipelines) {
            if (p->taskIndex >= 0 && p->state.driverThread.Finished()) {
                finish(*p);
                startNext(*p);
            }
            busy = busy || p->taskIndex >= 0;
        }
        if (!busy) {
            QCoreApplication::quit();
        } else if (++ticks % 4 == 0) {
            drawProgress();
        }
    });
    poll.start(50);
    QCoreApplication::exec();
    progress.Clear();

    std::sort(outcome.failures.begin(), outcome.failures.end(),
              [](const TaskFailure& a, const TaskFailure& b) { return a.taskIndex < b.taskIndex; });
    outcome.firstNotReached = next;
    outcome.finished = !stopAll && interrupted.load() == 0 && next == taskCount;
    for (const auto& p : pipelines) {
        outcome.errorLines += p->receiver.ErrorLines();
    }
    if (outcome.finished) {
        if (taskCount > 1) {
            const double total = double(TicksSince(runStart)) / 1000.0;
            output.WriteLine(LogSeparatorLine());
            output.WriteLine(
                QStringLiteral("Total time elapsed %1 secs, overall speed %2x.")
                    .arg(QString::asprintf("%.2f", total),
                         QString::asprintf("%.2f", total > 0 ? secondsOfDoneFiles / total : 0.0)));
        }
        output.WriteLine(FinishedLine(outcome.failures.size(), size_t(taskCount)));
    }
    return outcome;
}

} // namespace

int main(int argc, char** argv) {
    // A reader that goes away (| head) or a file-size limit must end in a
    // failed write that is reported, not in a silent death halfway through a
    // file: the write then fails with EPIPE or EFBIG instead.
    SetSignalHandler(SIGPIPE, SIG_IGN);
    SetSignalHandler(SIGXFSZ, SIG_IGN);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zorvane-convert"));

    QList<QByteArray> args;
    for (int i = 1; i < argc; ++i) {
        args << QByteArray(argv[i]);
    }
    QString error;
    const auto options = ParseCommandLine(args, &error);
    if (!options) {
        PrintError(error);
        return 2;
    }
    if (options->showHelp) {
        ConsoleOutput output(stdout);
        output.Write(UsageText());
        return output.Failed() ? 1 : 0;
    }

    ConsoleMessageSink sink;
    QList<Unconverted> skipped;
    const QList<QFileInfo> files = CollectFiles(*options, &skipped);

    // Read every file as the file list shows it.
    InfoReader reader(sink);
    std::vector<std::unique_ptr<InfoRowCells>> rows;
    for (const QFileInfo& file : files) {
        auto row = std::make_unique<InfoRowCells>();
        sink.SetFile(file.absoluteFilePath());
        ReadFileRow(reader, file, *row);
        rows.push_back(std::move(row));
    }
    sink.SetFile(QString());

    if (options->listOnly) {
        ConsoleOutput output(stdout);
        output.WriteLine(HeaderLine());
        for (const auto& row : rows) {
            output.WriteLine(RowLine(*row));
        }
        return skipped.isEmpty() && !output.Failed() ? 0 : 1;
    }

    SettingsStore store(&sink);
    store.InitSettingsPaths();
    if (!store.LastErrorReason().isEmpty()) {
        // The store's own message is the desktop program's fixed text; say why.
        PrintError(EscapedForDisplay(store.LastErrorReason()) +
                   QStringLiteral("; the default settings are used"));
    }
    ConversionState state;
    state.settings = options->Apply(store.settings);
    state.startDelayMs = 0; // no window to wait for
    state.continueAfterError = !options->stopOnError;

    if (state.settings.sameAsSource == 0 && !QFileInfo(state.settings.outputFolder).isDir()) {
        // A failure shows up per file in the log, naming the folder.
        CreateFolderPath(state.settings.outputFolder);
    }
    for (const auto& row : rows) {
        const QString path = row->CellText(ColumnPath) + row->CellText(ColumnName);
        if (row->info.invalid != 0) {
            Skip(&skipped, EscapedForDisplay(path),
                 QStringLiteral("not a valid MP3 file (it cannot be read or decoded); skipped"));
            continue;
        }
        AppendTask(state, BuildTask(row->info, row->CellText(ColumnPath), row->CellText(ColumnName),
                                    state.settings));
    }
    if (state.tasks.empty()) {
        PrintError(QStringLiteral("nothing to convert"));
        PrintSummary(skipped, skipped.size());
        return 1;
    }

    ConsoleOutput output(stdout, QStringLiteral("the conversions go on"));
    const bool liveProgress = isatty(STDERR_FILENO) != 0;

    // A closed terminal is one more way of asking the run to stop. The
    // handlers run one at a time, on the main thread only (the engine's
    // threads start with the signals blocked), so that a second Ctrl+C is
    // always told from the first, however close together they come.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&stopSignals, signalNumber);
    }
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        SetSignalHandler(signalNumber, OnInterrupt, &stopSignals);
    }

    const qsizetype fileCount = skipped.size() + qsizetype(state.tasks.size());
    const int jobs = std::min(options->jobs.value_or(DefaultJobs()), int(state.tasks.size()));
    if (jobs > 1) {
        bool engineFailed = false;
        const BatchOutcome outcome =
            RunPipelines(state, jobs, options->stopOnError, output, liveProgress, &engineFailed);
        if (engineFailed) {
            return 1;
        }
        if (options->profile) {
            output.Write(u'\n' + state.profile.Report());
        }
        const QList<Unconverted> notConverted =
            NotConverted(skipped, state.tasks, outcome.failures, outcome.firstNotReached);
        PrintSummary(notConverted, fileCount);
        if (notConverted.isEmpty() && outcome.errorLines > 0) {
            PrintError(QStringLiteral("every file was converted, but the log has %1 ERROR line%2")
                           .arg(outcome.errorLines)
                           .arg(outcome.errorLines == 1 ? QString() : QStringLiteral("s")));
        }
        const bool clean = outcome.finished && notConverted.isEmpty() && outcome.errorLines == 0 &&
                           !output.Failed();
        return clean ? 0 : 1;
    }

    EngineContext ctx;
    if (!ctx.IsValid()) {
        PrintError(ctx.InitError());
        return 1;
    }
    ConsoleReceiver receiver(state, output, liveProgress);
    state.receiver = &receiver;
    state.view = &receiver;
    WithStopSignalsBlocked([&] { StartConversion(ctx, state); });
    QTimer poll;
    bool stopAsked = false;
    QObject::connect(&poll, &QTimer::timeout, &app, [&] {
        // Not "while running": between a failed file and the next one,
        // `running` is briefly 0 and the stop would be lost.
        if (interrupted.load() && !stopAsked) {
            // Stop cleanly: the current file ends as an error, nothing is killed.
            stopAsked = true;
            state.aborted.store(1);
            state.Stop();
        }
        if (state.driverThread.Finished()) {
            QCoreApplication::quit();
        }
    });
    poll.start(50);
    app.exec();
    WaitForConversion(ctx, state);
    QCoreApplication::sendPostedEvents();

    if (options->profile) {
        output.Write(u'\n' + state.profile.Report());
    }
    const QList<Unconverted> notConverted = NotConverted(
        skipped, state.tasks, state.failures, FirstNotReached(state, receiver.Finished()));
    PrintSummary(notConverted, fileCount);
    if (notConverted.isEmpty() && receiver.ErrorLines() > 0) {
        PrintError(QStringLiteral("every file was converted, but the log has %1 ERROR line%2")
                       .arg(receiver.ErrorLines())
                       .arg(receiver.ErrorLines() == 1 ? QString() : QStringLiteral("s")));
    }
    const bool clean = receiver.Finished() && notConverted.isEmpty() &&
                       receiver.ErrorLines() == 0 && !output.Failed();
    return clean ? 0 : 1;
}
