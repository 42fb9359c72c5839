#include "TaskbarProgress.h"

#include <QDBusMessage>

#include <algorithm>
#include <cmath>

namespace zorvane {

using namespace Qt::Literals::StringLiterals;

DBusLauncherEntrySender::DBusLauncherEntrySender(const QDBusConnection& connection,
                                                 const QString& objectPath)
    : m_connection(connection), m_objectPath(objectPath) {}

void DBusLauncherEntrySender::SendUpdate(const QString& appUri, const QVariantMap& properties) {
    if (!m_connection.isConnected()) {
        return;
    }
    QDBusMessage signal =
        QDBusMessage::createSignal(m_objectPath, QString::fromUtf16(kInterface), u"Update"_s);
    signal << appUri << properties;
    m_connection.send(signal);
}

TaskbarProgress::TaskbarProgress() {
    // Without a session bus there is no dock to talk to; staying silent is
    // the whole fallback.
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        m_sender = std::make_unique<DBusLauncherEntrySender>(bus);
    }
    m_appUri = DefaultAppUri();
}

TaskbarProgress::TaskbarProgress(std::unique_ptr<LauncherEntrySender> sender, const QString& appUri)
    : m_sender(std::move(sender)), m_appUri(appUri) {}

TaskbarProgress::~TaskbarProgress() {
    if (m_sender != nullptr && m_lastSent.value(u"progress-visible"_s).toBool()) {
        m_state = State::None;
        Publish();
    }
}

void TaskbarProgress::SetState(State state) {
    m_state = state;
    Publish();
}

void TaskbarProgress::SetValue(quint64 completed, quint64 total) {
    m_fraction = total == 0 ? 0.0 : std::clamp(double(completed) / double(total), 0.0, 1.0);
    if (m_state == State::None || m_state == State::Indeterminate) {
        m_state = State::Normal;
    }
    Publish();
}

QString TaskbarProgress::DefaultAppUri() {
    return u"application://zorvane.desktop"_s;
}

QVariantMap TaskbarProgress::PropertiesFor(State state, double fraction) {
    const bool visible = state == State::Normal || state == State::Paused || state == State::Error;
    return {
        // A thousandth is finer than any icon is wide, and lets repeated
        // reports of nearly the same value be recognised as repeats.
        {u"progress"_s,
         visible ? std::round(std::clamp(fraction, 0.0, 1.0) * 1000.0) / 1000.0 : 0.0},
        {u"progress-visible"_s, visible},
        {u"urgent"_s, state == State::Error},
    };
}

void TaskbarProgress::Publish() {
    if (m_sender == nullptr) {
        return;
    }
    QVariantMap properties = PropertiesFor(m_state, m_fraction);
    // The progress window reports many times a second; a dock has no use
    // for repeats.
    if (properties == m_lastSent) {
        return;
    }
    m_sender->SendUpdate(m_appUri, properties);
    m_lastSent = std::move(properties);
}

} // namespace zorvane
