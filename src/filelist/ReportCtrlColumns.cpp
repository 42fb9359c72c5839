// The file list's columns: inserting them, hiding and showing them, the
// header's menu and the rules that keep hidden columns out of the user's way,
// and the layout kept in the profile store between runs.

#include "ReportCtrl.h"

#include "FileListColumns.h"
#include "ReportDelegate.h"
#include "ReportHeader.h"
#include "platform/ProfileStore.h"
#include "ui/toolkit/FontScale.h"

#include <QFontMetrics>
#include <QMenu>
#include <QScrollBar>
#include <QSet>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace zorvane {

namespace {

const QString kSection = u"FileList"_s;
const QString kColumnEntry = u"Column"_s;
const QString kSortEntry = u"SortEx"_s;

// Widths beyond this come from a damaged store rather than from a user.
constexpr int kLargestStoredWidth = 32767;

// The header menu's groups: file, tags, stream properties.
constexpr int kFirstTagGroupColumn = ColumnTag;
constexpr int kFirstPropertyGroupColumn = ColumnSize;

struct StoredColumn {
    bool visible = true;
    int width = 0;
};

// Whole 8-byte entries only; a trailing fragment is ignored.
QList<qint32> Int32Pairs(const QByteArray& bytes) {
    const qsizetype pairs = bytes.size() / 8;
    return UnpackInt32LittleEndian(bytes.left(pairs * 8), pairs * 2).value_or(QList<qint32>());
}

} // namespace

int CReportCtrl::InsertColumn(int column, const QString& title, Qt::Alignment alignment,
                              int width) {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { return InsertColumn(column, title, alignment, width); });
    }
    FinishCellEdit(true);
    if (column < 0) {
        return -1;
    }
    column = std::min(column, reportModel->Columns());
    reportModel->InsertColumn(column, title, alignment);
    if (width >= 0) {
        reportHeader->resizeSection(column, width);
    }
    columnStates.insert(columnStates.begin() + column,
                        ColumnState{1, width >= 0 ? int32_t(width) : 0, -1});
    return column;
}

bool CReportCtrl::DeleteColumn(int column) {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { return DeleteColumn(column); });
    }
    FinishCellEdit(true);
    if (!reportModel->IsColumn(column)) {
        return false;
    }
    reportModel->RemoveColumn(column);
    columnStates.erase(columnStates.begin() + column);
    return true;
}

int CReportCtrl::ColumnCount() const {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { return ColumnCount(); });
    }
    return reportModel->Columns();
}

QString CReportCtrl::ColumnTitle(int column) const {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { return ColumnTitle(column); });
    }
    return reportModel->IsColumn(column) ? reportModel->ColumnAt(column).title : QString();
}

Qt::Alignment CReportCtrl::ColumnAlignment(int column) const {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { return ColumnAlignment(column); });
    }
    return reportModel->IsColumn(column) ? reportModel->ColumnAt(column).alignment : Qt::AlignLeft;
}

int CReportCtrl::ColumnWidth(int column) const {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { return ColumnWidth(column); });
    }
    if (!reportModel->IsColumn(column) || columnStates[size_t(column)].visible == 0) {
        return 0;
    }
    return reportHeader->sectionSize(column);
}

bool CReportCtrl::SetColumnWidth(int column, int width) {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { return SetColumnWidth(column, width); });
    }
    // A hidden column keeps width 0 until it is shown again.
    if (!reportModel->IsColumn(column) || columnStates[size_t(column)].visible == 0 || width < 0) {
        return false;
    }
    reportHeader->resizeSection(column, width);
    return true;
}

QList<int> CReportCtrl::DisplayOrder() const {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { return DisplayOrder(); });
    }
    QList<int> order;
    order.reserve(reportHeader->count());
    for (int visual = 0; visual < reportHeader->count(); ++visual) {
        order.append(reportHeader->logicalIndex(visual));
    }
    return order;
}

