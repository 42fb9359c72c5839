#pragma once

#include "RingBuffer.h"

#include <cstdint>
#include <functional>

namespace zorvane {

class CConversionTask;
class EngineContext;
class OutputFile;
struct RenderedTags;

// LAME's quality setting used for every file (0 best .. 9 fastest).
inline constexpr int kDefaultEncoderQuality = 9;

// Thread body of the encoder: encodes task.encoderInput, with the task's
// tags, into a temporary file beside task.destinationPath and gives it that
// name (or, when the name was taken meanwhile, the next free numbered one,
// stored back into the task) only when all of it is written and the run
// still goes on. Sets task.encoding while it runs. Never throws.
void RunEncoder(EngineContext& ctx, CConversionTask& task);

// Encodes the task's input ring into `output` (created here): the leading
// tags, the audio at constant bitrate in the configured channel mode,
// quality encoderQuality, no bit reservoir, the trailing tags, and the
// Info/LAME tag in the first audio frame. Returns 0 after a failure to start
// that it has logged; 1 otherwise, also when a write failed or the run
// stopped (both leave `running` at 0, and the output must then be dropped).
int Encode(EngineContext& ctx, CConversionTask& task, OutputFile& output, const RenderedTags& tags);

// The LAME mode (MPEG_mode) for a target channel count and channelMode setting.
int EncoderModeFor(uint32_t targetChannels, int channelMode);

// What the encoder does next with its input ring.
struct ChunkPlan {
    enum Kind { Wait, Full, Last } kind;
    uint32_t count; // samples to read: chunk for Full, the remainder for Last
};

// Decides the next chunk. The upstream flags are read before the ring's fill
// level: once both flags read 0 every sample they wrote is visible, so the
// fill level read afterwards is final. (Read the other way round, a stage
// that writes its last block and ends between the two reads would make a
// stale fill level look like the end of the file.) betweenReads runs between
// the two reads; tests use it to land exactly in that window.
ChunkPlan PlanNextChunk(const CConversionTask& task, const SampleRing& ring, uint32_t chunk,
                        const std::function<void()>& betweenReads = {});

} // namespace zorvane
