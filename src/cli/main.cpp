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

#include <atomic>
#include <cstdio>
#include <memory>
#include <signal.h>
#include <unistd.h>
#include <vector>

using namespace zorvane;

namespace {

std::atomic<int> interrupted{0};

void OnInterrupt(int) {
    interrupted.store(1);
}

void SetSignalHandler(int signalNumber, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    // Restarted calls spare the libraries' reads and writes from EINTR.
    action.sa_flags = SA_RESTART;
    sigaction(signalNumber, &action, nullptr);
}

void PrintError(const QString& text) {
    std::fprintf(stderr, "zorvane-convert: %s\n", text.toLocal8Bit().constData());
}

QString NotRegularText(const QString& path) {
    return QStringLiteral("%1: not a regular file (a device, FIFO or socket); skipped")
        .arg(EscapedForDisplay(path));
}

// The files named on the command line, folders expanded. Inputs that do not
// exist or are not regular files are reported and counted; only regular
// files go on, since opening anything else may block for ever.
QList<QFileInfo> CollectFiles(const CliOptions& options, int* problems) {
    QList<QFileInfo> files;
    for (const QString& input : options.inputs) {
        const QFileInfo info(input);
        if (info.isDir()) {
            const qsizetype before = files.size();
            int skipped = 0;
            ScanFolder(
                info.absoluteFilePath(), options.recursive,
                [&files](const QFileInfo& f) {
                    files << f;
                    return true;
                },
                [&skipped](const QFileInfo& f) {
                    PrintError(NotRegularText(f.filePath()));
                    ++skipped;
                });
            *problems += skipped;
            if (files.size() == before && skipped == 0) {
                PrintError(QStringLiteral("%1: no MP3 files in this folder%2")
                               .arg(EscapedForDisplay(input),
                                    options.recursive
                                        ? QString()
                                        : QStringLiteral(" (add -r to include subfolders)")));
            }
        } else if (info.isFile()) {
            files << info;
        } else if (info.exists()) {
            PrintError(NotRegularText(input));
            ++*problems;
        } else {
            PrintError(QStringLiteral("%1: no such file or folder; check the path")
                           .arg(EscapedForDisplay(input)));
            ++*problems;
        }
    }
    return files;
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

    QString error;
    const auto options = ParseCommandLine(app.arguments().mid(1), &error);
    if (!options) {
        PrintError(error);
        return 2;
    }
    if (options->showHelp) {
        ConsoleOutput output(stdout);
        output.Write(UsageText());
        return output.Failed() ? 1 : 0;
    }

    StandardErrorSink sink;
    int problems = 0;
    const QList<QFileInfo> files = CollectFiles(*options, &problems);

    // Read every file as the file list shows it.
    InfoReader reader(sink);
    std::vector<std::unique_ptr<InfoRowCells>> rows;
    for (const QFileInfo& file : files) {
        auto row = std::make_unique<InfoRowCells>();
        ReadFileRow(reader, file, *row);
        rows.push_back(std::move(row));
    }

    if (options->listOnly) {
        ConsoleOutput output(stdout);
        output.WriteLine(HeaderLine());
        for (const auto& row : rows) {
            output.WriteLine(RowLine(*row));
        }
        return problems == 0 && !output.Failed() ? 0 : 1;
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
            PrintError(QStringLiteral("%1: not a valid MP3 file (it cannot be read or decoded); "
                                      "skipped")
                           .arg(EscapedForDisplay(path)));
            ++problems;
            continue;
        }
        AppendTask(state, BuildTask(row->info, row->CellText(ColumnPath), row->CellText(ColumnName),
                                    state.settings));
    }
    if (state.tasks.empty()) {
        PrintError(QStringLiteral("nothing to convert"));
        return 1;
    }

    ConsoleOutput output(stdout, QStringLiteral("the conversions go on"));
    ConsoleReceiver receiver(state, output, isatty(STDERR_FILENO) != 0);
    state.receiver = &receiver;
    state.view = &receiver;

    // A closed terminal is one more way of asking the run to stop.
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        SetSignalHandler(signalNumber, OnInterrupt);
    }
    StartConversion(ctx, state);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &app, [&] {
        if (interrupted.load() && state.IsRunning()) {
            // Stop cleanly: the current file ends as an error, nothing is killed.
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
    const bool allConverted = receiver.Finished() && problems == 0 && !output.Failed();
    return allConverted ? 0 : 1;
}
