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
    ConversionState& state = *ctx.progressWindow;
    const ConversionSettings& settings = state.settings;

    std::unique_ptr<lame_global_flags, LameDeleter> lame(lame_init());
    if (!lame) {
        state.PostLog(QStringLiteral("Error loading lame_enc.dll"), LogError);
        if (state.view) {
            state.view->ShowErrorBox(QStringLiteral("Error Loading Lame_enc.dll"));
        }
        state.Stop();
        return 0;
    }
    lame_global_flags* gfp = lame.get();
    const int bitrateIndex = qBound(0, int(settings.bitrateIndex), int(kBitrateKbps.size()) - 1);
    lame_set_num_channels(gfp, int(task.targetChannels));
    lame_set_in_samplerate(gfp, int(task.targetRate));
    lame_set_out_samplerate(gfp, int(task.targetRate));
    lame_set_mode(gfp, MPEG_mode(EncoderModeFor(task.targetChannels, settings.channelMode)));
    lame_set_VBR(gfp, vbr_off);
    lame_set_brate(gfp, kBitrateKbps[size_t(bitrateIndex)]);
    lame_set_quality(gfp, settings.encoderQuality);
    lame_set_disable_reservoir(gfp, 1);
    lame_set_bWriteVbrTag(gfp, 1);
    lame_set_write_id3tag_automatic(gfp, 0);
    lame_set_copyright(gfp, 0);
    lame_set_original(gfp, 0);
    lame_set_error_protection(gfp, 0);
    lame_set_emphasis(gfp, 0);
    lame_set_strict_ISO(gfp, 0);

    if (!output.Create()) {
        state.PostLog(
            QStringLiteral("Error creating file %1").arg(EscapedForDisplay(task.destinationPath)),
            LogError, output.ErrorText());
        state.Stop();
        return 0;
    }

    const int initResult = lame_init_params(gfp);
    if (initResult < 0) {
        state.PostLog(QStringLiteral("Error opening encoding stream (%1)").arg(-initResult),
                      LogError);
        state.Stop();
        return 0;
    }
    // LAME quietly lowers a bitrate the sampling rate cannot carry (at
    // 8 kHz nothing above 64 kbit/s): say which one the file really gets.
    const int requestedKbps = kBitrateKbps[size_t(bitrateIndex)];
    if (lame_get_brate(gfp) != requestedKbps) {
        state.PostLog(QStringLiteral("Bitrate %1 kbit/s is not possible at %2 Hz; the file gets "
                                     "%3 kbit/s.")
                          .arg(requestedKbps)
                          .arg(task.targetRate)
                          .arg(lame_get_brate(gfp)),
                      LogWarning);
    }

    const uint32_t channels = task.targetChannels == 1 ? 1 : 2;
    uint32_t chunk = uint32_t(lame_get_framesize(gfp)) * channels;
    std::vector<unsigned char> mp3Buffer(size_t(chunk) * 5 / 4 + 7200);
    std::vector<int32_t> input(chunk);
    std::vector<float> left(chunk);
    std::vector<float> right(chunk / 2 + 1);
    uint32_t lastUpdate = TickCount();
    SampleRing& ring = *task.encoderInput;
    bool writeFailed = false;

    auto reportWriteError = [&] {
        if (!writeFailed) {
            state.PostLog(QStringLiteral("Output file write error"), LogError, output.ErrorText());
        }
        state.Stop();
        writeFailed = true;
    };
    auto reportTagError = [&] {
        PostTagWriteFailure(state, task, output.ErrorText());
        state.Stop();
        writeFailed = true;
    };

    // The ID3v2 tag leads the file, so that no tag needs the audio moved.
    if (!output.Append(tags.leading.constData(), size_t(tags.leading.size())) || !output.Flush()) {
        reportTagError();
    }
    const uint64_t audioStart = output.Size();

    while (state.IsRunning()) {
        if (state.paused.load(std::memory_order_relaxed) == 1) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            continue;
        }
        if (TicksSince(lastUpdate) > kProgressIntervalMs) {
            lastUpdate = TickCount();
            state.UpdateProgress(Percent(state.fileSamplesDone, task.expectedSamples),
                                 Percent(state.overallSamplesDone, state.totalSamplesExpected),
                                 false);
        }
        const ChunkPlan plan = PlanNextChunk(task, ring, chunk);
        if (plan.kind == ChunkPlan::Wait) {
            BackOff(state.profile.encoder.waitInputUs);
            continue;
        }
        if (plan.kind == ChunkPlan::Last) {
            chunk = 0;
        }
        const uint32_t n = plan.count;
        ring.Read(input.data(), n);

        int produced = 0;
        if (channels == 1) {
            for (uint32_t i = 0; i < n; ++i) {
                left[i] = float(input[i]) * kToS16Range;
            }
            produced = lame_encode_buffer_float(gfp, left.data(), nullptr, int(n), mp3Buffer.data(),
                                                int(mp3Buffer.size()));
        } else {
            const uint32_t m = n / 2;
            for (uint32_t i = 0; i < m; ++i) {
                left[i] = float(input[2 * i]) * kToS16Range;
                right[i] = float(input[2 * i + 1]) * kToS16Range;
            }
            produced = lame_encode_buffer_float(gfp, left.data(), right.data(), int(m),
                                                mp3Buffer.data(), int(mp3Buffer.size()));
        }
        if (produced < 0) {
            state.PostLog(QStringLiteral("beEncodeChunk() failed (%1)").arg(-produced), LogError);
            state.Stop();
            return 0;
        }
        if (!writeFailed && !output.Append(mp3Buffer.data(), size_t(produced))) {
            reportWriteError();
        }
        state.AddEncoded(n);
        if (chunk == 0) {
            break;
        }
    }

    const int flushed = lame_encode_flush(gfp, mp3Buffer.data(), int(mp3Buffer.size()));
    if (flushed < 0) {
        state.PostLog(QStringLiteral("beExitStream failed (%1)").arg(-flushed), LogError);
        state.Stop();
    } else if (!writeFailed && !output.Append(mp3Buffer.data(), size_t(flushed))) {
        reportWriteError();
    }
    state.fileAudioDone.store(1);

    if (!writeFailed && !output.Flush()) {
        reportWriteError();
    }
    if (!writeFailed && (!output.Append(tags.trailing.constData(), size_t(tags.trailing.size())) ||
                         !output.Flush())) {
        reportTagError();
    }
    // The Info/LAME tag replaces the placeholder frame LAME put at the start
    // of the stream, so players see the exact length and the encoder's delay.
    std::vector<unsigned char> infoTag(mp3Buffer.size());
    const size_t infoSize = lame_get_lametag_frame(gfp, infoTag.data(), infoTag.size());
    if (!writeFailed && infoSize > 0 && infoSize <= infoTag.size() &&
        !output.WriteAt(audioStart, infoTag.data(), infoSize)) {
        reportWriteError();
    }

    state.UpdateProgress(Percent(state.fileSamplesDone, task.expectedSamples),
                         Percent(state.overallSamplesDone, state.totalSamplesExpected), true);
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
