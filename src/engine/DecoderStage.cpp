#include "DecoderStage.h"

#include "ConversionState.h"
#include "EncoderStage.h"
#include "EngineContext.h"
#include "StreamDamage.h"
#include "TagTransfer.h"
#include "TempoStage.h"
#include "platform/DisplayText.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <mpg123.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace zorvane {

namespace {

QString DecoderErrorText(mpg123_handle* handle) {
    return QString::fromUtf8(mpg123_strerror(handle));
}

// Allows the one output format and opens the source; false once it has
// logged why not. The handle is left open only on success.
bool OpenDecoder(EngineContext& ctx, ConversionState& state, const CConversionTask& task,
                 int sourceFd) {
    mpg123_handle* handle = ctx.decoderHandle;
    if (!handle) {
        state.PostLog(QStringLiteral("Trouble with mpg123: %1").arg(ctx.InitError()), LogError);
        return false;
    }
    mpg123_format_none(handle);
    if (mpg123_format(handle, long(task.sourceRate), int(task.sourceChannels),
                      MPG123_ENC_SIGNED_32) != MPG123_OK) {
        state.PostLog(QStringLiteral("Invalid Format!"), LogError);
        return false;
    }
    if (mpg123_format_support(handle, long(task.sourceRate), MPG123_ENC_SIGNED_32) == 0) {
        state.PostLog(QStringLiteral("Invalid Format!"), LogError);
        return false;
    }
    if (mpg123_open_fd(handle, sourceFd) != MPG123_OK) {
        state.PostLog(QStringLiteral("Trouble with mpg123: %1").arg(DecoderErrorText(handle)),
                      LogError);
        mpg123_close(handle);
        return false;
    }
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    // Opening only opens the file; this is where the decoder first looks for
    // MPEG frames. A file without any (text, empty, damaged beyond repair)
    // would otherwise become an empty output reported as converted.
    if (mpg123_getformat(handle, &rate, &channels, &encoding) != MPG123_OK) {
        state.PostLog(QStringLiteral("Trouble with mpg123: %1").arg(DecoderErrorText(handle)),
                      LogError);
        mpg123_close(handle);
        return false;
    }
    return true;
}

// Feeds one opened source into the decoded ring, frame by frame, so that
// every byte between two frames that was not audio is seen: the decoder
// steps over it (with no limit on how far it looks for the next frame) and
// the file gets one warning line.
class FrameDecoder {
public:
    FrameDecoder(ConversionState& runState, mpg123_handle* decoder, SampleRing& output, int fd)
        : state(runState), handle(decoder), ring(output), sourceFd(fd),
          blockSamples(uint32_t(mpg123_outblock(decoder) / sizeof(int32_t))), fileSize(SizeOf(fd)) {
    }

    // 1 when the whole source was decoded (or the run was stopped), 0 on a
    // failure, which it has logged.
    int Run() {
        int result = 1;
        while (state.IsRunning()) {
            if (ring.Free() < 2 * blockSamples) {
                BackOff(state.profile.decoder.waitOutputUs);
                continue;
            }
            off_t frameNumber = 0;
            unsigned char* audio = nullptr;
            size_t bytes = 0;
            const int status = mpg123_decode_frame(handle, &frameNumber, &audio, &bytes);
            if (status == MPG123_OK || status == MPG123_NEW_FORMAT) {
                TakeFrame(status, reinterpret_cast<const int32_t*>(audio), bytes / sizeof(int32_t));
                continue;
            }
            result = Finish(status);
            break;
        }
        if (result == 1 && !damage.Empty()) {
            state.PostLog(damage.WarningText(), LogWarning);
        }
        return result;
    }

private:
    static uint64_t SizeOf(int fd) {
        struct stat st {};
        return ::fstat(fd, &st) == 0 ? uint64_t(st.st_size) : 0;
    }

    void Deliver(const int32_t* samples, size_t count) {
        // The samples go on at full precision: the encoder takes 32-bit
        // input, and masking bits away would add hiss to quiet passages.
        ring.Write(samples, uint32_t(count));
        decoded += count;
    }

    void TakeFrame(int status, const int32_t* samples, size_t count) {
        // Only one output format is allowed, so a new stream format
        // mid-file still arrives in it: keep going rather than cut the file.
        mpg123_frameinfo info{};
        if (status != MPG123_OK || mpg123_info(handle, &info) != MPG123_OK) {
            Deliver(samples, count);
            return;
        }
        const int64_t frameAt = int64_t(mpg123_framepos(handle));
        const bool afterGap = nextFrameAt >= 0 && frameAt > nextFrameAt;
        if (heldBackAt >= 0) {
            if (afterGap) {
                damage.Add(uint64_t(heldBackAt), uint64_t(nextFrameAt - heldBackAt));
            } else {
                Deliver(heldBack.data(), heldBack.size());
            }
            heldBack.clear();
            heldBackAt = -1;
        }
        if (afterGap) {
            damage.Add(uint64_t(nextFrameAt), uint64_t(frameAt - nextFrameAt));
            heldBack.assign(samples, samples + count);
            heldBackAt = frameAt;
        } else {
            Deliver(samples, count);
        }
        nextFrameAt = frameAt + info.framesize;
    }

