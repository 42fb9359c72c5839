// The commands on the file list's rows, dragging files out of the list, and
// Convert.
#include "VELTDlg.h"

#include "FilePropertiesDlg.h"

#include "engine/EngineContext.h"
#include "engine/MediaFileInfo.h"
#include "engine/TaskRules.h"
#include "filelist/FileListColumns.h"
#include "filelist/ReportCtrl.h"
#include "platform/FileActions.h"
#include "platform/ProfileStore.h"
#include "platform/Shell.h"
#include "settings/SettingsStore.h"
#include "ui/progress/ConvProg.h"
#include "ui/toolkit/MyDropTarget.h"

#include <QDrag>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QSet>
#include <QUrl>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <numeric>
#include <system_error>
#include <vector>

namespace zorvane {

namespace {

constexpr const char16_t* kNoApplicationText =
    u"There is no application associated with the given file name extension.";
constexpr const char16_t* kNotFoundText = u"File NOT Found!  Remove It from the List?";
constexpr const char16_t* kRenameFailedText = u"Fail to Rename File!";
constexpr const char16_t* kConfirmationCaption = u"Confirmation";
constexpr const char16_t* kSelectFirstText = u"Please select ONE file First!";
constexpr const char16_t* kDeleteQuestion = u"Permanently Delete the File(s), Are You Sure?";

QString Text(const char16_t* text) {
    return QString::fromUtf16(text);
}

// A file the list may keep: something that is not a folder stands at the
// path. A folder of the same name is not the file the row was made for.
bool NamesFile(const QString& path) {
    const QFileInfo info(path);
    return info.exists() && !info.isDir();
}

// Only "not found" counts: a file the user cannot reach right now (a lost
// permission, an unmounted share that times out) may well come back, and the
// row with it.
bool FileIsGone(const QString& path) {
    std::error_code error;
    const std::filesystem::file_status status =
        std::filesystem::symlink_status(QFile::encodeName(path).toStdString(), error);
    return status.type() == std::filesystem::file_type::not_found;
}

// What a new name typed into the Name cell may be: a name in the row's own
// folder. A separator would move the file into another folder, and "." or
// ".." name folders.
bool IsPlainFileName(const QString& name) {
    return !name.isEmpty() && name != u"." && name != u".." && !name.contains(u'/') &&
           !name.contains(QChar(u'\0'));
}

// While a command changes many rows: selection changes do not refresh the
// status bar one by one, and the list does not paint half-done states. At the
// end the status bar shows the outcome once. Clearing loadRunning also stops
// a load that runs meanwhile; the rows it added so far stay.
class BulkRowChange {
public:
    BulkRowChange(std::atomic<int32_t>& flag, CReportCtrl& rows, std::function<void()> done)
        : loadRunning(flag), list(rows), finish(std::move(done)) {
        loadRunning.store(1);
        list.SetRedraw(false);
    }
    ~BulkRowChange() {
        finish();
        list.SetRedraw(true);
        loadRunning.store(0);
    }
    BulkRowChange(const BulkRowChange&) = delete;
    BulkRowChange& operator=(const BulkRowChange&) = delete;

private:
    std::atomic<int32_t>& loadRunning;
    CReportCtrl& list;
    std::function<void()> finish;
};

} // namespace

void CVELTDlg::FreeAllRows() {
    // No row may point at a freed record while the rows go (see ForgetRecord).
    for (int row = 0; row < fileList->RowCount(); ++row) {
        delete fileList->GetRowData(row);
        fileList->SetRowData(row, nullptr);
    }
    fileList->DeleteRows(CReportCtrl::AllRows);
    fileCount = 0;
    totalSizeMB = 0.0;
    totalDurationSeconds = 0.0;
}

QString CVELTDlg::RowPath(int row) const {
    return fileList->CellText(row, ColumnPath) + fileList->CellText(row, ColumnName);
}

void CVELTDlg::RemoveRow(int row) {
    if (row < 0 || row >= fileList->RowCount()) {
        return;
    }
    ForgetRecord(row);
    fileList->DeleteRow(row, false);
}

void CVELTDlg::RemoveRows(const std::vector<int>& rows) {
    std::vector<char> marked(size_t(fileList->RowCount()), 0);
    for (int row : rows) {
        ForgetRecord(row);
        marked[size_t(row)] = 1;
    }
    fileList->DeleteRows(marked);
}

void CVELTDlg::ForgetRecord(int row) {
    MediaFileInfo* info = fileList->GetRowData(row);
    --fileCount;
    if (info != nullptr) {
        totalSizeMB -= info->sizeMB;
        totalDurationSeconds -= info->durationSeconds;
    }
    if (fileCount <= 0) {
        // Sums of doubles taken apart in another order than they were made
        // leave crumbs; an empty list has nothing.
        totalSizeMB = 0.0;
        totalDurationSeconds = 0.0;
    }
    // The row must not point at a freed record even for the instant before it
    // goes: deleting it may finish an edit, whose handler reads the list.
    fileList->SetRowData(row, nullptr);
    delete info;
}

// --- Opening ---------------------------------------------------------------------

void CVELTDlg::OnOpen() {
    const int row = fileList->NextRow(CReportCtrl::Selected);
    if (row < 0 || services.shell == nullptr) {
        return;
    }
    const QString path = RowPath(row);
    if (NamesFile(path)) {
        switch (services.shell->OpenPath(path)) {
        case OpenResult::Opened:
            return;
        case OpenResult::NoApplication:
            ShowMessage(QMessageBox::Warning, Text(kTitle), Text(kNoApplicationText));
            OnOpenContainingFolder();
            return;
        case OpenResult::NotFound:
            break; // gone since it was looked at
        }
    }
    if (ShowMessage(QMessageBox::Warning, Text(kTitle), Text(kNotFoundText),
                    QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes) {
        return;
    }
    loadRunning.store(1);
    RemoveRow(row);
    loadRunning.store(0);
    UpdateTotalsPane();
}

void CVELTDlg::OnOpenContainingFolder() {
    const int row = fileList->NextRow(CReportCtrl::Selected);
    if (row < 0 || services.shell == nullptr) {
        return;
    }
    // The file manager shows the folder with the file selected in it, which
    // says more than the folder alone.
    services.shell->ShowInFolder(RowPath(row));
}

void CVELTDlg::OnProperties() {
    const int row = fileList->NextRow(CReportCtrl::Selected);
    if (row < 0) {
        return;
    }
    const QString path = RowPath(row);
    if (services.shell != nullptr && services.shell->ShowProperties(path)) {
        return;
    }
    if (!NamesFile(path)) {
        return;
    }
    QList<std::pair<QString, QString>> audio;
    for (int column :
         {ColumnType, ColumnTag, ColumnDuration, ColumnFrequency, ColumnChannel, ColumnBitrate}) {
        audio.append(
            {kFileColumns[size_t(column)].title.toString(), fileList->CellText(row, column)});
    }
    // Not modal, as a file manager's properties window is not: the user may
    // look at several files side by side.
    auto* dialog = new CFilePropertiesDlg(path, audio, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

// --- Renaming ----------------------------------------------------------------------

void CVELTDlg::OnRenameFile() {
    const int row = fileList->NextRow(CReportCtrl::Selected);
    if (row < 0) {
        return;
    }
    fileList->SetNameBeforeEdit(fileList->CellText(row, ColumnName));
    fileList->BeginCellEdit(row, ColumnName);
}

void CVELTDlg::OnCellEdited(int row, int column) {
    if (column != ColumnName || row < 0 || row >= fileList->RowCount()) {
        return;
    }
    const QString folder = fileList->CellText(row, ColumnPath);
    const QString oldName = fileList->NameBeforeEdit();
    const QString newName = fileList->CellText(row, ColumnName);
    const bool renamed = IsPlainFileName(newName) && !oldName.isEmpty() &&
                         services.fileActions != nullptr &&
                         services.fileActions->Rename(folder + oldName, folder + newName);
    if (!renamed) {
        ShowMessage(QMessageBox::NoIcon, Text(kTitle), Text(kRenameFailedText));
        fileList->SetCellText(row, ColumnName, oldName);
    }
}

// --- Selecting -----------------------------------------------------------------------

void CVELTDlg::OnSelectAll() {
    loadRunning.store(1);
    fileList->ApplyStatesToRows(CReportCtrl::AllRows, CReportCtrl::Selected);
    loadRunning.store(0);
    UpdateSelectionPane();
}

void CVELTDlg::OnSelectNone() {
    loadRunning.store(1);
    fileList->ApplyStatesToRows(CReportCtrl::AllRows, CReportCtrl::Unselected);
    loadRunning.store(0);
    UpdateSelectionPane();
}

void CVELTDlg::OnReverseSelect() {
    loadRunning.store(1);
    fileList->InvertSelection();
    loadRunning.store(0);
    UpdateSelectionPane();
}

void CVELTDlg::OnSelectNext() {
    loadRunning.store(1);
    const int rows = fileList->RowCount();
    if (rows > 0) {
        const int selected = fileList->CountRows(CReportCtrl::Selected);
        int target = 0;
        if (selected == 1) {
            const int row = fileList->NextRow(CReportCtrl::Selected);
            fileList->ApplyRowStates(row, CReportCtrl::Unselected | CReportCtrl::Unfocused);
            target = (row + 1) % rows;
        } else if (selected > 1) {
            fileList->ApplyStatesToRows(CReportCtrl::AllRows, CReportCtrl::Unselected);
        }
        fileList->ApplyRowStates(target, CReportCtrl::Selected | CReportCtrl::Focused);
        fileList->EnsureRowVisible(target);
    }
    loadRunning.store(0);
    UpdateSelectionPane();
}

// --- Moving ----------------------------------------------------------------------------

namespace {

// Only the first selected row moves, even when several are selected; `to`
// gives its new place from its present one.
template <typename Target> void MoveFirstSelected(CReportCtrl& list, Target to) {
    const int row = list.NextRow(CReportCtrl::Selected);
    if (row < 0) {
        return;
    }
    const int moved = list.MoveRow(row, to(row));
    list.ApplyRowColours(true);
    list.EnsureRowVisible(moved);
}

} // namespace

void CVELTDlg::OnMoveUp() {
    MoveFirstSelected(*fileList, [](int row) { return row - 1; });
}

void CVELTDlg::OnMoveDown() {
    MoveFirstSelected(*fileList, [](int row) { return row + 1; });
}

void CVELTDlg::OnMoveToTop() {
    MoveFirstSelected(*fileList, [](int) { return -1; });
}

void CVELTDlg::OnMoveToBottom() {
    MoveFirstSelected(*fileList, [](int) { return INT_MAX; });
}

// --- Removing ----------------------------------------------------------------------------

void CVELTDlg::OnRemoveSelected() {
    BulkRowChange change(loadRunning, *fileList, [this] { UpdateTotalsPane(); });
    RemoveRows(fileList->SelectedRows());
}

void CVELTDlg::OnRemoveAll() {
    BulkRowChange change(loadRunning, *fileList, [this] { UpdateTotalsPane(); });
    FreeAllRows();
}

void CVELTDlg::OnRemoveDead() {
    BulkRowChange change(loadRunning, *fileList, [this] { UpdateTotalsPane(); });
    std::vector<int> dead;
    for (int row = 0; row < fileList->RowCount(); ++row) {
        if (!NamesFile(RowPath(row))) {
            dead.push_back(row);
        }
    }
    RemoveRows(dead);
}

void CVELTDlg::OnRemoveDuplicates() {
    BulkRowChange change(loadRunning, *fileList, [this] { UpdateTotalsPane(); });
    const int rows = fileList->RowCount();
    if (rows < 2) {
        return;
    }
    // Two paths are the same file exactly when the drop target would call
    // them the same; here, where letter case tells files apart, "a.mp3" and
    // "A.mp3" are two files and both stay.
    const bool foldCase = CMyDropTarget::PathCase() == Qt::CaseInsensitive;
    QSet<QString> seen;
    seen.reserve(rows);
    std::vector<int> duplicates;
    for (int row = 0; row < rows; ++row) {
        const QString path = RowPath(row);
        const QString key = foldCase ? path.toCaseFolded() : path;
        if (seen.contains(key)) {
            duplicates.push_back(row);
        } else {
            seen.insert(key);
        }
    }
    RemoveRows(duplicates);
}

void CVELTDlg::OnDeleteFiles() {
    if (fileList->NextRow(CReportCtrl::Selected) < 0) {
        ShowMessage(QMessageBox::Warning, Text(kConfirmationCaption), Text(kSelectFirstText));
        return;
    }
    if (ShowMessage(QMessageBox::Warning, Text(kConfirmationCaption), Text(kDeleteQuestion),
                    QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes) {
        return;
    }
    BulkRowChange change(loadRunning, *fileList, [this] { UpdateTotalsPane(); });
    const std::vector<int> rows = fileList->SelectedRows();
    QStringList paths;
    for (int row : rows) {
        paths << RowPath(row);
    }
    RemoveRows(rows);
    for (const QString& path : paths) {
        // A folder that has taken the file's name since is not what the user
        // chose to delete, and deleting it would take everything inside.
        const QFileInfo info(path);
        if (!info.isDir() && (info.exists() || info.isSymLink()) &&
            services.fileActions != nullptr) {
            services.fileActions->DeletePermanently(path);
        }
    }
}

// --- Dragging files out --------------------------------------------------------------------

void CVELTDlg::StartDragOut() {
    const std::vector<int> rows = fileList->SelectedRows();
    if (rows.empty()) {
        return;
    }
    QList<QUrl> urls;
    urls.reserve(qsizetype(rows.size()));
    for (int row : rows) {
        urls.append(QUrl::fromLocalFile(RowPath(row)));
    }
    auto* payload = new QMimeData;
    payload->setUrls(urls);
    // Our own drop target refuses drags carrying this, so rows dragged back
    // onto the window add nothing.
    payload->setData(kPrivateDragFormat, QByteArray(1, '\0'));
    auto* drag = new QDrag(this);
    drag->setMimeData(payload);
    // Copy only; a target may still move the files away (some file managers
    // do with a modifier key), and those rows must then leave the list.
    drag->exec(Qt::CopyAction, Qt::CopyAction);

    // The selection may have changed while the drag ran its own event loop.
    std::vector<int> gone;
    for (int row : fileList->SelectedRows()) {
        if (FileIsGone(RowPath(row))) {
            gone.push_back(row);
        }
    }
    RemoveRows(gone);
    if (!gone.empty()) {
        UpdateTotalsPane();
    }
}

// --- Convert ----------------------------------------------------------------------------------

void CVELTDlg::BuildTasks(bool selectedOnly) {
    if (listBusy.load() != 0 || loadRunning.load() != 0) {
        return;
    }
    OnRemoveDead();
    if (!selectedOnly && fileList->RowCount() == 0) {
        return;
    }
    if (services.engine == nullptr || services.settings == nullptr) {
        return;
    }
    CConvProg window(*services.engine, services.taskbar, services.shell, this);
    if (services.profile != nullptr) {
        window.SetSettings(&services.profile->Settings());
    }
    ConversionState& state = window.State();
    // The run keeps its own copy: the stages read it on their threads.
    state.settings = services.settings->settings;
    // Building tasks changes no row, so the rows can be chosen at once.
    std::vector<int> rows(size_t(fileList->RowCount()));
    std::iota(rows.begin(), rows.end(), 0);
    if (selectedOnly) {
        rows = fileList->SelectedRows();
    }
    for (int row : rows) {
        const MediaFileInfo* info = fileList->GetRowData(row);
        if (info == nullptr || info->invalid != 0) {
            continue;
        }
        AppendTask(state, BuildTask(*info, fileList->CellText(row, ColumnPath),
                                    fileList->CellText(row, ColumnName), state.settings));
    }
    if (state.tasks.empty()) {
        return;
    }
    // Made only for a run that will write into it; a command that converts
    // nothing leaves no empty folder behind.
    CreateOutputFolder(state.settings);
    RunConversion(window);
}

void CVELTDlg::RunConversion(CConvProg& window) {
    window.exec();
}

} // namespace zorvane
