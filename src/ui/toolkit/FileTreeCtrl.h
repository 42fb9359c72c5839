#pragma once

#include "platform/ShellPlaces.h"

#include <QColor>
#include <QEvent>
#include <QHash>
#include <QIcon>
#include <QList>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <QTreeWidget>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QThread;

namespace zorvane {

class Shell;
class FileTreeWatcher;

enum TreeNodeKind : std::uint8_t {
    DesktopNode = 0,
    NetworkNode = 1,
    DocumentsNode = 2,
    ComputerNode = 3,
    ProfileNode = 4,
    FileNode = 5,
    FolderNode = 6,
    DriveNode = 7,
    UnsetNode = 8,
};

// The record behind every item. Copies are deep: the volume description is a
// value.
class CFileTreeCtrlItemInfo {
public:
    virtual ~CFileTreeCtrlItemInfo() = default;

    QString path;        // shown and matched; empty for Computer and Network
    QString displayName; // the name path components are matched against
    // The mount behind items that came from the network or volume listing.
    std::optional<Volume> netResource;
    TreeNodeKind kind = UnsetNode;
    bool shownWithoutExtension = false;

    // The path's exact bytes: a name that is not valid UTF-8 is shown decoded
    // but every file operation must reach the real file.
    QByteArray nativePath;
    // On a network or removable volume: never probed for children, and
    // listed with a bound on the wait, so a dead mount cannot freeze us.
    bool slowVolume = false;
};

// A shell-style folder tree: the desktop's places, the mounted volumes and
// network mounts, and the folders below them, each branch read when it is
// first opened and dropped when it is closed. Keeps a back/forward history
// of selections and can open, rename, delete and create folders.
class CFileTreeCtrl : public QTreeWidget {
    Q_OBJECT

public:
    // File attribute bits of the hide masks. Only "hidden" (a name that starts
    // with ".") means anything on Linux; the others are kept for the masks'
    // sake.
    static constexpr unsigned kAttributeHidden = 0x2;
    static constexpr unsigned kAttributeSystem = 0x4;
    static constexpr unsigned kAttributeTemporary = 0x100;
    static constexpr unsigned kAttributeOffline = 0x1000;
    static constexpr unsigned kDefaultHiddenAttributes = 0x1106;

    explicit CFileTreeCtrl(QWidget* parent = nullptr);
    ~CFileTreeCtrl() override;

    // Where places, volumes and shares come from, and how items are opened;
    // both default to the real desktop.
    void SetPlacesSource(std::unique_ptr<TreePlacesSource> source);
    void SetShell(std::unique_ptr<Shell> shell);

    // Options.
    QString RootFolder;
    bool RootFolderAsItem = false;
    std::atomic<bool> FilesVisible{true};
    bool DesktopItemShown = true;
    bool ComputerItemShown = true;
    bool DocumentsItemShown = false; // the newer shells' layout
    bool ProfileItemShown = true;
    bool NetworkShown = true;
    bool SharedOverlayShown = true;
    bool RenameEnabled = false;
    bool OpenEnabled = true;
    bool PropertiesEnabled = true;
    bool DeleteEnabled = false;
    bool CreateFolderEnabled = false;
    unsigned HiddenDriveTypes = 0;
    unsigned HiddenFileAttributes = kDefaultHiddenAttributes;
    unsigned HiddenFolderAttributes = kDefaultHiddenAttributes;
    QStringList FileFilters{QStringLiteral("*.*")};
    QColor CompressedColour{0, 0, 255};
    bool CompressedColoured = true;
    QColor EncryptedColour{255, 0, 0};
    bool EncryptedColoured = true;
    int NameDisplayMode = 2;
    int NetworkResourceType = 0;
    bool ShellDriveNames = true;
    std::atomic<bool> WatchEnabled{false};
    // How long a listing may spend probing its new folders for subfolders
    // before the rest are probed on a worker thread, their expand buttons
    // shown until the answers come: a branch of thousands of folders on a
    // busy disk must not stop the window.
    int InlineProbeBudgetMs = 150;

    // Operations the rest of the program calls.
    QTreeWidgetItem* SelectPath(const QString& path, bool expand);
    QString SelectedPath() const;
    void ExpandBranch(QTreeWidgetItem* item);
    void SetFilesVisible(bool visible);
    void SetHiddenFileAttributes(unsigned mask);

    CFileTreeCtrlItemInfo* InfoOfItem(QTreeWidgetItem* item) const;
    QTreeWidgetItem* TopItem() const { return m_topItem; }
    QTreeWidgetItem* DesktopItem() const { return m_desktopItem; }
    QTreeWidgetItem* DocumentsItem() const { return m_documentsItem; }
    QTreeWidgetItem* ProfileItem() const { return m_profileItem; }
    QTreeWidgetItem* ComputerItem() const { return m_computerItem; }
    QTreeWidgetItem* NetworkItem() const { return m_networkItem; }
    QTreeWidgetItem* RootFolderItem() const { return m_rootFolderItem; }
    bool HasChildIndicator(QTreeWidgetItem* item) const;
    int BackCount() const { return int(m_back.size()); }
    int ForwardCount() const { return int(m_forward.size()); }

