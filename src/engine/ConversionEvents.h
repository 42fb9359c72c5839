#pragma once

#include "DeliveryGate.h"

#include <QEvent>
#include <QString>

#include <memory>

namespace zorvane {

// Log levels of WM_CONV_LOG. Level 1 is drawn dark red by the log; no engine
// code sends it.
enum LogLevel : int { LogNormal = 0, LogWarning = 1, LogError = 2 };

// The engine's messages to the window of a run. The numbers are part of the
// protocol: receivers switch on QEvent::type().
inline constexpr QEvent::Type WM_CONV_PROGRESS = QEvent::Type(1124);
inline constexpr QEvent::Type WM_CONV_LOG = QEvent::Type(1125);
inline constexpr QEvent::Type WM_CONV_FINISHED = QEvent::Type(1129);

// Base of the engine's events. The payload lives in the event object, which Qt
// deletes after delivery, so nothing can leak however the receiver handles it.
class ConversionEvent : public QEvent {
public:
    explicit ConversionEvent(QEvent::Type eventType) : QEvent(eventType) {}
    ~ConversionEvent() override;

    // Marks the payload as published to the receiving thread. Qt's own queue
    // lock is invisible to ThreadSanitizer, so we say it ourselves.
    // Every most-derived destructor calls AnnotateReceived() too, because Qt
    // may delete an event that no receiver looked at.
    void AnnotatePublished();
    void AnnotateReceived();

    std::shared_ptr<DeliveryGate> gate; // set for synchronous delivery
};

// WM_CONV_PROGRESS: percent of the current file and of the whole run.
class ConvProgressEvent final : public ConversionEvent {
public:
    ConvProgressEvent(float file, float overall)
        : ConversionEvent(WM_CONV_PROGRESS), filePercent(file), overallPercent(overall) {}
    ~ConvProgressEvent() override { AnnotateReceived(); }
    float filePercent;
    float overallPercent;
};

// WM_CONV_LOG: one log line, its level and, optionally, why. The line's text
// is fixed (the window shows it exactly as it always was); `detail` carries
// what only the system knows, such as the errno text, for receivers that can
// show more (the command-line tool prints "text: detail"). Empty when there
// is nothing to add.
class ConvLogEvent final : public ConversionEvent {
public:
    ConvLogEvent(QString line, int lineLevel, QString lineDetail = QString())
        : ConversionEvent(WM_CONV_LOG), text(std::move(line)), level(lineLevel),
          detail(std::move(lineDetail)) {}
    ~ConvLogEvent() override { AnnotateReceived(); }
    QString text;
    int level;
    QString detail;
};

// WM_CONV_FINISHED: the run went through its whole task list.
class ConvFinishedEvent final : public ConversionEvent {
public:
    ConvFinishedEvent() : ConversionEvent(WM_CONV_FINISHED) {}
    ~ConvFinishedEvent() override { AnnotateReceived(); }
};

// Casts an event received by a QObject::event() override to the engine event
// of its type, or returns nullptr when it is not one. Receivers use this and
// nothing else to read a payload.
template <typename E> E* EngineEventCast(QEvent* e) {
    auto* ev = dynamic_cast<E*>(e);
    if (ev) {
        ev->AnnotateReceived();
    }
    return ev;
}

} // namespace zorvane
