#pragma once

#include "engine/StageThread.h"

#include <QFileInfo>
#include <QHash>
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QToolBar;
class QTreeWidgetItem;

namespace zorvane {

class CConvProg;
class CFileTreeCtrl;
class CMyDropTarget;
class CProcessing;
class CReportCtrl;
class CSSplitter;
class EngineContext;
class FileActions;
class InfoReader;
class LoaderChannel;
class MessageSink;
class ProfileStore;
class SettingsStore;
class Shell;
class TaskbarProgress;
class WindowPlacementStore;
struct LoadedRow;
struct MediaFileInfo;

// The command numbers of the main window's menus, toolbar and accelerators.
enum MainCommand : int {
    CmdAddFiles = 32861,
    CmdAddFolder = 32862,
    CmdAddFolderRecursive = 32890,
    CmdExit = 32869,
    CmdOpen = 32780,
    CmdOpenContainingFolder = 32782,
    CmdRenameFile = 32853,
    CmdSelectAll = 32823,
    CmdSelectNone = 32833,
    CmdReverseSelect = 32835,
    CmdSelectNext = 32837,
    CmdMoveUp = 32791,
    CmdMoveDown = 32792,
    CmdMoveToTop = 32790,
    CmdMoveToBottom = 32789,
    CmdRemoveSelected = 32788,
    CmdRemoveDead = 32831,
    CmdRemoveDuplicates = 32829,
    CmdRemoveAll = 32795,
    CmdDeleteFiles = 32817,
    CmdProperties = 32855,
    CmdToggleTree = 32891,
    CmdConvert = 32874,
    CmdConvertSelected = 32873,
    CmdOptions = 32875,
    CmdHelpContent = 32884,
    CmdDownload = 32886,
    CmdEmailSupport = 32887,
    CmdOnlineSupport = 32888,
    CmdAbout = 32889,
    // The folder tree's menu.
    CmdTreeRefresh = 32772,
    CmdTreeGoUp = 32774,
    CmdTreeGoBack = 32778,
    CmdTreeGoForward = 32777,
    CmdTreeExpand = 32900,
    CmdTreeOpen = 32807,
    CmdTreeCreateFolder = 32811,
    CmdTreeRename = 32814,
    CmdTreeDelete = 32815,
    CmdTreeProperties = 32809,
};

// The maker's addresses, opened by the Help commands and the About box.
inline constexpr const char16_t* kProductWebAddress = u"https://www.quenlor.com/zorvane/";
inline constexpr const char16_t* kDownloadAddress = u"https://www.quenlor.com/zorvane/download/";
inline constexpr const char16_t* kSupportMailAddress = u"support@quenlor.com";
inline constexpr const char16_t* kSupportWebAddress = u"https://www.quenlor.com/zorvane/support/";

// Zorvane's main window: the folder tree beside the file list, the menus,
// toolbar and three-pane status bar, the loading of files into the list (on
// one loader thread), the commands on the list's rows, and Convert.
//
// Threads: everything runs on the window's thread except the loader's
// procedures (the *Command, LoadFromTreeSelection, LoadDroppedPaths,
// ScanFolder and AddFileRow members), which run on the loader thread and
// reach the window only through `channel`. The totals and the rows are
// written on the window's thread only.
class CVELTDlg : public QMainWindow {
    Q_OBJECT
public:
    static constexpr const char16_t* kPlacementName = u"{0E7A5C93-2B61-4F08-A3D4-91C6B7E2F540}";
    static constexpr const char16_t* kTitle = u"Zorvane";
    static constexpr const char16_t* kLoadingTitle =
        u"Loading files, this may takes up to minutes, please wait...";
    static constexpr int kStatusBarHeight = 25;
    static constexpr int kRelayoutTimerMs = 3000;
    static constexpr int kTotalsTimerMs = 100;

    // What the window reaches beyond itself. The program hands in the real
    // ones; tests hand in stores in temporary folders and recording shells.
    struct Services {
        SettingsStore* settings = nullptr;
        ProfileStore* profile = nullptr;
        EngineContext* engine = nullptr;
        Shell* shell = nullptr;
        FileActions* fileActions = nullptr;
        TaskbarProgress* taskbar = nullptr; // may be null
    };

