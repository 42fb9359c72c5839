#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

class QObject;

namespace zorvane {

class ConversionEvent;

// Opened when a synchronously delivered event has been handled (or dropped
// unhandled), so that its sender can stop waiting. The event holds the gate
// and opens it from its destructor, which Qt runs however delivery ends.
class DeliveryGate {
public:
    void Open();
    // Waits until Open() was called or keepWaiting() returns false; polls the
    // predicate every few milliseconds. Returns true when opened.
    template <typename Pred> bool WaitWhile(Pred keepWaiting) {
        std::unique_lock lock(mutex);
        while (!opened) {
            if (!keepWaiting()) {
                return false;
            }
            cv.wait_for(lock, std::chrono::milliseconds(5));
        }
        return true;
    }

    // Hands `event` (owned from here on) to `target` and returns once it has
    // been handled: sent at once on the target's own thread, otherwise handed
    // to `post` and waited for while keepWaiting() holds. A receiver that is
    // itself waiting for the sender's thread must make keepWaiting() false
    // first, so that the two never deadlock; the event, delivered late, is
    // still freed. Returns false when it gave up waiting.
    static bool Deliver(QObject* target, ConversionEvent* event,
                        const std::function<void(ConversionEvent*)>& post,
                        const std::function<bool()>& keepWaiting);

private:
    std::mutex mutex;
    std::condition_variable cv;
    bool opened = false;
};

} // namespace zorvane
