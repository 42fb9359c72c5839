#include "ConsoleReceiver.h"

#include "engine/Ticks.h"
#include "platform/DisplayText.h"

#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <utility>

namespace zorvane {

namespace {

// What is left of a run `percent` done after `elapsed` seconds, at its speed
// so far.
QString TimeLeftText(double percent, double elapsed) {
    return percent > 0 ? HmsText((100.0 - percent) * elapsed / percent)
                       : QStringLiteral("--:--:--");
}

} // namespace

ConsoleOutput::ConsoleOutput(std::FILE* output, QString whatGoesOn)
    : file(output), goesOn(std::move(whatGoesOn)) {}

void ConsoleOutput::WriteLine(const QString& text) {
    Write(text + u'\n');
}

void ConsoleOutput::Write(const QString& text) {
    if (failed) {
        return;
    }
    const QByteArray bytes = text.toLocal8Bit();
    errno = 0;
    // Flushed at once, so that a reader sees each line as it happens and a
    // failure shows up at the line that caused it.
    if (std::fwrite(bytes.constData(), 1, size_t(bytes.size()), file) == size_t(bytes.size()) &&
        std::fflush(file) == 0) {
        return;
    }
    const int error = errno != 0 ? errno : EIO;
    failed = true;
    QString message =
        QStringLiteral("cannot write to standard output: %1").arg(qt_error_string(error));
    if (!goesOn.isEmpty()) {
        message += QLatin1String("; ") + goesOn;
    }
    std::fprintf(stderr, "zorvane-convert: %s\n", message.toLocal8Bit().constData());
    std::fflush(stderr);
}

void ConsoleMessageSink::ShowError(const QString& text) {
    ShowMessage(text);
}

void ConsoleMessageSink::ShowMessage(const QString& text) {
    const QString line =
        file.isEmpty() ? text : QStringLiteral("%1: %2").arg(EscapedForDisplay(file), text);
    std::fprintf(stderr, "zorvane-convert: %s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

ConsoleReceiver::ConsoleReceiver(const ConversionState& runState, ConsoleOutput& output, bool live)
    : state(runState), out(output), liveProgress(live) {}

void ConsoleReceiver::ShowErrorBox(const QString& text) {
    std::fprintf(stderr, "zorvane-convert: %s\n", text.toLocal8Bit().constData());
}

bool ConsoleReceiver::event(QEvent* e) {
    if (auto* log = EngineEventCast<ConvLogEvent>(e)) {
        PrintLine(log->text, log->level, log->detail);
        return true;
    }
    if (auto* progress = EngineEventCast<ConvProgressEvent>(e)) {
        if (state.IsRunning()) {
            DrawProgress(progress->filePercent, progress->overallPercent);
        }
        return true;
    }
    if (EngineEventCast<ConvFinishedEvent>(e)) {
        finished = true;
        if (!holding) {
            // The driver wrote its failures before it posted this.
            PrintLine(FinishedLine(state.failures.size(), state.tasks.size()), LogNormal);
        }
        return true;
    }
    return QObject::event(e);
}

QString FinishedLine(size_t failed, size_t taskCount) {
    return failed == 0
               ? QStringLiteral("Finished converting, all done ^_^")
               : QStringLiteral("Finished converting; %1 of %2 failed.").arg(failed).arg(taskCount);
}

void ConsoleReceiver::PrintLine(const QString& text, int level, const QString& detail) {
    if (!holding) {
        progressLine.Clear();
    }
    QString prefix;
    if (level == LogWarning) {
        // Something was left out of a file that still converts: worth a mark,
        // not a failure.
        prefix = QStringLiteral("WARNING: ");
    } else if (level > LogNormal) {
        prefix = QStringLiteral("ERROR: ");
        ++errorLines;
    }
    QString line = detail.isEmpty()
                       ? prefix + text
                       : prefix + text + QLatin1String(": ") + EscapedForDisplay(detail);
    if (holding) {
        held << line;
    } else {
        out.WriteLine(line);
    }
}

void ConsoleReceiver::DrawProgress(float filePercent, float overallPercent) {
    if (!liveProgress) {
        return;
    }
    const float f = std::min(filePercent, 100.0f);
    const float o = std::min(overallPercent, 100.0f);
    const double elapsed = double(TicksSince(state.overallStartTick.load())) / 1000.0;
    const double speed = elapsed > 0 ? state.OverallAudioSeconds() / elapsed : 0.0;
    const QString left = TimeLeftText(o, elapsed);
    const int index = state.taskIndex.load();
    const int count = int(state.tasks.size());
    QString name;
    if (index >= 0 && index < count) {
        name = EscapedForDisplay(QFileInfo(state.tasks[size_t(index)].sourcePath).fileName());
    }
    if (name.size() > 32) {
        name = name.left(31) + QChar(0x2026);
    }
    const QString line =
        QStringLiteral("[%1/%2] %3  file %4%  run %5%  speed %6x  left %7")
            .arg(index + 1)
            .arg(count)
            .arg(name, QString::asprintf("%5.1f", double(f)), QString::asprintf("%5.1f", double(o)),
                 QString::asprintf("%.1f", speed), left);
    progressLine.Show(line);
}

void BatchProgressLine::Draw(double percent, int filesDone, int fileCount, double speed,
                             double elapsed) {
    if (!live) {
        return;
    }
    const double p = std::clamp(percent, 0.0, 100.0);
    const QString left = TimeLeftText(p, elapsed);
    const QString text = QStringLiteral("run %1%  files %2/%3 done  speed %4x  left %5")
                             .arg(QString::asprintf("%5.1f", p))
                             .arg(filesDone)
                             .arg(fileCount)
                             .arg(QString::asprintf("%.1f", speed), left);
    line.Show(text);
}

void BatchProgressLine::Clear() {
    line.Clear();
}

void LiveLine::Show(const QString& text) {
    std::fprintf(stderr, "\r\033[K%s", text.toLocal8Bit().constData());
    std::fflush(stderr);
    shown = true;
}

void LiveLine::Clear() {
    if (shown) {
        std::fprintf(stderr, "\r\033[K");
        std::fflush(stderr);
        shown = false;
    }
}

} // namespace zorvane
