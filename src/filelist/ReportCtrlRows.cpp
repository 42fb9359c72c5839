// The file list's rows and cells, their data and images, and the row states
// (selected, checked, focused) that most of the window's commands filter on.

#include "ReportCtrl.h"

#include <QItemSelection>

#include <algorithm>
#include <charconv>

namespace zorvane {

// --- Rows and cells -----------------------------------------------------------

QModelIndex CReportCtrl::RowIndex(int row, int column) const {
    return reportModel->index(row, column);
}

int CReportCtrl::RowCount() const {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { return RowCount(); });
    }
    return reportModel->Rows();
}

int CReportCtrl::InsertRow(int row, const QString& text, unsigned states, int image) {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { return InsertRow(row, text, states, image); });
    }
    FinishCellEdit(true);
    if (row < 0) {
        return -1;
    }
    row = std::min(row, reportModel->Rows());
    reportModel->InsertItem(row, text, image);
    ApplyRowStates(row, states);
    return row;
}

int CReportCtrl::AppendRows(std::vector<NewRow>& rows) {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { return AppendRows(rows); });
    }
    FinishCellEdit(true);
    const int first = reportModel->Rows();
    reportModel->AppendItems(rows);
    return first;
}

QString CReportCtrl::CellText(int row, int column) const {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { return CellText(row, column); });
    }
    if (!reportModel->IsRow(row) || !reportModel->IsColumn(column)) {
        return {};
    }
    return reportModel->At(row).texts[size_t(column)];
}

bool CReportCtrl::SetCellText(int row, int column, const QString& text) {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { return SetCellText(row, column, text); });
    }
    FinishCellEdit(true);
    if (!reportModel->IsRow(row) || !reportModel->IsColumn(column)) {
        return false;
    }
    reportModel->SetText(row, column, text);
    return true;
}

QString CReportCtrl::NumberText(double value, int decimals) {
    // printf's "%.*f" in the C locale, rounding ties to even as it does, and
    // never with a locale's decimal comma.
    const int places = decimals >= 0 ? decimals : 6;
    std::vector<char> buffer(size_t(places) + 330);
    const auto written = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                       std::chars_format::fixed, places);
    QString text = written.ec == std::errc()
                       ? QString::fromLatin1(buffer.data(), written.ptr - buffer.data())
                       : QString::number(value, 'f', places);
    if (decimals < 0) {
        while (text.endsWith(u'0')) {
            text.chop(1);
        }
        while (text.endsWith(u'.')) {
            text.chop(1);
        }
    }
    return text;
}

bool CReportCtrl::SetCellNumber(int row, int column, double value, int decimals) {
    return SetCellText(row, column, NumberText(value, decimals));
}

bool CReportCtrl::DeleteRow(int row, bool selectNext) {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { return DeleteRow(row, selectNext); });
    }
    if (!reportModel->IsRow(row)) {
        return false;
    }
    if (IsEditing()) {
        // The text being typed into a row that goes away has nowhere to go.
        FinishCellEdit(editRow != row);
    }
    if (selectNext && reportModel->IsRow(row + 1)) {
        ApplyRowStates(row + 1, Selected);
    }
    reportModel->RemoveItems(row, 1);
    return true;
}

int CReportCtrl::DeleteRows(unsigned filter) {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { return DeleteRows(filter); });
    }
    if ((filter & AllRows) == 0) {
        return DeleteRows(MatchingRows(filter));
    }
    FinishCellEdit(false);
    const int deleted = reportModel->Rows();
    reportModel->RemoveItems(0, deleted);
    return deleted;
}

int CReportCtrl::DeleteRows(const std::vector<char>& marked) {
    FinishCellEdit(false);
    const bool wasUpdating = updatesEnabled();
    setUpdatesEnabled(false);
    // A selection of many separate ranges is set aside while the rows go and
    // given back to the rows that stay: the selection model adjusts every
    // range on each removal, which over thousands of ranges took seconds.
    const bool setAside = selectionModel()->selection().size() > 1;
    std::vector<char> keptSelected;
    if (setAside) {
        const std::vector<char> selected = SelectedRowMask();
        for (size_t row = 0; row < selected.size(); ++row) {
            if (row >= marked.size() || marked[row] == 0) {
                keptSelected.push_back(selected[row]);
            }
        }
        selectionModel()->clearSelection();
    }
    // From the bottom, one run of neighbours at a time, so that indices
    // still to be visited do not shift.
    int deleted = 0;
    int row = std::min(reportModel->Rows(), int(marked.size())) - 1;
    while (row >= 0) {
        if (marked[size_t(row)] == 0) {
            --row;
            continue;
        }
        int first = row;
        while (first > 0 && marked[size_t(first - 1)] != 0) {
            --first;
        }
        reportModel->RemoveItems(first, row - first + 1);
        deleted += row - first + 1;
        row = first - 1;
    }
    if (setAside) {
        SelectRows(keptSelected, true);
    }
    setUpdatesEnabled(wasUpdating);
    return deleted;
}

