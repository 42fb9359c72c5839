// Building the main window: its commands, menus, tool bar, status bar and
// the two panes.
#include "VELTDlg.h"

#include "AppResources.h"

#include "filelist/ReportCtrl.h"
#include "platform/ProfileStore.h"
#include "ui/toolkit/FileTreeCtrl.h"
#include "ui/toolkit/SSplitter.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace zorvane {

namespace {

using namespace Qt::StringLiterals;

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

} // namespace

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

} // namespace zorvane
