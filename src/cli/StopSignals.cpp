#include "StopSignals.h"

#include <atomic>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

namespace zorvane {

namespace {

std::atomic<int> interrupted{0};
static_assert(std::atomic<int>::is_always_lock_free, "used in a signal handler");

// The first stop signal asks the run to stop cleanly. A Ctrl+C while that
// stop is under way is the user insisting: the output being written exists
// only under its hidden temporary name, so ending at once leaves nothing
// half done under a final name.
void OnInterrupt(int signalNumber) {
    if (interrupted.exchange(1) != 0 && signalNumber == SIGINT) {
        _exit(130);
    }
}

void SetSignalHandler(int signalNumber, void (*handler)(int),
                      const sigset_t* blockedDuring = nullptr) {
    struct sigaction action {};
    action.sa_handler = handler;
    if (blockedDuring) {
        action.sa_mask = *blockedDuring;
    } else {
        sigemptyset(&action.sa_mask);
    }
    // Restarted calls spare the libraries' reads and writes from EINTR.
    action.sa_flags = SA_RESTART;
    sigaction(signalNumber, &action, nullptr);
}

sigset_t StopSignals() {
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&stopSignals, signalNumber);
    }
    return stopSignals;
}

} // namespace

void IgnoreWriteFailureSignals() {
    SetSignalHandler(SIGPIPE, SIG_IGN);
    SetSignalHandler(SIGXFSZ, SIG_IGN);
}

void CatchStopSignals() {
    // A closed terminal is one more way of asking the run to stop. The
    // handlers run one at a time, on the main thread only (the engine's
    // threads start with the signals blocked), so that a second Ctrl+C is
    // always told from the first, however close together they come.
    const sigset_t stopSignals = StopSignals();
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        SetSignalHandler(signalNumber, OnInterrupt, &stopSignals);
    }
}

bool StopRequested() {
    return interrupted.load() != 0;
}

void WithStopSignalsBlocked(const std::function<void()>& start) {
    const sigset_t stopSignals = StopSignals();
    sigset_t mainMask;
    pthread_sigmask(SIG_BLOCK, &stopSignals, &mainMask);
    start();
    pthread_sigmask(SIG_SETMASK, &mainMask, nullptr);
}

} // namespace zorvane
