#include "VELTDlg.h"

#include "AboutDlg.h"
#include "AppResources.h"
#include "LoaderChannel.h"
#include "Processing.h"

#include "engine/EngineContext.h"
#include "filelist/FileListColumns.h"
#include "filelist/InfoReader.h"
#include "filelist/ReportCtrl.h"
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

#include <vector>

namespace zorvane {

namespace {

using namespace Qt::StringLiterals;

// The window's size before any placement is stored, in dialog units.
constexpr int kWidthDu = 601;
constexpr int kHeightDu = 388;

// A status bar pane: its text cut with an ellipsis when the pane is too
// narrow, instead of pushing the other panes away.
class StatusPane final : public QLabel {
public:
    explicit StatusPane(QWidget* parent) : QLabel(parent) {
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        setTextFormat(Qt::PlainText);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QRect area = contentsRect().adjusted(2, 0, -2, 0);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter,
                         fontMetrics().elidedText(text(), Qt::ElideRight, area.width()));
    }
};

struct CommandEntry {
    int id;
    const char16_t* text;
    QKeySequence key;
};

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

QString HmsText(double seconds) {
    const auto whole = seconds > 0 ? static_cast<unsigned long long>(seconds) : 0ULL;
    return QString::asprintf("%02llu:%02llu:%02llu", whole / 3600, (whole % 3600) / 60, whole % 60);
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
        for (int row = 0; row < fileList->RowCount(); ++row) {
            delete fileList->GetRowData(row);
            fileList->SetRowData(row, nullptr);
        }
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

    // The window's first size is the dialog's, in the font's units; a
    // first start then maximises it (restoring goes back to that size).
    const DialogUnits units(font());
    setMinimumSize(units.X(300), units.Y(200));
    resize(units.X(kWidthDu), units.Y(kHeightDu));
    if (!placement->RestorePlacement(this, QString::fromUtf16(kPlacementName), u"Position"_s)) {
        setWindowState(windowState() | Qt::WindowMaximized);
    }

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

// --- Building the window ------------------------------------------------------------

void CVELTDlg::CreateActions() {
    const CommandEntry entries[] = {
        {CmdAddFiles, u"Add &File(s)", QKeySequence(Qt::Key_F6)},
        {CmdAddFolder, u"Add Folder &excluding Subfolders", QKeySequence(Qt::Key_F7)},
        {CmdAddFolderRecursive, u"Add Folder &including Subfolders", QKeySequence(Qt::Key_F8)},
        {CmdExit, u"E&xit", {}},
        {CmdOpen, u"&Open", {}},
        {CmdOpenContainingFolder, u"Open &Containing Folder", {}},
        {CmdRenameFile, u"&Rename File", QKeySequence(Qt::Key_F2)},
        {CmdSelectAll, u"Select &All", QKeySequence(Qt::CTRL | Qt::Key_A)},
        {CmdSelectNone, u"Select &None", {}},
        {CmdReverseSelect, u"Re&verse Select", {}},
        {CmdSelectNext, u"Select Ne&xt", {}},
        {CmdMoveUp, u"Move &Up", QKeySequence(Qt::CTRL | Qt::Key_Up)},
        {CmdMoveDown, u"Move &Down", QKeySequence(Qt::CTRL | Qt::Key_Down)},
        {CmdMoveToTop, u"Move to &Top", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Up)},
        {CmdMoveToBottom, u"Move to &Bottom", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Down)},
        {CmdRemoveSelected, u"Remove &Selected", QKeySequence(Qt::Key_Delete)},
        {CmdRemoveDead, u"Remove D&ead", {}},
        {CmdRemoveDuplicates, u"Remove Du&plicates", {}},
        {CmdRemoveAll, u"Remove A&ll", {}},
        {CmdDeleteFiles, u"De&lete Files", QKeySequence(Qt::SHIFT | Qt::Key_Delete)},
        {CmdProperties, u"P&roperties", {}},
        {CmdToggleTree, u"&Show/Hide Folder Tree", QKeySequence(Qt::Key_F9)},
        {CmdConvert, u"&Convert", QKeySequence(Qt::Key_F3)},
        {CmdConvertSelected, u"&Convert Selected", QKeySequence(Qt::SHIFT | Qt::Key_F3)},
        {CmdOptions, u"&Options", QKeySequence(Qt::CTRL | Qt::Key_O)},
        {CmdHelpContent, u"&Help Content", QKeySequence(Qt::Key_F1)},
        {CmdDownload, u"&Download", {}},
        {CmdEmailSupport, u"&Email Support", {}},
        {CmdOnlineSupport, u"&Online Support", {}},
        {CmdAbout, u"&About", {}},
        {CmdTreeRefresh, u"&Refresh", QKeySequence(Qt::Key_F5)},
        {CmdTreeGoUp, u"Go &Up", {}},
        {CmdTreeGoBack, u"Go &Back", {}},
        {CmdTreeGoForward, u"Go &Forward", {}},
        {CmdTreeExpand, u"&Expand Folder", {}},
        {CmdTreeOpen, u"&Open", {}},
        {CmdTreeCreateFolder, u"&Create Folder", {}},
        {CmdTreeRename, u"Re&name", {}},
        {CmdTreeDelete, u"&Delete", {}},
        {CmdTreeProperties, u"&Properties", {}},
    };
    for (const CommandEntry& entry : entries) {
        auto* action = new QAction(QString::fromUtf16(entry.text), this);
        if (!entry.key.isEmpty()) {
            action->setShortcut(entry.key);
            // The accelerators work wherever the focus is in the window, the
            // menus closed; the folder tree claims its own keys first.
            addAction(action);
        }
        const int id = entry.id;
        connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
        actions.insert(id, action);
    }
    toggleTreeAction = actions.value(CmdToggleTree);
    toggleTreeAction->setCheckable(true);
    toggleTreeAction->setChecked(true);
}

