#include "EngineContext.h"

#include <QString>

#include <mpg123.h>
#include <mutex>

namespace zorvane {

bool EnsureDecoderLibrary() {
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] { ok = mpg123_init() == MPG123_OK; });
    return ok;
}

EngineContext::EngineContext() {
    if (!EnsureDecoderLibrary()) {
        initError = QStringLiteral("The MP3 decoding library could not be initialised.");
        return;
    }
    int error = MPG123_OK;
    decoderHandle = mpg123_new(nullptr, &error);
    if (!decoderHandle) {
        initError = QString::fromUtf8(mpg123_plain_strerror(error));
    }
}

EngineContext::~EngineContext() {
    if (decoderHandle) {
        mpg123_delete(decoderHandle);
    }
}

} // namespace zorvane
