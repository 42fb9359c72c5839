#pragma once

#include "engine/ConversionState.h"

#include <QObject>

#include <atomic>
#include <cstdio>

namespace zorvane {

// The command-line tool's window of a run: prints each log line of the engine
// (errors marked) and, on a terminal, keeps one live progress line.
class ConsoleReceiver final : public QObject, public ConversionView {
public:
    ConsoleReceiver(const ConversionState& state, std::FILE* out, bool liveProgress);

    bool Finished() const { return finished; }
    int ErrorLines() const { return errorLines; }

    // ConversionView, called on the driver thread: only atomics are touched.
    void SetTitle(const QString&) override {}
    void SetSourceText(const QString&) override {}
    void SetDestinationText(const QString&) override {}
    void StartRefreshTimer() override {}
    void ShowErrorBox(const QString& text) override;

protected:
    bool event(QEvent* e) override;

private:
    void PrintLine(const QString& text, bool error);
    void DrawProgress(float filePercent, float overallPercent);
    void ClearProgress();

    const ConversionState& state;
    std::FILE* out;
    bool liveProgress;
    bool progressShown = false;
    bool finished = false;
    int errorLines = 0;
};

} // namespace zorvane
