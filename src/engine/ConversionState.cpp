#include "ConversionState.h"

#include <QCoreApplication>

#include <memory>
#include <mutex>

#if defined(__SANITIZE_THREAD__)
#define ZORVANE_TSAN_POSTS 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ZORVANE_TSAN_POSTS 1
#endif
#endif

namespace zorvane {

ConversionState::~ConversionState() {
    delete firstError.exchange(nullptr);
}

double ConversionState::FileAudioSeconds() const {
    const uint64_t perSecond = fileSamplesPerSecond.load(std::memory_order_relaxed);
    if (perSecond == 0) {
        return 0.0;
    }
    return double(fileSamplesDone.load(std::memory_order_relaxed)) / double(perSecond);
}

double ConversionState::OverallAudioSeconds() const {
    // Read before the file's counter: the driver clears that counter before
    // it adds the file's seconds here, so no file is ever counted twice.
    const double finished = finishedFilesAudioSeconds.load(std::memory_order_acquire);
    return finished + FileAudioSeconds();
}

void ConversionState::Post(ConversionEvent* event) {
    QObject* target = receiver;
    if (!target) {
        delete event;
        return;
    }
    event->AnnotatePublished();
#ifdef ZORVANE_TSAN_POSTS
    // Qt's queue of posted events has a lock of its own, but the sanitizer
    // cannot see a lock inside a library built without it, and several runs
    // side by side (one per pipeline) post to the same thread's queue all
    // the time: under the sanitizer only, a lock it can see is taken too.
    static std::mutex visibleToSanitizer;
    std::lock_guard lock(visibleToSanitizer);
#endif
    QCoreApplication::postEvent(target, event);
}

void ConversionState::UpdateProgress(float filePercent, float overallPercent, bool final) {
    auto* event = new ConvProgressEvent(filePercent, overallPercent);
    if (!final) {
        Post(event);
        return;
    }
    DeliveryGate::Deliver(
        receiver, event, [this](ConversionEvent* e) { Post(e); }, [this] { return IsRunning(); });
}

void ConversionState::PostLog(const QString& text, LogLevel level) {
    PostLog(text, level, QString());
}

void ConversionState::PostLog(const QString& text, LogLevel level, const QString& detail) {
    if (level == LogError) {
        NoteFirstError(detail.isEmpty() ? text : text + QLatin1String(": ") + detail);
    }
    Post(new ConvLogEvent(text, level, detail));
}

void ConversionState::NoteFirstError(const QString& reason) {
    // Only the first error of a file says why it failed; the ones after it
    // (the status line, stages stopping in its wake) are consequences.
    auto* text = new QString(reason);
    QString* expected = nullptr;
    if (!firstError.compare_exchange_strong(expected, text, std::memory_order_release,
                                            std::memory_order_relaxed)) {
        delete text;
    }
}

QString ConversionState::TakeFirstError() {
    std::unique_ptr<QString> text(firstError.exchange(nullptr, std::memory_order_acquire));
    return text ? *text : QString();
}

void ConversionState::PostFinished() {
    Post(new ConvFinishedEvent());
}

void ConversionState::AddEncoded(uint64_t samples) {
    // Single writer: plain load-and-store keeps the counters cheap to update.
    fileSamplesDone.store(fileSamplesDone.load(std::memory_order_relaxed) + samples,
                          std::memory_order_relaxed);
    overallSamplesDone.store(overallSamplesDone.load(std::memory_order_relaxed) + samples,
                             std::memory_order_relaxed);
}

} // namespace zorvane
