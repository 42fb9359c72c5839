#include "VELTDlg.h"

#include "AboutDlg.h"
#include "AppResources.h"
#include "LoaderChannel.h"
#include "Processing.h"

#include "engine/EngineContext.h"
#include "filelist/FileListColumns.h"
#include "filelist/InfoReader.h"
#include "filelist/ReportCtrl.h"
#include "platform/DisplayText.h"
#include "platform/MessageSink.h"
#include "platform/ProfileStore.h"
#include "platform/Shell.h"
#include "platform/TaskbarProgress.h"
#include "settings/OptionDlg.h"
#include "settings/SettingsStore.h"
#include "ui/progress/ConvProg.h"
#include "ui/toolkit/DialogUnits.h"
#include "ui/toolkit/FileTreeCtrl.h"
#include "ui/toolkit/MyDropTarget.h"
#include "ui/toolkit/SSplitter.h"
#include "ui/toolkit/WindowPlacementStore.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QStatusBar>
#include <QTimerEvent>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <functional>
#include <utility>
#include <vector>

namespace zorvane {

namespace {

using namespace Qt::StringLiterals;

// The window's size before any placement is stored, in dialog units.
constexpr int kWidthDu = 601;
constexpr int kHeightDu = 388;

// Keys the folder tree takes for itself while it has the focus, before the
// window's accelerators see them.
bool TreeTakesKey(const QKeyEvent* key) {
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    switch (key->key()) {
    case Qt::Key_Delete: // Shift+Delete deletes for good instead of to the trash
        return mods == Qt::NoModifier || mods == Qt::ShiftModifier;
    case Qt::Key_F2:
    case Qt::Key_F5:
    case Qt::Key_Backspace:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return mods == Qt::NoModifier || mods == Qt::AltModifier;
    default:
        return false;
    }
}

// The window's first size is the dialog's, in the font's units; a first
// start then maximises it (restoring goes back to that size).
void PlaceWindow(QMainWindow& window, WindowPlacementStore& placement) {
    const DialogUnits units(window.font());
    window.setMinimumSize(units.X(300), units.Y(200));
    window.resize(units.X(kWidthDu), units.Y(kHeightDu));
    if (!placement.RestorePlacement(&window, QString::fromUtf16(CVELTDlg::kPlacementName),
                                    u"Position"_s)) {
        window.setWindowState(window.windowState() | Qt::WindowMaximized);
    }
}

} // namespace

CVELTDlg::CVELTDlg(const Services& given, QWidget* parent)
    : QMainWindow(parent), services(given),
      placement(std::make_unique<WindowPlacementStore>(&services.profile->Settings())),
      channel(std::make_unique<LoaderChannel>()) {
    setWindowTitle(QString::fromUtf16(kTitle));
    setObjectName(u"MainWindow"_s);
}

CVELTDlg::~CVELTDlg() {
    // A window destroyed without its close (a test, an early exit) still
    // ends its loader cooperatively before the rows it writes to go away.
    loadRunning = 0;
    StopLoader();
    if (fileList != nullptr) {
        FreeAllRows();
    }
}

void CVELTDlg::Initialise(const QStringList& startPaths) {
    setWindowIcon(AppIcon());
    processingDialog = new CProcessing(this);
    processingDialog->SetStopFlags(&listBusy, &loadRunning);
    processingDialog->hide();

    closing = 0;

    services.settings->InitSettingsPaths();

    // The reader's boxes are shown on the window's thread while the loader
    // waits, unless the load is stopping or the user silenced them.
    loaderMessages = std::make_unique<LoaderMessageSink>(
        *channel, [this] { return loadRunning.load() == 1 && troubleSilenced.load() == 0; },
        [this](const QString& text) {
            if (ShowLoaderTrouble(text, readingPath)) {
                troubleSilenced = 1;
            }
        });
    infoReader = std::make_unique<InfoReader>(*loaderMessages);
    channel->SetDrainRequestHandler([this] { DrainChannel(); });
    if (!services.engine->IsValid()) {
        ShowMessage(QMessageBox::Critical, u"Fatal Error"_s,
                    u"Trouble with mpg123: %1"_s.arg(services.engine->InitError()));
    }

    CreateStatusBar();
    CreateActions();
    CreateMenus();
    CreateToolBar();
    loadRunning = 0;
    CreatePanes();

    scanExtensions = {u"MP3"_s};
    totalSizeMB = 0.0;
    totalDurationSeconds = 0.0;
    fileCount = 0;
    UpdateTotalsPane();

    // Selecting the last folder loads it, unless files named at start are
    // to make the list.
    auto connectTree = [this] {
        connect(folderTree, &CFileTreeCtrl::selectionMoved, this, &CVELTDlg::OnTreeSelectionMoved);
    };
    if (startPaths.isEmpty()) {
        connectTree();
    }
    const QString lastFolder = services.settings->settings.lastFolder;
    if (!lastFolder.isEmpty() && QFileInfo(lastFolder).isDir()) {
        folderTree->SelectPath(lastFolder, false);
    } else if (folderTree->ComputerItem() != nullptr) {
        folderTree->setCurrentItem(folderTree->ComputerItem());
    }
    if (!startPaths.isEmpty()) {
        connectTree();
    }

    PlaceWindow(*this, *placement);

    dropTarget = new CMyDropTarget(
        fileList,
        [this] {
            QStringList listed;
            listed.reserve(fileList->RowCount());
            for (int row = 0; row < fileList->RowCount(); ++row) {
                listed << RowPath(row);
            }
            return listed;
        },
        this);
    dropTarget->SetOwner(this);
    dropTarget->Register(this);

    ShowSettingsSummary();
    relayoutTimer = startTimer(kRelayoutTimerMs);
}

// --- Status bar -------------------------------------------------------------------------

QString CVELTDlg::TotalsText(int files, double sizeMB, double seconds) {
    if (files == 0) {
        return u"No file"_s;
    }
    return QString::asprintf("%d file(s)   %.2f MB   ", files, sizeMB) + HmsText(seconds);
}

void CVELTDlg::SetPaneText(int pane, const QString& text, const QString& toolTip) {
    if (pane < 0 || pane > 2 || panes[pane] == nullptr) {
        return;
    }
    panes[pane]->setText(text);
    panes[pane]->setToolTip(toolTip);
    panes[pane]->setAccessibleDescription(text);
}

QString CVELTDlg::PaneText(int pane) const {
    return pane >= 0 && pane <= 2 && panes[pane] != nullptr ? panes[pane]->text() : QString();
}

QString CVELTDlg::PaneToolTip(int pane) const {
    return pane >= 0 && pane <= 2 && panes[pane] != nullptr ? panes[pane]->toolTip() : QString();
}

void CVELTDlg::ShowTotalsText() {
    const QString text = TotalsText(fileCount, totalSizeMB, totalDurationSeconds);
    SetPaneText(0, text, text);
}

void CVELTDlg::UpdateTotalsPane() {
    ShowTotalsText();
    if (fileList != nullptr) {
        fileList->ApplyRowColours(false);
    }
    UpdateSelectionPane();
}

void CVELTDlg::UpdateSelectionPane() {
    if (fileList == nullptr) {
        return;
    }
    int count = 0;
    double size = 0.0;
    double seconds = 0.0;
    for (int row : fileList->SelectedRows()) {
        ++count;
        if (const MediaFileInfo* info = fileList->GetRowData(row)) {
            size += info->sizeMB;
            seconds += info->durationSeconds;
        }
    }
    const QString text =
        count == 0
            ? u"No file selected"_s
            : QString::asprintf("%d file(s) selected, %.2f MB   ", count, size) + HmsText(seconds);
    SetPaneText(1, text, text);
}

void CVELTDlg::ShowSettingsSummary() {
    const QString text = services.settings->SettingsSummaryText();
    SetPaneText(2, text, text);
}

// --- Commands -----------------------------------------------------------------------------

QAction* CVELTDlg::CommandAction(int command) const {
    return actions.value(command);
}

void CVELTDlg::RunCommand(int command) {
    QTreeWidgetItem* treeItem = folderTree != nullptr ? folderTree->currentItem() : nullptr;
    // A command missing here does nothing.
    const std::pair<int, std::function<void()>> handlers[] = {
        {CmdAddFiles, [this] { OnAddFilesCommand(); }},
        {CmdAddFolder, [this] { OnAddFolderCommand(false); }},
        {CmdAddFolderRecursive, [this] { OnAddFolderCommand(true); }},
        {CmdExit,
         [this] { QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection); }},
        {CmdOpen, [this] { OnOpen(); }},
        {CmdOpenContainingFolder, [this] { OnOpenContainingFolder(); }},
        {CmdRenameFile, [this] { OnRenameFile(); }},
        {CmdSelectAll, [this] { OnSelectAll(); }},
        {CmdSelectNone, [this] { OnSelectNone(); }},
        {CmdReverseSelect, [this] { OnReverseSelect(); }},
        {CmdSelectNext, [this] { OnSelectNext(); }},
        {CmdMoveUp, [this] { OnMoveUp(); }},
        {CmdMoveDown, [this] { OnMoveDown(); }},
        {CmdMoveToTop, [this] { OnMoveToTop(); }},
        {CmdMoveToBottom, [this] { OnMoveToBottom(); }},
        {CmdRemoveSelected, [this] { OnRemoveSelected(); }},
        {CmdRemoveDead, [this] { OnRemoveDead(); }},
        {CmdRemoveDuplicates, [this] { OnRemoveDuplicates(); }},
        {CmdRemoveAll, [this] { OnRemoveAll(); }},
        {CmdDeleteFiles, [this] { OnDeleteFiles(); }},
        {CmdProperties, [this] { OnProperties(); }},
        {CmdToggleTree, [this] { ToggleTree(); }},
        {CmdConvert, [this] { BuildTasks(false); }},
        {CmdConvertSelected, [this] { BuildTasks(true); }},
        {CmdOptions,
         [this] {
             RunOptionsDialog();
             ShowSettingsSummary();
         }},
        {CmdHelpContent, [this] { OpenHelpPage(); }},
        {CmdDownload, [this] { OpenAddress(QString::fromUtf16(kDownloadAddress)); }},
        {CmdEmailSupport,
         [this] { OpenAddress(u"mailto:"_s + QString::fromUtf16(kSupportMailAddress)); }},
        {CmdOnlineSupport, [this] { OpenAddress(QString::fromUtf16(kSupportWebAddress)); }},
        {CmdAbout, [this] { RunAboutBox(); }},
        {CmdTreeRefresh, [this] { folderTree->Reload(); }},
        {CmdTreeGoUp, [this] { folderTree->GoToParent(); }},
        {CmdTreeGoBack,
         [this] {
             if (folderTree->BackAvailable()) {
                 folderTree->GoBack();
             }
         }},
        {CmdTreeGoForward,
         [this] {
             if (folderTree->ForwardAvailable()) {
                 folderTree->GoForward();
             }
         }},
        {CmdTreeExpand,
         [this, treeItem] {
             if (treeItem != nullptr) {
                 folderTree->ExpandBranch(treeItem);
             }
         }},
        {CmdTreeOpen, [this, treeItem] { folderTree->OpenItem(treeItem); }},
        {CmdTreeCreateFolder,
         [this, treeItem] { folderTree->CreateChildFolder(treeItem, QString()); }},
        {CmdTreeRename, [this, treeItem] { folderTree->BeginRename(treeItem); }},
        {CmdTreeDelete, [this, treeItem] { folderTree->DeleteItemFromDisk(treeItem); }},
        {CmdTreeProperties, [this, treeItem] { folderTree->ShowItemProperties(treeItem); }},
    };
    for (const auto& [id, run] : handlers) {
        if (id == command) {
            run();
            return;
        }
    }
}

