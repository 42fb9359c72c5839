#include "Shell.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>

namespace zorvane {

namespace {

QStringList FileUris(const QStringList& paths) {
    QStringList uris;
    uris.reserve(paths.size());
    for (const QString& path : paths) {
        uris.append(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString());
    }
    return uris;
}

} // namespace

bool DesktopUrlOpener::OpenUrl(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

DBusFileManager::DBusFileManager()
    : DBusFileManager(QDBusConnection::sessionBus(), QString::fromUtf16(kService)) {}

DBusFileManager::DBusFileManager(const QDBusConnection& connection, const QString& service)
    : m_connection(connection), m_service(service) {}

bool DBusFileManager::IsAvailable() const {
    if (!m_connection.isConnected()) {
        return false;
    }
    const QDBusConnectionInterface* bus = m_connection.interface();
    if (bus == nullptr) {
        return false;
    }
    if (bus->isServiceRegistered(m_service).value()) {
        return true;
    }
    return bus->activatableServiceNames().value().contains(m_service);
}

bool DBusFileManager::ShowItems(const QStringList& paths) {
    return Call(QStringLiteral("ShowItems"), paths);
}

bool DBusFileManager::ShowItemProperties(const QStringList& paths) {
    return Call(QStringLiteral("ShowItemProperties"), paths);
}

bool DBusFileManager::Call(const QString& method, const QStringList& paths) {
    if (paths.isEmpty() || !IsAvailable()) {
        return false;
    }
    QDBusMessage message = QDBusMessage::createMethodCall(m_service, QString::fromUtf16(kPath),
                                                          QString::fromUtf16(kInterface), method);
    // The second argument is a startup notification id; none is known here.
    message << FileUris(paths) << QString();
    // Not waited for: starting a file manager can take seconds, and the user
    // interface must not freeze meanwhile. Availability was checked above.
    return m_connection.send(message);
}

Shell::Shell() : Shell(std::make_unique<DesktopUrlOpener>(), std::make_unique<DBusFileManager>()) {}

Shell::Shell(std::unique_ptr<UrlOpener> opener, std::unique_ptr<FileManagerService> fileManager)
    : m_opener(std::move(opener)), m_fileManager(std::move(fileManager)) {}

Shell::~Shell() = default;

OpenResult Shell::OpenPath(const QString& path) {
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists()) {
        return OpenResult::NotFound;
    }
    if (m_opener == nullptr || !m_opener->OpenUrl(QUrl::fromLocalFile(info.absoluteFilePath()))) {
        return OpenResult::NoApplication;
    }
    return OpenResult::Opened;
}

bool Shell::OpenUrl(const QUrl& url) {
    return url.isValid() && m_opener != nullptr && m_opener->OpenUrl(url);
}

bool Shell::ShowInFolder(const QString& path) {
    if (path.isEmpty()) {
        return false;
    }
    // cleanPath drops a trailing separator, so a folder's container is its
    // parent and not the folder itself.
    const QFileInfo info(QDir::cleanPath(path));
    if (m_fileManager != nullptr && info.exists() &&
        m_fileManager->ShowItems({info.absoluteFilePath()})) {
        return true;
    }
    const QString folder = info.absolutePath();
    return QFileInfo(folder).isDir() && OpenPath(folder) == OpenResult::Opened;
}

bool Shell::ShowProperties(const QString& path) {
    return !path.isEmpty() && QFileInfo::exists(path) && m_fileManager != nullptr &&
           m_fileManager->ShowItemProperties({path});
}

} // namespace zorvane
