// Rows, cells, row states, sorting, colours and the empty-list hints of the
// file list. The column machinery is in ReportCtrlColumns.cpp, editing and
// input in ReportCtrlEdit.cpp.

#include "ReportCtrl.h"

#include "FileListColumns.h"
#include "ReportDelegate.h"
#include "ReportHeader.h"
#include "ReportRowSink.h"
#include "ui/toolkit/Contrast.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QItemSelection>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace zorvane {

namespace {

constexpr std::array<QStringView, CReportCtrl::kHintCount> kHints{{
    u"Drag & Drop files and folders here",
    u"Add files by clicking the \"Add Files\" toolbar button",
    u"Add folder by clicking the \"Add Folder\" toolbar button",
    u"Add subfolders by clicking the \"Add SubFolders\" toolbar button",
    u"When you select one folder of the left folder tree, press the CTRL key at the same "
    u"time, the soft will search and add all audio files in the subfolders",
    u"When you select one folder of the left folder tree, press the SHIFT key at the same "
    u"time, the soft will NOT clear the existing file list",
    u"You can drag & drop files in the file list to Windows Explorer to copy these files",
    u"Right click items in the file list and click the floating popup menu to perform "
    u"various file operations",
    u"Click the column header to sort the file list",
    u"Right click the column header and click the floating popup menu to show/hide columns",
}};

quint64 MillisecondsSinceStart() {
    // The steady clock counts from boot on the systems we run on, which is
    // what keeps every list showing the same hint at the same time.
    return quint64(std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::steady_clock::now().time_since_epoch())
                       .count());
}

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

CReportCtrl::CReportCtrl(QWidget* parent) : QTreeView(parent) {
    reportModel = new ReportModel(this);
    reportModel->SetDefaultColours(palette().color(QPalette::Text).rgb(),
                                   palette().color(QPalette::Base).rgb());
    reportHeader = new CReportHeader(this);
    reportHeader->SetReportModel(reportModel);
    setHeader(reportHeader);
    setModel(reportModel);
    delegate = new ReportDelegate(this);
    setItemDelegate(delegate);

    // A flat report: one line per row, the whole row selected, several rows
    // at a time, cells never edited by the view itself.
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setSortingEnabled(false);
    setTextElideMode(Qt::ElideRight);

    // Every column can be dragged, Name included: the view's tree column
    // is an ordinary column here.
    reportHeader->setSectionsMovable(true);
    reportHeader->setFirstSectionMovable(true);
    reportHeader->setStretchLastSection(false);
    reportHeader->setSectionsClickable(false);
    reportHeader->setHighlightSections(false);
    reportHeader->setSectionResizeMode(QHeaderView::Interactive);

    connect(reportHeader, &QHeaderView::sectionClicked, this, &CReportCtrl::OnColumnClick);
    connect(reportHeader, &QHeaderView::sectionMoved, this, &CReportCtrl::OnSectionMoved);
    connect(reportHeader, &QHeaderView::sectionResized, this, [this] { PlaceEditor(); });
    connect(reportHeader, &CReportHeader::dividerDragStarting, this,
            [this] { FinishCellEdit(false); });
    connect(reportHeader, &CReportHeader::dividerDoubleClicked, this,
            [this](int column) { AutoSizeColumn(column, false); });
    connect(reportHeader, &CReportHeader::menuRequested, this, &CReportCtrl::OnHeaderMenu);

    // Only the user's own scrolling ends an edit; the list scrolls by itself
    // to bring an edited cell into view.
    connect(horizontalScrollBar(), &QScrollBar::actionTriggered, this,
            [this] { CancelEditFromUser(); });
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this,
            [this] { CancelEditFromUser(); });
    // Scrolling moves what is already painted; a hint must be drawn whole.
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        if (showEmptyTips != 0 && reportModel->Rows() == 0) {
            viewport()->update();
        }
    });

    hintClock = MillisecondsSinceStart;
    hintTimer.setSingleShot(true);
    hintTimer.setTimerType(Qt::CoarseTimer);
    connect(&hintTimer, &QTimer::timeout, viewport(), qOverload<>(&QWidget::update));
}

CReportCtrl::~CReportCtrl() = default;

// --- Notifications ----------------------------------------------------------

void CReportCtrl::SetNotifyWindow(QObject* window) {
    notifyWindow = window;
}

