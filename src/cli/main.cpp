// zorvane-convert: the conversion engine without a window.

#include "CommandLine.h"
#include "ConsoleReceiver.h"

#include "engine/ConversionRun.h"
#include "engine/ConversionState.h"
#include "engine/EngineContext.h"
#include "platform/MessageSink.h"
#include "settings/SettingsStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <mpg123.h>
#include <unistd.h>

using namespace zorvane;

namespace {

std::atomic<int> interrupted{0};

void OnInterrupt(int) {
    interrupted.store(1);
}

struct SourceFormat {
    long rate = 0;
    int channels = 0;
    int64_t frames = 0;
};

// Rate, channels and length of a source as the decoder sees them.
bool ProbeSource(const QString& path, SourceFormat* format, QString* error) {
    EnsureDecoderLibrary();
    int code = MPG123_OK;
    mpg123_handle* handle = mpg123_new(nullptr, &code);
    if (!handle) {
        *error = QString::fromUtf8(mpg123_plain_strerror(code));
        return false;
    }
    bool ok = false;
    int encoding = 0;
    if (mpg123_open(handle, QFile::encodeName(path).constData()) != MPG123_OK) {
        *error = QString::fromUtf8(mpg123_strerror(handle));
    } else if (mpg123_getformat(handle, &format->rate, &format->channels, &encoding) != MPG123_OK) {
        *error = QStringLiteral("not an MP3 file");
    } else {
        mpg123_scan(handle);
        const off_t length = mpg123_length(handle);
        format->frames = length > 0 ? int64_t(length) : 0;
        ok = format->rate > 0 && (format->channels == 1 || format->channels == 2);
        if (!ok) {
            *error = QStringLiteral("unsupported audio format");
        }
    }
    mpg123_close(handle);
    mpg123_delete(handle);
    return ok;
}

QString OutputName(const QString& sourcePath) {
    const QString name = QFileInfo(sourcePath).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    return (dot >= 0 ? name.left(dot + 1) : name + u'.') + QStringLiteral("mp3");
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zorvane-convert"));

    QString error;
    const auto options = ParseCommandLine(app.arguments().mid(1), &error);
    if (!options) {
        std::fprintf(stderr, "zorvane-convert: %s\n", error.toLocal8Bit().constData());
        return 2;
    }
    if (options->showHelp) {
        std::fputs(UsageText().toLocal8Bit().constData(), stdout);
        return 0;
    }

    StandardErrorSink sink;
    SettingsStore store(&sink);
    store.InitSettingsPaths();

    EngineContext ctx;
    if (!ctx.IsValid()) {
        std::fprintf(stderr, "zorvane-convert: %s\n", ctx.InitError().toLocal8Bit().constData());
        return 1;
    }

    ConversionState state;
    state.settings = store.settings;
    int skipped = 0;
    for (const QString& input : options->inputs) {
        SourceFormat format;
        QString why;
        if (!QFileInfo(input).isFile()) {
            std::fprintf(stderr, "zorvane-convert: %s: no such file; check the path\n",
                         input.toLocal8Bit().constData());
            ++skipped;
            continue;
        }
        if (!ProbeSource(input, &format, &why)) {
            std::fprintf(stderr, "zorvane-convert: %s: cannot be read as MP3 (%s); skipped\n",
                         input.toLocal8Bit().constData(), why.toLocal8Bit().constData());
            ++skipped;
            continue;
        }
        CConversionTask task;
        task.sourcePath = QFileInfo(input).absoluteFilePath();
        task.sourceFormat = kFormatMp3;
        task.sourceRate = uint32_t(format.rate);
        task.sourceChannels = uint32_t(format.channels);
        task.outputFormat = kFormatMp3;
        task.targetRate = task.sourceRate;
        task.targetChannels = task.sourceChannels;
        task.sampleRatio = 1.0;
        task.expectedSamples = uint64_t(format.frames) * task.targetChannels;
        task.needsProcessing = 0;
        const QString folder = options->outputFolder.isEmpty()
                                   ? QFileInfo(task.sourcePath).absolutePath()
                                   : QDir(options->outputFolder).absolutePath();
        task.destinationPath = folder + u'/' + OutputName(task.sourcePath);
        state.totalSamplesExpected += task.expectedSamples;
        state.totalAudioSeconds += task.AudioSeconds(task.expectedSamples);
        state.tasks.push_back(task);
    }
    if (state.tasks.empty()) {
        std::fprintf(stderr, "zorvane-convert: nothing to convert\n");
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

    const bool allConverted = receiver.Finished() && skipped == 0;
    return allConverted ? 0 : 1;
}
