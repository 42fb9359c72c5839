#pragma once

#include <QString>

namespace zorvane {

class EngineContext;

// The 99-dash line that separates files in the log.
QString LogSeparatorLine();

// Body of the driver thread: converts the tasks of ctx.progressWindow one by
// one (output folder, free output name, log lines, decoder on this thread,
// joins of the file's stage threads, status line) and, at the end of a run
// that was not stopped, logs the totals and posts WM_CONV_FINISHED.
void RunDriver(EngineContext& ctx);

} // namespace zorvane
