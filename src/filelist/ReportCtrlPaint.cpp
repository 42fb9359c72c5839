// The file list's colours: cell colours, the banded and tinted rows of a
// sorted list, and the hints painted into an empty list.

#include "ReportCtrl.h"

#include "ui/toolkit/Contrast.h"

#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <array>

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

} // namespace

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

} // namespace zorvane