void CVELTDlg::CreateMenus() {
    auto add = [this](QMenu* menu, std::initializer_list<int> ids) {
        for (int id : ids) {
            if (id == 0) {
                menu->addSeparator();
            } else {
                menu->addAction(actions.value(id));
            }
        }
    };
    QMenu* file = menuBar()->addMenu(u"&File"_s);
    add(file, {CmdAddFiles, CmdAddFolder, CmdAddFolderRecursive, 0, CmdExit});

    // 0 stands for a separator.
    // clang-format off
    const std::initializer_list<int> editItems = {
        CmdOpen, CmdOpenContainingFolder, CmdRenameFile, 0,
        CmdSelectAll, CmdSelectNone, CmdReverseSelect, CmdSelectNext, 0,
        CmdMoveUp, CmdMoveDown, CmdMoveToTop, CmdMoveToBottom, 0,
        CmdRemoveSelected, CmdRemoveDead, CmdRemoveDuplicates, CmdRemoveAll, CmdDeleteFiles, 0,
        CmdProperties};
    // clang-format on
    add(menuBar()->addMenu(u"&Edit"_s), editItems);
    add(menuBar()->addMenu(u"&View"_s), {CmdToggleTree});
    add(menuBar()->addMenu(u"&Operation"_s), {CmdConvert, 0, CmdOptions});
    QMenu* help = menuBar()->addMenu(u"&Help"_s);
    add(help, {CmdHelpContent, 0, CmdDownload});
    add(help->addMenu(u"&Support"_s), {CmdEmailSupport, CmdOnlineSupport});
    help->addSeparator();
    help->addAction(actions.value(CmdAbout));

    listMenu = new QMenu(this);
    listMenu->addAction(actions.value(CmdConvertSelected));
    listMenu->addSeparator();
    add(listMenu, editItems);
    listMenu->setDefaultAction(actions.value(CmdConvertSelected));

    treeMenu = new QMenu(this);
    add(treeMenu, {CmdToggleTree, 0, CmdTreeRefresh, CmdTreeGoUp, CmdTreeGoBack, CmdTreeGoForward,
                   CmdTreeExpand, 0, CmdTreeOpen, CmdTreeCreateFolder, CmdTreeRename, CmdTreeDelete,
                   CmdTreeProperties});
}