    explicit CVELTDlg(const Services& services, QWidget* parent = nullptr);
    ~CVELTDlg() override;

    // Runs the initialisation steps; the program calls it once before show().
    // With `startPaths` (files named on the command line) the last folder is
    // selected in the tree without loading it, so that those files make the
    // list.
    void Initialise(const QStringList& startPaths = {});

    // --- Status bar ---------------------------------------------------------
    void UpdateTotalsPane();
    void UpdateSelectionPane();
    void ShowSettingsSummary();
    QString PaneText(int pane) const;
    QString PaneToolTip(int pane) const;
    void SetPaneText(int pane, const QString& text, const QString& toolTip);
    // Pane 0's text and tool tip from the totals, nothing else refreshed.
    void ShowTotalsText();
    // "%d file(s)   %.2f MB   %02d:%02d:%02d", or "No file".
    static QString TotalsText(int files, double sizeMB, double seconds);

    // --- Commands -------------------------------------------------------------
    // Runs a command of the command table as a menu, key or button does.
    void RunCommand(int command);
    QAction* CommandAction(int command) const;
    QToolBar* ToolBar() const { return toolBar; }
    QMenu* ListContextMenu() const { return listMenu; }
    QMenu* TreeContextMenu() const { return treeMenu; }

    // --- Loading files (loader thread procedures run through StartLoader) ---
    // Ends the previous load (asks it to stop, waits for it while serving its
    // calls) and runs `procedure` on a new loader thread.
    void StartLoader(std::function<void()> procedure);
    // Asks a running load to stop and waits for it to end.
    void StopLoader();
    bool IsLoading() const { return loadRunning.load() != 0; }
    // The load has ended: its thread is done and all it handed over is
    // carried out (or no load was started).
    bool LoaderFinished() const;
    void AddFilesCommand(const QStringList& paths);
    void AddFolderCommand(const QString& folder, bool includeSubfolders);
    void LoadFromTreeSelection(const QString& folder, bool append, bool recursive);
    void LoadDroppedPaths(const QStringList& paths);
    // Files handed in from outside (the command line, a later copy): added
    // as a drop of them is, leaving out those already listed.
    void AddOutsidePaths(const QStringList& paths);
    bool ScanFolder(const QString& folder, bool recursive);
    void AddFileRow(const QFileInfo& file);
    void BeginLoading(bool showProcessingAtOnce);
    void EndLoading();
    // The status texts of a load's end; `sort` also sorts by the history.
    void FinishLoad(bool sort);
    CProcessing* ProcessingDialog() const { return processingDialog; }

    // --- File list commands ---------------------------------------------------
    void OnOpen();
    void OnOpenContainingFolder();
    void OnRenameFile();
    void OnProperties();
    void OnSelectAll();
    void OnSelectNone();
    void OnReverseSelect();
    void OnSelectNext();
    void OnMoveUp();
    void OnMoveDown();
    void OnMoveToTop();
    void OnMoveToBottom();
    void OnRemoveSelected();
    void OnRemoveDead();
    void OnRemoveDuplicates();
    void OnRemoveAll();
    void OnDeleteFiles();
    // The in-place edit of a Name cell was committed with a new text.
    void OnCellEdited(int row, int column);
    // Builds the tasks of all rows (or of the selected ones) and runs the
    // progress window over them.
    void BuildTasks(bool selectedOnly);
    // The full path of a row's file: its Path text followed by its Name text.
    QString RowPath(int row) const;
    // Takes a row out of the list and its sizes out of the totals.
    void RemoveRow(int row);
    // Removes the rows (from the top, each once) in one pass of the list.
    void RemoveRows(const std::vector<int>& rows);
    // Takes the row's record out of the totals and frees it; the row stays,
    // pointing at nothing.
    void ForgetRecord(int row);
    // Frees every row's record, deletes the rows and clears the totals.
    void FreeAllRows();

