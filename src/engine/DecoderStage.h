#pragma once

#include <QString>

namespace zorvane {

class CConversionTask;
class ConversionState;
class EngineContext;

// Decodes the task's source into ctx.decodedRing as full-scale 32-bit signed
// interleaved samples, on the calling (driver) thread. Starts the file's
// downstream thread first: the tempo stage when task.needsProcessing is 1,
// else the encoder. Returns 1 when the whole source was decoded (or the run
// was stopped), 0 on a failure, which it has logged.
//
// task must be the driver's working copy and outlive the stage threads.
int RunDecoder(EngineContext& ctx, CConversionTask& task);

// Opens path for reading and closes it again. On failure logs
// "File Error: <reason>" as an error and returns 0.
int CheckSourceReadable(ConversionState& state, const QString& path);

} // namespace zorvane
