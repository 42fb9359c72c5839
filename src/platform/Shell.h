#pragma once

#include <QDBusConnection>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>

namespace zorvane {

// Hands a URL to the desktop, which picks the program for it.
class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    // False when the desktop found nothing to open the URL with.
    virtual bool OpenUrl(const QUrl& url) = 0;
};

// QDesktopServices::openUrl, which runs xdg-open on Linux.
class DesktopUrlOpener final : public UrlOpener {
public:
    bool OpenUrl(const QUrl& url) override;
};

// The file manager's "show this item" and "show its properties" requests.
class FileManagerService {
public:
    virtual ~FileManagerService() = default;
    // Each returns false when no file manager took the request.
    virtual bool ShowItems(const QStringList& paths) = 0;
    virtual bool ShowItemProperties(const QStringList& paths) = 0;
};

// The freedesktop org.freedesktop.FileManager1 D-Bus service, which
// Nautilus, Dolphin, Nemo, Caja and Thunar implement.
class DBusFileManager final : public FileManagerService {
public:
    static constexpr const char16_t* kService = u"org.freedesktop.FileManager1";
    static constexpr const char16_t* kPath = u"/org/freedesktop/FileManager1";
    static constexpr const char16_t* kInterface = u"org.freedesktop.FileManager1";

    // The session bus.
    DBusFileManager();
    // Another bus or service name, for a private bus in tests.
    DBusFileManager(const QDBusConnection& connection, const QString& service);

    // A file manager runs, or the bus can start one.
    bool IsAvailable() const;
    bool ShowItems(const QStringList& paths) override;
    bool ShowItemProperties(const QStringList& paths) override;

private:
    bool Call(const QString& method, const QStringList& paths);

    QDBusConnection m_connection;
    QString m_service;
};

enum class OpenResult {
    Opened,
    NoApplication, // "There is no application associated with ..."
    NotFound,
};

// Opening files, folders and URLs in other programs, and showing files in
// the file manager. The desktop is reached only through the two services, so
// tests can record what would have been opened.
class Shell {
public:
    // The real desktop: xdg-open and the session bus's file manager.
    Shell();
    Shell(std::unique_ptr<UrlOpener> opener, std::unique_ptr<FileManagerService> fileManager);
    ~Shell();
    Shell(const Shell&) = delete;
    Shell& operator=(const Shell&) = delete;

    // Opens a file or folder with the program the desktop associates with it.
    OpenResult OpenPath(const QString& path);
    bool OpenUrl(const QUrl& url);
    // Shows the item selected in its folder; without a file manager service
    // the folder that holds it is opened instead.
    bool ShowInFolder(const QString& path);
    // False when no file manager can show the properties; the caller then
    // shows a properties dialog of its own.
    bool ShowProperties(const QString& path);

private:
    std::unique_ptr<UrlOpener> m_opener;
    std::unique_ptr<FileManagerService> m_fileManager;
};

} // namespace zorvane