void CReportCtrl::SetRedraw(bool on) {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { SetRedraw(on); });
    }
    setUpdatesEnabled(on);
}

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
    FinishCellEdit(false);
    const bool wasUpdating = updatesEnabled();
    setUpdatesEnabled(false);
    int deleted = 0;
    if ((filter & AllRows) != 0) {
        deleted = reportModel->Rows();
        reportModel->RemoveItems(0, deleted);
    } else {
        const std::vector<char> matching = MatchingRows(filter);
        // From the bottom, one run of neighbours at a time, so that indices
        // still to be visited do not shift.
        int row = reportModel->Rows() - 1;
        while (row >= 0) {
            if (matching[size_t(row)] == 0) {
                --row;
                continue;
            }
            int first = row;
            while (first > 0 && matching[size_t(first - 1)] != 0) {
                --first;
            }
            reportModel->RemoveItems(first, row - first + 1);
            deleted += row - first + 1;
            row = first - 1;
        }
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

void CReportCtrl::SetColour(int row, int column, const QColor& colour, bool text, bool redraw) {
    // The model's defaults stand for the palette, whichever is in use when
    // the cell is painted.
    const QRgb value = colour.isValid() ? colour.rgb()
                                        : (text ? reportModel->DefaultTextColour()
                                                : reportModel->DefaultBackColour());
    const bool allRows = !reportModel->IsRow(row);
    const bool allColumns = !reportModel->IsColumn(column);
    const int firstRow = allRows ? 0 : row;
    const int lastRow = allRows ? reportModel->Rows() - 1 : row;
    for (int r = firstRow; r <= lastRow; ++r) {
        ReportRow& report = reportModel->At(r).report;
        std::vector<QRgb>& colours = text ? report.textColours : report.backColours;
        if (allColumns) {
            std::fill(colours.begin(), colours.end(), value);
        } else {
            colours[size_t(column)] = value;
        }
    }
    if (redraw) {
        reportModel->CellsChanged(firstRow, lastRow,
                                  text ? Qt::ForegroundRole : Qt::BackgroundRole);
    }
}

void CReportCtrl::SetCellTextColour(int row, int column, const QColor& colour, bool redraw) {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { SetCellTextColour(row, column, colour, redraw); });
    }
    SetColour(row, column, colour, true, redraw);
}

void CReportCtrl::SetCellBackColour(int row, int column, const QColor& colour, bool redraw) {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { SetCellBackColour(row, column, colour, redraw); });
    }
    SetColour(row, column, colour, false, redraw);
}

QColor CReportCtrl::CellTextColour(int row, int column) const {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { return CellTextColour(row, column); });
    }
    if (!reportModel->IsRow(row) || !reportModel->IsColumn(column)) {
        return {};
    }
    return QColor(reportModel->At(row).report.textColours[size_t(column)]);
}

QColor CReportCtrl::CellBackColour(int row, int column) const {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { return CellBackColour(row, column); });
    }
    if (!reportModel->IsRow(row) || !reportModel->IsColumn(column)) {
        return {};
    }
    return QColor(reportModel->At(row).report.backColours[size_t(column)]);
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

// --- Sorting ---------------------------------------------------------------------

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

void CReportCtrl::startDrag(Qt::DropActions) {
    // The rows are files: what a drag carries is their paths, which only the
    // window knows how to build.
    emit dragRequested();
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

void CReportCtrl::ApplyRowColours(bool tint) {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { ApplyRowColours(tint); });
    }
    setUpdatesEnabled(false);
    const int sorted = sortHistory.isEmpty() ? -1 : sortHistory.first().column;
    const int rows = reportModel->Rows();
    for (int row = 0; row < rows; ++row) {
        ReportRow& report = reportModel->At(row).report;
        const bool invalid = report.rowData != nullptr && report.rowData->invalid != 0;
        const bool odd = (row & 1) != 0;
        const QRgb plain = invalid ? kInvalidRowRgb : (odd ? kOddRowRgb : kEvenRowRgb);
        std::fill(report.backColours.begin(), report.backColours.end(), plain);
        if (!invalid && tint && sorted >= 0 && size_t(sorted) < report.backColours.size()) {
            report.backColours[size_t(sorted)] = odd ? kOddTintRgb : kEvenTintRgb;
        }
    }
    setUpdatesEnabled(true);
    reportModel->CellsChanged(0, rows - 1, Qt::BackgroundRole);
    viewport()->update();
}

