#include "EncoderStage.h"

#include "ConversionState.h"
#include "ConversionTask.h"
#include "EngineContext.h"
#include "OutputFile.h"
#include "TagWriter.h"
#include "Ticks.h"
#include "platform/DisplayText.h"

#include <lame/lame.h>
#include <memory>
#include <thread>
#include <vector>

namespace zorvane {

namespace {

constexpr uint32_t kProgressIntervalMs = 100;
constexpr float kToS16Range = 1.0f / 65536.0f; // full-scale int32 -> +-32768

struct LameDeleter {
    void operator()(lame_global_flags* gfp) const { lame_close(gfp); }
};

float Percent(uint64_t done, uint64_t total) {
    if (total == 0) {
        return 0.0f;
    }
    return float(double(done) * 100.0 / double(total));
}

// Closes the complete output and gives it its final name; any failure stops
// the run, and the output's owner then removes the temporary file.
void FinishOutput(ConversionState& state, CConversionTask& task, OutputFile& output) {
    if (!output.Close()) {
        state.PostLog(QStringLiteral("Output file write error"), LogError, output.ErrorText());
        state.Stop();
        return;
    }
    const QString finalPath = output.Commit();
    if (finalPath.isEmpty()) {
        state.PostLog(
            QStringLiteral("Error creating file %1").arg(EscapedForDisplay(task.destinationPath)),
            LogError, output.ErrorText());
        state.Stop();
        return;
    }
    if (finalPath != task.destinationPath) {
        // Another run (or the user) took the name while this file was written.
        state.PostLog(QStringLiteral("The name was taken meanwhile; saved as %1.")
                          .arg(EscapedForDisplay(finalPath)));
        task.destinationPath = finalPath;
    }
}

// One file's encoding: LAME's handle, the buffers, and whether a write has
// failed (the first failure is logged; the rest of the file is not written).
class Mp3Encoding {
public:
    Mp3Encoding(ConversionState& runState, CConversionTask& fileTask, OutputFile& file)
        : state(runState), task(fileTask), output(file) {}

    bool Configure();
    void WriteLeadingTags(const RenderedTags& tags);
    bool EncodeAudio();
    void Finish(const RenderedTags& tags);

private:
    bool StartLame();
    void WarnOfLoweredBitrate();
    bool EncodeChunk(uint32_t samples);
    void WriteInfoTag();
    void PostProgress(bool final);
    void ReportWriteError();
    void ReportTagError();

