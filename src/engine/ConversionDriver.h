#pragma once

#include <QString>

#include <functional>

namespace zorvane {

class ConversionState;
class EngineContext;

// The 99-dash line that separates files in the log.
QString LogSeparatorLine();

// The last line of a run of several files: its time and overall speed.
QString RunTotalsLine(double elapsedSeconds, double audioSeconds);

// Body of the driver thread: converts the tasks of ctx.progressWindow one by
// one (output folder, free output name, log lines, decoder on this thread,
// joins of the file's stage threads, status line) and, at the end of a run
// that was not stopped, logs the totals and posts WM_CONV_FINISHED. A file
// that fails is recorded in the state's failures; it stops the run unless
// the state's continueAfterError is set, and a cancel always does.
void RunDriver(EngineContext& ctx);

// Sets `running` back to 1 after a failed file, once all the file's stage
// threads were joined, unless the run was cancelled (aborted = 1): a cancel
// may even land between the two, and is never overwritten. Returns whether
// the run goes on. `beforeResume`, for tests, runs just before the store.
bool ResumeAfterFailure(ConversionState& state, const std::function<void()>& beforeResume = {});

} // namespace zorvane
