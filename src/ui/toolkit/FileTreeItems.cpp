// The folder tree's items: which entries are shown, creating and sorting
// items, listing folders, drives and mounts, the background child probe,
// expanding and collapsing, and copying items.

#include "FileTreeCtrl.h"

#include "platform/DisplayText.h"
#include "platform/FileIcons.h"
#include "platform/Shell.h"
#include "ui/toolkit/FileTreeHelpers.h"
#include "ui/toolkit/FileTreeItem.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <fnmatch.h>

namespace zorvane {

using namespace Qt::Literals::StringLiterals;
using namespace filetree;

namespace {

// How long a listing on a network or removable volume may keep the window
// waiting before the folder is shown as unreadable.
constexpr int kSlowListingTimeoutMs = 3000;

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

// The record of a folder's entry, below the folder's path and native path.
CFileTreeCtrlItemInfo EntryRecord(TreeNodeKind kind, const QString& folder,
                                  const QByteArray& native, const NativeEntry& entry, bool slow) {
    CFileTreeCtrlItemInfo record;
    record.kind = kind;
    record.displayName = QFile::decodeName(entry.name);
    record.path = JoinPath(folder, record.displayName);
    record.nativePath = JoinNative(native, entry.name);
    record.slowVolume = slow;
    return record;
}

} // namespace

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
        AddFolderEntries(parent, path, native, slow, entries, added);
        AddFileEntries(path, native, slow, entries, added);
    }
    const bool none = added.isEmpty();
    SortChildren(parent, std::move(added));
    if (none && parent != m_topItem) {
        SetChildIndicator(parent, parent->childCount() > 0);
    }
    --m_quiet;
}

void CFileTreeCtrl::AddFolderEntries(QTreeWidgetItem* parent, const QString& path,
                                     const QByteArray& native, bool slow,
                                     const std::vector<NativeEntry>& entries,
                                     QList<QTreeWidgetItem*>& added) {
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
        const CFileTreeCtrlItemInfo record = EntryRecord(FolderNode, path, native, entry, slow);
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
}

void CFileTreeCtrl::AddFileEntries(const QString& path, const QByteArray& native, bool slow,
                                   const std::vector<NativeEntry>& entries,
                                   QList<QTreeWidgetItem*>& added) {
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
            const CFileTreeCtrlItemInfo record = EntryRecord(FileNode, path, native, entry, slow);
            const QIcon icon = IconOfPath(record.path);
            // A file has no children: no need to try listing it.
            QTreeWidgetItem* item = MakeItem(record, false, icon, icon, false);
            item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
            added.append(item);
        }
    }
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

} // namespace zorvane
