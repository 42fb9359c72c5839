#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <sys/resource.h>

namespace bench {

// Decoded audio kept in memory: interleaved signed 32-bit samples, the
// format the Zorvane decoder stage hands to the tempo stage.
struct Pcm {
    long rate = 0;
    int channels = 0;
    std::vector<int32_t> samples;

    size_t Frames() const { return channels > 0 ? samples.size() / size_t(channels) : 0; }
};

// Opens an mpg123 handle that delivers signed 32-bit samples at the
// source's own rate and channel count; exits the program on failure.
struct Mpg123Handle;
Mpg123Handle* OpenDecoder(const std::string& path, long* rate, int* channels);
// Reads the next block; returns the byte count, 0 at the end.
size_t ReadBlock(Mpg123Handle* handle, std::vector<unsigned char>& buffer);
void CloseDecoder(Mpg123Handle* handle);

// Decodes a whole file into memory; exits the program on failure.
Pcm DecodeAll(const std::string& path);

// Wall and CPU time of the parts a program chooses to measure. Only those
// parts count, so untimed preparation (decoding into memory) stays out of
// the figures that bench/run.sh reads.
class Stopwatch {
public:
    void Start();
    void Stop();
    // One line for bench/run.sh: "BENCH wall_s user_s sys_s".
    void Print() const;

private:
    double wallStart = 0, userStart = 0, sysStart = 0;
    double wall = 0, user = 0, sys = 0;
};

[[noreturn]] void Fail(const std::string& message);

} // namespace bench
