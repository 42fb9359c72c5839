// Decoder stage alone: MP3 to signed 32-bit samples, thrown away.
// Usage: bench-decode FILE...

#include "BenchCommon.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        bench::Fail("usage: bench-decode FILE...");
    }
    bench::Stopwatch watch;
    unsigned long long samples = 0;
    watch.Start();
    for (int i = 1; i < argc; ++i) {
        long rate = 0;
        int channels = 0;
        bench::Mpg123Handle* handle = bench::OpenDecoder(argv[i], &rate, &channels);
        std::vector<unsigned char> buffer;
        while (const size_t bytes = bench::ReadBlock(handle, buffer)) {
            samples += bytes / sizeof(int32_t);
        }
        bench::CloseDecoder(handle);
    }
    watch.Stop();
    watch.Print();
    std::printf("samples %llu\n", samples);
    return 0;
}
