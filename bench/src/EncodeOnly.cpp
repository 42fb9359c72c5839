// Encoder stage alone: LAME with the settings of the Zorvane encoder stage
// (CBR, quality 9, no bit reservoir) on float samples held in memory. It
// encodes as much audio as the pipeline writes: the first 1/FACTOR of each
// source, decoded and converted before the clock starts.
// Usage: bench-encode FACTOR KBPS FILE...

#include "BenchCommon.h"

#include <algorithm>
#include <cstdlib>
#include <lame/lame.h>

namespace {

constexpr float kToS16Range = 1.0f / 65536.0f; // full-scale int32 -> +-32768

struct Planar {
    long rate = 0;
    int channels = 0;
    std::vector<float> left;
    std::vector<float> right;
};

Planar Prepare(const char* path, double factor) {
    bench::Pcm pcm = bench::DecodeAll(path);
    Planar planar;
    planar.rate = pcm.rate;
    planar.channels = pcm.channels;
    const size_t frames = size_t(double(pcm.Frames()) / factor);
    planar.left.resize(frames);
    if (pcm.channels == 2) {
        planar.right.resize(frames);
    }
    for (size_t i = 0; i < frames; ++i) {
        planar.left[i] = float(pcm.samples[i * size_t(pcm.channels)]) * kToS16Range;
        if (pcm.channels == 2) {
            planar.right[i] = float(pcm.samples[i * 2 + 1]) * kToS16Range;
        }
    }
    return planar;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        bench::Fail("usage: bench-encode FACTOR KBPS FILE...");
    }
    const double factor = std::atof(argv[1]);
    const int kbps = std::atoi(argv[2]);
    if (factor <= 0 || kbps <= 0) {
        bench::Fail("FACTOR and KBPS must be positive");
    }
    bench::Stopwatch watch;
    unsigned long long bytes = 0;
    for (int i = 3; i < argc; ++i) {
        const Planar planar = Prepare(argv[i], factor);
        watch.Start();
        lame_global_flags* gfp = lame_init();
        if (!gfp) {
            bench::Fail("lame_init failed");
        }
        lame_set_num_channels(gfp, planar.channels);
        lame_set_in_samplerate(gfp, int(planar.rate));
        lame_set_out_samplerate(gfp, int(planar.rate));
        lame_set_mode(gfp, planar.channels == 1 ? MONO : JOINT_STEREO);
        lame_set_VBR(gfp, vbr_off);
        lame_set_brate(gfp, kbps);
        lame_set_quality(gfp, 9);
        lame_set_disable_reservoir(gfp, 1);
        lame_set_bWriteVbrTag(gfp, 1);
        lame_set_write_id3tag_automatic(gfp, 0);
        if (lame_init_params(gfp) < 0) {
            bench::Fail("lame_init_params failed");
        }
        const size_t chunk = size_t(lame_get_framesize(gfp));
        std::vector<unsigned char> mp3(chunk * 5 / 4 + 7200);
        const size_t frames = planar.left.size();
        for (size_t at = 0; at < frames; at += chunk) {
            const size_t n = std::min(chunk, frames - at);
            const float* right = planar.channels == 2 ? planar.right.data() + at : nullptr;
            const int produced = lame_encode_buffer_float(gfp, planar.left.data() + at, right,
                                                          int(n), mp3.data(), int(mp3.size()));
            if (produced < 0) {
                bench::Fail("lame_encode_buffer_float failed");
            }
            bytes += unsigned(produced);
        }
        const int tail = lame_encode_flush(gfp, mp3.data(), int(mp3.size()));
        bytes += tail > 0 ? unsigned(tail) : 0u;
        lame_close(gfp);
        watch.Stop();
    }
    watch.Print();
    std::printf("bytes %llu\n", bytes);
    return 0;
}
