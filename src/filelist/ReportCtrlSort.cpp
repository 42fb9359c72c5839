// Sorting the file list: the history of sorted columns, the order of cells
// of each kind and the sort itself.

#include "ReportCtrl.h"

#include "FileListColumns.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>

namespace zorvane {

namespace {

template <typename T> int CompareNumbers(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

// A NaN would make the order inconsistent, and an inconsistent order can walk
// the quicksort's scans off their range; NaN sorts first instead.
int CompareDoubles(double a, double b) {
    const bool aNan = std::isnan(a);
    const bool bNan = std::isnan(b);
    if (aNan || bNan) {
        return aNan == bNan ? 0 : (aNan ? -1 : 1);
    }
    return CompareNumbers(a, b);
}

// UTF-16 units reordered so that comparing them gives code point order, which
// is UTF-8 byte order: surrogates move above U+E000..U+FFFF.
char16_t CodePointOrder(char16_t unit) {
    if (unit >= 0xd800) {
        return unit >= 0xe000 ? char16_t(unit - 0x800) : char16_t(unit + 0x2000);
    }
    return unit;
}

} // namespace

QList<ColumnSortInfo> CReportCtrl::SortHistory() const {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { return SortHistory(); });
    }
    return sortHistory;
}

void CReportCtrl::SetSortHistory(const QList<ColumnSortInfo>& history) {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { SetSortHistory(history); });
    }
    sortHistory = history;
}

void CReportCtrl::OnColumnClick(int column) {
    if (sortRefused != nullptr && sortRefused->load() != 0) {
        return;
    }
    bool ascending = true;
    const auto found =
        std::find_if(sortHistory.cbegin(), sortHistory.cend(),
                     [column](const ColumnSortInfo& e) { return e.column == column; });
    if (found != sortHistory.cend()) {
        ascending = found->ascending != 0;
        if (found == sortHistory.cbegin()) {
            ascending = !ascending;
        }
        sortHistory.erase(found);
    }
    sortHistory.prepend(ColumnSortInfo{column, ascending ? 1 : 0});
    while (sortHistory.size() > kMaxSortHistory) {
        sortHistory.removeLast();
    }
    FinishCellEdit(true);
    if (reportModel->IsColumn(column) && !isHeaderHidden() && headerSort) {
        SortByHistory(0, reportModel->Rows() - 1, true);
    }
}

int CReportCtrl::CompareTexts(QStringView a, QStringView b) {
    const qsizetype common = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < common; ++i) {
        const char16_t x = a[i].unicode();
        const char16_t y = b[i].unicode();
        if (x != y) {
            return CodePointOrder(x) < CodePointOrder(y) ? -1 : 1;
        }
    }
    return CompareNumbers(a.size(), b.size());
}

int CReportCtrl::CompareCells(int rowA, int rowB, int column) const {
    const ReportModel::Item& a = reportModel->At(rowA);
    const ReportModel::Item& b = reportModel->At(rowB);
    const MediaFileInfo* infoA = a.report.rowData;
    const MediaFileInfo* infoB = b.report.rowData;
    if (infoA != nullptr && infoB != nullptr) {
        switch (column) {
        case ColumnTrack:
            if (infoA->trackNumber != infoB->trackNumber) {
                return CompareNumbers(infoA->trackNumber, infoB->trackNumber);
            }
            return CompareNumbers(infoA->trackTotal, infoB->trackTotal);
        case ColumnSize:
            return CompareDoubles(infoA->sizeMB, infoB->sizeMB);
        case ColumnFrequency:
            return CompareNumbers(infoA->sampleRate, infoB->sampleRate);
        case ColumnChannel:
            return CompareNumbers(infoA->channels, infoB->channels);
        case ColumnBitrate:
            return CompareNumbers(infoA->bitrateKbps, infoB->bitrateKbps);
        default:
            break;
        }
    }
    if (!reportModel->IsColumn(column)) {
        return 0;
    }
    return CompareTexts(a.texts[size_t(column)], b.texts[size_t(column)]);
}

