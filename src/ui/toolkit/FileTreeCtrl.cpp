#include "FileTreeCtrl.h"

#include "platform/DisplayText.h"
#include "platform/FileIcons.h"
#include "platform/Shell.h"
#include "ui/toolkit/FileTreeItem.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QSet>
#include <QThread>

#include <algorithm>
#include <fnmatch.h>

namespace zorvane {

using namespace Qt::Literals::StringLiterals;

namespace {

// How long a listing on a network or removable volume may keep the window
// waiting before the folder is shown as unreadable.
constexpr int kSlowListingTimeoutMs = 3000;

struct WaitCursor {
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

class RedrawOff {
public:
    RedrawOff(QWidget* widget, bool active) : m_widget(widget), m_active(active) {
        if (m_active && m_widget->updatesEnabled()) {
            m_widget->setUpdatesEnabled(false);
        } else {
            m_active = false;
        }
    }
    ~RedrawOff() {
        if (m_active) {
            m_widget->setUpdatesEnabled(true);
        }
    }
    RedrawOff(const RedrawOff&) = delete;
    RedrawOff& operator=(const RedrawOff&) = delete;

private:
    QWidget* m_widget;
    bool m_active;
};

QString JoinPath(const QString& folder, const QString& name) {
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

QByteArray JoinNative(const QByteArray& folder, const QByteArray& name) {
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

// A path without doubled or trailing separators ("/" stays "/").
QString Normalised(QString path) {
    while (path.contains(u"//"_s)) {
        path.replace(u"//"_s, u"/"_s);
    }
    if (path.size() > 1 && path.endsWith(u'/')) {
        path.chop(1);
    }
    return path;
}

// `path` is `prefix` or lies below it; `rest` gets what follows.
bool PathUnder(const QString& path, const QString& prefix, QString* rest) {
    if (prefix.isEmpty()) {
        return false;
    }
    if (path == prefix) {
        rest->clear();
        return true;
    }
    const QString folder = prefix.endsWith(u'/') ? prefix : prefix + u'/';
    if (!path.startsWith(folder)) {
        return false;
    }
    *rest = path.mid(folder.size());
    return true;
}

bool IsHiddenName(const QByteArray& name) {
    return name.startsWith('.');
}

int SiblingRank(const CFileTreeCtrlItemInfo* info) {
    if (info == nullptr) {
        return 4;
    }
    switch (info->kind) {
    case ProfileNode:
        return 0;
    case DocumentsNode:
        return 1;
    case ComputerNode:
        return 2;
    case NetworkNode:
        return info->path.isEmpty() && !info->netResource ? 3 : 4;
    case FileNode:
        return 5;
    default:
        return 4;
    }
}

// Case-insensitive by name, then by exact name and bytes, so that two names
// differing only in case still have a fixed order.
bool SiblingLess(const CFileTreeCtrlItemInfo* a, const CFileTreeCtrlItemInfo* b) {
    const int rankA = SiblingRank(a);
    const int rankB = SiblingRank(b);
    if (rankA != rankB) {
        return rankA < rankB;
    }
    if (a == nullptr || b == nullptr) {
        return a == nullptr && b != nullptr;
    }
    const int folded = a->displayName.compare(b->displayName, Qt::CaseInsensitive);
    if (folded != 0) {
        return folded < 0;
    }
    const int exact = a->displayName.compare(b->displayName, Qt::CaseSensitive);
    if (exact != 0) {
        return exact < 0;
    }
    return a->nativePath < b->nativePath;
}

QByteArray PatternBytes(const QString& pattern) {
    // "*.*" means every file on the system the filters were written for.
    return pattern == u"*.*" ? QByteArray("*") : QFile::encodeName(pattern);
}

// What the child probe needs of the options, copied so that a worker thread
// can probe without touching the tree.
struct ProbeRules {
    bool filesVisible = true;
    bool hideHiddenFiles = true;
    bool hideHiddenFolders = true;
    QList<QByteArray> patterns;

    bool Accepts(const NativeEntry& entry) const {
        if (entry.isDir) {
            return !(hideHiddenFolders && IsHiddenName(entry.name));
        }
        if (!filesVisible || (hideHiddenFiles && IsHiddenName(entry.name))) {
            return false;
        }
        return std::any_of(patterns.begin(), patterns.end(), [&](const QByteArray& pattern) {
            return ::fnmatch(pattern.constData(), entry.name.constData(), FNM_PERIOD) == 0;
        });
    }
};

} // namespace

// ---------------------------------------------------------------------------

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

// --- visibility ---------------------------------------------------------------

bool CFileTreeCtrl::FileIsVisible(const NativeEntry& entry) const {
    return FilesVisible.load() && !entry.isDir &&
           !((HiddenFileAttributes & kAttributeHidden) != 0 && IsHiddenName(entry.name));
}

bool CFileTreeCtrl::FolderIsVisible(const NativeEntry& entry) const {
    return entry.isDir && entry.name != "." && entry.name != ".." &&
           !((HiddenFolderAttributes & kAttributeHidden) != 0 && IsHiddenName(entry.name));
}

bool CFileTreeCtrl::DriveIsVisible(const Volume& drive) const {
    return (HiddenDriveTypes & unsigned(drive.kind)) == 0;
}

bool CFileTreeCtrl::NetworkItemIsVisible(const CFileTreeCtrlItemInfo&) const {
    return true;
}

bool CFileTreeCtrl::HasVisibleChildren(const QString& path) const {
    if (PathIsRemovableRoot(path)) {
        return true;
    }
    QList<QByteArray> patterns;
    for (const QString& filter : FileFilters) {
        patterns.append(PatternBytes(filter));
    }
    return AnyNativeEntry(QFile::encodeName(path), [&](const NativeEntry& entry) {
        if (FolderIsVisible(entry)) {
            return true;
        }
        if (!FileIsVisible(entry)) {
            return false;
        }
        return std::any_of(patterns.begin(), patterns.end(), [&](const QByteArray& pattern) {
            return ::fnmatch(pattern.constData(), entry.name.constData(), FNM_PERIOD) == 0;
        });
    });
}

void CFileTreeCtrl::ProbeInBackground(QTreeWidgetItem* parent,
                                      std::vector<std::pair<quint64, QByteArray>> folders) {
    ProbeRules rules;
    rules.filesVisible = FilesVisible.load();
    rules.hideHiddenFiles = (HiddenFileAttributes & kAttributeHidden) != 0;
    rules.hideHiddenFolders = (HiddenFolderAttributes & kAttributeHidden) != 0;
    for (const QString& filter : FileFilters) {
        rules.patterns.append(PatternBytes(filter));
    }
    const quint64 parentSerial = SerialOf(parent);
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    if (auto old = m_probeCancels.value(parentSerial)) {
        old->store(true);
    }
    m_probeCancels.insert(parentSerial, cancel);
    m_probePool.start([this, rules, cancel, folders = std::move(folders)] {
        std::vector<std::pair<quint64, bool>> results;
        const auto post = [&] {
            QMetaObject::invokeMethod(
                this, [this, batch = std::move(results)] { ApplyProbeResults(batch); },
                Qt::QueuedConnection);
            results.clear();
        };
        for (const auto& [serial, path] : folders) {
            if (cancel->load()) {
                return;
            }
            results.emplace_back(serial, AnyNativeEntry(path, [&](const NativeEntry& entry) {
                                     return rules.Accepts(entry);
                                 }));
            if (results.size() == 512) {
                post();
            }
        }
        if (!results.empty()) {
            post();
        }
    });
}

void CFileTreeCtrl::ApplyProbeResults(const std::vector<std::pair<quint64, bool>>& results) {
    for (const auto& [serial, children] : results) {
        QTreeWidgetItem* item = LiveItem(serial);
        if (item != nullptr && item->childCount() == 0) {
            SetChildIndicator(item, children);
        }
    }
}

void CFileTreeCtrl::CancelProbes(QTreeWidgetItem* parent) {
    if (parent == nullptr) {
        for (const auto& cancel : std::as_const(m_probeCancels)) {
            cancel->store(true);
        }
        m_probeCancels.clear();
        return;
    }
    if (auto cancel = m_probeCancels.take(SerialOf(parent))) {
        cancel->store(true);
    }
}

bool CFileTreeCtrl::HasChildWithLabel(QTreeWidgetItem* item, const QString& text) const {
    if (item == nullptr) {
        return false;
    }
    for (int i = 0; i < item->childCount(); ++i) {
        if (item->child(i)->text(0) == text) {
            return true;
        }
    }
    return false;
}

QTreeWidgetItem* CFileTreeCtrl::FindChildByName(QTreeWidgetItem* parent,
                                                const QString& name) const {
    if (parent == nullptr) {
        return nullptr;
    }
    for (int i = 0; i < parent->childCount(); ++i) {
        const CFileTreeCtrlItemInfo* info = InfoOfItem(parent->child(i));
        if (info != nullptr && info->displayName == name) {
            return parent->child(i);
        }
    }
    return nullptr;
}

// --- building -----------------------------------------------------------------

QTreeWidgetItem* CFileTreeCtrl::MakeItem(const CFileTreeCtrlItemInfo& record, bool shared,
                                         const QIcon& image, const QIcon& openImage,
                                         bool probeChildren) {
    auto* item = new FileTreeItem(this, record);
    CFileTreeCtrlItemInfo& info = item->info;
    QString label = info.displayName;
    if (info.kind == DriveNode && ShellDriveNames) {
        label = DriveDisplayName(info.path);
    } else if (info.kind == FileNode && NameDisplayMode == 0) {
        const qsizetype dot = info.displayName.lastIndexOf(u'.');
        if (dot > 0) {
            label = info.displayName.left(dot);
        }
        info.shownWithoutExtension = label != info.displayName;
    } else if (NameDisplayMode == 1 || NameDisplayMode == 2) {
        // The desktops here show extensions: the file's title is its name.
        info.shownWithoutExtension = false;
    }
    item->setText(0, EscapedForDisplay(label));
    item->setIcon(0, shared ? SharedIcon(image) : image);
    item->openIcon = shared ? SharedIcon(openImage) : openImage;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (info.kind == FileNode || info.kind == FolderNode) {
        flags |= Qt::ItemIsEditable;
    }
    item->setFlags(flags);
    const bool children =
        !probeChildren || info.slowVolume || HasVisibleChildren(QFile::decodeName(info.nativePath));
    item->setChildIndicatorPolicy(children ? QTreeWidgetItem::ShowIndicator
                                           : QTreeWidgetItem::DontShowIndicator);
    return item;
}

QTreeWidgetItem* CFileTreeCtrl::AddTreeItem(QTreeWidgetItem* parent,
                                            const CFileTreeCtrlItemInfo& record, bool shared,
                                            const QIcon& image, const QIcon& openImage,
                                            bool probeChildren) {
    if (parent == nullptr) {
        return nullptr;
    }
    CFileTreeCtrlItemInfo copy = record;
    if (copy.nativePath.isEmpty() && !copy.path.isEmpty()) {
        copy.nativePath = QFile::encodeName(copy.path);
    }
    QTreeWidgetItem* item = MakeItem(copy, shared, image, openImage, probeChildren);
    parent->addChild(item);
    return item;
}

void CFileTreeCtrl::SortChildren(QTreeWidgetItem* parent, QList<QTreeWidgetItem*> added) {
    QList<QTreeWidgetItem*> all =
        parent->childCount() > 0 ? parent->takeChildren() : QList<QTreeWidgetItem*>();
    all.append(added);
    std::stable_sort(all.begin(), all.end(), [this](QTreeWidgetItem* a, QTreeWidgetItem* b) {
        return SiblingLess(InfoOfItem(a), InfoOfItem(b));
    });
    parent->addChildren(all);
}

void CFileTreeCtrl::ListFolderChildren(const QString& path, QTreeWidgetItem* parent,
                                       bool suppressRedraw, bool replaceExisting) {
    if (parent == nullptr) {
        return;
    }
    WaitCursor wait;
    RedrawOff redraw(this, suppressRedraw);
    ++m_quiet;
    if (replaceExisting) {
        CancelProbes(parent);
        qDeleteAll(parent->takeChildren());
    }
    if (RootFolderAsItem && parent == m_topItem && !RootFolder.isEmpty()) {
        CFileTreeCtrlItemInfo record;
        record.kind = FolderNode;
        record.path = Normalised(RootFolder);
        record.displayName = record.path;
        m_rootFolderItem = AddTreeItem(parent, record, false, IconOfPath(record.path),
                                       OpenIconOfPath(record.path), true);
        --m_quiet;
        LoadAndExpand(m_rootFolderItem);
        return;
    }
    const CFileTreeCtrlItemInfo* parentInfo = InfoOfItem(parent);
    const QByteArray native = parentInfo != nullptr && parentInfo->path == path
                                  ? parentInfo->nativePath
                                  : QFile::encodeName(path);
    const bool slow = parentInfo != nullptr && parentInfo->slowVolume;
    std::vector<NativeEntry> entries;
    const bool read = slow ? ReadNativeFolderBounded(native, entries, kSlowListingTimeoutMs)
                           : ReadNativeFolder(native, entries);
    QList<QTreeWidgetItem*> added;
    if (read) {
        const QIcon folderIcon = IconOfPath(QDir::rootPath());
        const QIcon folderOpen = OpenIconOfPath(QDir::rootPath());
        const bool overlay = SharedOverlayShown && !m_shares.isEmpty();
        QElapsedTimer budget;
        budget.start();
        std::vector<std::pair<quint64, QByteArray>> unprobed;
        for (const NativeEntry& entry : entries) {
            if (!FolderIsVisible(entry)) {
                continue;
            }
            CFileTreeCtrlItemInfo record;
            record.kind = FolderNode;
            record.displayName = QFile::decodeName(entry.name);
            record.path = JoinPath(path, record.displayName);
            record.nativePath = JoinNative(native, entry.name);
            record.slowVolume = slow;
            const bool shared = overlay && PathIsShared(record.path);
            const bool probeNow = slow || budget.elapsed() < InlineProbeBudgetMs;
            QTreeWidgetItem* item = MakeItem(record, shared, folderIcon, folderOpen, probeNow);
            if (!probeNow) {
                unprobed.emplace_back(SerialOf(item), record.nativePath);
            }
            added.append(item);
        }
        if (!unprobed.empty()) {
            ProbeInBackground(parent, std::move(unprobed));
        }
        // Each file once, in the order of the first pattern it matches.
        std::vector<bool> taken(entries.size(), false);
        for (const QString& filter : FileFilters) {
            const QByteArray pattern = PatternBytes(filter);
            for (size_t i = 0; i < entries.size(); ++i) {
                const NativeEntry& entry = entries[i];
                if (taken[i] || !FileIsVisible(entry) ||
                    ::fnmatch(pattern.constData(), entry.name.constData(), FNM_PERIOD) != 0) {
                    continue;
                }
                taken[i] = true;
                CFileTreeCtrlItemInfo record;
                record.kind = FileNode;
                record.displayName = QFile::decodeName(entry.name);
                record.path = JoinPath(path, record.displayName);
                record.nativePath = JoinNative(native, entry.name);
                record.slowVolume = slow;
                const QIcon icon = IconOfPath(record.path);
                // A file has no children: no need to try listing it.
                QTreeWidgetItem* item = MakeItem(record, false, icon, icon, false);
                item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
                added.append(item);
            }
        }
    }
    const bool none = added.isEmpty();
    SortChildren(parent, std::move(added));
    if (none && parent != m_topItem) {
        SetChildIndicator(parent, parent->childCount() > 0);
    }
    --m_quiet;
}

void CFileTreeCtrl::ListDriveItems(QTreeWidgetItem* parent, bool suppressRedraw) {
    if (parent == nullptr) {
        return;
    }
    RedrawOff redraw(this, suppressRedraw);
    const FileIcons icons;
    for (const Volume& drive : std::as_const(m_drives)) {
        if (!DriveIsVisible(drive)) {
            continue;
        }
        CFileTreeCtrlItemInfo record;
        record.kind = DriveNode;
        record.path = drive.rootPath;
        record.displayName = drive.rootPath;
        record.netResource = drive;
        record.slowVolume =
            drive.kind == VolumeKind::Removable || drive.kind == VolumeKind::Optical;
        const QIcon icon = icons.ForVolume(drive.kind);
        AddTreeItem(parent, record, SharedOverlayShown && PathIsShared(drive.rootPath), icon, icon,
                    true);
    }
}

bool CFileTreeCtrl::ListNetworkChildren(QTreeWidgetItem* parent) {
    if (parent != m_networkItem) {
        // Only the mounts themselves are listed: below a mount the folders
        // are ordinary folders.
        return false;
    }
    const QList<Volume> mounts = m_places->NetworkMounts();
    const FileIcons icons;
    const QIcon icon = icons.ForVolume(VolumeKind::Network);
    for (const Volume& mount : mounts) {
        CFileTreeCtrlItemInfo record;
        record.kind = NetworkNode;
        record.path = mount.rootPath;
        // cifs and nfs mounts seldom carry a label; the server's name says more.
        record.displayName = mount.rootPath;
        record.netResource = mount;
        record.slowVolume = true;
        if (!NetworkItemIsVisible(record)) {
            continue;
        }
        QTreeWidgetItem* item = AddTreeItem(parent, record, false, icon, icon, false);
        const QString name = mount.label.isEmpty() ? mount.device : mount.label;
        item->setText(0,
                      EscapedForDisplay(name.isEmpty() ? mount.rootPath
                                                       : u"%1 (%2)"_s.arg(name, mount.rootPath)));
    }
    return !mounts.isEmpty();
}

void CFileTreeCtrl::AddRootItems() {
    const FileIcons icons;
    const auto special = [&](TreeNodeKind kind, const QString& name, const QString& path,
                             const QIcon& icon) {
        CFileTreeCtrlItemInfo record;
        record.kind = kind;
        record.displayName = name;
        record.path = path;
        return AddTreeItem(m_topItem, record, false, icon, icon, false);
    };
    if (ProfileItemShown) {
        m_profilePath = m_placesNow.homePath;
        m_profileItem = special(ProfileNode, m_placesNow.homeName, m_profilePath,
                                icons.ForSpecialFolder(SpecialFolder::Home));
    }
    if (DocumentsItemShown) {
        m_documentsPath = m_placesNow.documentsPath;
        m_documentsItem = special(DocumentsNode, m_placesNow.documentsName, m_documentsPath,
                                  icons.ForSpecialFolder(SpecialFolder::Documents));
    }
    if (ComputerItemShown) {
        m_computerItem = special(ComputerNode, m_placesNow.computerName, QString(),
                                 icons.ForSpecialFolder(SpecialFolder::ComputerRoot));
    } else {
        ListDriveItems(m_topItem, false);
    }
    if (NetworkShown) {
        m_networkItem =
            special(NetworkNode, m_placesNow.networkName, QString(), icons.ForNetwork());
    }
}

void CFileTreeCtrl::AttachImagesAndFill() {
    Reload();
}

void CFileTreeCtrl::Reload() {
    WaitCursor wait;
    RedrawOff redraw(this, true);
    QTreeWidgetItem* selected = currentItem();
    const QString selectedPath = PathOfItem(selected);
    const bool wasExpanded = selected != nullptr && selected->isExpanded();

    m_shares = m_places->SharedFolders();
    m_drives = m_places->Drives();
    m_placesNow = m_places->Places();
    StopWatching();
    CancelProbes(nullptr);

    ++m_quiet;
    clear();
    --m_quiet;
    m_topItem = invisibleRootItem();
    m_desktopItem = m_documentsItem = m_profileItem = m_computerItem = m_networkItem =
        m_rootFolderItem = nullptr;
    m_desktopPath = m_profilePath = m_documentsPath = QString();

    if (!RootFolder.isEmpty()) {
        ListFolderChildren(Normalised(RootFolder), m_topItem, false, true);
    } else {
        if (DesktopItemShown) {
            CFileTreeCtrlItemInfo record;
            record.kind = DesktopNode;
            record.displayName = m_placesNow.desktopName;
            record.path = m_placesNow.desktopPath;
            m_desktopPath = record.path;
            const QIcon icon = FileIcons().ForSpecialFolder(SpecialFolder::Desktop);
            m_desktopItem = AddTreeItem(m_topItem, record, false, icon, icon, false);
            m_topItem = m_desktopItem;
        }
        ++m_quiet;
        AddRootItems();
        if (!m_desktopPath.isEmpty()) {
            ListFolderChildren(m_desktopPath, m_topItem, false, false);
        }
        if (m_topItem != invisibleRootItem()) {
            m_topItem->setExpanded(true);
        }
        --m_quiet;
    }
    if (!selectedPath.isEmpty()) {
        SelectPath(selectedPath, wasExpanded);
    }
}

// --- expanding and collapsing ------------------------------------------------------

void CFileTreeCtrl::PopulateItem(QTreeWidgetItem* item) {
    CFileTreeCtrlItemInfo* info = InfoOfItem(item);
    if (item == m_topItem && RootFolder.isEmpty() && item != invisibleRootItem()) {
        AddRootItems();
        if (!m_desktopPath.isEmpty()) {
            ListFolderChildren(m_desktopPath, item, false, false);
        }
        return;
    }
    if (info == nullptr) {
        return;
    }
    if (item == m_computerItem) {
        WaitCursor wait;
        ListDriveItems(item, false);
        return;
    }
    if (item == m_networkItem || (info->kind == NetworkNode && info->path.isEmpty())) {
        WaitCursor wait;
        if (!ListNetworkChildren(item) && item->childCount() == 0) {
            SetChildIndicator(item, false);
        }
        return;
    }
    if (info->path.isEmpty()) {
        return;
    }
    if (info->slowVolume && info->kind != DriveNode) {
        // Not even a stat here: on a dead server it would hang. The listing
        // has a bound, and a listing that fails leaves no expand button.
        if (item->childCount() == 0) {
            ListFolderChildren(info->path, item, true, true);
        }
        return;
    }
    if (DriveHasMedia(info->path)) {
        if (NativeIsFolder(info->nativePath)) {
            if (item->childCount() == 0) {
                ListFolderChildren(info->path, item, true, true);
            }
        } else {
            // Gone from disk while shown: deleting it here, inside the
            // view's own expansion, would pull the item from under it.
            const quint64 serial = SerialOf(item);
            QMetaObject::invokeMethod(
                this, [this, serial] { RemoveVanished(serial); }, Qt::QueuedConnection);
        }
        return;
    }
    if (item != m_topItem) {
        ++m_quiet;
        item->setExpanded(false);
        qDeleteAll(item->takeChildren());
        SetChildIndicator(item, false);
        --m_quiet;
    }
}

void CFileTreeCtrl::RemoveVanished(quint64 serial) {
    QTreeWidgetItem* item = LiveItem(serial);
    if (item == nullptr || NativeExists(NativeOf(item))) {
        return;
    }
    QTreeWidgetItem* parent = item->parent();
    DeleteItem(item);
    if (parent != nullptr && parent->childCount() == 0) {
        SetChildIndicator(parent, false);
    }
}

void CFileTreeCtrl::DeleteItem(QTreeWidgetItem* item) {
    QTreeWidgetItem* parent = item->parent() != nullptr ? item->parent() : invisibleRootItem();
    for (QTreeWidgetItem* at = currentItem(); at != nullptr; at = at->parent()) {
        if (at == item) {
            // Moves the selection off the branch first, so that the
            // selection change sees a whole item.
            if (parent != invisibleRootItem()) {
                setCurrentItem(parent);
            }
            break;
        }
    }
    parent->removeChild(item);
    delete item;
}

void CFileTreeCtrl::LoadAndExpand(QTreeWidgetItem* item) {
    if (item == nullptr) {
        return;
    }
    const quint64 serial = SerialOf(item);
    if (HasChildIndicator(item) && item->childCount() == 0) {
        PopulateItem(item);
    }
    if ((serial == 0 || LiveItem(serial) != nullptr) && item->childCount() > 0) {
        ++m_quiet;
        item->setExpanded(true);
        --m_quiet;
    }
}

void CFileTreeCtrl::OnItemExpanded(QTreeWidgetItem* item) {
    if (m_quiet > 0) {
        return;
    }
    emit itemExpanding(item);
    if (HasChildIndicator(item) && item->childCount() == 0) {
        PopulateItem(item);
    }
}

void CFileTreeCtrl::OnItemCollapsed(QTreeWidgetItem* item) {
    if (m_quiet > 0) {
        return;
    }
    emit itemExpanding(item);
    WaitCursor wait;
    const bool indicator = HasChildIndicator(item);
    // Dropped, so the next expansion reads the disk again and a closed
    // branch holds no memory.
    DropChildren(item);
    SetChildIndicator(item, indicator);
}

void CFileTreeCtrl::DropChildren(QTreeWidgetItem* item) {
    // A selection inside the branch would go with it: it moves up first.
    for (QTreeWidgetItem* at = currentItem(); at != nullptr; at = at->parent()) {
        if (at->parent() == item) {
            setCurrentItem(item);
            break;
        }
    }
    CancelProbes(item);
    ++m_quiet;
    qDeleteAll(item->takeChildren());
    --m_quiet;
}

// --- finding paths ------------------------------------------------------------------

QTreeWidgetItem* CFileTreeCtrl::FindByPathBelow(QTreeWidgetItem* parent,
                                                const QString& path) const {
    for (int i = 0; parent != nullptr && i < parent->childCount(); ++i) {
        if (PathOfItem(parent->child(i)) == path) {
            return parent->child(i);
        }
    }
    return nullptr;
}

// The item a path starts from: the Network mount, special folder or volume
// with the longest matching prefix. With `load`, that item is loaded and
// expanded on the way.
QTreeWidgetItem* CFileTreeCtrl::StartItemForPath(const QString& path, bool load, QString* rest) {
    const auto longest = [&](const QList<QString>& roots) {
        QString best;
        QString remainder;
        for (const QString& root : roots) {
            QString after;
            if (PathUnder(path, root, &after) && root.size() > best.size()) {
                best = root;
                remainder = after;
            }
        }
        *rest = remainder;
        return best;
    };
    if (NetworkShown && m_networkItem != nullptr) {
        QList<QString> roots;
        if (load || m_networkItem->childCount() == 0) {
            const QList<Volume> mounts = m_places->NetworkMounts();
            for (const Volume& mount : mounts) {
                roots.append(mount.rootPath);
            }
        } else {
            for (int i = 0; i < m_networkItem->childCount(); ++i) {
                roots.append(PathOfItem(m_networkItem->child(i)));
            }
        }
        const QString root = longest(roots);
        if (!root.isEmpty()) {
            if (load) {
                LoadAndExpand(m_networkItem);
            }
            if (QTreeWidgetItem* mount = FindByPathBelow(m_networkItem, root)) {
                return mount;
            }
        }
    }
    const std::pair<QTreeWidgetItem*, QString> specials[] = {
        {m_desktopItem, m_desktopPath},
        {m_profileItem, m_profilePath},
        {m_documentsItem, m_documentsPath},
    };
    for (const auto& [item, prefix] : specials) {
        if (item != nullptr && PathUnder(path, prefix, rest)) {
            if (load) {
                const bool wasExpanded = item->isExpanded();
                LoadAndExpand(item);
                if (rest->isEmpty() && item == m_desktopItem && !wasExpanded) {
                    ++m_quiet;
                    item->setExpanded(false);
                    --m_quiet;
                }
            }
            return item;
        }
    }
    QTreeWidgetItem* drives = m_computerItem != nullptr ? m_computerItem
                              : ComputerItemShown       ? nullptr
                                                        : m_topItem;
    if (drives == nullptr) {
        return nullptr;
    }
    if (load && drives == m_computerItem) {
        LoadAndExpand(drives);
    }
    QList<QString> roots;
    for (int i = 0; i < drives->childCount(); ++i) {
        if (ItemIsDrive(drives->child(i))) {
            roots.append(PathOfItem(drives->child(i)));
        }
    }
    const QString root = longest(roots);
    return root.isEmpty() ? nullptr : FindByPathBelow(drives, root);
}

QTreeWidgetItem* CFileTreeCtrl::WalkComponents(QTreeWidgetItem* start, const QString& rest,
                                               bool load, QTreeWidgetItem** deepest) const {
    QTreeWidgetItem* current = start;
    *deepest = start;
    if (rest.isEmpty()) {
        return current;
    }
    const QStringList components = rest.split(u'/', Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < components.size(); ++i) {
        if (load && HasChildIndicator(current) && current->childCount() == 0) {
            const_cast<CFileTreeCtrl*>(this)->PopulateItem(current);
        }
        QTreeWidgetItem* child = FindChildByName(current, components.at(i));
        if (child == nullptr) {
            return i + 1 == components.size() ? current : nullptr;
        }
        current = child;
        *deepest = child;
    }
    return current;
}

QTreeWidgetItem* CFileTreeCtrl::SelectPath(const QString& path, bool expand) {
    QString wanted = Normalised(path);
    if (wanted.isEmpty()) {
        return nullptr;
    }
    RedrawOff redraw(this, true);
    QTreeWidgetItem* start = nullptr;
    QString rest;
    if (!RootFolder.isEmpty()) {
        if (!PathUnder(wanted, Normalised(RootFolder), &rest)) {
            return nullptr;
        }
        start = m_rootFolderItem != nullptr ? m_rootFolderItem : m_topItem;
        if (start == m_rootFolderItem) {
            LoadAndExpand(start);
        }
    } else {
        start = StartItemForPath(wanted, true, &rest);
    }
    if (start == nullptr) {
        return nullptr;
    }
    QTreeWidgetItem* deepest = nullptr;
    QTreeWidgetItem* result = WalkComponents(start, rest, true, &deepest);
    if (result == nullptr || result == invisibleRootItem()) {
        // The path leaves the tree (a hidden or vanished folder): show how far
        // it got, so the user sees where it stopped.
        if (deepest != nullptr && deepest != invisibleRootItem()) {
            setCurrentItem(deepest);
        }
        return nullptr;
    }
    const bool found = PathOfItem(result) == wanted || result == start;
    ++m_quiet;
    for (QTreeWidgetItem* at = result->parent(); at != nullptr; at = at->parent()) {
        at->setExpanded(true);
    }
    --m_quiet;
    setCurrentItem(result);
    if (expand && found) {
        LoadAndExpand(result);
    }
    scrollToItem(result);
    return result;
}

QTreeWidgetItem* CFileTreeCtrl::ItemForPath(const QString& path) const {
    const QString wanted = Normalised(path);
    if (wanted.isEmpty()) {
        return nullptr;
    }
    QString rest;
    QTreeWidgetItem* start = nullptr;
    if (!RootFolder.isEmpty()) {
        if (!PathUnder(wanted, Normalised(RootFolder), &rest)) {
            return nullptr;
        }
        start = m_rootFolderItem != nullptr ? m_rootFolderItem : m_topItem;
    } else {
        start = const_cast<CFileTreeCtrl*>(this)->StartItemForPath(wanted, false, &rest);
    }
    if (start == nullptr) {
        return nullptr;
    }
    QTreeWidgetItem* deepest = nullptr;
    QTreeWidgetItem* item = WalkComponents(start, rest, false, &deepest);
    return item != nullptr && (rest.isEmpty() || PathOfItem(item) == wanted) ? item : nullptr;
}

QString CFileTreeCtrl::SelectedPath() const {
    return PathOfItem(currentItem());
}

void CFileTreeCtrl::ExpandBranch(QTreeWidgetItem* item) {
    if (item == nullptr || m_inExpandBranch) {
        return;
    }
    m_inExpandBranch = true;
    WaitCursor wait;
    RedrawOff redraw(this, true);
    QList<QPair<quint64, quint64>> branch;
    ExpandBranchGuarded(item, branch);
    m_inExpandBranch = false;
}

void CFileTreeCtrl::ExpandBranchGuarded(QTreeWidgetItem* item,
                                        QList<QPair<quint64, quint64>>& branch) {
    if (!HasChildIndicator(item)) {
        return;
    }
    // A link back to a folder already open above would unfold forever.
    quint64 device = 0;
    quint64 inode = 0;
    const bool known = NativeFolderIdentity(NativeOf(item), &device, &inode);
    if (known && branch.contains({device, inode})) {
        return;
    }
    const quint64 serial = SerialOf(item);
    LoadAndExpand(item);
    if (serial != 0 && LiveItem(serial) == nullptr) {
        return;
    }
    if (known) {
        branch.append({device, inode});
    }
    for (int i = 0; i < item->childCount(); ++i) {
        ExpandBranchGuarded(item->child(i), branch);
    }
    if (known) {
        branch.removeLast();
    }
}

// --- selection and history ------------------------------------------------------------

void CFileTreeCtrl::OnCurrentItemChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous) {
    if (m_quiet > 0) {
        return;
    }
    const CFileTreeCtrlItemInfo* info = InfoOfItem(current);
    if (current != nullptr && info != nullptr && !IsSpecialItem(current) && !info->netResource &&
        info->kind != DriveNode && !info->slowVolume && !NativeExists(info->nativePath)) {
        const quint64 serial = SerialOf(current);
        QMetaObject::invokeMethod(
            this, [this, serial] { RemoveVanished(serial); }, Qt::QueuedConnection);
        return;
    }
    const quint64 before = SerialOf(previous);
    if (before != 0 && !m_navigating) {
        if (m_back.size() > m_historyLimit) {
            m_back.removeFirst();
        }
        m_back.append(before);
    }
    const QString path = PathOfItem(current);
    if (WatchEnabled.load() && info != nullptr && !info->slowVolume && PathIsWatchable(path)) {
        StartWatching(path);
    } else {
        StopWatching();
    }
    OnSelectionMoved(current, path);
    emit selectionMoved(current, path);
}

void CFileTreeCtrl::OnSelectionMoved(QTreeWidgetItem*, const QString&) {}

namespace {

// The newest entry of `list` whose item still exists; entries of deleted
// items are dropped on the way.
QTreeWidgetItem* TakeNewestLive(QList<quint64>& list,
                                const std::function<QTreeWidgetItem*(quint64)>& live) {
    while (!list.isEmpty()) {
        QTreeWidgetItem* item = live(list.takeLast());
        if (item != nullptr) {
            return item;
        }
    }
    return nullptr;
}

} // namespace

bool CFileTreeCtrl::StepHistory(QList<quint64>& from, QList<quint64>& to) {
    QTreeWidgetItem* before = currentItem();
    QTreeWidgetItem* target =
        TakeNewestLive(from, [this](quint64 serial) { return LiveItem(serial); });
    if (target == nullptr) {
        return false;
    }
    m_navigating = true;
    setCurrentItem(target);
    scrollToItem(target);
    m_navigating = false;
    if (const quint64 serial = SerialOf(before); serial != 0) {
        if (to.size() > m_historyLimit) {
            to.removeFirst();
        }
        to.append(serial);
    }
    return true;
}

bool CFileTreeCtrl::GoBack() {
    return StepHistory(m_back, m_forward);
}

bool CFileTreeCtrl::GoForward() {
    return StepHistory(m_forward, m_back);
}

bool CFileTreeCtrl::BackAvailable() const {
    return !m_back.isEmpty();
}

bool CFileTreeCtrl::ForwardAvailable() const {
    return !m_forward.isEmpty();
}

int CFileTreeCtrl::HistoryLimit() const {
    return m_historyLimit;
}

void CFileTreeCtrl::SetHistoryLimit(int limit) {
    m_historyLimit = std::max(0, limit);
    while (m_back.size() > m_historyLimit) {
        m_back.removeLast();
    }
    while (m_forward.size() > m_historyLimit) {
        m_forward.removeLast();
    }
}

void CFileTreeCtrl::GoToParent() {
    QTreeWidgetItem* item = currentItem();
    if (item != nullptr && item->parent() != nullptr) {
        setCurrentItem(item->parent());
    }
}

// --- copying ------------------------------------------------------------------------

QTreeWidgetItem* CFileTreeCtrl::CopyTreeItem(QTreeWidgetItem* item, QTreeWidgetItem* newParent,
                                             QTreeWidgetItem* after) {
    const CFileTreeCtrlItemInfo* info = InfoOfItem(item);
    if (info == nullptr || newParent == nullptr) {
        return nullptr;
    }
    auto* copy = new FileTreeItem(this, *info);
    copy->setText(0, item->text(0));
    copy->setIcon(0, item->icon(0));
    copy->openIcon = OpenIconOfItem(item);
    copy->setFlags(item->flags());
    copy->setChildIndicatorPolicy(HasChildIndicator(item) ? QTreeWidgetItem::ShowIndicator
                                                          : QTreeWidgetItem::DontShowIndicator);
    const int index =
        after == nullptr ? newParent->childCount() : newParent->indexOfChild(after) + 1;
    newParent->insertChild(index < 0 ? newParent->childCount() : index, copy);
    return copy;
}

QTreeWidgetItem* CFileTreeCtrl::CopyTreeBranch(QTreeWidgetItem* item, QTreeWidgetItem* newParent,
                                               QTreeWidgetItem* after) {
    // Inside itself the copy would meet its own children while copying them.
    for (QTreeWidgetItem* at = newParent; at != nullptr; at = at->parent()) {
        if (at == item) {
            return nullptr;
        }
    }
    QTreeWidgetItem* copy = CopyTreeItem(item, newParent, after);
    for (int i = 0; copy != nullptr && i < item->childCount(); ++i) {
        CopyTreeBranch(item->child(i), copy, nullptr);
    }
    return copy;
}

// --- keys and mouse ----------------------------------------------------------------------

void CFileTreeCtrl::keyPressEvent(QKeyEvent* event) {
    if (state() == QAbstractItemView::EditingState) {
        QTreeWidget::keyPressEvent(event);
        return;
    }
    const bool alt = (event->modifiers() & Qt::AltModifier) != 0;
    QTreeWidgetItem* item = currentItem();
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (alt) {
            ShowItemProperties(item);
        } else {
            OpenItem(item);
        }
        return;
    case Qt::Key_Delete:
        DeleteItemFromDisk(item);
        return;
    case Qt::Key_F2:
        BeginRename(item);
        return;
    case Qt::Key_F5:
        Reload();
        return;
    case Qt::Key_Backspace:
        GoToParent();
        return;
    case Qt::Key_Left:
    case Qt::Key_Right:
        if (alt) {
            if (event->key() == Qt::Key_Left) {
                GoBack();
            } else {
                GoForward();
            }
            return;
        }
        break;
    default:
        break;
    }
    QTreeWidget::keyPressEvent(event);
}

void CFileTreeCtrl::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        QTreeWidgetItem* item = itemAt(event->position().toPoint());
        // Off every item: nothing is selected, so the menu's commands find
        // no item to act on.
        setCurrentItem(item);
        event->accept();
        return;
    }
    QTreeWidget::mousePressEvent(event);
}

void CFileTreeCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
    QTreeWidgetItem* item = itemAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && item != nullptr && item == currentItem() &&
        !HasChildIndicator(item)) {
        OpenItem(item);
        event->accept();
        return;
    }
    QTreeWidget::mouseDoubleClickEvent(event);
}

} // namespace zorvane
