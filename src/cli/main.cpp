// zorvane-convert: the conversion engine without a window.

#include "CommandLine.h"
#include "ConsoleReceiver.h"

#include "engine/ConversionRun.h"
#include "engine/ConversionState.h"
#include "engine/EngineContext.h"
#include "engine/FolderPaths.h"
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
// failed ones, and those the run never reached because it stopped.
QList<Unconverted> NotConverted(QList<Unconverted> skipped, const ConversionState& state,
                                bool finished) {
    for (const TaskFailure& failure : state.failures) {
        skipped.append({EscapedForDisplay(state.tasks[size_t(failure.taskIndex)].sourcePath),
                        EscapedForDisplay(failure.reason)});
    }
    if (finished) {
        return skipped;
    }
    // The driver counts a file as gone through after its status line; a
    // file whose folder could not be made stopped the run before that.
    int next = state.taskIndex.load();
    if (!state.failures.empty()) {
        next = std::max(next, state.failures.back().taskIndex + 1);
    }
    const QString why =
        interrupted.load() != 0
            ? QStringLiteral("not converted: the run was interrupted")
            : QStringLiteral("not converted: the run stopped at the failure (--stop-on-error)");
    for (int i = next; i < int(state.tasks.size()); ++i) {
        skipped.append({EscapedForDisplay(state.tasks[size_t(i)].sourcePath), why});
    }
    return skipped;
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

    EngineContext ctx;
    if (!ctx.IsValid()) {
        PrintError(ctx.InitError());
        return 1;
    }
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
    ConsoleReceiver receiver(state, output, isatty(STDERR_FILENO) != 0);
    state.receiver = &receiver;
    state.view = &receiver;

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
    sigset_t mainMask;
    pthread_sigmask(SIG_BLOCK, &stopSignals, &mainMask);
    StartConversion(ctx, state);
    pthread_sigmask(SIG_SETMASK, &mainMask, nullptr);
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
    const qsizetype fileCount = skipped.size() + qsizetype(state.tasks.size());
    const QList<Unconverted> notConverted = NotConverted(skipped, state, receiver.Finished());
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