void CVELTDlg::CreateToolBar() {
    struct Button {
        int command;
        ToolbarImage image;
        const char16_t* tip;
    };
    const Button buttons[] = {
        {CmdAddFiles, ToolbarImage::AddFiles, u"Add audio files to the current file list"},
        {CmdAddFolder, ToolbarImage::AddFolder,
         u"Add folder excluding subfolders to current file list"},
        {CmdAddFolderRecursive, ToolbarImage::AddFolderRecursive,
         u"Add folder including subfolders to current file list"},
        {CmdConvert, ToolbarImage::Convert, u"Adjust the speed of the files"},
        {CmdOptions, ToolbarImage::Options, u"Open the option dialog"},
        {CmdDownload, ToolbarImage::Download,
         u"Get Zorvane's companion tools for your audio library"},
        {CmdHelpContent, ToolbarImage::Help, u"Launch the help of Zorvane"},
        {CmdAbout, ToolbarImage::About, u"About Zorvane"},
    };
    toolBar = new QToolBar(u"Toolbar"_s, this);
    toolBar->setObjectName(u"MainToolBar"_s);
    toolBar->setAccessibleName(u"Toolbar"_s);
    toolBar->setIconSize(QSize(48, 48));
    toolBar->setMovable(false);
    toolBar->setFloatable(false);
    toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    toolBar->toggleViewAction()->setEnabled(false);
    for (const Button& button : buttons) {
        // The toolbar's own action shares the command but not the menu
        // item's icon-less look or its text with "&".
        auto* action = new QAction(ToolbarIcon(button.image), QString::fromUtf16(button.tip), this);
        action->setToolTip(QString::fromUtf16(button.tip));
        const int id = button.command;
        connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
        toolBar->addAction(action);
        if (QWidget* widget = toolBar->widgetForAction(action)) {
            QString name = actions.value(id)->text();
            widget->setAccessibleName(name.remove(u'&'));
            widget->setAccessibleDescription(QString::fromUtf16(button.tip));
        }
    }
    // The chevron that shows the buttons a narrow window has no room for.
    if (auto* more = toolBar->findChild<QToolButton*>(u"qt_toolbar_ext_button"_s)) {
        more->setAccessibleName(u"More tools"_s);
    }
    addToolBar(Qt::TopToolBarArea, toolBar);
}

void CVELTDlg::CreateStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setSizeGripEnabled(true);
    bar->setAccessibleName(u"Status bar"_s);
    const char16_t* names[3] = {u"Totals", u"Selection", u"Encoder settings"};
    const int stretch[3] = {1, 1, 2};
    for (int i = 0; i < 3; ++i) {
        panes[i] = new StatusPane(bar);
        panes[i]->setAccessibleName(QString::fromUtf16(names[i]));
        bar->addWidget(panes[i], stretch[i]);
    }
    bar->setMinimumHeight(kStatusBarHeight);
}

void CVELTDlg::CreatePanes() {
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(4, 2, 4, 0);
    setCentralWidget(central);

    folderTree = new CFileTreeCtrl(central);
    folderTree->setAccessibleName(u"Folders"_s);
    fileList = new CReportCtrl(central);
    fileList->setAccessibleName(u"Files"_s);

    splitter = new CSSplitter(central, &services.profile->Settings());
    splitter->CreateSplit(CSSplitter::WindowChild | CSSplitter::WindowVisible |
                              CSSplitter::VerticalSplit,
                          central, folderTree, fileList, 103, QRect(0, 0, 800, 500), 100, 150);
    splitter->SetLiveDrag(false);
    layout->addWidget(splitter);

    // The tree of the main window shows folders only and lets the user
    // rename, delete and create them.
    folderTree->DesktopItemShown = true;
    folderTree->SharedOverlayShown = false;
    folderTree->CompressedColoured = false;
    folderTree->EncryptedColoured = false;
    folderTree->RenameEnabled = true;
    folderTree->DeleteEnabled = true;
    folderTree->CreateFolderEnabled = true;
    folderTree->SetFilesVisible(false);
    folderTree->AttachImagesAndFill();
    folderTree->installEventFilter(this);
    folderTree->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(folderTree, &QWidget::customContextMenuRequested, this, &CVELTDlg::OnTreeContextMenu);

    fileList->ConfigureFileList(*services.profile, this);
    fileList->SetBusyFlag(&listBusy);
    fileList->SetSortRefusedFlag(&loadRunning);
    fileList->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(fileList, &QWidget::customContextMenuRequested, this, &CVELTDlg::OnListContextMenu);
    connect(fileList, &QAbstractItemView::doubleClicked, this, &CVELTDlg::OnListDoubleClick);
    connect(fileList->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CVELTDlg::OnSelectionChanged);
    connect(fileList, &CReportCtrl::dragRequested, this, &CVELTDlg::StartDragOut);

    const std::optional<QByteArray> shown =
        services.profile->ReadBinary(u"FileList"_s, u"ShowLeftTree"_s);
    if (shown && !shown->isEmpty() && shown->at(0) == 0) {
        splitter->HideLeftPane();
    } else {
        splitter->ShowLeftPane();
    }
    toggleTreeAction->setChecked(splitter->IsLeftPaneShown());
    setTabOrder(folderTree, fileList);
}

