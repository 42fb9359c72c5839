#include "BenchCommon.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mpg123.h>

namespace bench {

struct Mpg123Handle {
    mpg123_handle* handle = nullptr;
};

namespace {

double Seconds(const timeval& tv) {
    return double(tv.tv_sec) + double(tv.tv_usec) / 1e6;
}

double WallNow() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void CpuNow(double* user, double* sys) {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    *user = Seconds(usage.ru_utime);
    *sys = Seconds(usage.ru_stime);
}

} // namespace

void Fail(const std::string& message) {
    std::fprintf(stderr, "bench: %s\n", message.c_str());
    std::exit(1);
}

Mpg123Handle* OpenDecoder(const std::string& path, long* rate, int* channels) {
    static const bool ready = mpg123_init() == MPG123_OK;
    if (!ready) {
        Fail("mpg123_init failed");
    }
    int code = MPG123_OK;
    mpg123_handle* handle = mpg123_new(nullptr, &code);
    if (!handle) {
        Fail(mpg123_plain_strerror(code));
    }
    // Allow every rate and channel count but only one sample format, so the
    // decoder does the same float-to-int work as the Zorvane decoder stage.
    mpg123_format_none(handle);
    const long* rates = nullptr;
    size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    for (size_t i = 0; i < rateCount; ++i) {
        mpg123_format(handle, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_32);
    }
    if (mpg123_open(handle, path.c_str()) != MPG123_OK) {
        Fail(path + ": " + mpg123_strerror(handle));
    }
    int encoding = 0;
    if (mpg123_getformat(handle, rate, channels, &encoding) != MPG123_OK ||
        encoding != MPG123_ENC_SIGNED_32) {
        Fail(path + ": no signed 32-bit output");
    }
    return new Mpg123Handle{handle};
}

size_t ReadBlock(Mpg123Handle* handle, std::vector<unsigned char>& buffer) {
    if (buffer.empty()) {
        buffer.resize(mpg123_outblock(handle->handle));
    }
    for (;;) {
        size_t done = 0;
        const int status = mpg123_read(handle->handle, buffer.data(), buffer.size(), &done);
        if (status == MPG123_OK || (status == MPG123_DONE && done > 0)) {
            return done;
        }
        if (status == MPG123_DONE) {
            return 0;
        }
        // A format change cannot happen with one allowed encoding, but a
        // stream may announce its format late; the data comes next round.
        if (status == MPG123_NEW_FORMAT) {
            if (done > 0) {
                return done;
            }
            continue;
        }
        Fail(mpg123_strerror(handle->handle));
    }
}

void CloseDecoder(Mpg123Handle* handle) {
    mpg123_close(handle->handle);
    mpg123_delete(handle->handle);
    delete handle;
}

Pcm DecodeAll(const std::string& path) {
    Pcm pcm;
    Mpg123Handle* handle = OpenDecoder(path, &pcm.rate, &pcm.channels);
    // Sized from the length up front: growing by doubling would make the
    // peak memory of the timed programs depend on luck.
    mpg123_scan(handle->handle);
    const off_t frames = mpg123_length(handle->handle);
    if (frames > 0) {
        pcm.samples.reserve(size_t(frames) * size_t(pcm.channels) + 8192);
    }
    std::vector<unsigned char> buffer;
    while (const size_t bytes = ReadBlock(handle, buffer)) {
        const auto* first = reinterpret_cast<const int32_t*>(buffer.data());
        pcm.samples.insert(pcm.samples.end(), first, first + bytes / sizeof(int32_t));
    }
    CloseDecoder(handle);
    return pcm;
}

void Stopwatch::Start() {
    wallStart = WallNow();
    CpuNow(&userStart, &sysStart);
}

void Stopwatch::Stop() {
    double userEnd = 0, sysEnd = 0;
    CpuNow(&userEnd, &sysEnd);
    wall += WallNow() - wallStart;
    user += userEnd - userStart;
    sys += sysEnd - sysStart;
}

void Stopwatch::Print() const {
    std::printf("BENCH %.3f %.3f %.3f\n", wall, user, sys);
}

} // namespace bench