void CReportCtrl::SetDisplayOrder(const QList<int>& order) {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { SetDisplayOrder(order); });
    }
    QList<int> sorted = order;
    std::sort(sorted.begin(), sorted.end());
    for (int i = 0; i < sorted.size(); ++i) {
        if (sorted[i] != i) {
            return; // not an order of all the columns
        }
    }
    if (sorted.size() == reportHeader->count()) {
        ApplyOrder(order);
    }
}

void CReportCtrl::ApplyOrder(const QList<int>& order) {
    applyingOrder = true;
    for (int visual = 0; visual < order.size(); ++visual) {
        const int from = reportHeader->visualIndex(order[visual]);
        if (from != visual) {
            reportHeader->moveSection(from, visual);
        }
    }
    applyingOrder = false;
}

int CReportCtrl::HiddenColumnCount() const {
    return int(std::count_if(columnStates.begin(), columnStates.end(),
                             [](const ColumnState& state) { return state.visible == 0; }));
}

bool CReportCtrl::ShowColumn(int column, bool show) {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { return ShowColumn(column, show); });
    }
    if (!reportModel->IsColumn(column)) {
        return false;
    }
    ColumnState& state = columnStates[size_t(column)];
    // Hiding twice would take the hidden width, 0, as the one to give back.
    if ((state.visible != 0) == show) {
        return true;
    }
    const bool wasUpdating = updatesEnabled();
    setUpdatesEnabled(false);
    QList<int> order = DisplayOrder();
    const int count = int(order.size());
    int position = int(order.indexOf(column));
    if (!show) {
        state.savedPosition = count;
        order.move(position, 0);
        state.savedWidth = reportHeader->sectionSize(column);
        ApplyOrder(order);
        // Hidden in the header too: it then has no divider to grab, and
        // nothing can be dropped onto it.
        reportHeader->hideSection(column);
        state.visible = 0;
    } else {
        while (position + 1 < count && (position + 1 <= state.savedPosition ||
                                        columnStates[size_t(order[position + 1])].visible == 0)) {
            order.swapItemsAt(position, position + 1);
            ++position;
        }
        ApplyOrder(order);
        state.visible = 1;
        reportHeader->showSection(column);
        // A column that came back 0 pixels wide could not be found again.
        reportHeader->resizeSection(column,
                                    std::max(state.savedWidth, reportHeader->minimumSectionSize()));
    }
    setUpdatesEnabled(wasUpdating);
    viewport()->update();
    return true;
}

bool CReportCtrl::IsColumnVisible(int column) const {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { return IsColumnVisible(column); });
    }
    return reportModel->IsColumn(column) && columnStates[size_t(column)].visible != 0;
}

std::vector<ColumnState> CReportCtrl::ColumnStates() const {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { return ColumnStates(); });
    }
    return columnStates;
}

void CReportCtrl::OnSectionMoved(int /*column*/, int oldVisual, int newVisual) {
    if (applyingOrder) {
        return;
    }
    FinishCellEdit(false);
    // Where the first shown column stood before the drop: nothing may land
    // left of it, among the hidden columns.
    QList<int> before = DisplayOrder();
    before.move(newVisual, oldVisual);
    int firstShown = 0;
    while (firstShown < before.size() && columnStates[size_t(before[firstShown])].visible == 0) {
        ++firstShown;
    }
    if (newVisual < firstShown) {
        applyingOrder = true;
        reportHeader->moveSection(newVisual, firstShown);
        applyingOrder = false;
    }
}

void CReportCtrl::HandleHeaderCommand(quint32 command) {
    if ((command >> 16) != 0) {
        return;
    }
    const int column = int(command & 0xffff);
    if (reportModel->IsColumn(column)) {
        ShowColumn(column, columnStates[size_t(column)].visible == 0);
    }
}

