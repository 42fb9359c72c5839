// The folder tree: its items, their records and kinds, and their icons.
// Listing and expanding are in FileTreeItems.cpp, finding paths and the
// history in FileTreeHistory.cpp, keys and mouse in FileTreeEvents.cpp, file
// operations and the change watch in FileTreeOps.cpp.

#include "FileTreeCtrl.h"

#include "platform/FileIcons.h"
#include "platform/Shell.h"
#include "ui/toolkit/FileTreeItem.h"

#include <QFile>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QLineEdit>
#include <QPainter>

#include <algorithm>

namespace zorvane {

using namespace Qt::Literals::StringLiterals;

FileTreeItem::FileTreeItem(CFileTreeCtrl* owner, const CFileTreeCtrlItemInfo& record)
    : info(record), serial(owner->m_nextSerial++), m_owner(owner) {
    m_owner->m_live.insert(serial, this);
}

FileTreeItem::~FileTreeItem() {
    m_owner->m_live.remove(serial);
    for (QTreeWidgetItem** handle :
         {&m_owner->m_topItem, &m_owner->m_desktopItem, &m_owner->m_documentsItem,
          &m_owner->m_profileItem, &m_owner->m_computerItem, &m_owner->m_networkItem,
          &m_owner->m_rootFolderItem}) {
        if (*handle == this) {
            *handle = handle == &m_owner->m_topItem ? m_owner->invisibleRootItem() : nullptr;
        }
    }
}

int FileTreeItem::InodeFlags() const {
    if (m_inodeFlags < 0) {
        m_inodeFlags = info.nativePath.isEmpty() || m_owner->PathIsDriveRoot(info.path)
                           ? 0
                           : ReadInodeFlags(info.nativePath);
    }
    return m_inodeFlags;
}

QVariant FileTreeItem::data(int column, int role) const {
    if (role == Qt::ForegroundRole && column == 0 && m_owner->isVisible()) {
        const int flags = InodeFlags();
        if (m_owner->CompressedColoured && (flags & InodeCompressed) != 0) {
            return QBrush(m_owner->CompressedColour);
        }
        if (m_owner->EncryptedColoured && (flags & InodeEncrypted) != 0) {
            return QBrush(m_owner->EncryptedColour);
        }
    }
    return QTreeWidgetItem::data(column, role);
}

FileTreeLabelDelegate::FileTreeLabelDelegate(CFileTreeCtrl* tree)
    : QStyledItemDelegate(tree), m_tree(tree) {}

void FileTreeLabelDelegate::setModelData(QWidget* editor, QAbstractItemModel*,
                                         const QModelIndex& index) const {
    const auto* line = qobject_cast<QLineEdit*>(editor);
    QTreeWidgetItem* item = m_tree->itemFromIndex(index);
    if (line != nullptr && item != nullptr) {
        m_tree->OnEndLabelEdit(item, line->text());
    }
}

// ---------------------------------------------------------------------------

CFileTreeCtrl::CFileTreeCtrl(QWidget* parent)
    : QTreeWidget(parent), m_places(std::make_unique<TreePlacesSource>()),
      m_shell(std::make_unique<Shell>()) {
    setAccessibleName(u"Folder tree"_s);
    setHeaderHidden(true);
    setColumnCount(1);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformRowHeights(true);
    setAnimated(false);
    setExpandsOnDoubleClick(true);
    setItemDelegate(new FileTreeLabelDelegate(this));
    m_topItem = invisibleRootItem();
    m_probePool.setMaxThreadCount(1);
    connect(this, &QTreeWidget::currentItemChanged, this, &CFileTreeCtrl::OnCurrentItemChanged);
    connect(this, &QTreeWidget::itemExpanded, this, &CFileTreeCtrl::OnItemExpanded);
    connect(this, &QTreeWidget::itemCollapsed, this, &CFileTreeCtrl::OnItemCollapsed);
}

CFileTreeCtrl::~CFileTreeCtrl() {
    StopWatching();
    CancelProbes(nullptr);
    m_probePool.waitForDone();
    ++m_quiet;
    // Items unregister themselves from members that must still exist.
    clear();
}

void CFileTreeCtrl::SetPlacesSource(std::unique_ptr<TreePlacesSource> source) {
    m_places = std::move(source);
}

void CFileTreeCtrl::SetShell(std::unique_ptr<Shell> shell) {
    m_shell = std::move(shell);
}

CFileTreeCtrlItemInfo* CFileTreeCtrl::InfoOfItem(QTreeWidgetItem* item) const {
    // dynamic_cast: while an item is being destroyed the view still reports
    // it, as a plain QTreeWidgetItem whose record is gone.
    auto* own = dynamic_cast<FileTreeItem*>(item);
    return own == nullptr ? nullptr : &own->info;
}

quint64 CFileTreeCtrl::SerialOf(QTreeWidgetItem* item) const {
    auto* own = dynamic_cast<FileTreeItem*>(item);
    return own == nullptr ? 0 : own->serial;
}

QTreeWidgetItem* CFileTreeCtrl::LiveItem(quint64 serial) const {
    return m_live.value(serial, nullptr);
}

QByteArray CFileTreeCtrl::NativeOf(QTreeWidgetItem* item) const {
    const CFileTreeCtrlItemInfo* info = InfoOfItem(item);
    return info == nullptr ? QByteArray() : info->nativePath;
}

bool CFileTreeCtrl::HasChildIndicator(QTreeWidgetItem* item) const {
    return item != nullptr && (item->childCount() > 0 ||
                               item->childIndicatorPolicy() == QTreeWidgetItem::ShowIndicator);
}

void CFileTreeCtrl::SetChildIndicator(QTreeWidgetItem* item, bool shown) {
    if (item != nullptr && item != invisibleRootItem()) {
        item->setChildIndicatorPolicy(shown ? QTreeWidgetItem::ShowIndicator
                                            : QTreeWidgetItem::DontShowIndicator);
    }
}

bool CFileTreeCtrl::IsSpecialItem(QTreeWidgetItem* item) const {
    return item == m_topItem || item == m_desktopItem || item == m_documentsItem ||
           item == m_profileItem || item == m_computerItem || item == m_networkItem;
}

// --- options ----------------------------------------------------------------

void CFileTreeCtrl::SetFilesVisible(bool visible) {
    FilesVisible.exchange(visible);
    Reload();
}

void CFileTreeCtrl::SetHiddenFileAttributes(unsigned mask) {
    HiddenFileAttributes = mask;
    Reload();
}

// --- paths and kinds ----------------------------------------------------------

QString CFileTreeCtrl::PathOfItem(QTreeWidgetItem* item) const {
    const CFileTreeCtrlItemInfo* info = InfoOfItem(item);
    return info == nullptr ? QString() : info->path;
}

bool CFileTreeCtrl::PathIsFile(const QString& path) const {
    return NativeIsFile(QFile::encodeName(path));
}

bool CFileTreeCtrl::ItemIsFile(QTreeWidgetItem* item) const {
    const CFileTreeCtrlItemInfo* info = InfoOfItem(item);
    return info != nullptr && info->kind == FileNode;
}

bool CFileTreeCtrl::PathIsFolder(const QString& path) const {
    return NativeIsFolder(QFile::encodeName(path));
}

bool CFileTreeCtrl::ItemIsFolder(QTreeWidgetItem* item) const {
    const CFileTreeCtrlItemInfo* info = InfoOfItem(item);
    return info != nullptr && info->kind == FolderNode;
}

bool CFileTreeCtrl::PathIsDriveRoot(const QString& path) const {
    // The volumes read at the last reload: asking the system for every item
    // would cost a statfs each.
    return !path.isEmpty() && std::any_of(m_drives.begin(), m_drives.end(),
                                          [&](const Volume& v) { return v.rootPath == path; });
}

bool CFileTreeCtrl::ItemIsDrive(QTreeWidgetItem* item) const {
    const CFileTreeCtrlItemInfo* info = InfoOfItem(item);
    return info != nullptr && info->kind == DriveNode;
}

bool CFileTreeCtrl::PathIsCompressed(const QString& path) const {
    return !PathIsDriveRoot(path) &&
           (ReadInodeFlags(QFile::encodeName(path)) & InodeCompressed) != 0;
}

bool CFileTreeCtrl::ItemIsCompressed(QTreeWidgetItem* item) const {
    auto* own = dynamic_cast<FileTreeItem*>(item);
    return own != nullptr && (own->InodeFlags() & InodeCompressed) != 0;
}

bool CFileTreeCtrl::PathIsEncrypted(const QString& path) const {
    return !PathIsDriveRoot(path) &&
           (ReadInodeFlags(QFile::encodeName(path)) & InodeEncrypted) != 0;
}

bool CFileTreeCtrl::ItemIsEncrypted(QTreeWidgetItem* item) const {
    auto* own = dynamic_cast<FileTreeItem*>(item);
    return own != nullptr && (own->InodeFlags() & InodeEncrypted) != 0;
}

bool CFileTreeCtrl::PathIsShared(const QString& path) const {
    return IsSharedFolder(path, m_shares);
}

bool CFileTreeCtrl::PathIsRemovableRoot(const QString& path) const {
    return std::any_of(m_drives.begin(), m_drives.end(), [&](const Volume& v) {
        return v.rootPath == path &&
               (v.kind == VolumeKind::Removable || v.kind == VolumeKind::Optical);
    });
}

bool CFileTreeCtrl::DriveHasMedia(const QString& path) const {
    // A stick pulled out or a disc ejected is unmounted: its root is no
    // longer a mount point (or no longer there at all).
    quint64 serial = 0;
    return !PathIsRemovableRoot(path) || (IsMountPoint(path) && ReadVolumeSerial(path, &serial));
}

bool CFileTreeCtrl::ReadVolumeSerial(const QString& driveRoot, quint64* serial) const {
    return ReadVolumeId(QFile::encodeName(driveRoot), serial);
}

QString CFileTreeCtrl::DriveDisplayName(const QString& driveRoot) const {
    for (const Volume& volume : m_drives) {
        if (volume.rootPath == driveRoot) {
            if (volume.label.isEmpty() && driveRoot == u"/") {
                return u"File System (/)"_s;
            }
            return volume.DisplayName();
        }
    }
    return driveRoot;
}

// --- icons --------------------------------------------------------------------

QIcon CFileTreeCtrl::IconOfPath(const QString& path) const {
    const bool folder = PathIsFolder(path);
    // One icon per kind, not a MIME lookup per item: a branch can hold
    // thousands of folders.
    const QString key = folder ? u"/"_s : QFileInfo(path).suffix().toLower();
    auto found = m_iconCache.constFind(key);
    if (found != m_iconCache.constEnd()) {
        return *found;
    }
    const QIcon icon =
        folder ? QIcon::fromTheme(u"folder"_s,
                                  QFileIconProvider().icon(QAbstractFileIconProvider::Folder))
               : FileIcons().ForPath(path);
    m_iconCache.insert(key, icon);
    return icon;
}

QIcon CFileTreeCtrl::OpenIconOfPath(const QString& path) const {
    if (!PathIsFolder(path)) {
        return IconOfPath(path);
    }
    auto found = m_iconCache.constFind(u"/open"_s);
    if (found != m_iconCache.constEnd()) {
        return *found;
    }
    const QIcon icon = QIcon::fromTheme(u"folder-open"_s, IconOfPath(path));
    m_iconCache.insert(u"/open"_s, icon);
    return icon;
}

QIcon CFileTreeCtrl::IconOfItem(QTreeWidgetItem* item) const {
    return item == nullptr ? QIcon() : item->icon(0);
}

QIcon CFileTreeCtrl::OpenIconOfItem(QTreeWidgetItem* item) const {
    auto* own = dynamic_cast<FileTreeItem*>(item);
    return own == nullptr ? QIcon() : own->openIcon;
}

QIcon CFileTreeCtrl::SharedIcon(const QIcon& base) const {
    const qint64 key = base.cacheKey();
    auto found = m_sharedIconCache.constFind(key);
    if (found != m_sharedIconCache.constEnd()) {
        return *found;
    }
    QIcon shared;
    for (int size : {16, 22, 24, 32}) {
        QPixmap pixmap = base.pixmap(size);
        if (pixmap.isNull()) {
            continue;
        }
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        const QIcon emblem = QIcon::fromTheme(u"emblem-shared"_s);
        const int side = size / 2;
        const QRect corner(0, size - side, side, side);
        if (!emblem.isNull()) {
            emblem.paint(&painter, corner);
        } else {
            // A hand-drawn stand-in: two linked dots, the usual share sign.
            painter.setPen(QPen(QColor(30, 110, 200), std::max(1, size / 12)));
            painter.setBrush(Qt::white);
            painter.drawEllipse(corner.adjusted(1, 1, -1, -1));
            painter.drawLine(corner.topRight(), corner.center());
        }
        painter.end();
        shared.addPixmap(pixmap);
    }
    m_sharedIconCache.insert(key, shared);
    return shared;
}

} // namespace zorvane