    // After the last frame: 1, or 0 once it has logged why the file is not
    // one to report as converted.
    int Finish(int status) {
        if (heldBackAt >= 0) {
            // The file ends behind it: a last frame after damage is as
            // likely garbage as audio, and costs one frame at most.
            damage.Add(uint64_t(heldBackAt), uint64_t(nextFrameAt - heldBackAt));
        }
        const uint64_t audioEnd = fileSize - TrailingTagBytes(sourceFd, fileSize);
        const bool cutShort = status != MPG123_DONE && mpg123_errcode(handle) == MPG123_ERR_READER;
        if (decoded == 0 || (status != MPG123_DONE && !cutShort)) {
            // A file without audio, or a decoder error: never a file to
            // report as converted.
            const QString reason = status != MPG123_DONE
                                       ? DecoderErrorText(handle)
                                       : QStringLiteral("no MPEG audio frames in the file");
            state.PostLog(QStringLiteral("Trouble with mpg123: %1").arg(reason), LogError);
            return 0;
        }
        if (nextFrameAt >= 0 && uint64_t(nextFrameAt) < audioEnd) {
            return CheckTail(status, audioEnd);
        }
        return 1;
    }

    // What is left is a frame cut short or junk after the audio, unless the
    // stream's own header said it ends early: audio the decoder would not
    // play must not pass for a complete file.
    int CheckTail(int status, uint64_t audioEnd) {
        if (status == MPG123_DONE && AudioFollowsAt(sourceFd, uint64_t(nextFrameAt), audioEnd)) {
            state.PostLog(QStringLiteral("Trouble with mpg123: the file holds more audio than "
                                         "its header says (%1 bytes after byte %2)")
                              .arg(audioEnd - uint64_t(nextFrameAt))
                              .arg(nextFrameAt),
                          LogError);
            return 0;
        }
        damage.Add(uint64_t(nextFrameAt), audioEnd - uint64_t(nextFrameAt));
        return 1;
    }

    ConversionState& state;
    mpg123_handle* const handle;
    SampleRing& ring;
    const int sourceFd;
    const uint32_t blockSamples;
    const uint64_t fileSize;
    DamageTally damage;
    int64_t nextFrameAt = -1; // where the frame after the last one decoded starts
    // A frame found right after damage is held back until the next frame
    // follows it without a gap: garbage now and then looks like a frame
    // header, and such a lookalike stands alone, where real audio goes on.
    std::vector<int32_t> heldBack;
    int64_t heldBackAt = -1;
    uint64_t decoded = 0;
};

int Decode(EngineContext& ctx, ConversionState& state, const CConversionTask& task, int sourceFd) {
    if (!OpenDecoder(ctx, state, task, sourceFd)) {
        return 0;
    }
    FrameDecoder decoder(state, ctx.decoderHandle, ctx.decodedRing, sourceFd);
    const int result = decoder.Run();
    mpg123_close(ctx.decoderHandle);
    return result;
}

} // namespace

int OpenSourceFile(ConversionState& state, const QString& path) {
    // Non-blocking, so that opening a FIFO without a writer returns at once.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    QString reason;
    if (fd < 0) {
        reason = qt_error_string(errno);
    } else {
        struct stat st {};
        if (::fstat(fd, &st) != 0) {
            reason = qt_error_string(errno);
        } else if (!S_ISREG(st.st_mode)) {
            reason = QStringLiteral("Not a regular file (a folder, device, FIFO or socket)");
        } else {
            // Regular files ignore O_NONBLOCK; clear it all the same so the
            // decoder's reads are plain blocking reads.
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
            return fd;
        }
        ::close(fd);
    }
    state.PostLog(QStringLiteral("File Error: %1").arg(reason), LogError);
    return -1;
}

int RunDecoder(EngineContext& ctx, CConversionTask& task) {
    ConversionState& state = *ctx.progressWindow;
    StageTimer timer(state.profile.decoder);
    task.decoding.Set(1);

    int result = 0;
    const int sourceFd = OpenSourceFile(state, task.sourcePath);
    if (sourceFd < 0) {
        state.Stop();
    } else {
        try {
            // The tags are read before any output exists, from the very
            // file the decoder reads, so they cannot go missing half-way.
            if (!ReadSourceTags(state, task, QStringLiteral("/proc/self/fd/%1").arg(sourceFd))) {
                state.Stop();
            } else if (task.needsProcessing == 1) {
                task.encoderInput = &ctx.processedRing;
                state.tempoThread.Start([&ctx, &task] { RunTempoStage(ctx, task); });
            } else {
                task.encoderInput = &ctx.decodedRing;
                state.encoderThread.Start([&ctx, &task] { RunEncoder(ctx, task); });
            }
            if (state.IsRunning()) {
                result = Decode(ctx, state, task, sourceFd);
            }
        } catch (...) {
            state.Stop();
            state.PostLog(QStringLiteral("An error occurred while decoding %1")
                              .arg(EscapedForDisplay(task.sourcePath)),
                          LogError);
            result = 0;
        }
    }
    if (sourceFd >= 0) {
        ::close(sourceFd);
    }
    task.decoding.Set(0);
    return result;
}

} // namespace zorvane
