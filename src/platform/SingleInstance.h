#pragma once

#include <QStringList>

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;
class QWidget;

namespace zorvane {

// Keeps one copy of the program per user and program file name. The first
// copy listens on a local socket named after both; a later copy finds it
// there, asks it to come to the front and then ends.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    enum class StartResult {
        // This copy runs: it listens, unless listening failed, in which case
        // it runs anyway (one copy too many beats no copy at all).
        FirstCopy,
        // Another copy runs and has been asked to come to the front.
        OtherCopyRunning,
    };

    explicit SingleInstance(const QString& instanceName, QObject* parent = nullptr);
    ~SingleInstance() override;

    // The program file's name without folder and extension: two program
    // files under different names do not see each other.
    static QString DefaultInstanceName();
    // The socket's name: the instance name and the user, so that two users
    // on one machine each get their own copy.
    static QString ServerNameFor(const QString& instanceName);

    // A later copy hands `paths` (absolute) to the running one, which gets
    // them through PathsRequested before RaiseRequested.
    StartResult Start(const QStringList& paths = {});
    bool IsListening() const;
    QString ServerName() const { return m_serverName; }

signals:
    // A later copy asked this one to show itself.
    void RaiseRequested();
    // A later copy was started with these files or folders.
    void PathsRequested(const QStringList& paths);

private:
    void AcceptConnections();
    void ReadRequest(QLocalSocket* socket);

    QString m_serverName;
    QLocalServer* m_server = nullptr;
};

// What the first copy does on RaiseRequested: restores the main window if it
// is minimised, then brings it forward and after it the modal dialog open on
// top of it (the Options dialog, say), which gets the keyboard focus.
void BringToFront(QWidget* mainWindow);

} // namespace zorvane