MediaFileInfo* CReportCtrl::GetRowData(int row) const {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { return GetRowData(row); });
    }
    return reportModel->IsRow(row) ? reportModel->At(row).report.rowData : nullptr;
}

bool CReportCtrl::SetRowData(int row, MediaFileInfo* record) {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { return SetRowData(row, record); });
    }
    if (!reportModel->IsRow(row)) {
        return false;
    }
    reportModel->At(row).report.rowData = record;
    return true;
}

bool CReportCtrl::SetRowImage(int row, int image) {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { return SetRowImage(row, image); });
    }
    if (!reportModel->IsRow(row)) {
        return false;
    }
    reportModel->At(row).image = image;
    if (reportModel->Columns() > 0) {
        const QModelIndex cell = RowIndex(row);
        emit reportModel->dataChanged(cell, cell, {Qt::DecorationRole});
    }
    return true;
}

int CReportCtrl::RowImage(int row) const {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { return RowImage(row); });
    }
    return reportModel->IsRow(row) ? reportModel->At(row).image : -1;
}

int CReportCtrl::AddSmallImage(const QIcon& icon) {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { return AddSmallImage(icon); });
    }
    reportModel->images.append(icon);
    return int(reportModel->images.size() - 1);
}

void CReportCtrl::SetSmallImages(const QList<QIcon>& icons) {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { SetSmallImages(icons); });
    }
    reportModel->images = icons;
    reportModel->CellsChanged(0, reportModel->Rows() - 1, Qt::DecorationRole);
}

// --- Row states -----------------------------------------------------------------

std::vector<char> CReportCtrl::SelectedRowMask() const {
    std::vector<char> mask(size_t(reportModel->Rows()), 0);
    const QItemSelection selection = selectionModel()->selection();
    for (const QItemSelectionRange& range : selection) {
        for (int row = std::max(range.top(), 0); row <= range.bottom() && row < reportModel->Rows();
             ++row) {
            mask[size_t(row)] = 1;
        }
    }
    return mask;
}

std::vector<int> CReportCtrl::SelectedRows() const {
    const std::vector<char> mask = SelectedRowMask();
    std::vector<int> rows;
    for (size_t row = 0; row < mask.size(); ++row) {
        if (mask[row] != 0) {
            rows.push_back(int(row));
        }
    }
    return rows;
}

std::vector<char> CReportCtrl::MatchingRows(unsigned filter) const {
    const int rows = reportModel->Rows();
    if ((filter & AllRows) != 0) {
        return std::vector<char>(size_t(rows), 1);
    }
    std::vector<char> matching = SelectedRowMask();
    const int focus = currentIndex().row();
    for (int row = 0; row < rows; ++row) {
        const unsigned states = (matching[size_t(row)] != 0 ? Selected : Unselected) |
                                (reportModel->At(row).checked ? Checked : Unchecked) |
                                (row == focus ? Focused : Unfocused);
        matching[size_t(row)] = (states & filter) == filter ? 1 : 0;
    }
    return matching;
}

void CReportCtrl::SelectRows(const std::vector<char>& rows, bool select) {
    // One selection of row runs: thousands of single selections would each
    // notify the views.
    QItemSelection runs;
    const int count = int(rows.size());
    for (int row = 0; row < count; ++row) {
        if (rows[size_t(row)] == 0) {
            continue;
        }
        int last = row;
        while (last + 1 < count && rows[size_t(last + 1)] != 0) {
            ++last;
        }
        runs.append(QItemSelectionRange(RowIndex(row), RowIndex(last)));
        row = last;
    }
    if (!runs.isEmpty()) {
        selectionModel()->select(
            runs, (select ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                      QItemSelectionModel::Rows);
    }
}

unsigned CReportCtrl::QueryRowStates(int row) const {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { return QueryRowStates(row); });
    }
    if (!reportModel->IsRow(row)) {
        return 0;
    }
    const bool selected = selectionModel()->isRowSelected(row, {});
    return (selected ? Selected : Unselected) |
           (reportModel->At(row).checked ? Checked : Unchecked) |
           (currentIndex().row() == row ? Focused : Unfocused);
}

