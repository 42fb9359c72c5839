#pragma once

#include <QElapsedTimer>

#include <cstdint>

namespace zorvane {

// Milliseconds of the monotonic clock, as a 32-bit tick count. Ticks rather
// than QElapsedTimer objects because the run's start ticks live in atomics
// that several threads read. Durations are taken as unsigned differences,
// which stay right across a wrap of the counter.
inline uint32_t TickCount() {
    QElapsedTimer clock;
    clock.start();
    return uint32_t(clock.msecsSinceReference());
}

inline uint32_t TicksSince(uint32_t start) {
    return TickCount() - start;
}

} // namespace zorvane