    ConversionState& state;
    CConversionTask& task;
    OutputFile& output;
    std::unique_ptr<lame_global_flags, LameDeleter> lame;
    int requestedKbps = 0;
    uint32_t channels = 2;
    uint32_t chunk = 0;
    std::vector<unsigned char> mp3Buffer;
    std::vector<int32_t> input;
    std::vector<float> left;
    std::vector<float> right;
    uint64_t audioStart = 0;
    bool writeFailed = false;
};

// Sets LAME up for constant bitrate in the configured channel mode, creates
// the output and sizes the buffers for one MPEG frame at a time.
bool Mp3Encoding::Configure() {
    if (!StartLame()) {
        return false;
    }
    if (!output.Create()) {
        state.PostLog(
            QStringLiteral("Error creating file %1").arg(EscapedForDisplay(task.destinationPath)),
            LogError, output.ErrorText());
        state.Stop();
        return false;
    }
    const int initResult = lame_init_params(lame.get());
    if (initResult < 0) {
        state.PostLog(QStringLiteral("Error opening encoding stream (%1)").arg(-initResult),
                      LogError);
        state.Stop();
        return false;
    }
    WarnOfLoweredBitrate();
    channels = task.targetChannels == 1 ? 1 : 2;
    chunk = uint32_t(lame_get_framesize(lame.get())) * channels;
    mp3Buffer.resize(size_t(chunk) * 5 / 4 + 7200);
    input.resize(chunk);
    left.resize(chunk);
    right.resize(chunk / 2 + 1);
    return true;
}

bool Mp3Encoding::StartLame() {
    lame.reset(lame_init());
    if (!lame) {
        state.PostLog(QStringLiteral("Error loading lame_enc.dll"), LogError);
        if (state.view) {
            state.view->ShowErrorBox(QStringLiteral("Error Loading Lame_enc.dll"));
        }
        state.Stop();
        return false;
    }
    const ConversionSettings& settings = state.settings;
    const int bitrateIndex = qBound(0, int(settings.bitrateIndex), int(kBitrateKbps.size()) - 1);
    requestedKbps = kBitrateKbps[size_t(bitrateIndex)];
    lame_global_flags* gfp = lame.get();
    lame_set_num_channels(gfp, int(task.targetChannels));
    lame_set_in_samplerate(gfp, int(task.targetRate));
    lame_set_out_samplerate(gfp, int(task.targetRate));
    lame_set_mode(gfp, MPEG_mode(EncoderModeFor(task.targetChannels, settings.channelMode)));
    lame_set_VBR(gfp, vbr_off);
    lame_set_brate(gfp, requestedKbps);
    lame_set_quality(gfp, settings.encoderQuality);
    lame_set_disable_reservoir(gfp, 1);
    lame_set_bWriteVbrTag(gfp, 1);
    lame_set_write_id3tag_automatic(gfp, 0);
    lame_set_copyright(gfp, 0);
    lame_set_original(gfp, 0);
    lame_set_error_protection(gfp, 0);
    lame_set_emphasis(gfp, 0);
    lame_set_strict_ISO(gfp, 0);
    return true;
}

// LAME quietly lowers a bitrate the sampling rate cannot carry (at 8 kHz
// nothing above 64 kbit/s): say which one the file really gets.
void Mp3Encoding::WarnOfLoweredBitrate() {
    const int actualKbps = lame_get_brate(lame.get());
    if (actualKbps != requestedKbps) {
        state.PostLog(QStringLiteral("Bitrate %1 kbit/s is not possible at %2 Hz; the file gets "
                                     "%3 kbit/s.")
                          .arg(requestedKbps)
                          .arg(task.targetRate)
                          .arg(actualKbps),
                      LogWarning);
    }
}

// The ID3v2 tag leads the file, so that no tag needs the audio moved.
void Mp3Encoding::WriteLeadingTags(const RenderedTags& tags) {
    if (!output.Append(tags.leading.constData(), size_t(tags.leading.size())) || !output.Flush()) {
        ReportTagError();
    }
    audioStart = output.Size();
}

// Encodes the ring until its last sample or until the run stops. False after
// an encoder failure, which it has logged.
bool Mp3Encoding::EncodeAudio() {
    SampleRing& ring = *task.encoderInput;
    uint32_t lastUpdate = TickCount();
    while (state.IsRunning()) {
        if (state.paused.load(std::memory_order_relaxed) == 1) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            continue;
        }
        if (TicksSince(lastUpdate) > kProgressIntervalMs) {
            lastUpdate = TickCount();
            PostProgress(false);
        }
        const ChunkPlan plan = PlanNextChunk(task, ring, chunk);
        if (plan.kind == ChunkPlan::Wait) {
            BackOff(state.profile.encoder.waitInputUs);
            continue;
        }
        ring.Read(input.data(), plan.count);
        if (!EncodeChunk(plan.count)) {
            return false;
        }
        if (plan.kind == ChunkPlan::Last) {
            break;
        }
    }
    return true;
}

// Encodes `samples` interleaved samples of `input` and appends the result.
bool Mp3Encoding::EncodeChunk(uint32_t samples) {
    int produced = 0;
    if (channels == 1) {
        for (uint32_t i = 0; i < samples; ++i) {
            left[i] = float(input[i]) * kToS16Range;
        }
        produced = lame_encode_buffer_float(lame.get(), left.data(), nullptr, int(samples),
                                            mp3Buffer.data(), int(mp3Buffer.size()));
    } else {
        const uint32_t frames = samples / 2;
        for (uint32_t i = 0; i < frames; ++i) {
            left[i] = float(input[2 * i]) * kToS16Range;
            right[i] = float(input[2 * i + 1]) * kToS16Range;
        }
        produced = lame_encode_buffer_float(lame.get(), left.data(), right.data(), int(frames),
                                            mp3Buffer.data(), int(mp3Buffer.size()));
    }
    if (produced < 0) {
        state.PostLog(QStringLiteral("beEncodeChunk() failed (%1)").arg(-produced), LogError);
        state.Stop();
        return false;
    }
    if (!writeFailed && !output.Append(mp3Buffer.data(), size_t(produced))) {
        ReportWriteError();
    }
    state.AddEncoded(samples);
    return true;
}

// Flushes the encoder, appends the trailing tags, writes the Info tag and
// sends the file's final progress.
void Mp3Encoding::Finish(const RenderedTags& tags) {
    const int flushed = lame_encode_flush(lame.get(), mp3Buffer.data(), int(mp3Buffer.size()));
    if (flushed < 0) {
        state.PostLog(QStringLiteral("beExitStream failed (%1)").arg(-flushed), LogError);
        state.Stop();
    } else if (!writeFailed && !output.Append(mp3Buffer.data(), size_t(flushed))) {
        ReportWriteError();
    }
    state.fileAudioDone.store(1);

    if (!writeFailed && !output.Flush()) {
        ReportWriteError();
    }
    if (!writeFailed && (!output.Append(tags.trailing.constData(), size_t(tags.trailing.size())) ||
                         !output.Flush())) {
        ReportTagError();
    }
    WriteInfoTag();
    PostProgress(true);
}

// The Info/LAME tag replaces the placeholder frame LAME put at the start of
// the stream, so players see the exact length and the encoder's delay. It is
// written in place through the output, which owns the file until it is
// committed or discarded.
void Mp3Encoding::WriteInfoTag() {
    std::vector<unsigned char> infoTag(mp3Buffer.size());
    const size_t infoSize = lame_get_lametag_frame(lame.get(), infoTag.data(), infoTag.size());
    if (!writeFailed && infoSize > 0 && infoSize <= infoTag.size() &&
        !output.WriteAt(audioStart, infoTag.data(), infoSize)) {
        ReportWriteError();
    }
}

void Mp3Encoding::PostProgress(bool final) {
    state.UpdateProgress(Percent(state.fileSamplesDone, task.expectedSamples),
                         Percent(state.overallSamplesDone, state.totalSamplesExpected), final);
}

void Mp3Encoding::ReportWriteError() {
    if (!writeFailed) {
        state.PostLog(QStringLiteral("Output file write error"), LogError, output.ErrorText());
    }
    state.Stop();
    writeFailed = true;
}

void Mp3Encoding::ReportTagError() {
    PostTagWriteFailure(state, task, output.ErrorText());
    state.Stop();
    writeFailed = true;
}

} // namespace

