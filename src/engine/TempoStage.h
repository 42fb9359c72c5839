#pragma once

#include <QString>
#include <QStringList>

namespace zorvane {

class CConversionTask;
class EngineContext;
struct ConversionSettings;

// Thread body of the tempo stage: runs a SoX effects chain from
// ctx.decodedRing to ctx.processedRing that changes the speed (keeping the
// pitch in tempo mode, resampling in resampling mode) and converts channels
// and rate to the task's targets. Starts the encoder thread once the chain is
// built. Sets task.processing while it runs. Returns 1, or 0 after a failure
// that it has logged.
int RunTempoStage(EngineContext& ctx, CConversionTask& task);

// The effects between "input" and "output" with their option, in chain order,
// e.g. {"channels 1", "rate 22050", "tempo 1.500000"}. RunTempoStage builds
// its chain from exactly these words.
QStringList TempoChainFor(const CConversionTask& task, const ConversionSettings& settings);

// Initialises libsox once for the process; safe from any thread.
bool EnsureSoxLibrary();

} // namespace zorvane