int CReportCtrl::CompareRows(int rowA, int rowB, int column, int depth) const {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { return CompareRows(rowA, rowB, column, depth); });
    }
    if (!reportModel->IsRow(rowA) || !reportModel->IsRow(rowB)) {
        return 0;
    }
    // Each tie goes to the next older history column. A loop rather than the
    // recursion it amounts to: a stored history can be of any length.
    for (;;) {
        const int result = CompareCells(rowA, rowB, column);
        if (result != 0 || depth < 0 || depth >= sortHistory.size() - 1) {
            return result;
        }
        ++depth;
        column = sortHistory[depth].column;
    }
}

void CReportCtrl::QuickSort(std::vector<int>& rows, int lo, int hi, int column,
                            bool ascending) const {
    const int sign = ascending ? 1 : -1;
    auto compare = [&](int a, int b) { return sign * CompareRows(a, b, column, 0); };
    while (lo < hi) {
        const int pivot = rows[size_t((lo + hi) / 2)];
        int i = lo;
        int j = hi;
        do {
            // The bounds only matter for an order that contradicts itself;
            // with a consistent one the scans stop at the pivot anyway.
            while (i < hi && compare(rows[size_t(i)], pivot) < 0) {
                ++i;
            }
            while (j > lo && compare(rows[size_t(j)], pivot) > 0) {
                --j;
            }
            if (j < i) {
                break;
            }
            if (i != j) {
                std::swap(rows[size_t(i)], rows[size_t(j)]);
            }
            ++i;
            --j;
        } while (j >= i);
        // Both halves are sorted the same whichever goes first; recursing
        // into the smaller one keeps the stack shallow on any input.
        if (j - lo < hi - i) {
            if (lo < j) {
                QuickSort(rows, lo, j, column, ascending);
            }
            lo = i;
        } else {
            if (i < hi) {
                QuickSort(rows, i, hi, column, ascending);
            }
            hi = j;
        }
    }
}

void CReportCtrl::SortRange(int first, int last, int column, bool ascending) {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { SortRange(first, last, column, ascending); });
    }
    if (!(first >= 0 && first < last && last < reportModel->Rows())) {
        return;
    }
    std::vector<int> order(size_t(last - first + 1));
    for (size_t k = 0; k < order.size(); ++k) {
        order[k] = first + int(k);
    }
    QuickSort(order, 0, last - first, column, ascending);
    bool unchanged = true;
    for (size_t k = 0; k < order.size() && unchanged; ++k) {
        unchanged = order[k] == first + int(k);
    }
    if (unchanged) {
        return;
    }
    const int editedBefore = editRow;
    reportModel->PermuteItems(first, order);
    // An edit in progress stays with its row: committed later, it must rename
    // the file the user was typing over, not whichever took that place.
    if (editedBefore >= first && editedBefore <= last) {
        const auto at = std::find(order.begin(), order.end(), editedBefore);
        editRow = first + int(at - order.begin());
        PlaceEditor();
    }
}

void CReportCtrl::SortByHistory(int first, int last, bool tint) {
    if (listBusy != nullptr) {
        listBusy->store(1, std::memory_order_relaxed);
    }
    auto sort = [&] {
        setUpdatesEnabled(false);
        // A history can only be empty when a stored one held nothing usable;
        // then there is no order to apply, but the colours still are.
        if (!sortHistory.isEmpty()) {
            const ColumnSortInfo primary = sortHistory.first();
            SortRange(first, last, primary.column, primary.ascending != 0);
            if (notifyWindow != nullptr) {
                QCoreApplication::postEvent(
                    notifyWindow, new ListSortedEvent(primary.column, primary.ascending != 0));
            }
        }
        ApplyRowColours(tint);
    };
    OnWindowThread(sort);
    if (listBusy != nullptr) {
        listBusy->store(0, std::memory_order_relaxed);
    }
}

} // namespace zorvane
