// Loading files into the list. The loader thread reads every file's whole
// row (cells, record, icon name) and hands it over through `channel`; the
// window's thread appends the rows in batches and keeps the totals, so the
// rows and the totals only ever change on the window's thread.
#include "VELTDlg.h"

#include "LoaderChannel.h"
#include "Processing.h"

#include "filelist/FileListColumns.h"
#include "filelist/FileRow.h"
#include "filelist/FolderScan.h"
#include "filelist/InfoReader.h"
#include "filelist/ReportCtrl.h"
#include "platform/DisplayText.h"
#include "platform/FileIcons.h"
#include "platform/TaskbarProgress.h"
#include "ui/toolkit/FileTreeCtrl.h"
#include "ui/toolkit/FolderDialog.h"
#include "ui/toolkit/MyDropTarget.h"
#include "ui/toolkit/SSplitter.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>

namespace zorvane {

using namespace Qt::StringLiterals;

namespace {

// The window's thread spends at most this long on the channel per look,
// which keeps the event loop turning while thousands of rows arrive.
constexpr int kDrainBudgetMs = 15;
// The loader names this many skipped entries at most, then counts the rest.
constexpr qsizetype kSkippedShown = 20;

QString LoadErrorText() {
    return u"An Error Occurred While Loading Files!"_s;
}

QString NotRegularReason() {
    return u"not a regular file (a device, FIFO or socket)"_s;
}

QString BadNameReason(bool isFolder) {
    return isFolder ? u"the folder name is not valid UTF-8; rename it to add its files"_s
                    : u"the name is not valid UTF-8; rename it to add it"_s;
}

// Names what a load left out, so that a file missing from the list is never
// a mystery; empty when nothing was.
QString SkippedText(const QStringList& skipped) {
    if (skipped.isEmpty()) {
        return {};
    }
    QStringList shown = skipped.mid(0, kSkippedShown);
    if (skipped.size() > kSkippedShown) {
        shown << u"... and %1 more"_s.arg(skipped.size() - kSkippedShown);
    }
    return u"These files were not added:\n"_s + shown.join(u'\n');
}

NewRow ListRowOf(LoadedRow& loaded, MediaFileInfo* record, int image) {
    NewRow row;
    row.texts.reserve(kFileColumnCount);
    for (int column = 0; column < kFileColumnCount; ++column) {
        row.texts.push_back(loaded.cells.CellText(column));
        const uint32_t rgb = loaded.cells.CellTextColor(column);
        if (rgb != InfoRowCells::kDefaultTextRgb) {
            row.textColours.emplace_back(column, QRgb(rgb));
        }
    }
    row.image = image;
    row.rowData = record;
    return row;
}

} // namespace

// --- Starting and stopping the loader ------------------------------------------------

void CVELTDlg::StartLoader(std::function<void()> procedure) {
    StopLoader();
    // Set before the thread runs, so that a stop asked for before the load's
    // first step is not lost; EndLoading clears it. The boxes of the last
    // load's files are welcome again.
    loadRunning = 1;
    troubleSilenced = 0;
    loadThread.Start([this, body = std::move(procedure)] {
        // Nothing may leave a thread; the procedures report their own failures.
        try {
            channel->BeginLoaderState();
            body();
        } catch (...) {
            channel->Post([this] { FinishLoad(false); });
        }
    });
    channel->StartPolling();
}

void CVELTDlg::StopLoader() {
    loadRunning = 0;
    if (loadThread.Started()) {
        // The loader never waits on a stopped load's behalf, but it may be
        // in the middle of handing over a row or a box: serve it until it ends.
        while (!loadThread.WaitFor(10)) {
            DrainChannel();
        }
        loadThread.Join();
    }
    // What the load left (its rows and its end) is carried out before
    // anything new starts.
    while (channel->HasItems()) {
        DrainChannel();
    }
}

bool CVELTDlg::LoaderFinished() const {
    // A load has finished once what it handed over, its own end included, is
    // carried out too.
    return (!loadThread.Started() || loadThread.Finished()) && !channel->HasItems();
}

// --- The five requests (window's thread) -----------------------------------------------

void CVELTDlg::OnAddFilesCommand() {
    StopLoader();
    const QStringList paths = AskFilesToAdd();
    if (paths.isEmpty()) {
        return;
    }
    StartLoader([this, paths] { AddFilesCommand(paths); });
}

void CVELTDlg::OnAddFolderCommand(bool includeSubfolders) {
    StopLoader();
    // A cancelled picker still ends as a load does: sorted, totals shown.
    const QString folder = AskFolderToAdd(includeSubfolders);
    StartLoader([this, folder, includeSubfolders] { AddFolderCommand(folder, includeSubfolders); });
}

void CVELTDlg::OnTreeSelectionMoved(QTreeWidgetItem* item, const QString& path) {
    Q_UNUSED(item);
    if (splitter == nullptr || !splitter->IsLeftPaneShown() || path.isEmpty() ||
        !QFileInfo(path).isDir()) {
        return;
    }
    // The keys count as they are when the selection moves, not when the
    // loader gets to them.
    const Qt::KeyboardModifiers keys = KeyboardModifiers();
    const bool append = keys.testFlag(Qt::ShiftModifier);
    const bool recursive = keys.testFlag(Qt::ControlModifier);
    StartLoader(
        [this, path, append, recursive] { LoadFromTreeSelection(path, append, recursive); });
}

void CVELTDlg::OnDroppedPaths(const QStringList& paths) {
    // A drop that brought nothing new still runs: it ends as every drop does.
    if (listBusy.load() != 0 || loadRunning.load() != 0) {
        return;
    }
    StartLoader([this, paths] { LoadDroppedPaths(paths); });
}

// --- Loader procedures (loader thread) ------------------------------------------------------

void CVELTDlg::AddFilesCommand(const QStringList& paths) {
    channel->Post([this] { BeginListLoad(); });
    bool read = true;
    try {
        for (const QString& path : paths) {
            if (loadRunning.load() != 1) {
                break;
            }
            channel->ForgetIconName();
            // A name typed into the dialog may be anything; only files are rows.
            const QFileInfo file(path);
            if (file.isFile()) {
                AddFileRow(file);
            } else if (file.exists() && !file.isDir()) {
                channel->NoteSkipped(EscapedForDisplay(path), NotRegularReason());
            }
        }
    } catch (...) {
        read = false;
    }
    EndListLoad(read);
}

void CVELTDlg::AddFolderCommand(const QString& folder, bool includeSubfolders) {
    bool scanned = true;
    if (!folder.isEmpty()) {
        channel->Post([this] { BeginListLoad(); });
        scanned = ScanFolderGuarded(folder, includeSubfolders);
    }
    EndListLoad(scanned);
}

bool CVELTDlg::ScanFolderGuarded(const QString& folder, bool recursive) {
    try {
        return ScanFolder(folder, recursive);
    } catch (...) {
        return false;
    }
}

void CVELTDlg::BeginListLoad() {
    fileList->SetRedraw(false);
    BeginLoading(false);
    setWindowTitle(QString::fromUtf16(kLoadingTitle));
}

void CVELTDlg::EndListLoad(bool read) {
    channel->Call([this, read, skipped = SkippedText(channel->TakeSkipped())] {
        // A stopped load says nothing more: the user has moved on.
        if (loadRunning.load() != 1) {
            return;
        }
        if (!skipped.isEmpty()) {
            ShowMessage(QMessageBox::Warning, QString::fromUtf16(kTitle), skipped);
        }
        if (!read) {
            ShowMessage(QMessageBox::Critical, QString::fromUtf16(kTitle), LoadErrorText());
        }
    });
    // After an error too: the load ends as any other, tree and list usable.
    channel->Post([this] { FinishLoad(true); });
}

void CVELTDlg::LoadFromTreeSelection(const QString& folder, bool append, bool recursive) {
    channel->Post([this, append] {
        BeginListLoad();
        if (append) {
            return;
        }
        // The rows of an earlier load, a stopped one included, are all in
        // the list by now: the channel hands them over in order.
        FreeAllRows();
        fileList->SetRedraw(true);
        fileList->viewport()->repaint();
        fileList->SetRedraw(false);
        SetPaneText(0, u"No file"_s, u"No file"_s);
    });
    EndListLoad(ScanFolderGuarded(folder, recursive));
}

void CVELTDlg::AddOutsidePaths(const QStringList& paths) {
    dropTarget->PostNewPaths(paths);
}

void CVELTDlg::LoadDroppedPaths(const QStringList& paths) {
    channel->Post([this] { BeginLoading(true); });
    try {
        for (const QString& path : paths) {
            // Unlike the other loads this loop once ran on regardless of a
            // stop; a drop of many files must end promptly on Cancel too.
            if (loadRunning.load() != 1) {
                break;
            }
            channel->ForgetIconName();
            const QFileInfo entry(path);
            const QString name = entry.fileName();
            if (name == u"."_s || name == u".."_s) {
                continue;
            }
            if (entry.isDir()) {
                // A dropped folder always brings its subfolders; one that
                // cannot be read ends the drop without a word.
                if (!ScanFolder(entry.filePath(), true)) {
                    break;
                }
            } else if (HasMp3Extension(name)) {
                if (entry.isFile()) {
                    AddFileRow(entry);
                } else if (entry.exists()) {
                    channel->NoteSkipped(EscapedForDisplay(path), NotRegularReason());
                }
            }
        }
    } catch (...) {
        // A failed drop ends where it failed, silently; its rows stay.
    }
    channel->Call([this, skipped = SkippedText(channel->TakeSkipped())] {
        if (loadRunning.load() == 1 && !skipped.isEmpty()) {
            ShowMessage(QMessageBox::Warning, QString::fromUtf16(kTitle), skipped);
        }
    });
    channel->Post([this] { FinishLoad(false); });
}

bool CVELTDlg::ScanFolder(const QString& folder, bool recursive) {
    if (scanExtensions.isEmpty()) {
        return true;
    }
    const QFileInfo top(folder);
    if (!top.isDir() || !QDir(folder).isReadable()) {
        return false;
    }
    QString shownFolder;
    const auto enter = [this, &shownFolder](const QString& path) {
        shownFolder = path;
        if (channel->TitleDue()) {
            const QString title = u"Scanning  "_s + EscapedForDisplay(path);
            channel->Post([this, title] { processingDialog->setWindowTitle(title); });
        }
    };
    enter(folder);
    zorvane::ScanFolder(
        folder, recursive,
        [this, &shownFolder, &enter](const QFileInfo& file) {
            if (loadRunning.load() != 1) {
                return false;
            }
            if (file.absolutePath() != shownFolder) {
                enter(file.absolutePath());
            }
            AddFileRow(file);
            return loadRunning.load() == 1;
        },
        [this](const QFileInfo& file) {
            channel->NoteSkipped(EscapedForDisplay(file.filePath()), NotRegularReason());
        },
        [this](const QString& shownPath, bool isFolder) {
            channel->NoteSkipped(shownPath, BadNameReason(isFolder));
        });
    return true;
}

void CVELTDlg::AddFileRow(const QFileInfo& file) {
    const QString path = file.absoluteFilePath();
    if (channel->TitleDue()) {
        const QString title = u"Reading  "_s + EscapedForDisplay(path);
        channel->Post([this, title] { processingDialog->setWindowTitle(title); });
    }
    // The whole row is read here, off the window's thread; the window only
    // appends it.
    LoadedRow row;
    readingPath = path;
    ReadFileRow(*infoReader, file, row.cells);
    row.iconName = channel->CachedIconName(file.absolutePath(), path);
    channel->PushRow(std::move(row), loadRunning);
}

// --- The loading state (window's thread) ------------------------------------------------------

void CVELTDlg::BeginLoading(bool showProcessingAtOnce) {
    troubleSilenced = 0;
    if (processingDialog != nullptr) {
        processingDialog->ResetCancelled();
        processingDialog->setWindowTitle(QString());
        processingDialog->CentreOver(this);
        if (showProcessingAtOnce) {
            processingDialog->show();
        } else {
            processingDialog->StartShowTimer();
        }
    }
    if (folderTree != nullptr) {
        folderTree->setEnabled(false);
    }
    if (services.taskbar != nullptr) {
        services.taskbar->SetState(TaskbarProgress::State::Indeterminate);
    }
}

void CVELTDlg::EndLoading() {
    loadRunning = 0;
    if (processingDialog != nullptr) {
        processingDialog->StopShowTimer();
        processingDialog->hide();
        // Cancel marked the list busy until the load's sort; a load that does
        // not sort (a drop) must not leave it busy for good.
        if (processingDialog->WasCancelled()) {
            listBusy = 0;
            processingDialog->ResetCancelled();
        }
    }
    if (folderTree != nullptr) {
        folderTree->setEnabled(true);
    }
    if (services.taskbar != nullptr) {
        services.taskbar->SetState(TaskbarProgress::State::None);
    }
    if (totalsTimer != 0) {
        killTimer(totalsTimer);
    }
    totalsTimer = startTimer(kTotalsTimerMs);
}

void CVELTDlg::FinishLoad(bool sort) {
    if (processingDialog != nullptr) {
        processingDialog->hide();
    }
    ShowTotalsText();
    SetPaneText(1, u" No file selected"_s, u"No file selected"_s);
    const int rows = fileList->RowCount();
    if (sort && rows > 0) {
        fileList->SortByHistory(0, rows - 1, true);
    } else {
        // Colours without sorting also switch the list's drawing back on.
        fileList->ApplyRowColours(sort);
    }
    const QList<ColumnSortInfo> history = fileList->SortHistory();
    // Column -1 clears every header's arrow.
    OnListSorted(history.isEmpty() ? -1 : history.first().column,
                 !history.isEmpty() && history.first().ascending != 0);
    EndLoading();
    setWindowTitle(QString::fromUtf16(kTitle));
}

// --- Rows from the channel (window's thread) ------------------------------------------------

void CVELTDlg::DrainChannel() {
    channel->Drain(kDrainBudgetMs, [this](std::vector<LoadedRow>& rows) {
        for (LoadedRow& row : rows) {
            AppendLoadedRow(std::move(row));
        }
        std::vector<NewRow>& ready = channel->ListRows();
        fileList->AppendRows(ready);
        ready.clear();
    });
    // What is left waits for the next look, a few milliseconds on.
    if (LoaderFinished()) {
        channel->StopPolling();
    }
}

void CVELTDlg::AppendLoadedRow(LoadedRow&& row) {
    // Icons are made here, once per icon name: QIcon belongs to this thread.
    int image = -1;
    const auto known = iconIndexByName.constFind(row.iconName);
    if (known != iconIndexByName.constEnd()) {
        image = known.value();
    } else {
        const QString path = row.cells.CellText(ColumnPath) + row.cells.CellText(ColumnName);
        image = fileList->AddSmallImage(QIcon::fromTheme(row.iconName, FileIcons().ForPath(path)));
        iconIndexByName.insert(row.iconName, image);
    }
    auto* record = new MediaFileInfo(std::move(row.cells.info));
    fileCount += 1;
    totalSizeMB += record->sizeMB;
    totalDurationSeconds += record->durationSeconds;
    channel->ListRows().push_back(ListRowOf(row, record, image));
}

// --- Questions to the user (window's thread) --------------------------------------------------

bool CVELTDlg::ShowLoaderTrouble(const QString& text, const QString& file) {
    QMessageBox box(QMessageBox::Critical, QString::fromUtf16(kTitle), text, QMessageBox::Ok, this);
    // The decoder's text does not say which file it means.
    box.setInformativeText(EscapedForDisplay(file));
    // A folder can hold hundreds of damaged files; one answer spares the rest.
    auto* spare = new QCheckBox(u"Do not show this again while loading"_s);
    box.setCheckBox(spare);
    box.exec();
    return spare->isChecked();
}

QStringList CVELTDlg::AskFilesToAdd() {
    return QFileDialog::getOpenFileNames(this, QString(), QString(),
                                         u"Mp3 File ( *.mp3);;All Files (*)"_s);
}

QString CVELTDlg::AskFolderToAdd(bool includeSubfolders) {
    CFolderDialog picker(includeSubfolders ? u"Add a Folder including sub-folders"_s
                                           : u"Add a Folder excluding sub-folders"_s,
                         QString(), this);
    return picker.Browse() == CFolderDialog::kChosen ? picker.SelectedPath() : QString();
}

Qt::KeyboardModifiers CVELTDlg::KeyboardModifiers() const {
    return QGuiApplication::queryKeyboardModifiers();
}

} // namespace zorvane