    // The overridable operations.
    virtual QString PathOfItem(QTreeWidgetItem* item) const;
    virtual QTreeWidgetItem* ItemForPath(const QString& path) const;
    virtual bool PathIsFile(const QString& path) const;
    virtual bool ItemIsFile(QTreeWidgetItem* item) const;
    virtual bool PathIsFolder(const QString& path) const;
    virtual bool ItemIsFolder(QTreeWidgetItem* item) const;
    virtual bool PathIsDriveRoot(const QString& path) const;
    virtual bool ItemIsDrive(QTreeWidgetItem* item) const;
    virtual bool PathIsCompressed(const QString& path) const;
    virtual bool ItemIsCompressed(QTreeWidgetItem* item) const;
    virtual bool PathIsEncrypted(const QString& path) const;
    virtual bool ItemIsEncrypted(QTreeWidgetItem* item) const;
    virtual bool PathIsShared(const QString& path) const;
    virtual bool BeginRename(QTreeWidgetItem* item);
    virtual bool ShowItemProperties(QTreeWidgetItem* item);
    virtual bool DeleteItemFromDisk(QTreeWidgetItem* item);
    virtual bool OpenItem(QTreeWidgetItem* item);
    virtual QTreeWidgetItem* CreateChildFolder(QTreeWidgetItem* item, const QString& folderPath);
    virtual void AttachImagesAndFill();
    virtual void GoToParent();
    virtual void Reload();
    virtual bool GoBack();
    virtual bool BackAvailable() const;
    virtual bool GoForward();
    virtual bool ForwardAvailable() const;
    virtual int HistoryLimit() const;
    virtual void SetHistoryLimit(int limit);
    virtual void ListFolderChildren(const QString& path, QTreeWidgetItem* parent,
                                    bool suppressRedraw, bool replaceExisting);
    virtual void ListDriveItems(QTreeWidgetItem* parent, bool suppressRedraw);
    virtual QIcon IconOfItem(QTreeWidgetItem* item) const;
    virtual QIcon IconOfPath(const QString& path) const;
    virtual QIcon OpenIconOfItem(QTreeWidgetItem* item) const;
    virtual QIcon OpenIconOfPath(const QString& path) const;
    virtual bool HasVisibleChildren(const QString& path) const;
    virtual bool HasChildWithLabel(QTreeWidgetItem* item, const QString& text) const;
    virtual QTreeWidgetItem* AddTreeItem(QTreeWidgetItem* parent,
                                         const CFileTreeCtrlItemInfo& record, bool shared,
                                         const QIcon& image, const QIcon& openImage,
                                         bool probeChildren);
    virtual QTreeWidgetItem* FindChildByName(QTreeWidgetItem* parent, const QString& name) const;
    virtual bool PathIsRemovableRoot(const QString& path) const;
    virtual QTreeWidgetItem* CopyTreeItem(QTreeWidgetItem* item, QTreeWidgetItem* newParent,
                                          QTreeWidgetItem* after);
    virtual QTreeWidgetItem* CopyTreeBranch(QTreeWidgetItem* item, QTreeWidgetItem* newParent,
                                            QTreeWidgetItem* after);
    virtual bool FileIsVisible(const NativeEntry& entry) const;
    virtual bool FolderIsVisible(const NativeEntry& entry) const;
    virtual bool DriveIsVisible(const Volume& drive) const;
    virtual bool NetworkItemIsVisible(const CFileTreeCtrlItemInfo& record) const;
    virtual bool PathIsWatchable(const QString& path) const;
    virtual void StartWatching(const QString& path);
    virtual void StopWatching();
    virtual bool ReadVolumeSerial(const QString& driveRoot, quint64* serial) const;
    virtual bool DriveHasMedia(const QString& path) const;
    virtual void OnSelectionMoved(QTreeWidgetItem* item, const QString& path);
    virtual bool ListNetworkChildren(QTreeWidgetItem* parent);
    virtual QString DriveDisplayName(const QString& driveRoot) const;
    virtual QString NextNewFolderName(const QString& parentPath) const;
    virtual void AddRootItems();

    bool IsWatching() const { return m_watchThread != nullptr; }
    QString WatchedPath() const { return m_watchedPath; }

