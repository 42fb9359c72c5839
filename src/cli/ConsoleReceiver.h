#pragma once

#include "engine/ConversionState.h"
#include "platform/MessageSink.h"

#include <QObject>
#include <QStringList>

#include <atomic>
#include <cstdio>
#include <utility>

namespace zorvane {

// Standard output of the tool. When a write fails (the reader of a pipe went
// away, a disk filled up) the failure is reported once on standard error and
// nothing more is written there: the conversions themselves do not depend on
// anyone reading their log.
class ConsoleOutput {
public:
    // `goesOn` ends the report of a failure, saying what the tool does next.
    explicit ConsoleOutput(std::FILE* file, QString goesOn = QString());

    void WriteLine(const QString& text);
    void Write(const QString& text);
    bool Failed() const { return failed; }

private:
    std::FILE* file;
    QString goesOn;
    bool failed = false;
};

// The messages of the info reader and the settings store, on standard
// error. While a file is read they name it: "Trouble with mpg123: ..." alone
// does not say which of a thousand files it was about.
class ConsoleMessageSink final : public MessageSink {
public:
    // The file the next messages are about; empty for none.
    void SetFile(const QString& path) { file = path; }
    void ShowError(const QString& text) override;
    void ShowMessage(const QString& text) override;

private:
    QString file;
};

// One line of standard error that a terminal redraws in place.
class LiveLine {
public:
    void Show(const QString& text);
    void Clear();

private:
    bool shown = false;
};

// The command-line tool's window of a run: prints each log line of the engine
// (warnings and errors marked) and, on a terminal, keeps one live progress line.
class ConsoleReceiver final : public QObject, public ConversionView {
public:
    ConsoleReceiver(const ConversionState& state, ConsoleOutput& out, bool liveProgress);

    bool Finished() const { return finished; }
    int ErrorLines() const { return errorLines; }

    // From now on the log lines are kept (TakeHeldLines) instead of printed,
    // and the end of a run prints nothing: a pipeline of a batch prints each
    // file's lines as one block when the file ends, so that the lines of
    // files converted at the same time never interleave.
    void HoldLines() { holding = true; }
    QStringList TakeHeldLines() { return std::exchange(held, QStringList()); }

    // ConversionView, called on the driver thread: only atomics are touched.
    void SetTitle(const QString&) override {}
    void SetSourceText(const QString&) override {}
    void SetDestinationText(const QString&) override {}
    void StartRefreshTimer() override {}
    void ShowErrorBox(const QString& text) override;

protected:
    bool event(QEvent* e) override;

private:
    void PrintLine(const QString& text, int level, const QString& detail = QString());
    void DrawProgress(float filePercent, float overallPercent);

    const ConversionState& state;
    ConsoleOutput& out;
    bool liveProgress;
    LiveLine progressLine;
    bool finished = false;
    bool holding = false;
    QStringList held;
    int errorLines = 0;
};

// The line that ends a run that was not stopped.
QString FinishedLine(size_t failed, size_t taskCount);

// The live progress line of a batch converted by several pipelines, on
// standard error when that is a terminal.
class BatchProgressLine {
public:
    explicit BatchProgressLine(bool onTerminal) : live(onTerminal) {}
    // percent of the run's audio, files done of all, audio seconds per
    // second of the run, elapsed seconds.
    void Draw(double percent, int filesDone, int fileCount, double speed, double elapsed);
    void Clear();

private:
    bool live;
    LiveLine line;
};

} // namespace zorvane
