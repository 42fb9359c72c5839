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

// Opens path for reading: a regular file only (a FIFO or device would block
// the decoder forever, or never end). Returns the open descriptor, which the
// caller closes; on failure logs "File Error: <reason>" as an error and
// returns -1. The source is then read through this one descriptor, so a file
// renamed, replaced or deleted during its conversion is still read whole.
int OpenSourceFile(ConversionState& state, const QString& path);

} // namespace zorvane