// --- Hints in the empty list ---------------------------------------------------

void CReportCtrl::SetShowEmptyTips(bool on) {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { SetShowEmptyTips(on); });
    }
    showEmptyTips = on ? 1 : 0;
    viewport()->update();
}

QString CReportCtrl::HintText(int index) {
    if (index < 0 || index >= kHintCount) {
        return {};
    }
    return kHints[size_t(index)].toString();
}

int CReportCtrl::HintIndexAt(quint64 ms) {
    return int(ms / kHintPeriodMs % kHintCount);
}

QString CReportCtrl::CurrentHintText() const {
    return HintText(HintIndexAt(hintClock()));
}

void CReportCtrl::SetHintClock(std::function<quint64()> clock) {
    hintClock = clock ? std::move(clock) : std::function<quint64()>(MillisecondsSinceStart);
    viewport()->update();
}

void CReportCtrl::ScheduleHintRepaint() {
    // The next hint is due at the next multiple of the period.
    const quint64 now = hintClock();
    const int wait = int(kHintPeriodMs - now % kHintPeriodMs);
    hintTimer.start(wait + 1);
}

void CReportCtrl::PaintHint() {
    const quint64 now = hintClock();
    const int index = HintIndexAt(now);
    QPainter painter(viewport());
    QFont font(u"Trebuchet MS"_s);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(15.6);
    painter.setFont(font);
    // The hint's white band is the list's own base in a dark theme, and its
    // blue is deepened or lightened until it stands out from the band.
    const QColor base = viewport()->palette().color(QPalette::Base);
    const QColor band = ThemedColour(QColor(Qt::white), base);
    painter.setPen(ReadableOn(band, ThemedColour(QColor(kHintTextRgb), base)));
    painter.setBackground(band);
    painter.setBackgroundMode(Qt::OpaqueMode);
    // The viewport already starts below the header.
    const QRect area = viewport()->rect();
    const int lineHeight = QFontMetrics(font).height();
    const int top = area.top() + area.height() / 2 - lineHeight;
    const QRect textArea(area.left(), top, area.width(), std::max(area.bottom() - top, 1));
    painter.drawText(textArea, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, HintText(index));
    if (index != lastHintIndex) {
        // A partial repaint would mix the new hint with the old one.
        lastHintIndex = index;
        viewport()->update();
    }
    ScheduleHintRepaint();
}

void CReportCtrl::paintEvent(QPaintEvent* event) {
    QTreeView::paintEvent(event);
    if (showEmptyTips != 0 && reportModel->Rows() == 0) {
        PaintHint();
    } else {
        hintTimer.stop();
    }
}

// --- The loader thread -------------------------------------------------------------

std::unique_ptr<InfoRowSink> CReportCtrl::RowSink(int row, bool buffered) {
    return std::make_unique<ReportRowSink>(
        *this, row, buffered ? ReportRowSink::Mode::Buffered : ReportRowSink::Mode::Immediate);
}

namespace {

QEvent::Type PendingCallsEvent() {
    static const auto type = QEvent::Type(QEvent::registerEventType());
    return type;
}

} // namespace

void CReportCtrl::RunFromOtherThread(const std::function<void()>& run) const {
    // A queue of our own rather than a blocking queued connection: the same
    // wait, but the hand-over goes through locks that thread checkers see,
    // and the window's thread can run exactly these calls while it waits.
    PendingCall call{&run};
    {
        const std::lock_guard lock(callMutex);
        pendingCalls.push_back(&call);
    }
    QCoreApplication::postEvent(const_cast<CReportCtrl*>(this), new QEvent(PendingCallsEvent()));
    std::unique_lock lock(callMutex);
    callDone.wait(lock, [&call] { return call.done; });
}

void CReportCtrl::RunPendingLoaderCalls() {
    for (;;) {
        PendingCall* call = nullptr;
        {
            const std::lock_guard lock(callMutex);
            if (pendingCalls.empty()) {
                return;
            }
            call = pendingCalls.front();
            pendingCalls.pop_front();
        }
        (*call->run)();
        {
            const std::lock_guard lock(callMutex);
            call->done = true;
        }
        callDone.notify_all();
    }
}

bool CReportCtrl::event(QEvent* event) {
    if (event->type() == PendingCallsEvent()) {
        RunPendingLoaderCalls();
        return true;
    }
    return QTreeView::event(event);
}

} // namespace zorvane