void CReportCtrl::OnHeaderMenu(const QPoint& globalPosition) {
    QMenu menu(this);
    for (int column = 0; column < reportModel->Columns(); ++column) {
        if (column == kFirstTagGroupColumn || column == kFirstPropertyGroupColumn) {
            menu.addSeparator();
        }
        QAction* item =
            menu.addAction(reportModel->ColumnAt(column).title.left(kHeaderCaptionLimit));
        item->setData(column);
        item->setCheckable(true);
        item->setChecked(columnStates[size_t(column)].visible != 0);
        // Name and Path identify the file; they are always shown.
        item->setEnabled(column != ColumnName && column != ColumnPath);
    }
    if (const QAction* chosen = menu.exec(globalPosition); chosen != nullptr) {
        HandleHeaderCommand(chosen->data().toUInt());
    }
}

void CReportCtrl::AutoSizeColumn(int column, bool fitHeader) {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { AutoSizeColumn(column, fitHeader); });
    }
    if (column == -1) {
        for (int each = 0; each < reportModel->Columns(); ++each) {
            AutoSizeColumn(each, fitHeader);
        }
        return;
    }
    if (!reportModel->IsColumn(column) || columnStates[size_t(column)].visible == 0) {
        return;
    }
    // Measure every text once, then ask the painter for the size of the
    // widest cell, margins and image included.
    const QFontMetrics metrics(font());
    QSet<QString> measured;
    int widestRow = -1;
    int widest = -1;
    for (int row = 0; row < reportModel->Rows(); ++row) {
        const QString& text = reportModel->At(row).texts[size_t(column)];
        if (measured.contains(text)) {
            continue;
        }
        measured.insert(text);
        const int advance = metrics.horizontalAdvance(text);
        if (advance > widest) {
            widest = advance;
            widestRow = row;
        }
    }
    int width = reportHeader->minimumSectionSize();
    if (widestRow >= 0) {
        QStyleOptionViewItem option;
        initViewItemOption(&option);
        width = std::max(width, delegate->sizeHint(option, RowIndex(widestRow, column)).width());
    }
    if (fitHeader) {
        width = std::max(width, reportHeader->sectionSizeHint(column));
    }
    SetColumnWidth(column, width);
}

void CReportCtrl::EnsureColumnVisible(int column, bool partialOk) {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { EnsureColumnVisible(column, partialOk); });
    }
    if (!reportModel->IsColumn(column)) {
        return;
    }
    const int width = reportHeader->sectionSize(column);
    const int left = reportHeader->sectionViewportPosition(column);
    const int right = left + width;
    const int clientWidth = viewport()->width();
    if (partialOk && left < clientWidth && right > 0) {
        return;
    }
    int scrollBy = left;
    if (clientWidth >= width && left >= 0) {
        if (right <= clientWidth) {
            return;
        }
        scrollBy = right - clientWidth;
    }
    horizontalScrollBar()->setValue(horizontalScrollBar()->value() + scrollBy);
}

void CReportCtrl::SetHeaderSortImage(int column, int image, bool imageLeft) {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { SetHeaderSortImage(column, image, imageLeft); });
    }
    if (!reportModel->IsColumn(column)) {
        return;
    }
    ReportModel::Column& target = reportModel->ColumnAt(column);
    target.headerImage = image;
    target.imageLeft = imageLeft;
    reportModel->HeaderChanged(column, column);
}

int CReportCtrl::HeaderSortImage(int column) const {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { return HeaderSortImage(column); });
    }
    return reportModel->IsColumn(column) ? reportModel->ColumnAt(column).headerImage : 0;
}

void CReportCtrl::EnableHeaderSort(bool on) {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { EnableHeaderSort(on); });
    }
    if (isHeaderHidden()) {
        return;
    }
    headerSort = on;
    reportHeader->setSectionsClickable(on);
    reportHeader->viewport()->update();
}

bool CReportCtrl::HeaderSortEnabled() const {
    return headerSort;
}

bool CReportCtrl::ApplyExplorerTheme() {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { return ApplyExplorerTheme(); });
    }
    // The platform style already is the desktop's look; what the file
    // manager adds is the row under the pointer lit up.
    viewport()->setAttribute(Qt::WA_Hover);
    setMouseTracking(true);
    return true;
}

// --- Saved layout ---------------------------------------------------------------------

