#pragma once

#include <functional>

namespace zorvane {

// A reader that goes away (| head) or a file-size limit must end in a failed
// write that is reported, not in a silent death halfway through a file: the
// write then fails with EPIPE or EFBIG instead.
void IgnoreWriteFailureSignals();

// From now on SIGINT, SIGTERM and SIGHUP ask the run to stop (StopRequested);
// a second Ctrl+C while that stop is under way ends the tool with status 130.
void CatchStopSignals();

bool StopRequested();

// Runs `start` with the stop signals blocked, so that the engine threads it
// starts (and the threads those start) inherit the mask and the handlers
// run on the main thread only.
void WithStopSignalsBlocked(const std::function<void()>& start);

} // namespace zorvane
