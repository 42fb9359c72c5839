#pragma once

#include <chrono>
#include <cstdint>

namespace zorvane {

// Milliseconds of a steady clock, as a 32-bit tick count. Durations are taken
// as unsigned differences, which stay right across a wrap of the counter.
inline uint32_t TickCount() {
    using namespace std::chrono;
    return uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

inline uint32_t TicksSince(uint32_t start) {
    return TickCount() - start;
}

} // namespace zorvane
