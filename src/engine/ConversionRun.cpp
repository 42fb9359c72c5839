#include "ConversionRun.h"

#include "ConversionDriver.h"
#include "ConversionState.h"
#include "EngineContext.h"

namespace zorvane {

void StartConversion(EngineContext& ctx, ConversionState& state) {
    ctx.progressWindow = &state;
    state.paused.store(0);
    state.running.store(0);
    state.aborted.store(0);
    state.fileSamplesPerSecond.store(0);
    state.finishedFilesAudioSeconds.store(0.0);
    state.taskIndex.store(0);
    state.fileSamplesDone.store(0);
    state.overallSamplesDone.store(0);
    state.failures.clear();
    state.TakeFirstError();
    state.profile.Reset();
    state.running.store(1);
    state.driverThread.Start([&ctx] { RunDriver(ctx); });
}

void CancelConversion(EngineContext& ctx, ConversionState& state) {
    state.aborted.store(1);
    state.running.store(0);
    WaitForConversion(ctx, state);
}

void WaitForConversion(EngineContext& ctx, ConversionState& state) {
    state.driverThread.Join();
    if (ctx.progressWindow == &state) {
        ctx.progressWindow = nullptr;
    }
}

} // namespace zorvane