void CReportCtrl::LoadColumns(const ProfileStore& store) {
    std::vector<StoredColumn> stored;
    bool haveStored = false;
    if (const auto bytes = store.ReadBinary(kSection, kColumnEntry); bytes.has_value()) {
        haveStored = true;
        const QList<qint32> values = Int32Pairs(*bytes);
        for (qsizetype i = 0; i + 1 < values.size(); i += 2) {
            stored.push_back(StoredColumn{values[i] != 0, values[i + 1]});
        }
    }
    auto storedWidth = [&](int column, int fallback) {
        if (size_t(column) < stored.size()) {
            const int width = stored[size_t(column)].width;
            if (width >= 0 && width <= kLargestStoredWidth) {
                return width;
            }
        }
        return fallback;
    };
    if (reportModel->Columns() == 0) {
        for (int column = 0; column < kFileColumnCount; ++column) {
            const FileColumnInfo& info = kFileColumns[size_t(column)];
            InsertColumn(column, info.title.toString(), info.alignment,
                         storedWidth(column, DefaultColumnWidth(column)));
        }
    } else {
        for (int column = 0; column < reportModel->Columns(); ++column) {
            SetColumnWidth(column, storedWidth(column, reportHeader->sectionSize(column)));
        }
    }
    if (!haveStored) {
        return;
    }
    for (int column = 0; column < reportModel->Columns() && size_t(column) < stored.size();
         ++column) {
        // Name and Path cannot be shown again from the menu, so a store
        // that says they were hidden is not obeyed.
        if (!stored[size_t(column)].visible && column != ColumnName && column != ColumnPath) {
            ShowColumn(column, false);
        }
    }
}

int CReportCtrl::DefaultColumnWidth(int column) const {
    if (column < 0 || column >= kFileColumnCount) {
        return 0;
    }
    return FontScaledPixels(kFileColumns[size_t(column)].defaultWidth, font());
}

void CReportCtrl::LoadSortHistory(const ProfileStore& store) {
    // Read into a history of its own: loading twice must not list every
    // entry twice.
    QList<ColumnSortInfo> loaded;
    if (const auto bytes = store.ReadBinary(kSection, kSortEntry); bytes.has_value()) {
        const QList<qint32> values = Int32Pairs(*bytes);
        for (qsizetype i = 0; i + 1 < values.size(); i += 2) {
            // An entry for a column the list does not have could only
            // reorder rows at random.
            if (reportModel->IsColumn(values[i])) {
                loaded.append(ColumnSortInfo{values[i], values[i + 1] != 0 ? 1 : 0});
            }
        }
    }
    if (loaded.isEmpty()) {
        loaded.append(ColumnSortInfo{0, 1});
    }
    sortHistory = loaded;
}

void CReportCtrl::LoadColumnLayout(const ProfileStore& store) {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { LoadColumnLayout(store); });
    }
    LoadColumns(store);
    LoadSortHistory(store);
}

void CReportCtrl::SaveColumnLayout(ProfileStore& store) const {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { SaveColumnLayout(store); });
    }
    QList<qint32> columns;
    for (int column = 0; column < reportModel->Columns(); ++column) {
        const ColumnState& state = columnStates[size_t(column)];
        columns.append(state.visible != 0 ? 1 : 0);
        columns.append(state.visible != 0 ? reportHeader->sectionSize(column) : state.savedWidth);
    }
    QList<qint32> history;
    for (const ColumnSortInfo& entry : sortHistory) {
        history.append(entry.column);
        history.append(entry.ascending != 0 ? 1 : 0);
    }
    store.WriteBinary(kSection, kColumnEntry, PackInt32LittleEndian(columns));
    store.WriteBinary(kSection, kSortEntry, PackInt32LittleEndian(history));
}

void CReportCtrl::ConfigureFileList(const ProfileStore& store, QObject* window) {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { ConfigureFileList(store, window); });
    }
    ApplyExplorerTheme();
    LoadColumns(store);
    EnableHeaderSort(true);
    LoadSortHistory(store);
    SetEditEnabled(true);
    AddEditableColumn(ColumnName);
    SetShowEmptyTips(true);
    SetNotifyWindow(window);
}

} // namespace zorvane
