#pragma once

namespace zorvane {

class ConversionState;
class EngineContext;

// Opens a run: makes `state` the context's current run, clears its flags and
// counters, sets running and starts the driver thread. The tasks, totals,
// settings, receiver and view of `state` must be in place.
void StartConversion(EngineContext& ctx, ConversionState& state);

// Cancels a run: aborted = 1, running = 0, then waits for the driver thread,
// which joins the stage threads of its file. Every stage polls `running`, so
// this returns within one block of work. Safe to call on a finished run.
void CancelConversion(EngineContext& ctx, ConversionState& state);

// Waits for the driver thread of a run to end and detaches the run from ctx.
void WaitForConversion(EngineContext& ctx, ConversionState& state);

} // namespace zorvane
