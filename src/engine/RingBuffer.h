#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <type_traits>

namespace zorvane {

// Capacity of each of the engine's two rings, in elements (4 MiB of int32).
inline constexpr uint32_t kRingCapacity = 1048576;

// A fixed-size circular queue of samples between two pipeline stages.
//
// Units: every count is an element count (one sample of one channel), never
// frames or bytes. Multi-channel audio is stored interleaved.
//
// Thread safety: lock-free and wait-free for exactly one writer thread and,
// per read cursor, one reader thread. Only the writer stores writeIndex and
// only reader k stores readIndex[k]. The writer copies the elements before it
// publishes the new writeIndex (release); a reader loads writeIndex (acquire)
// before it copies, and publishes its new readIndex (release) only after the
// copy, so the writer can never overwrite elements that are still being read.
// A stale view of the other side's index only under-reports room or fill.
// Reset() must only be called while neither side is using the ring.
//
// Capacity: at most capacity - 1 elements are stored, so that a full ring and
// an empty ring can be told apart. No allocation after construction.
template <typename T, unsigned N = 1> class RingBuffer {
    static_assert(std::is_trivially_copyable_v<T>);
    static_assert(N >= 1);

public:
    explicit RingBuffer(uint32_t capacityElements)
        : data(new T[capacityElements]()), capacity(capacityElements) {
        for (auto& r : readIndex) {
            r.store(0, std::memory_order_relaxed);
        }
    }
    RingBuffer(const RingBuffer&) = delete;
    RingBuffer& operator=(const RingBuffer&) = delete;
    virtual ~RingBuffer() = default;

    uint32_t Capacity() const { return capacity; }

    // Elements that reader k can read now.
    uint32_t Used(unsigned k = 0) const {
        const uint32_t w = writeIndex.load(std::memory_order_acquire);
        const uint32_t r = readIndex[k].load(std::memory_order_acquire);
        return w >= r ? w - r : capacity - r + w;
    }

    // Elements that can be written now. Only reader 0 bounds the writer.
    uint32_t Free() const {
        const uint32_t w = writeIndex.load(std::memory_order_relaxed);
        const uint32_t r = readIndex[0].load(std::memory_order_acquire);
        return (r + capacity - w - 1) % capacity;
    }

    // Appends up to count elements; returns how many were written.
    uint32_t Write(const T* src, uint32_t count) {
        const uint32_t n = std::min(count, Free());
        if (n == 0) {
            return 0;
        }
        const uint32_t w = writeIndex.load(std::memory_order_relaxed);
        const uint32_t toEnd = capacity - w;
        if (toEnd >= n) {
            std::memcpy(data.get() + w, src, n * sizeof(T));
        } else {
            std::memcpy(data.get() + w, src, toEnd * sizeof(T));
            std::memcpy(data.get(), src + toEnd, (n - toEnd) * sizeof(T));
        }
        writeIndex.store((w + n) % capacity, std::memory_order_release);
        return n;
    }

    // Takes up to count elements for reader k into dst and returns how many
    // were taken. dst always receives count defined elements: positions past
    // the elements taken are zero (silence).
    uint32_t Read(T* dst, uint32_t count, unsigned k = 0) {
        const uint32_t available = Used(k);
        if (count > available) {
            std::fill(dst + available, dst + count, T{});
            count = available;
        }
        if (count == 0) {
            return 0;
        }
        const uint32_t r = readIndex[k].load(std::memory_order_relaxed);
        const uint32_t toEnd = capacity - r;
        if (toEnd >= count) {
            std::memcpy(dst, data.get() + r, count * sizeof(T));
        } else {
            std::memcpy(dst, data.get() + r, toEnd * sizeof(T));
            std::memcpy(dst + toEnd, data.get(), (count - toEnd) * sizeof(T));
        }
        readIndex[k].store((r + count) % capacity, std::memory_order_release);
        return count;
    }

    // Empties the ring for reader 0. Only while no thread uses the ring.
    void Reset() {
        writeIndex.store(0, std::memory_order_release);
        readIndex[0].store(0, std::memory_order_release);
    }

protected:
    // Lets tests place the indexes (e.g. just before the wrap) without
    // pushing a million elements through first.
    void SetIndexesForTest(uint32_t write, uint32_t read) {
        writeIndex.store(write, std::memory_order_release);
        readIndex[0].store(read, std::memory_order_release);
    }

private:
    std::unique_ptr<T[]> data;
    std::atomic<uint32_t> writeIndex{0};
    std::atomic<uint32_t> readIndex[N];
    uint32_t capacity;
};

using SampleRing = RingBuffer<int32_t, 1>;

} // namespace zorvane
