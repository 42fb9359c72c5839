#include "ReportHeader.h"

#include "ReportModel.h"

#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionHeader>

namespace zorvane {

CReportHeader::CReportHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {}

int CReportHeader::DividerAt(int x) const {
    const int visual = visualIndexAt(x);
    if (visual < 0) {
        return -1;
    }
    const int logical = logicalIndex(visual);
    const int start = sectionViewportPosition(logical);
    const int grip = style()->pixelMetric(QStyle::PM_HeaderGripMargin, nullptr, this);
    bool nearStart = x < start + grip;
    bool nearEnd = x > start + sectionSize(logical) - grip;
    if (isRightToLeft()) {
        std::swap(nearStart, nearEnd);
    }
    if (nearEnd) {
        return logical;
    }
    if (nearStart) {
        for (int before = visual - 1; before >= 0; --before) {
            const int candidate = logicalIndex(before);
            if (!isSectionHidden(candidate)) {
                return candidate;
            }
        }
    }
    return -1;
}

void CReportHeader::initStyleOptionForIndex(QStyleOptionHeader* option, int logicalIndex) const {
    QHeaderView::initStyleOptionForIndex(option, logicalIndex);
    if (report == nullptr || !report->IsColumn(logicalIndex)) {
        return;
    }
    const ReportModel::Column& column = report->ColumnAt(logicalIndex);
    option->sortIndicator = QStyleOptionHeader::None;
    if (column.headerImage != 1 && column.headerImage != 2) {
        return;
    }
    const bool ascending = column.headerImage == 1;
    if (column.imageLeft) {
        option->icon = style()->standardIcon(ascending ? QStyle::SP_ArrowUp : QStyle::SP_ArrowDown);
        option->iconAlignment = Qt::AlignLeft | Qt::AlignVCenter;
    } else {
        // The style's own sort mark sits at the right edge and keeps the
        // caption clear of it, whatever the caption's alignment.
        option->sortIndicator =
            ascending ? QStyleOptionHeader::SortUp : QStyleOptionHeader::SortDown;
    }
}

void CReportHeader::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        const int column = DividerAt(event->position().toPoint().x());
        if (column >= 0) {
            emit dividerDragStarting(column);
        }
    }
    QHeaderView::mousePressEvent(event);
}

void CReportHeader::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        const int column = DividerAt(event->position().toPoint().x());
        if (column >= 0) {
            // The header's own answer would fit the caption as well; the
            // list fits the cells only.
            emit dividerDoubleClicked(column);
            event->accept();
            return;
        }
    }
    QHeaderView::mouseDoubleClickEvent(event);
}

void CReportHeader::contextMenuEvent(QContextMenuEvent* event) {
    // From the keyboard there is no point to open the menu at.
    if (event->reason() == QContextMenuEvent::Mouse) {
        emit menuRequested(event->globalPos());
    }
    event->accept();
}

} // namespace zorvane
