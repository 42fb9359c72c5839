#include "engine/RingBuffer.h"

#include <QTest>

#include <atomic>
#include <numeric>
#include <thread>
#include <vector>

using namespace zorvane;

namespace {

// Lets a test put the indexes anywhere, e.g. just before the wrap.
class PlacedRing : public SampleRing {
public:
    explicit PlacedRing(uint32_t size) : SampleRing(size) {}
    using SampleRing::SetIndexesForTest;
};

std::vector<int32_t> Sequence(int32_t first, uint32_t count) {
    std::vector<int32_t> v(count);
    std::iota(v.begin(), v.end(), first);
    return v;
}

} // namespace

class TestRingBuffer : public QObject {
    Q_OBJECT

private slots:
    void newRingIsEmpty() {
        SampleRing ring(kRingCapacity);
        QCOMPARE(ring.Used(0), 0u);
        QCOMPARE(ring.Free(), 1048575u);
    }

    void fullRingRefusesMore() {
        SampleRing ring(kRingCapacity);
        const auto data = Sequence(1, kRingCapacity - 1);
        QCOMPARE(ring.Write(data.data(), uint32_t(data.size())), kRingCapacity - 1);
        QCOMPARE(ring.Free(), 0u);
        QCOMPARE(ring.Used(0), kRingCapacity - 1);
        const int32_t extra = 99;
        QCOMPARE(ring.Write(&extra, 1), 0u);
        QCOMPARE(ring.Used(0), kRingCapacity - 1);
        int32_t first = 0;
        QCOMPARE(ring.Read(&first, 1), 1u);
        QCOMPARE(first, 1);
    }

    void partialWriteAndRead_data() {
        QTest::addColumn<uint32_t>("capacity");
        QTest::addColumn<uint32_t>("prefill");
        QTest::addColumn<uint32_t>("writeCount");
        QTest::addColumn<uint32_t>("expectWritten");
        QTest::addColumn<uint32_t>("readCount");
        QTest::addColumn<uint32_t>("expectRead");
        // capacity 8 holds 7; with 3 stored, 4 fit.
        QTest::newRow("write clipped to free room") << 8u << 3u << 10u << 4u << 7u << 7u;
        QTest::newRow("read more than stored") << 16u << 0u << 3u << 3u << 8u << 3u;
        QTest::newRow("read from empty ring") << 16u << 0u << 0u << 0u << 5u << 0u;
        QTest::newRow("exact fill") << 8u << 0u << 7u << 7u << 7u << 7u;
    }

    void partialWriteAndRead() {
        QFETCH(uint32_t, capacity);
        QFETCH(uint32_t, prefill);
        QFETCH(uint32_t, writeCount);
        QFETCH(uint32_t, expectWritten);
        QFETCH(uint32_t, readCount);
        QFETCH(uint32_t, expectRead);
        SampleRing ring(capacity);
        const auto pre = Sequence(100, prefill);
        QCOMPARE(ring.Write(pre.data(), prefill), prefill);
        const auto data = Sequence(1000, writeCount);
        QCOMPARE(ring.Write(data.data(), writeCount), expectWritten);

        std::vector<int32_t> out(readCount, -1);
        QCOMPARE(ring.Read(out.data(), readCount), expectRead);
        std::vector<int32_t> expected = pre;
        expected.insert(expected.end(), data.begin(), data.begin() + expectWritten);
        for (uint32_t i = 0; i < readCount; ++i) {
            // Positions past what was taken are silence, never stale data.
            const int32_t want = i < expectRead ? expected[i] : 0;
            QCOMPARE(out[i], want);
        }
    }

    void writeWrapsAroundTheEnd() {
        PlacedRing ring(kRingCapacity);
        ring.SetIndexesForTest(kRingCapacity - 2, kRingCapacity - 2);
        const auto data = Sequence(1, 5);
        QCOMPARE(ring.Write(data.data(), 5), 5u);
        QCOMPARE(ring.Used(0), 5u);
        std::vector<int32_t> out(5);
        QCOMPARE(ring.Read(out.data(), 5), 5u);
        QCOMPARE(out, data);
        // Both indexes now stand at 3: one more element goes to position 3.
        QCOMPARE(ring.Free(), kRingCapacity - 1);
    }

    void readWrapsAroundTheEnd() {
        PlacedRing ring(16);
        ring.SetIndexesForTest(14, 14);
        const auto data = Sequence(7, 9);
        QCOMPARE(ring.Write(data.data(), 9), 9u);
        std::vector<int32_t> out(4);
        QCOMPARE(ring.Read(out.data(), 4), 4u);
        QCOMPARE(out, Sequence(7, 4));
        out.assign(5, 0);
        QCOMPARE(ring.Read(out.data(), 5), 5u);
        QCOMPARE(out, Sequence(11, 5));
    }

    void resetEmptiesWhateverItHeld() {
        SampleRing ring(64);
        const auto data = Sequence(1, 50);
        ring.Write(data.data(), 50);
        std::vector<int32_t> out(20);
        ring.Read(out.data(), 20);
        ring.Reset();
        QCOMPARE(ring.Used(0), 0u);
        QCOMPARE(ring.Free(), 63u);
    }

    // One producer and one consumer hammering a small ring must deliver every
    // element once and in order (also run under ThreadSanitizer).
    void concurrentProducerConsumerKeepsOrder() {
        SampleRing ring(1031); // prime, so block boundaries drift against the wrap
        constexpr int32_t kTotal = 2'000'000;
        std::atomic<bool> shortWrite{false};
        std::thread producer([&] {
            std::vector<int32_t> block(97);
            int32_t next = 0;
            while (next < kTotal) {
                const uint32_t n = uint32_t(std::min<int32_t>(97, kTotal - next));
                if (ring.Free() < n) {
                    std::this_thread::yield();
                    continue;
                }
                std::iota(block.begin(), block.begin() + n, next);
                if (ring.Write(block.data(), n) != n) {
                    shortWrite = true;
                }
                next += int32_t(n);
            }
        });
        std::vector<int32_t> block(61);
        int32_t expected = 0;
        bool inOrder = true;
        while (expected < kTotal) {
            const uint32_t got = ring.Read(block.data(), 61);
            for (uint32_t i = 0; i < got; ++i) {
                inOrder = inOrder && block[i] == expected;
                ++expected;
            }
            if (got == 0) {
                std::this_thread::yield();
            }
        }
        producer.join();
        QVERIFY(!shortWrite);
        QVERIFY(inOrder);
        QCOMPARE(ring.Used(0), 0u);
    }
};

QTEST_GUILESS_MAIN(TestRingBuffer)
#include "tst_ringbuffer.moc"
