#include "ReportRowSink.h"

#include "ReportCtrl.h"

#include <QColor>

namespace zorvane {

ReportRowSink::ReportRowSink(CReportCtrl& reportList, int row, Mode sinkMode)
    : list(reportList), mode(sinkMode) {
    list.OnWindowThread([&] {
        where = std::make_unique<QPersistentModelIndex>(list.RowIndex(row));
        info = list.GetRowData(row);
        if (mode == Mode::Buffered) {
            cells.resize(size_t(list.ColumnCount()));
            for (int column = 0; column < int(cells.size()); ++column) {
                cells[size_t(column)].text = list.CellText(row, column);
                cells[size_t(column)].textRgb = list.CellTextColour(row, column).rgba();
            }
        }
    });
}

ReportRowSink::~ReportRowSink() {
    list.OnWindowThread([&] {
        FlushOnWindowThread();
        where.reset();
    });
}

MediaFileInfo& ReportRowSink::Info() {
    return info != nullptr ? *info : spare;
}

int ReportRowSink::Row() const {
    return list.OnWindowThread([&] { return where->isValid() ? where->row() : -1; });
}

QString ReportRowSink::CellText(int column) const {
    if (mode == Mode::Buffered) {
        return column >= 0 && size_t(column) < cells.size() ? cells[size_t(column)].text
                                                            : QString();
    }
    return list.OnWindowThread(
        [&] { return where->isValid() ? list.CellText(where->row(), column) : QString(); });
}

void ReportRowSink::SetCellText(int column, const QString& text) {
    if (mode == Mode::Buffered) {
        if (column >= 0 && size_t(column) < cells.size()) {
            cells[size_t(column)].text = text;
            cells[size_t(column)].textChanged = true;
        }
        return;
    }
    list.OnWindowThread([&] {
        if (where->isValid()) {
            list.SetCellText(where->row(), column, text);
        }
    });
}

void ReportRowSink::SetCellTextColor(int column, uint32_t rgb) {
    if (mode == Mode::Buffered) {
        if (column >= 0 && size_t(column) < cells.size()) {
            cells[size_t(column)].textRgb = rgb;
            cells[size_t(column)].colourChanged = true;
        }
        return;
    }
    list.OnWindowThread([&] {
        // A cell outside the row would recolour every cell: not what a
        // reader writing one cell means.
        if (where->isValid() && column >= 0 && column < list.ColumnCount()) {
            list.SetCellTextColour(where->row(), column, QColor::fromRgba(rgb), true);
        }
    });
}

void ReportRowSink::Flush() {
    if (mode == Mode::Buffered) {
        list.OnWindowThread([&] { FlushOnWindowThread(); });
    }
}

void ReportRowSink::FlushOnWindowThread() {
    if (!where || !where->isValid()) {
        return;
    }
    const int row = where->row();
    for (int column = 0; column < int(cells.size()); ++column) {
        Cell& cell = cells[size_t(column)];
        if (cell.textChanged) {
            list.SetCellText(row, column, cell.text);
        }
        if (cell.colourChanged) {
            list.SetCellTextColour(row, column, QColor::fromRgba(cell.textRgb), true);
        }
        cell.textChanged = cell.colourChanged = false;
    }
}

} // namespace zorvane