void CVELTDlg::ToggleTree() {
    if (splitter->IsLeftPaneShown()) {
        splitter->HideLeftPane();
    } else {
        splitter->ShowLeftPane();
    }
    toggleTreeAction->setChecked(splitter->IsLeftPaneShown());
}

void CVELTDlg::OpenHelpPage() {
    const QString page = HelpPagePath(services.settings->programFolder);
    if (!page.isEmpty()) {
        services.shell->OpenUrl(QUrl::fromLocalFile(page));
    }
}

void CVELTDlg::OpenAddress(const QString& address) {
    services.shell->OpenUrl(QUrl(address));
}

void CVELTDlg::OnTreeContextMenu(const QPoint& position) {
    // The tree selected the item under the pointer on the press already.
    toggleTreeAction->setChecked(splitter->IsLeftPaneShown());
    actions.value(CmdTreeGoBack)->setEnabled(folderTree->BackAvailable());
    actions.value(CmdTreeGoForward)->setEnabled(folderTree->ForwardAvailable());
    treeMenu->popup(folderTree->viewport()->mapToGlobal(position));
}

void CVELTDlg::OnListContextMenu(const QPoint& position) {
    // Only a row opens the menu; empty space below the rows does not.
    if (!fileList->indexAt(position).isValid()) {
        return;
    }
    listMenu->popup(fileList->viewport()->mapToGlobal(position));
}

