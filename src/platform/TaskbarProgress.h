#pragma once

#include <QDBusConnection>
#include <QString>
#include <QVariantMap>

#include <memory>

namespace zorvane {

// Sends the launcher's "Update" signal; tests record the property maps.
class LauncherEntrySender {
public:
    virtual ~LauncherEntrySender() = default;
    virtual void SendUpdate(const QString& appUri, const QVariantMap& properties) = 0;
};

// The com.canonical.Unity.LauncherEntry signal, which KDE Plasma's task
// manager and the GNOME docks (Dash to Dock, Ubuntu Dock) draw as a progress
// bar on the program's icon.
class DBusLauncherEntrySender final : public LauncherEntrySender {
public:
    static constexpr const char16_t* kInterface = u"com.canonical.Unity.LauncherEntry";
    static constexpr const char16_t* kDefaultPath = u"/com/quenlor/Zorvane/LauncherEntry";

    explicit DBusLauncherEntrySender(const QDBusConnection& connection,
                                     const QString& objectPath = QString::fromUtf16(kDefaultPath));
    bool IsConnected() const { return m_connection.isConnected(); }
    void SendUpdate(const QString& appUri, const QVariantMap& properties) override;

private:
    QDBusConnection m_connection;
    QString m_objectPath;
};

// The progress shown on the program's taskbar or dock icon while files are
// converted. Without a session bus it does nothing.
class TaskbarProgress {
public:
    enum class State { None, Indeterminate, Normal, Error, Paused };

    // Sends on the session bus when there is one.
    TaskbarProgress();
    // Sends through `sender`; null makes every call a no-op.
    explicit TaskbarProgress(std::unique_ptr<LauncherEntrySender> sender,
                             const QString& appUri = DefaultAppUri());
    // Takes the bar off the icon, so a dock does not keep showing it after
    // the window has gone.
    ~TaskbarProgress();
    TaskbarProgress(const TaskbarProgress&) = delete;
    TaskbarProgress& operator=(const TaskbarProgress&) = delete;

    void SetState(State state);
    // As on Windows, a value set while no bar or a busy bar is shown turns
    // the bar into a normal one.
    void SetValue(quint64 completed, quint64 total);

    State CurrentState() const { return m_state; }
    double Fraction() const { return m_fraction; }
    bool IsActive() const { return m_sender != nullptr; }

    // application://<desktop file name>: how docks match the signal to the
    // program's launcher.
    static QString DefaultAppUri();
    // The launcher has no paused or busy look: paused shows as normal, and a
    // busy bar is hidden rather than drawn stuck at some value.
    static QVariantMap PropertiesFor(State state, double fraction);

private:
    void Publish();

    std::unique_ptr<LauncherEntrySender> m_sender;
    QString m_appUri;
    State m_state = State::None;
    double m_fraction = 0.0;
    QVariantMap m_lastSent;
};

} // namespace zorvane