bool CReportCtrl::ApplyRowStates(int row, unsigned states) {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { return ApplyRowStates(row, states); });
    }
    if (states == 0) {
        return true;
    }
    if (!reportModel->IsRow(row) || reportModel->Columns() == 0) {
        return false;
    }
    const QModelIndex index = RowIndex(row);
    if ((states & Selected) != 0) {
        selectionModel()->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    if ((states & Unselected) != 0) {
        selectionModel()->select(index, QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    }
    if ((states & Checked) != 0) {
        reportModel->At(row).checked = true;
    }
    if ((states & Unchecked) != 0) {
        reportModel->At(row).checked = false;
    }
    // Moving the focus mark is not a request to scroll; callers that want the
    // row seen say so.
    const bool scrolls = hasAutoScroll();
    setAutoScroll(false);
    if ((states & Focused) != 0) {
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    }
    if ((states & Unfocused) != 0 && currentIndex().row() == row) {
        selectionModel()->setCurrentIndex({}, QItemSelectionModel::NoUpdate);
    }
    setAutoScroll(scrolls);
    return true;
}

int CReportCtrl::CountRows(unsigned filter) const {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { return CountRows(filter); });
    }
    if ((filter & AllRows) != 0) {
        return reportModel->Rows();
    }
    const std::vector<char> matching = MatchingRows(filter);
    const int count = int(std::count(matching.begin(), matching.end(), char(1)));
    return count;
}

int CReportCtrl::NextRow(unsigned filter, int after) const {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { return NextRow(filter, after); });
    }
    const int start = std::max(after, -1) + 1;
    if (start >= reportModel->Rows()) {
        return -1;
    }
    if ((filter & AllRows) != 0) {
        return start;
    }
    if (filter == Selected) {
        // The common question ("the first selected row") without a pass over
        // every row.
        int best = -1;
        for (const QItemSelectionRange& range : selectionModel()->selection()) {
            const int candidate = std::max(range.top(), start);
            if (candidate <= range.bottom() && (best < 0 || candidate < best)) {
                best = candidate;
            }
        }
        return best;
    }
    const std::vector<char> matching = MatchingRows(filter);
    const auto found = std::find(matching.begin() + start, matching.end(), char(1));
    if (found != matching.end()) {
        return int(found - matching.begin());
    }
    return -1;
}

int CReportCtrl::ApplyStatesToRows(unsigned filter, unsigned states) {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { return ApplyStatesToRows(filter, states); });
    }
    const int rows = reportModel->Rows();
    const std::vector<char> matching = MatchingRows(filter);
    const int count = int(std::count(matching.begin(), matching.end(), char(1)));
    if (count == 0 || states == 0 || reportModel->Columns() == 0) {
        return count;
    }
    if ((states & Selected) != 0) {
        SelectRows(matching, true);
    }
    if ((states & Unselected) != 0) {
        SelectRows(matching, false);
    }
    for (int row = 0; row < rows; ++row) {
        if (matching[size_t(row)] != 0) {
            if ((states & Checked) != 0) {
                reportModel->At(row).checked = true;
            }
            if ((states & Unchecked) != 0) {
                reportModel->At(row).checked = false;
            }
        }
    }
    if ((states & (Focused | Unfocused)) != 0) {
        // One row holds the focus mark: given to each row in turn, the last
        // one keeps it.
        int last = rows - 1;
        while (matching[size_t(last)] == 0) {
            --last;
        }
        ApplyRowStates(last, states & (Focused | Unfocused));
        if ((states & Unfocused) != 0 && currentIndex().isValid() &&
            matching[size_t(currentIndex().row())] != 0) {
            ApplyRowStates(currentIndex().row(), Unfocused);
        }
    }
    return count;
}

void CReportCtrl::InvertSelection() {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { InvertSelection(); });
    }
    std::vector<char> mask = SelectedRowMask();
    for (char& selected : mask) {
        selected = selected != 0 ? 0 : 1;
    }
    selectionModel()->clearSelection();
    SelectRows(mask, true);
}

int CReportCtrl::MoveRow(int from, int to) {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { return MoveRow(from, to); });
    }
    if (!reportModel->IsRow(from)) {
        return -1;
    }
    FinishCellEdit(true);
    to = std::clamp(to, 0, reportModel->Rows() - 1);
    reportModel->MoveItem(from, to);
    return to;
}

void CReportCtrl::EnsureRowVisible(int row) {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { EnsureRowVisible(row); });
    }
    if (reportModel->IsRow(row) && reportModel->Columns() > 0) {
        scrollTo(RowIndex(row), QAbstractItemView::EnsureVisible);
    }
}

} // namespace zorvane