void CVELTDlg::OnListDoubleClick() {
    if (fileList->CountRows(CReportCtrl::Selected) > 0) {
        RunCommand(CmdConvertSelected);
    }
}

void CVELTDlg::OnSelectionChanged() {
    if (loadRunning.load() == 0 && listBusy.load() == 0) {
        UpdateSelectionPane();
    }
}

void CVELTDlg::OnListSorted(int column, bool ascending) {
    for (int c = 0; c < fileList->ColumnCount(); ++c) {
        fileList->SetHeaderSortImage(c, c == column ? (ascending ? 1 : 2) : 0);
    }
}

// --- Dialogs ------------------------------------------------------------------------------

QMessageBox::StandardButton CVELTDlg::ShowMessage(QMessageBox::Icon icon, const QString& caption,
                                                  const QString& text,
                                                  QMessageBox::StandardButtons buttons) {
    QMessageBox box(icon, caption.isEmpty() ? QString::fromUtf16(kTitle) : caption, text, buttons,
                    this);
    return QMessageBox::StandardButton(box.exec());
}

void CVELTDlg::RunOptionsDialog() {
    COption dialog(
        *services.settings, [this] { ShowSettingsSummary(); }, this);
    dialog.exec();
}

void CVELTDlg::RunAboutBox() {
    CAboutDlg about(this);
    about.exec();
}

