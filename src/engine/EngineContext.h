#pragma once

#include "ConversionTask.h"
#include "RingBuffer.h"

struct mpg123_handle_struct;

namespace zorvane {

class ConversionState;

// The engine's long-lived pieces: the two sample rings, the decoder handle
// used for conversion, and which run and task are current. The program makes
// one at start-up and keeps it for its whole life; tests make their own. The
// engine never reaches for a global: every stage is handed its context, so
// several contexts, each with its own run, convert side by side (the
// command-line tool's --jobs); the libraries' process-wide start-up is done
// once by the first context.
//
// Thread safety: progressWindow is set before a run's driver starts and
// cleared after it ended.
class EngineContext {
public:
    EngineContext();
    ~EngineContext();
    EngineContext(const EngineContext&) = delete;
    EngineContext& operator=(const EngineContext&) = delete;

    // False when the decoding library could not make a handle; the text says why.
    bool IsValid() const { return decoderHandle != nullptr; }
    QString InitError() const { return initError; }

    ConversionState* progressWindow = nullptr;
    SampleRing decodedRing{kRingCapacity};
    SampleRing processedRing{kRingCapacity};
    mpg123_handle_struct* decoderHandle = nullptr;

private:
    QString initError;
};

// Initialises libmpg123 once for the process; safe to call from any thread.
// Returns false when the library refuses to start.
bool EnsureDecoderLibrary();

// Does libmp3lame's one-time set-up once for the process, so that encoders
// of several contexts may start at the same time; safe from any thread.
void EnsureEncoderLibrary();

} // namespace zorvane
