// Finding paths in the folder tree and selecting them, expanding whole
// branches, and the back/forward history of selections.

#include "FileTreeCtrl.h"

#include "platform/Shell.h"
#include "ui/toolkit/FileTreeHelpers.h"
#include "ui/toolkit/FileTreeItem.h"

#include <algorithm>
#include <functional>

namespace zorvane {

using namespace filetree;

namespace {

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

} // namespace

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

} // namespace zorvane
