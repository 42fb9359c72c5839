#include "EngineContext.h"

#include <QString>

#include <lame/lame.h>
#include <mpg123.h>
#include <mutex>

namespace zorvane {

bool EnsureDecoderLibrary() {
    static const bool ok = mpg123_init() == MPG123_OK;
    return ok;
}

void EnsureEncoderLibrary() {
    // LAME fills a process-wide table on its first lame_init() without a
    // lock; done here once, before any pipeline's encoder thread exists,
    // two encoders starting together never write it at the same time.
    static std::once_flag once;
    std::call_once(once, [] {
        if (lame_global_flags* flags = lame_init()) {
            lame_close(flags);
        }
    });
}

EngineContext::EngineContext() {
    EnsureEncoderLibrary();
    if (!EnsureDecoderLibrary()) {
        initError = QStringLiteral("The MP3 decoding library could not be initialised.");
        return;
    }
    int error = MPG123_OK;
    decoderHandle = mpg123_new(nullptr, &error);
    if (!decoderHandle) {
        initError = QString::fromUtf8(mpg123_plain_strerror(error));
        return;
    }
    // Damaged files are common: look as far as it takes for the next frame,
    // as players do, and say what was skipped in one log line of our own
    // instead of the library's notes on standard error.
    mpg123_param(decoderHandle, MPG123_RESYNC_LIMIT, -1, 0.0);
    mpg123_param(decoderHandle, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
}

EngineContext::~EngineContext() {
    if (decoderHandle) {
        mpg123_delete(decoderHandle);
    }
}

} // namespace zorvane