    // The posted event type by which the watch asks for a reload.
    static int UpdateChangeEventType();

signals:
    // The selection moved to an item (null when cleared); `path` is its path.
    void selectionMoved(QTreeWidgetItem* item, const QString& path);
    void itemExpanding(QTreeWidgetItem* item);
    void labelEdited(QTreeWidgetItem* item, const QString& text);

protected:
    // The confirmation and messages the desktop's file manager would show;
    // tests answer them.
    virtual bool ConfirmDelete(const QString& path, bool permanent);
    virtual void ShowMessage(const QString& text);
    virtual bool ShiftHeld() const;
    // The properties window of our own, when no file manager shows one.
    virtual void ShowOwnProperties(const CFileTreeCtrlItemInfo& record);

    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    friend class FileTreeItem;
    friend class FileTreeLabelDelegate;

    void OnCurrentItemChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous);
    void OnItemExpanded(QTreeWidgetItem* item);
    void OnItemCollapsed(QTreeWidgetItem* item);
    void OnEndLabelEdit(QTreeWidgetItem* item, const QString& text);
    void RemoveVanished(quint64 serial);
    void PopulateItem(QTreeWidgetItem* item);
    void LoadAndExpand(QTreeWidgetItem* item);
    void SetChildIndicator(QTreeWidgetItem* item, bool shown);
    void SortChildren(QTreeWidgetItem* parent, QList<QTreeWidgetItem*> added);
    // The two halves of a folder's listing: its visible subfolders (probed
    // for children inline while the budget lasts, then in the background)
    // and its files matching the filters.
    void AddFolderEntries(QTreeWidgetItem* parent, const QString& path, const QByteArray& native,
                          bool slow, const std::vector<NativeEntry>& entries,
                          QList<QTreeWidgetItem*>& added);
    void AddFileEntries(const QString& path, const QByteArray& native, bool slow,
                        const std::vector<NativeEntry>& entries, QList<QTreeWidgetItem*>& added);
    QTreeWidgetItem* MakeItem(const CFileTreeCtrlItemInfo& record, bool shared, const QIcon& image,
                              const QIcon& openImage, bool probeChildren);
    QTreeWidgetItem* WalkComponents(QTreeWidgetItem* start, const QString& rest, bool load,
                                    QTreeWidgetItem** deepest) const;
    QTreeWidgetItem* StartItemForPath(const QString& path, bool load, QString* rest);
    QTreeWidgetItem* FindByPathBelow(QTreeWidgetItem* parent, const QString& path) const;
    bool IsSpecialItem(QTreeWidgetItem* item) const;
    QTreeWidgetItem* LiveItem(quint64 serial) const;
    quint64 SerialOf(QTreeWidgetItem* item) const;
    void ExpandBranchGuarded(QTreeWidgetItem* item, QList<QPair<quint64, quint64>>& branch);
    void DeleteItem(QTreeWidgetItem* item);
    QIcon SharedIcon(const QIcon& base) const;
    QByteArray NativeOf(QTreeWidgetItem* item) const;
    void ProbeInBackground(QTreeWidgetItem* parent,
                           std::vector<std::pair<quint64, QByteArray>> folders);
    void ApplyProbeResults(const std::vector<std::pair<quint64, bool>>& results);
    void CancelProbes(QTreeWidgetItem* parent);

    std::unique_ptr<TreePlacesSource> m_places;
    std::unique_ptr<Shell> m_shell;
    ShellPlaces m_placesNow;
    QList<Volume> m_drives;
    QStringList m_shares;

    QTreeWidgetItem* m_topItem = nullptr;
    QTreeWidgetItem* m_desktopItem = nullptr;
    QTreeWidgetItem* m_documentsItem = nullptr;
    QTreeWidgetItem* m_profileItem = nullptr;
    QTreeWidgetItem* m_computerItem = nullptr;
    QTreeWidgetItem* m_networkItem = nullptr;
    QTreeWidgetItem* m_rootFolderItem = nullptr;
    QString m_desktopPath;
    QString m_profilePath;
    QString m_documentsPath;

    // Moves one step through the history: to the newest live entry of
    // `from`, leaving the item it comes from as the newest entry of `to`.
    bool StepHistory(QList<quint64>& from, QList<quint64>& to);
    // Deletes a branch's loaded children (and their pending probes), moving a
    // selection inside it up to the branch first.
    void DropChildren(QTreeWidgetItem* item);

    // History entries are serial numbers, looked up among the live items, so
    // an entry whose item was deleted is never dereferenced.
    QList<quint64> m_back;
    QList<quint64> m_forward;
    int m_historyLimit = 20;
    bool m_navigating = false;
    QHash<quint64, QTreeWidgetItem*> m_live;
    quint64 m_nextSerial = 1;
    int m_quiet = 0; // collapse/expand signals we cause ourselves
    bool m_inExpandBranch = false;

    QString m_watchedPath;
    QThread* m_watchThread = nullptr;
    FileTreeWatcher* m_watcher = nullptr;

    QThreadPool m_probePool;
    QHash<quint64, std::shared_ptr<std::atomic<bool>>> m_probeCancels; // by parent serial

    mutable QHash<QString, QIcon> m_iconCache;
    mutable QHash<qint64, QIcon> m_sharedIconCache;
};

} // namespace zorvane
