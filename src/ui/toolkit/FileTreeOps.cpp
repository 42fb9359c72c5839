// The folder tree's file operations and its change watch.

#include "FileTreeCtrl.h"

#include "platform/DisplayText.h"
#include "platform/FileActions.h"
#include "platform/Shell.h"
#include "ui/toolkit/FileTreeHelpers.h"
#include "ui/toolkit/FileTreeItem.h"
#include "ui/toolkit/FileTreeWatcher.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QGuiApplication>
#include <QLocale>
#include <QMessageBox>
#include <QThread>
#include <QUrl>

#include <cerrno>

namespace zorvane {

using namespace Qt::Literals::StringLiterals;
using namespace filetree;

// Stops the watch around the tree's own changes to the disk, so that they do
// not make it reload, and starts it again on the same folder afterwards.
class WatchPause {
public:
    explicit WatchPause(CFileTreeCtrl* tree)
        : m_tree(tree), m_path(tree->IsWatching() ? tree->WatchedPath() : QString()) {
        if (!m_path.isEmpty()) {
            m_tree->StopWatching();
        }
    }
    ~WatchPause() {
        if (!m_path.isEmpty()) {
            m_tree->StartWatching(m_path);
        }
    }
    WatchPause(const WatchPause&) = delete;
    WatchPause& operator=(const WatchPause&) = delete;

private:
    CFileTreeCtrl* m_tree;
    QString m_path;
};

int CFileTreeCtrl::UpdateChangeEventType() {
    // "FileTreeCtrlUpdateChange", registered once per process.
    static const int type = QEvent::registerEventType();
    return type;
}

bool CFileTreeCtrl::ConfirmDelete(const QString& path, bool permanent) {
    const QString name = EscapedForDisplay(QFileInfo(path).fileName());
    const QString question =
        permanent ? u"Are you sure you want to permanently delete \"%1\"?"_s.arg(name)
                  : u"Are you sure you want to move \"%1\" to the trash?"_s.arg(name);
    return QMessageBox::question(window(), u"Delete"_s, question,
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void CFileTreeCtrl::ShowMessage(const QString& text) {
    QMessageBox::warning(window(), QCoreApplication::applicationName(), text);
}

bool CFileTreeCtrl::ShiftHeld() const {
    return (QGuiApplication::queryKeyboardModifiers() & Qt::ShiftModifier) != 0;
}

void CFileTreeCtrl::ShowOwnProperties(const CFileTreeCtrlItemInfo& record) {
    const QFileInfo info(record.path);
    const QLocale locale;
    QString text = u"Name: %1\nLocation: %2\n"_s.arg(EscapedForDisplay(info.fileName()),
                                                     EscapedForDisplay(info.absolutePath()));
    text += info.isDir() ? u"Type: Folder\n"_s
                         : u"Size: %1\n"_s.arg(locale.formattedDataSize(info.size()));
    text += u"Modified: %1"_s.arg(locale.toString(info.lastModified(), QLocale::LongFormat));
    QMessageBox box(QMessageBox::Information, u"Properties"_s, text, QMessageBox::Ok, window());
    box.exec();
}

bool CFileTreeCtrl::OpenItem(QTreeWidgetItem* item) {
    const CFileTreeCtrlItemInfo* info = InfoOfItem(item);
    if (info == nullptr || !OpenEnabled || info->nativePath.isEmpty() || m_shell == nullptr) {
        return false;
    }
    // Built from the bytes, so a name that is not UTF-8 still opens the
    // real file.
    const QUrl url = QUrl::fromEncoded("file://" + info->nativePath.toPercentEncoding("/"));
    return m_shell->OpenUrl(url);
}

bool CFileTreeCtrl::ShowItemProperties(QTreeWidgetItem* item) {
    const CFileTreeCtrlItemInfo* info = InfoOfItem(item);
    if (info == nullptr || !PropertiesEnabled || info->path.isEmpty()) {
        return false;
    }
    if (m_shell != nullptr && m_shell->ShowProperties(info->path)) {
        return true;
    }
    ShowOwnProperties(*info);
    return true;
}

bool CFileTreeCtrl::DeleteItemFromDisk(QTreeWidgetItem* item) {
    const CFileTreeCtrlItemInfo* info = InfoOfItem(item);
    if (info == nullptr || !DeleteEnabled || (info->kind != FileNode && info->kind != FolderNode)) {
        return false;
    }
    const bool permanent = ShiftHeld();
    if (!ConfirmDelete(info->path, permanent)) {
        return false;
    }
    const QByteArray native = info->nativePath;
    bool done = false;
    int error = 0;
    {
        WatchPause pause(this);
        errno = 0;
        if (permanent) {
            done = NativeDeletePermanently(native);
        } else {
            // Qt's trash knows every volume's trash folder; ours keeps names
            // that are not UTF-8 intact.
            done = RoundTrips(native) ? MoveToTrash(info->path) : NativeMoveToTrash(native);
        }
        error = errno;
    }
    if (!done) {
        const QString name = EscapedForDisplay(info->path);
        ShowMessage(
            permanent ? u"Cannot delete \"%1\": %2"_s.arg(name, qt_error_string(error))
                      : u"Cannot move \"%1\" to the trash: %2"_s.arg(name, qt_error_string(error)));
        if (!NativeExists(native)) {
            RemoveVanished(SerialOf(item));
        }
        return false;
    }
    QTreeWidgetItem* parent = item->parent();
    QTreeWidgetItem* container = parent != nullptr ? parent : invisibleRootItem();
    const int index = container->indexOfChild(item);
    QTreeWidgetItem* next = index > 0                             ? container->child(index - 1)
                            : index + 1 < container->childCount() ? container->child(index + 1)
                                                                  : parent;
    if (next != nullptr) {
        setCurrentItem(next);
    }
    DeleteItem(item);
    if (next != nullptr && next == parent) {
        SetChildIndicator(parent, parent->childCount() > 0);
    }
    return true;
}

bool CFileTreeCtrl::BeginRename(QTreeWidgetItem* item) {
    const CFileTreeCtrlItemInfo* info = InfoOfItem(item);
    if (info == nullptr || !RenameEnabled || (info->kind != FileNode && info->kind != FolderNode)) {
        return false;
    }
    scrollToItem(item);
    editItem(item, 0);
    return state() == QAbstractItemView::EditingState;
}

void CFileTreeCtrl::OnEndLabelEdit(QTreeWidgetItem* item, const QString& text) {
    CFileTreeCtrlItemInfo* info = InfoOfItem(item);
    if (info == nullptr || text.isEmpty() || text == item->text(0)) {
        return;
    }
    if (text.contains(u'/') || text == u"." || text == u".." || text.contains(QChar(0))) {
        ShowMessage(
            u"Cannot rename \"%1\": a name cannot be \".\" or \"..\" or contain \"/\"."_s.arg(
                EscapedForDisplay(info->displayName)));
        return;
    }
    QTreeWidgetItem* parent = item->parent();
    const CFileTreeCtrlItemInfo* parentInfo = InfoOfItem(parent);
    const QString parentPath =
        parentInfo != nullptr ? parentInfo->path : QFileInfo(info->path).path();
    const QByteArray parentNative = parentInfo != nullptr && !parentInfo->nativePath.isEmpty()
                                        ? parentInfo->nativePath
                                        : info->nativePath.left(info->nativePath.lastIndexOf('/'));
    QString newName = text;
    QByteArray newNativeName = QFile::encodeName(text);
    if (info->shownWithoutExtension) {
        const QByteArray oldName = info->nativePath.mid(info->nativePath.lastIndexOf('/') + 1);
        const qsizetype dot = oldName.lastIndexOf('.');
        if (dot > 0) {
            newNativeName += oldName.mid(dot);
            newName += QFile::decodeName(oldName.mid(dot));
        }
    }
    const QByteArray newNative =
        JoinNative(parentNative.isEmpty() ? "/" : parentNative, newNativeName);
    bool renamed = false;
    int error = 0;
    {
        WatchPause pause(this);
        renamed = NativeRename(info->nativePath, newNative);
        error = errno;
    }
    if (!renamed) {
        ShowMessage(
            error == EEXIST
                ? u"Cannot rename \"%1\": a file or folder named \"%2\" already exists."_s.arg(
                      EscapedForDisplay(info->displayName), EscapedForDisplay(newName))
                : u"Cannot rename \"%1\": %2"_s.arg(EscapedForDisplay(info->displayName),
                                                    qt_error_string(error)));
        return;
    }
    item->setText(0, EscapedForDisplay(text));
    info->path = JoinPath(parentPath, newName);
    info->displayName = newName;
    info->nativePath = newNative;
    if (item->childCount() > 0) {
        // The loaded children still carry the old paths: read them again
        // under the new name rather than act on paths that are gone.
        const bool expanded = item->isExpanded();
        DropChildren(item);
        SetChildIndicator(item, true);
        if (expanded) {
            LoadAndExpand(item);
        }
    }
    if (!info->shownWithoutExtension) {
        // A changed extension may change the icon.
        item->setIcon(0, IconOfPath(info->path));
        if (auto* own = dynamic_cast<FileTreeItem*>(item)) {
            own->openIcon = OpenIconOfPath(info->path);
        }
    }
    emit labelEdited(item, text);
}

QString CFileTreeCtrl::NextNewFolderName(const QString& parentPath) const {
    QString parent = parentPath;
    if (parent.endsWith(u'/')) {
        parent.chop(1);
    }
    const QByteArray native = QFile::encodeName(parent);
    for (int number = 1;; ++number) {
        const QString name = number == 1 ? u"New Folder"_s : u"New Folder (%1)"_s.arg(number);
        if (!NativeExists(native + '/' + QFile::encodeName(name))) {
            return parent + u'/' + name;
        }
    }
}

QTreeWidgetItem* CFileTreeCtrl::CreateChildFolder(QTreeWidgetItem* item,
                                                  const QString& folderPath) {
    const CFileTreeCtrlItemInfo* info = InfoOfItem(item);
    if (info == nullptr || !CreateFolderEnabled || info->kind == NetworkNode ||
        info->path.isEmpty()) {
        return nullptr;
    }
    const QString parentPath = info->path;
    const QByteArray parentNative = info->nativePath;
    QString path = folderPath.isEmpty() ? NextNewFolderName(parentPath) : folderPath;
    QString name = path.mid(path.lastIndexOf(u'/') + 1);
    // The parent's own bytes, so a parent whose name is not UTF-8 works too.
    const QString prefix = parentPath.endsWith(u'/') ? parentPath : parentPath + u'/';
    const QByteArray native =
        path.startsWith(prefix)
            ? JoinNative(parentNative, QFile::encodeName(path.mid(prefix.size())))
            : QFile::encodeName(path);
    bool made = false;
    int error = 0;
    {
        WatchPause pause(this);
        made = NativeMakeFolder(native);
        error = errno;
    }
    if (!made) {
        ShowMessage(u"Cannot create the folder \"%1\": %2"_s.arg(EscapedForDisplay(path),
                                                                 qt_error_string(error)));
        return nullptr;
    }
    const quint64 serial = SerialOf(item);
    LoadAndExpand(item);
    if (LiveItem(serial) == nullptr) {
        return nullptr;
    }
    const bool hadChild = item->childCount() > 0;
    // Expanding a branch that was not loaded yet lists the new folder
    // already; it must not appear twice.
    QTreeWidgetItem* added = FindChildByName(item, name);
    if (added == nullptr) {
        CFileTreeCtrlItemInfo record;
        record.kind = FolderNode;
        record.path = path;
        record.displayName = name;
        record.nativePath = native;
        record.slowVolume = info->slowVolume;
        added = AddTreeItem(item, record, false, IconOfPath(path), OpenIconOfPath(path), true);
    }
    if (added != nullptr) {
        if (!hadChild) {
            SetChildIndicator(item, true);
        }
        item->setExpanded(true);
        setCurrentItem(added);
        BeginRename(added);
    }
    return added;
}

// --- change watch ------------------------------------------------------------------------

bool CFileTreeCtrl::PathIsWatchable(const QString& path) const {
    if (path.isEmpty() || !PathIsFolder(path)) {
        return false;
    }
    // Removable and network volumes: inotify sees only our own machine's
    // changes there, and a watch would keep a stick busy.
    const std::optional<Volume> volume = VolumeOfPath(path);
    return volume && volume->kind != VolumeKind::Removable && volume->kind != VolumeKind::Optical &&
           volume->kind != VolumeKind::Network;
}

void CFileTreeCtrl::StartWatching(const QString& path) {
    StopWatching();
    m_watchedPath = path.endsWith(u'/') ? path : path + u'/';
    m_watchThread = new QThread;
    m_watchThread->setObjectName(u"FileTreeWatch"_s);
    m_watcher = new FileTreeWatcher(this, m_watchedPath);
    m_watcher->moveToThread(m_watchThread);
    connect(m_watchThread, &QThread::started, m_watcher, &FileTreeWatcher::Begin);
    // Deleted on its own thread as that thread ends.
    connect(m_watchThread, &QThread::finished, m_watcher, &QObject::deleteLater);
    m_watchThread->start(QThread::IdlePriority);
    // A change made right after the selection must not slip in before the
    // watch is in place; arming takes a single system call.
    m_watcher->armed.acquire();
}

void CFileTreeCtrl::StopWatching() {
    if (m_watchThread == nullptr) {
        return;
    }
    m_watchThread->quit();
    m_watchThread->wait();
    delete m_watchThread;
    m_watchThread = nullptr;
    m_watcher = nullptr;
    m_watchedPath.clear();
}

bool CFileTreeCtrl::event(QEvent* event) {
    if (event->type() == UpdateChangeEventType()) {
        if (m_watcher != nullptr) {
            m_watcher->pending.store(false);
        }
        if (WatchEnabled.load()) {
            Reload();
        }
        return true;
    }
    return QTreeWidget::event(event);
}

FileTreeWatcher::FileTreeWatcher(CFileTreeCtrl* tree, const QString& folder)
    : m_tree(tree), m_folder(folder) {}

FileTreeWatcher::~FileTreeWatcher() = default;

void FileTreeWatcher::Begin() {
    m_watcher = new QFileSystemWatcher(this);
    if (m_watcher->addPath(m_folder)) {
        m_folderNames = FolderNames();
        connect(m_watcher, &QFileSystemWatcher::directoryChanged, this,
                &FileTreeWatcher::OnChanged);
    }
    // Otherwise the tree goes on without a watch.
    armed.release();
}

QSet<QByteArray> FileTreeWatcher::FolderNames() const {
    std::vector<NativeEntry> entries;
    ReadNativeFolder(QFile::encodeName(m_folder), entries);
    QSet<QByteArray> names;
    for (const NativeEntry& entry : entries) {
        if (entry.isDir) {
            names.insert(entry.name);
        }
    }
    return names;
}

void FileTreeWatcher::OnChanged() {
    if (!m_tree->WatchEnabled.load()) {
        return;
    }
    if (!m_tree->FilesVisible.load()) {
        // Only folders are shown: a change of files alone changes nothing.
        QSet<QByteArray> names = FolderNames();
        if (names == m_folderNames) {
            return;
        }
        m_folderNames = std::move(names);
    }
    if (!pending.exchange(true)) {
        QCoreApplication::postEvent(
            m_tree, new QEvent(QEvent::Type(CFileTreeCtrl::UpdateChangeEventType())));
    }
}

} // namespace zorvane
