#include "StageThread.h"

namespace zorvane {

void StageThread::Start(std::function<void()> body) {
    Join();
    {
        std::lock_guard lock(mutex);
        done = false;
    }
    thread = std::jthread([this, fn = std::move(body)] {
        fn();
        {
            std::lock_guard lock(mutex);
            done = true;
        }
        cv.notify_all();
    });
}

bool StageThread::Finished() const {
    std::lock_guard lock(mutex);
    return done;
}

bool StageThread::WaitFor(unsigned ms) const {
    std::unique_lock lock(mutex);
    return cv.wait_for(lock, std::chrono::milliseconds(ms), [this] { return done; });
}

void StageThread::Join() {
    if (thread.joinable()) {
        thread.join();
    }
}

} // namespace zorvane
