#pragma once

#include "RingBuffer.h"

#include <cstdint>
#include <functional>

namespace zorvane {

class CConversionTask;
class EngineContext;

// LAME's quality setting used for every file (0 best .. 9 fastest).
inline constexpr int kDefaultEncoderQuality = 9;

// Thread body of the encoder: encodes task.encoderInput into the MP3 file
// task.destinationPath and then writes the tags. Sets task.encoding while it
// runs. Never throws.
void RunEncoder(EngineContext& ctx, CConversionTask& task);

// Encodes the task's input ring to its destination: constant bitrate, the
// configured channel mode, quality encoderQuality, no bit reservoir, and an
// Info/LAME tag at the start of the finished file. Returns 1 on success, 0
// after a failure that it has logged (the run is then stopped).
int Encode(EngineContext& ctx, CConversionTask& task);

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
