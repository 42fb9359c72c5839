#include "DeliveryGate.h"

#include "ConversionEvents.h"

#include <QCoreApplication>
#include <QThread>

#include <memory>

namespace zorvane {

void DeliveryGate::Open() {
    {
        std::lock_guard lock(mutex);
        opened = true;
    }
    cv.notify_all();
}

bool DeliveryGate::Deliver(QObject* target, ConversionEvent* event,
                           const std::function<void(ConversionEvent*)>& post,
                           const std::function<bool()>& keepWaiting) {
    if (target && target->thread() == QThread::currentThread()) {
        QCoreApplication::sendEvent(target, event);
        delete event;
        return true;
    }
    auto gate = std::make_shared<DeliveryGate>();
    event->gate = gate;
    post(event);
    return gate->WaitWhile(keepWaiting);
}

} // namespace zorvane
