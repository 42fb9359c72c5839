#include "SingleInstance.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QUrl>
#include <QVariant>
#include <QWidget>

#if defined(Q_OS_UNIX)
#include <unistd.h>
#endif

namespace zorvane {

namespace {

constexpr int kConnectTimeoutMs = 1000;
constexpr int kLockTimeoutMs = 3000;
// A request is one line: "raise", or "path " and a percent-encoded path.
// Anything longer than the longest path is not from a copy of ours.
constexpr qint64 kMaxRequestBytes = 64 * 1024;
const char kRaiseRequest[] = "raise\n";
const QByteArray kPathPrefix = QByteArrayLiteral("path ");

QString UserKey() {
#if defined(Q_OS_UNIX)
    return QString::number(::getuid());
#else
    return qEnvironmentVariable("USERNAME");
#endif
}

} // namespace

SingleInstance::SingleInstance(const QString& instanceName, QObject* parent)
    : QObject(parent), m_serverName(ServerNameFor(instanceName)) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::DefaultInstanceName() {
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

QString SingleInstance::ServerNameFor(const QString& instanceName) {
    return instanceName + u'-' + UserKey();
}

SingleInstance::StartResult SingleInstance::Start(const QStringList& paths) {
    if (m_server != nullptr && m_server->isListening()) {
        return StartResult::FirstCopy;
    }
    // Two copies started at the same moment would both find no server, and
    // the second's clean-up would delete the first's socket. The lock makes
    // "look, then listen" one step; QLockFile breaks the lock of a copy that
    // died holding it.
    QLockFile lock(QDir(QDir::tempPath()).filePath(m_serverName + QStringLiteral(".lock")));
    const bool locked = lock.tryLock(kLockTimeoutMs);

    QLocalSocket socket;
    socket.connectToServer(m_serverName);
    if (socket.waitForConnected(kConnectTimeoutMs)) {
        for (const QString& path : paths) {
            socket.write(kPathPrefix + QUrl::toPercentEncoding(path) + '\n');
        }
        socket.write(kRaiseRequest, sizeof(kRaiseRequest) - 1);
        socket.waitForBytesWritten(kConnectTimeoutMs);
        socket.disconnectFromServer();
        return StartResult::OtherCopyRunning;
    }
    // A copy that is alive but too busy to accept still owns its socket.
    if (socket.error() == QLocalSocket::SocketTimeoutError) {
        return StartResult::OtherCopyRunning;
    }
    // Refused or missing: any socket file left is from a copy that crashed,
    // and would make listen() fail.
    if (locked) {
        QLocalServer::removeServer(m_serverName);
    }

    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::AcceptConnections);
    m_server->listen(m_serverName);
    return StartResult::FirstCopy;
}

bool SingleInstance::IsListening() const {
    return m_server != nullptr && m_server->isListening();
}

void SingleInstance::AcceptConnections() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { ReadRequest(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // The later copy writes and leaves at once, so its request may be
        // here before readyRead could be connected.
        ReadRequest(socket);
    }
}

void SingleInstance::ReadRequest(QLocalSocket* socket) {
    while (socket->canReadLine()) {
        const QByteArray line = socket->readLine(kMaxRequestBytes).trimmed();
        // Each later copy has its own connection, so its paths are kept
        // on it until its "raise" ends the request.
        if (line.startsWith(kPathPrefix)) {
            QStringList paths = socket->property("paths").toStringList();
            paths << QUrl::fromPercentEncoding(line.mid(kPathPrefix.size()));
            socket->setProperty("paths", paths);
        } else if (line == "raise") {
            const QStringList paths = socket->property("paths").toStringList();
            socket->setProperty("paths", QVariant());
            if (!paths.isEmpty()) {
                emit PathsRequested(paths);
            }
            emit RaiseRequested();
        } else {
            // Not from a copy of ours: whoever it is gets nothing more read.
            socket->abort();
            return;
        }
    }
    if (socket->bytesAvailable() >= kMaxRequestBytes) {
        socket->abort();
    }
}

void BringToFront(QWidget* mainWindow) {
    if (mainWindow == nullptr) {
        return;
    }
    if (mainWindow->isMinimized()) {
        mainWindow->setWindowState((mainWindow->windowState() & ~Qt::WindowMinimized) |
                                   Qt::WindowActive);
    }
    mainWindow->show();
    mainWindow->raise();
    mainWindow->activateWindow();
    // The window that last had the focus above the main window: a modal
    // dialog keeps the main window from taking input, so it must be the one
    // in front.
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != nullptr && modal != mainWindow) {
        modal->raise();
        modal->activateWindow();
    }
}

} // namespace zorvane
