#pragma once

#include <QString>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

namespace zorvane {

inline void AddMicros(std::atomic<uint64_t>& counter, uint64_t us) {
    counter.store(counter.load(std::memory_order_relaxed) + us, std::memory_order_relaxed);
}

// Where one pipeline stage spent its time during a run, in microseconds: the
// whole time its thread ran, time spent waiting for input (ring too empty)
// and for room to write (ring too full). The rest is work. Written by the
// stage's own thread; read after the run (or for display, tolerating stale
// values).
struct StageTimes {
    std::atomic<uint64_t> totalUs{0};
    std::atomic<uint64_t> waitInputUs{0};
    std::atomic<uint64_t> waitOutputUs{0};

    void Reset() {
        totalUs.store(0, std::memory_order_relaxed);
        waitInputUs.store(0, std::memory_order_relaxed);
        waitOutputUs.store(0, std::memory_order_relaxed);
    }
    // Adds another run's times: the totals of a batch of pipelines.
    void Add(const StageTimes& other) {
        AddMicros(totalUs, other.totalUs.load());
        AddMicros(waitInputUs, other.waitInputUs.load());
        AddMicros(waitOutputUs, other.waitOutputUs.load());
    }
};

struct StageProfile {
    StageTimes decoder;
    StageTimes tempo;
    StageTimes encoder;

    void Reset() {
        decoder.Reset();
        tempo.Reset();
        encoder.Reset();
    }
    void Add(const StageProfile& other) {
        decoder.Add(other.decoder);
        tempo.Add(other.tempo);
        encoder.Add(other.encoder);
    }
    // A small table for people: work and waits per stage.
    QString Report() const;
};

inline uint64_t MicrosNow() {
    using namespace std::chrono;
    return uint64_t(duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

// The pipeline's back-off: sleeps ms milliseconds and books the time on the
// given counter.
inline void BackOff(std::atomic<uint64_t>& counter, int ms = 1) {
    const uint64_t start = MicrosNow();
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    AddMicros(counter, MicrosNow() - start);
}

// Adds the lifetime of a stage's thread body to its total when it ends.
class StageTimer {
public:
    explicit StageTimer(StageTimes& t) : times(t), start(MicrosNow()) {}
    ~StageTimer() { AddMicros(times.totalUs, MicrosNow() - start); }
    StageTimer(const StageTimer&) = delete;
    StageTimer& operator=(const StageTimer&) = delete;

private:
    StageTimes& times;
    uint64_t start;
};

} // namespace zorvane