int EncoderModeFor(uint32_t targetChannels, int channelMode) {
    if (targetChannels == 1) {
        return MONO;
    }
    switch (channelMode) {
    case 2:
        return STEREO;
    case 4:
        return DUAL_CHANNEL;
    default:
        return JOINT_STEREO;
    }
}

ChunkPlan PlanNextChunk(const CConversionTask& task, const SampleRing& ring, uint32_t chunk,
                        const std::function<void()>& betweenReads) {
    const bool upstreamActive = task.decoding.Get() == 1 || task.processing.Get() == 1;
    if (betweenReads) {
        betweenReads();
    }
    const uint32_t available = ring.Used(0);
    if (available >= chunk) {
        return {ChunkPlan::Full, chunk};
    }
    if (upstreamActive) {
        return {ChunkPlan::Wait, 0};
    }
    return {ChunkPlan::Last, available};
}

int Encode(EngineContext& ctx, CConversionTask& task, OutputFile& output,
           const RenderedTags& tags) {
    Mp3Encoding encoding(*ctx.progressWindow, task, output);
    if (!encoding.Configure()) {
        return 0;
    }
    encoding.WriteLeadingTags(tags);
    if (!encoding.EncodeAudio()) {
        return 0;
    }
    encoding.Finish(tags);
    return 1;
}

void RunEncoder(EngineContext& ctx, CConversionTask& task) {
    ConversionState& state = *ctx.progressWindow;
    StageTimer timer(state.profile.encoder);
    task.encoding.Set(1);
    try {
        if (task.outputFormat != kFormatMp3) {
            // Nothing else can be written; ending quietly would leave the
            // stages upstream waiting for room in their rings for ever.
            state.PostLog(
                QStringLiteral("Output format %1 is not supported").arg(task.outputFormat),
                LogError);
            state.Stop();
        } else {
            // The output lives under a hidden temporary name until it is
            // complete; leaving this scope any other way removes it.
            OutputFile output(task.destinationPath, task.unnumberedDestinationPath);
            const RenderedTags tags = RenderTags(task);
            if (Encode(ctx, task, output, tags) && state.IsRunning()) {
                FinishOutput(state, task, output);
            }
        }
        if (state.IsRunning() && (task.decoding.Get() == 1 || task.processing.Get() == 1)) {
            state.PostLog(QStringLiteral("The encoder stopped before the end of the audio."),
                          LogError);
            state.Stop();
        }
    } catch (...) {
        state.Stop();
        state.PostLog(QStringLiteral("An error occurred while encoding %1")
                          .arg(EscapedForDisplay(task.destinationPath)),
                      LogError);
    }
    task.encoding.Set(0);
}

} // namespace zorvane
