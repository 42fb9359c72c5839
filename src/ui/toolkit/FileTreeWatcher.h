#pragma once

#include <QByteArray>
#include <QObject>
#include <QSemaphore>
#include <QSet>
#include <QString>

#include <atomic>

class QFileSystemWatcher;

namespace zorvane {

class CFileTreeCtrl;

// Lives on the watch thread. It only waits for changes to one folder (not
// its subfolders) and posts the tree an update event; every change to the
// tree happens on the user-interface thread when that event arrives.
class FileTreeWatcher final : public QObject {
    Q_OBJECT

public:
    FileTreeWatcher(CFileTreeCtrl* tree, const QString& folder);
    ~FileTreeWatcher() override;

    void Begin();
    std::atomic<bool> pending{false}; // an update is posted and not handled yet
    QSemaphore armed;                 // released once the watch is in place (or failed)

private:
    void OnChanged();
    QSet<QByteArray> FolderNames() const;

    CFileTreeCtrl* m_tree;
    QString m_folder;
    QFileSystemWatcher* m_watcher = nullptr;
    QSet<QByteArray> m_folderNames;
};

} // namespace zorvane