// --- Events -------------------------------------------------------------------------------

bool CVELTDlg::event(QEvent* event) {
    switch (int(event->type())) {
    case int(WM_LIST_SORTED): {
        const auto* sorted = static_cast<ListSortedEvent*>(event);
        OnListSorted(sorted->column, sorted->ascending);
        return true;
    }
    case int(WM_CELL_EDITED): {
        const auto* edited = static_cast<CellEditedEvent*>(event);
        OnCellEdited(edited->row, edited->column);
        return true;
    }
    case int(WM_DROPPED_PATHS):
        OnDroppedPaths(static_cast<DroppedPathsEvent*>(event)->paths);
        return true;
    default:
        return QMainWindow::event(event);
    }
}

bool CVELTDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == folderTree && event->type() == QEvent::ShortcutOverride &&
        TreeTakesKey(static_cast<QKeyEvent*>(event))) {
        event->accept();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void CVELTDlg::keyPressEvent(QKeyEvent* event) {
    // Enter and Escape are no commands here: the window neither closes nor
    // presses anything.
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        event->accept();
        return;
    default:
        QMainWindow::keyPressEvent(event);
    }
}

void CVELTDlg::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    RelayoutBars();
}

void CVELTDlg::timerEvent(QTimerEvent* event) {
    if (event->timerId() == relayoutTimer) {
        killTimer(relayoutTimer);
        relayoutTimer = 0;
        RelayoutBars();
    } else if (event->timerId() == totalsTimer) {
        killTimer(totalsTimer);
        totalsTimer = 0;
        ShowTotalsText();
        update();
    } else {
        QMainWindow::timerEvent(event);
    }
}

void CVELTDlg::closeEvent(QCloseEvent* event) {
    if (closing != 0) {
        event->ignore();
        return;
    }
    closing = 1;
    // The loader is asked to stop and waited for; it is never cut off in the
    // middle of a row.
    StopLoader();
    loadRunning = 1;
    SaveOnClose();
    event->accept();
}

void CVELTDlg::SaveOnClose() {
    services.settings->SaveSettings(folderTree->SelectedPath());
    placement->SavePlacement(this, QString::fromUtf16(kPlacementName), u"Position"_s);
    fileList->SaveColumnLayout(*services.profile);
    services.profile->WriteBinary(u"FileList"_s, u"ShowLeftTree"_s,
                                  QByteArray(1, splitter->IsLeftPaneShown() ? 1 : 0));
    services.profile->Flush();
    if (services.taskbar != nullptr) {
        services.taskbar->SetState(TaskbarProgress::State::None);
    }
}

} // namespace zorvane
