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
#include "platform/MessageSink.h"
#include "settings/SettingsStore.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <memory>
#include <unistd.h>
#include <vector>

using namespace zorvane;

namespace {

std::atomic<int> interrupted{0};

void OnInterrupt(int) {
    interrupted.store(1);
}

void PrintError(const QString& text) {
    std::fprintf(stderr, "zorvane-convert: %s\n", text.toLocal8Bit().constData());
}

// The files named on the command line, folders expanded. Inputs that do not
// exist are reported and counted.
QList<QFileInfo> CollectFiles(const CliOptions& options, int* problems) {
    QList<QFileInfo> files;
    for (const QString& input : options.inputs) {
        const QFileInfo info(input);
        if (info.isDir()) {
            const qsizetype before = files.size();
            ScanFolder(info.absoluteFilePath(), options.recursive, [&files](const QFileInfo& f) {
                files << f;
                return true;
            });
            if (files.size() == before) {
                PrintError(
                    QStringLiteral("%1: no MP3 files in this folder%2")
                        .arg(input, options.recursive
                                        ? QString()
                                        : QStringLiteral(" (add -r to include subfolders)")));
            }
        } else if (info.exists()) {
            files << info;
        } else {
            PrintError(QStringLiteral("%1: no such file or folder; check the path").arg(input));
            ++*problems;
        }
    }
    return files;
}

QString RowLine(const InfoRowCells& row) {
    QStringList cells;
    for (int column = 0; column < kFileColumnCount; ++column) {
        // A tab or line break inside a tag text would break the columns.
        QString text = row.CellText(column);
        text.replace(u'\t', u' ').replace(u'\n', u' ').replace(u'\r', u' ');
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
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zorvane-convert"));

    QString error;
    const auto options = ParseCommandLine(app.arguments().mid(1), &error);
    if (!options) {
        PrintError(error);
        return 2;
    }
    if (options->showHelp) {
        std::fputs(UsageText().toLocal8Bit().constData(), stdout);
        return 0;
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
        std::printf("%s\n", HeaderLine().toLocal8Bit().constData());
        for (const auto& row : rows) {
            std::printf("%s\n", RowLine(*row).toLocal8Bit().constData());
        }
        return problems == 0 ? 0 : 1;
    }

    SettingsStore store(&sink);
    store.InitSettingsPaths();
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
                           .arg(path));
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

    ConsoleReceiver receiver(state, stdout, isatty(STDERR_FILENO) != 0);
    state.receiver = &receiver;
    state.view = &receiver;

    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
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
        std::printf("\n%s", state.profile.Report().toLocal8Bit().constData());
    }
    const bool allConverted = receiver.Finished() && problems == 0;
    return allConverted ? 0 : 1;
}
