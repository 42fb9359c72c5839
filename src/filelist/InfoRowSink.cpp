#include "InfoRowSink.h"

namespace zorvane {

QString InfoRowCells::CellText(int column) const {
    return IsColumn(column) ? cells[size_t(column)] : QString();
}

void InfoRowCells::SetCellText(int column, const QString& text) {
    if (IsColumn(column)) {
        cells[size_t(column)] = text;
    }
}

void InfoRowCells::SetCellTextColor(int column, uint32_t rgb) {
    if (IsColumn(column)) {
        colors[size_t(column)] = rgb;
    }
}

uint32_t InfoRowCells::CellTextColor(int column) const {
    return IsColumn(column) ? colors[size_t(column)] : kDefaultTextRgb;
}

} // namespace zorvane