void CVELTDlg::RelayoutBars() {
    // Qt's layouts place the bars; what is left is to redraw them together.
    if (toolBar != nullptr) {
        toolBar->update();
    }
    statusBar()->update();
    if (fileList != nullptr) {
        fileList->viewport()->update();
    }
    if (folderTree != nullptr) {
        folderTree->viewport()->update();
    }
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

void CVELTDlg::UpdateTotalsPane() {
    const QString text = TotalsText(fileCount, totalSizeMB, totalDurationSeconds);
    SetPaneText(0, text, text);
    if (fileList != nullptr) {
        fileList->ApplyRowColours(false);
    }
    UpdateSelectionPane();
}

void CVELTDlg::UpdateSelectionPane() {
    if (fileList == nullptr) {
        return;
    }
    // One pass over the selection's ranges: asking row by row walks every
    // range for each row, which a selection of thousands of single rows
    // turns into seconds.
    int count = 0;
    double size = 0.0;
    double seconds = 0.0;
    std::vector<char> counted(size_t(fileList->RowCount()), 0);
    for (const QItemSelectionRange& range : fileList->selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row) {
            if (row < 0 || size_t(row) >= counted.size() || counted[size_t(row)] != 0) {
                continue;
            }
            counted[size_t(row)] = 1;
            ++count;
            if (const MediaFileInfo* info = fileList->GetRowData(row)) {
                size += info->sizeMB;
                seconds += info->durationSeconds;
            }
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
    switch (command) {
    case CmdAddFiles:
        OnAddFilesCommand();
        break;
    case CmdAddFolder:
        OnAddFolderCommand(false);
        break;
    case CmdAddFolderRecursive:
        OnAddFolderCommand(true);
        break;
    case CmdExit:
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        break;
    case CmdOpen:
        OnOpen();
        break;
    case CmdOpenContainingFolder:
        OnOpenContainingFolder();
        break;
    case CmdRenameFile:
        OnRenameFile();
        break;
    case CmdSelectAll:
        OnSelectAll();
        break;
    case CmdSelectNone:
        OnSelectNone();
        break;
    case CmdReverseSelect:
        OnReverseSelect();
        break;
    case CmdSelectNext:
        OnSelectNext();
        break;
    case CmdMoveUp:
        OnMoveUp();
        break;
    case CmdMoveDown:
        OnMoveDown();
        break;
    case CmdMoveToTop:
        OnMoveToTop();
        break;
    case CmdMoveToBottom:
        OnMoveToBottom();
        break;
    case CmdRemoveSelected:
        OnRemoveSelected();
        break;
    case CmdRemoveDead:
        OnRemoveDead();
        break;
    case CmdRemoveDuplicates:
        OnRemoveDuplicates();
        break;
    case CmdRemoveAll:
        OnRemoveAll();
        break;
    case CmdDeleteFiles:
        OnDeleteFiles();
        break;
    case CmdProperties:
        OnProperties();
        break;
    case CmdToggleTree:
        ToggleTree();
        break;
    case CmdConvert:
        BuildTasks(false);
        break;
    case CmdConvertSelected:
        BuildTasks(true);
        break;
    case CmdOptions:
        RunOptionsDialog();
        ShowSettingsSummary();
        break;
    case CmdHelpContent:
        OpenHelpPage();
        break;
    case CmdDownload:
        OpenAddress(QString::fromUtf16(kDownloadAddress));
        break;
    case CmdEmailSupport:
        OpenAddress(u"mailto:"_s + QString::fromUtf16(kSupportMailAddress));
        break;
    case CmdOnlineSupport:
        OpenAddress(QString::fromUtf16(kSupportWebAddress));
        break;
    case CmdAbout:
        RunAboutBox();
        break;
    case CmdTreeRefresh:
        folderTree->Reload();
        break;
    case CmdTreeGoUp:
        folderTree->GoToParent();
        break;
    case CmdTreeGoBack:
        if (folderTree->BackAvailable()) {
            folderTree->GoBack();
        }
        break;
    case CmdTreeGoForward:
        if (folderTree->ForwardAvailable()) {
            folderTree->GoForward();
        }
        break;
    case CmdTreeExpand:
        if (treeItem != nullptr) {
            folderTree->ExpandBranch(treeItem);
        }
        break;
    case CmdTreeOpen:
        folderTree->OpenItem(treeItem);
        break;
    case CmdTreeCreateFolder:
        folderTree->CreateChildFolder(treeItem, QString());
        break;
    case CmdTreeRename:
        folderTree->BeginRename(treeItem);
        break;
    case CmdTreeDelete:
        folderTree->DeleteItemFromDisk(treeItem);
        break;
    case CmdTreeProperties:
        folderTree->ShowItemProperties(treeItem);
        break;
    default:
        break;
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
        const QString text = TotalsText(fileCount, totalSizeMB, totalDurationSeconds);
        SetPaneText(0, text, text);
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