    // --- Parts ------------------------------------------------------------------
    CFileTreeCtrl* FolderTree() const { return folderTree; }
    CReportCtrl* FileList() const { return fileList; }
    CSSplitter* Splitter() const { return splitter; }
    int FileCount() const { return fileCount; }
    double TotalSizeMB() const { return totalSizeMB; }
    double TotalDurationSeconds() const { return totalDurationSeconds; }
    std::atomic<int32_t>& LoadRunningFlag() { return loadRunning; }
    std::atomic<int32_t>& ListBusyFlag() { return listBusy; }
    const Services& Env() const { return services; }

protected:
    // Every message box of the window, the loader's included (those run on
    // the window's thread on the loader's behalf). Tests answer them.
    virtual QMessageBox::StandardButton
    ShowMessage(QMessageBox::Icon icon, const QString& caption, const QString& text,
                QMessageBox::StandardButtons buttons = QMessageBox::Ok);
    // The info reader's "Trouble with mpg123" during a load, naming `file`:
    // a box with a check box that spares the user the rest of this load's
    // boxes. Returns whether that box was checked.
    virtual bool ShowLoaderTrouble(const QString& text, const QString& file);
    // The pickers of Add File(s) and Add Folder; empty when cancelled.
    virtual QStringList AskFilesToAdd();
    virtual QString AskFolderToAdd(bool includeSubfolders);
    // The keys held down when the tree's selection changes.
    virtual Qt::KeyboardModifiers KeyboardModifiers() const;
    // Runs the Options dialog; runs the progress window over the built tasks.
    virtual void RunOptionsDialog();
    virtual void RunAboutBox();
    // The progress window, run modally over the tasks that BuildTasks put
    // into `window`'s state. Tests may run it to its end without a person.
    virtual void RunConversion(CConvProg& window);

    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    void CreatePanes();
    void RelayoutBars();
    void OnTreeSelectionMoved(QTreeWidgetItem* item, const QString& path);
    void OnTreeContextMenu(const QPoint& position);
    void OnListContextMenu(const QPoint& position);
    void OnListDoubleClick();
    void OnSelectionChanged();
    void OnListSorted(int column, bool ascending);
    void OnDroppedPaths(const QStringList& paths);
    void OnAddFilesCommand();
    void OnAddFolderCommand(bool includeSubfolders);
    void OpenHelpPage();
    void OpenAddress(const QString& address);
    void ToggleTree();
    void StartDragOut();
    void DrainChannel();
    // The common start and end of a load (files or folders): the loading
    // state on the window's thread; the scan with any failure caught; the
    // messages (an error unless `read`) and FinishLoad after it.
    void BeginListLoad();
    bool ScanFolderGuarded(const QString& folder, bool recursive);
    void EndListLoad(bool read);
    void SaveOnClose();
    // The row's record, appended on the window's thread with its cells.
    void AppendLoadedRow(LoadedRow&& row);

    Services services;
    CFileTreeCtrl* folderTree = nullptr;
    CReportCtrl* fileList = nullptr;
    CSSplitter* splitter = nullptr;
    QToolBar* toolBar = nullptr;
    QLabel* panes[3] = {nullptr, nullptr, nullptr};
    QMenu* listMenu = nullptr;
    QMenu* treeMenu = nullptr;
    QAction* toggleTreeAction = nullptr;
    QHash<int, QAction*> actions;
    CMyDropTarget* dropTarget = nullptr;
    CProcessing* processingDialog = nullptr;
    std::unique_ptr<WindowPlacementStore> placement;
    std::unique_ptr<MessageSink> loaderMessages;
    std::unique_ptr<InfoReader> infoReader;
    std::unique_ptr<LoaderChannel> channel;

    QStringList scanExtensions;
    int32_t fileCount = 0;
    double totalSizeMB = 0.0;
    double totalDurationSeconds = 0.0;
    std::atomic<int32_t> loadRunning{0};
    std::atomic<int32_t> listBusy{0};
    // The file the loader is reading: written by the loader before it reads,
    // read by the window's thread while the loader waits for a box.
    QString readingPath;
    // Set by ShowLoaderTrouble's check box; cleared when a load begins.
    std::atomic<int32_t> troubleSilenced{0};
    int32_t closing = 0;
    StageThread loadThread;
    // Icons of the first column by the freedesktop icon name of the file type.
    QHash<QString, int> iconIndexByName;
    int relayoutTimer = 0;
    int totalsTimer = 0;
};

} // namespace zorvane
