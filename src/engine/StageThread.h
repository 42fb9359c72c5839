#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace zorvane {

// A thread of the conversion pipeline, joined when the handle goes away. The
// handle exists before the body runs, so whoever stored it can always wait
// for the thread, even one that ended at once. There is deliberately no way to kill the thread:
// every stage polls the run's `running` flag, so a stop request followed by Join() ends it cleanly.
//
// Thread safety: Start(), WaitFor() and Join() are called by the owner of the
// handle (one thread at a time); Finished() may be asked from any thread.
class StageThread {
public:
    StageThread() = default;
    StageThread(const StageThread&) = delete;
    StageThread& operator=(const StageThread&) = delete;

    // Starts body on a new thread. A previous thread must have been joined.
    void Start(std::function<void()> body);
    // True when a thread was started and not yet joined.
    bool Started() const { return thread.joinable(); }
    bool Finished() const;
    // Waits up to ms milliseconds for the body to return; true when it did.
    bool WaitFor(unsigned ms) const;
    // Waits for the body to return and releases the thread.
    void Join();

private:
    mutable std::mutex mutex;
    mutable std::condition_variable cv;
    bool done = true;
    // Last, so that it is joined (by its own destructor) before the mutex and
    // the condition its body signals go away.
    std::jthread thread;
};

} // namespace zorvane
