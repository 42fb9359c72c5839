#pragma once

#include "ConsoleReceiver.h"

#include "engine/ConversionState.h"

#include <QString>

#include <optional>
#include <vector>

namespace zorvane {

// What a run leaves for the summary at the end.
struct RunOutcome {
    std::optional<QString> engineError; // set: the engine could not start, nothing ran
    bool finished = false;              // every file went through, no stop
    std::vector<TaskFailure> failures;  // in task order
    int firstNotReached = 0;            // the run never started this task and the later ones
    int errorLines = 0;
};

// Converts the tasks of `batch` with `jobs` pipelines, each file as a run of
// one task of its own pipeline, handed out in task order as pipelines come
// free. Each file's log lines are printed as one block when it ends.
RunOutcome RunPipelines(ConversionState& batch, int jobs, bool stopOnError, ConsoleOutput& output,
                        bool liveProgress);

} // namespace zorvane
