// zorvane-convert: the conversion engine without a window.

#include "CommandLine.h"
#include "ConsoleReceiver.h"
#include "Pipelines.h"
#include "StopSignals.h"

#include "engine/ConversionRun.h"
#include "engine/ConversionState.h"
#include "engine/EngineContext.h"
#include "engine/TaskRules.h"
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
#include <cstdio>
#include <memory>
#include <unistd.h>
#include <vector>

using namespace zorvane;

namespace {

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
        StopRequested()
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

using FileRows = std::vector<std::unique_ptr<InfoRowCells>>;

QList<QByteArray> ArgumentBytes(int argc, char** argv) {
    QList<QByteArray> args;
    for (int i = 1; i < argc; ++i) {
        args << QByteArray(argv[i]);
    }
    return args;
}

int PrintUsage() {
    ConsoleOutput output(stdout);
    output.Write(UsageText());
    return output.Failed() ? 1 : 0;
}

// Reads every file as the file list shows it.
FileRows ReadRows(const QList<QFileInfo>& files, ConsoleMessageSink& sink) {
    InfoReader reader(sink);
    FileRows rows;
    for (const QFileInfo& file : files) {
        auto row = std::make_unique<InfoRowCells>();
        sink.SetFile(file.absoluteFilePath());
        ReadFileRow(reader, file, *row);
        rows.push_back(std::move(row));
    }
    sink.SetFile(QString());
    return rows;
}

// --list: what the file list would show, as tab-separated lines.
int PrintList(const FileRows& rows, bool anySkipped) {
    ConsoleOutput output(stdout);
    output.WriteLine(HeaderLine());
    for (const auto& row : rows) {
        output.WriteLine(RowLine(*row));
    }
    return !anySkipped && !output.Failed() ? 0 : 1;
}

// The settings of the run: those of Config.ini with the options applied.
ConversionSettings RunSettings(const CliOptions& options, ConsoleMessageSink& sink) {
    SettingsStore store(&sink);
    store.InitSettingsPaths();
    if (!store.LastErrorReason().isEmpty()) {
        // The store's own message is the desktop program's fixed text; say why.
        PrintError(EscapedForDisplay(store.LastErrorReason()) +
                   QStringLiteral("; the default settings are used"));
    }
    return options.Apply(store.settings);
}

// Turns each valid file into a task of the run; the others are skipped.
void AddTasks(ConversionState& state, const FileRows& rows, QList<Unconverted>* skipped) {
    CreateOutputFolder(state.settings);
    for (const auto& row : rows) {
        const QString path = row->CellText(ColumnPath) + row->CellText(ColumnName);
        if (row->info.invalid != 0) {
            Skip(skipped, EscapedForDisplay(path),
                 QStringLiteral("not a valid MP3 file (it cannot be read or decoded); skipped"));
            continue;
        }
        AppendTask(state, BuildTask(row->info, row->CellText(ColumnPath), row->CellText(ColumnName),
                                    state.settings));
    }
}

// Converts the files one after another in one run of the engine, whose log
// lines are printed as they come.
RunOutcome RunOneByOne(ConversionState& state, ConsoleOutput& output, bool liveProgress) {
    RunOutcome outcome;
    EngineContext ctx;
    if (!ctx.IsValid()) {
        outcome.engineError = ctx.InitError();
        return outcome;
    }
    ConsoleReceiver receiver(state, output, liveProgress);
    state.receiver = &receiver;
    state.view = &receiver;
    WithStopSignalsBlocked([&] { StartConversion(ctx, state); });
    QTimer poll;
    bool stopAsked = false;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        // Not "while running": between a failed file and the next one,
        // `running` is briefly 0 and the stop would be lost.
        if (StopRequested() && !stopAsked) {
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
    QCoreApplication::exec();
    WaitForConversion(ctx, state);
    QCoreApplication::sendPostedEvents();
    // `state` outlives the receiver, which goes with this run.
    state.receiver = nullptr;
    state.view = nullptr;

    outcome.finished = receiver.Finished();
    outcome.failures = state.failures;
    outcome.firstNotReached = FirstNotReached(state, receiver.Finished());
    outcome.errorLines = receiver.ErrorLines();
    return outcome;
}

// The end of a run: the profile when asked for, then on standard error the
// files not converted and why. Returns the exit status.
int Report(const RunOutcome& outcome, const ConversionState& state,
           const QList<Unconverted>& skipped, bool profile, ConsoleOutput& output) {
    if (profile) {
        output.Write(u'\n' + state.profile.Report());
    }
    const qsizetype fileCount = skipped.size() + qsizetype(state.tasks.size());
    const QList<Unconverted> notConverted =
        NotConverted(skipped, state.tasks, outcome.failures, outcome.firstNotReached);
    PrintSummary(notConverted, fileCount);
    if (notConverted.isEmpty() && outcome.errorLines > 0) {
        PrintError(QStringLiteral("every file was converted, but the log has %1 ERROR line%2")
                       .arg(outcome.errorLines)
                       .arg(outcome.errorLines == 1 ? QString() : QStringLiteral("s")));
    }
    const bool clean =
        outcome.finished && notConverted.isEmpty() && outcome.errorLines == 0 && !output.Failed();
    return clean ? 0 : 1;
}

// Converts the tasks of `state`, with --jobs pipelines when more than one
// file is to be converted at once. Returns the exit status.
int Convert(ConversionState& state, const CliOptions& options, const QList<Unconverted>& skipped) {
    ConsoleOutput output(stdout, QStringLiteral("the conversions go on"));
    const bool liveProgress = isatty(STDERR_FILENO) != 0;
    CatchStopSignals();

    const int jobs = std::min(options.jobs.value_or(DefaultJobs()), int(state.tasks.size()));
    const RunOutcome outcome =
        jobs > 1 ? RunPipelines(state, jobs, options.stopOnError, output, liveProgress)
                 : RunOneByOne(state, output, liveProgress);
    if (outcome.engineError) {
        PrintError(*outcome.engineError);
        return 1;
    }
    return Report(outcome, state, skipped, options.profile, output);
}

} // namespace

int main(int argc, char** argv) {
    IgnoreWriteFailureSignals();

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zorvane-convert"));

    QString error;
    const auto options = ParseCommandLine(ArgumentBytes(argc, argv), &error);
    if (!options) {
        PrintError(error);
        return 2;
    }
    if (options->showHelp) {
        return PrintUsage();
    }

    ConsoleMessageSink sink;
    QList<Unconverted> skipped;
    const FileRows rows = ReadRows(CollectFiles(*options, &skipped), sink);
    if (options->listOnly) {
        return PrintList(rows, !skipped.isEmpty());
    }

    ConversionState state;
    state.settings = RunSettings(*options, sink);
    state.startDelayMs = 0; // no window to wait for
    state.continueAfterError = !options->stopOnError;
    AddTasks(state, rows, &skipped);
    if (state.tasks.empty()) {
        PrintError(QStringLiteral("nothing to convert"));
        PrintSummary(skipped, skipped.size());
        return 1;
    }
    return Convert(state, *options, skipped);
}
