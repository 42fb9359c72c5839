#include "ConversionState.h"

#include <QCoreApplication>
#include <QThread>

namespace zorvane {

void ConversionState::Post(ConversionEvent* event) {
    QObject* target = receiver;
    if (!target) {
        delete event;
        return;
    }
    event->AnnotatePublished();
    QCoreApplication::postEvent(target, event);
}

void ConversionState::UpdateProgress(float filePercent, float overallPercent, bool final) {
    auto* event = new ConvProgressEvent(filePercent, overallPercent);
    if (!final) {
        Post(event);
        return;
    }
    QObject* target = receiver;
    if (target && target->thread() == QThread::currentThread()) {
        QCoreApplication::sendEvent(target, event);
        delete event;
        return;
    }
    auto gate = std::make_shared<DeliveryGate>();
    event->gate = gate;
    Post(event);
    gate->WaitWhile([this] { return IsRunning(); });
}

void ConversionState::PostLog(const QString& text, LogLevel level) {
    Post(new ConvLogEvent(text, level));
}

void ConversionState::PostFinished() {
    Post(new ConvFinishedEvent());
}

void ConversionState::AddEncoded(uint64_t samples, float seconds) {
    // Single writer: plain load-and-store keeps the counters cheap to update.
    fileSamplesDone.store(fileSamplesDone.load(std::memory_order_relaxed) + samples,
                          std::memory_order_relaxed);
    overallSamplesDone.store(overallSamplesDone.load(std::memory_order_relaxed) + samples,
                             std::memory_order_relaxed);
    fileAudioSeconds.store(fileAudioSeconds.load(std::memory_order_relaxed) + seconds,
                           std::memory_order_relaxed);
    overallAudioSeconds.store(overallAudioSeconds.load(std::memory_order_relaxed) + seconds,
                              std::memory_order_relaxed);
}

} // namespace zorvane
