#include "LogRowDelegate.h"

#include "ui/toolkit/Contrast.h"

namespace zorvane {

QColor LogRowDelegate::BackgroundFor(int row) {
    return (row % 2 == 1) ? QColor(243, 245, 252) : QColor(Qt::white);
}

QColor LogRowDelegate::TextColourFor(int level) {
    switch (level) {
    case 0:
        return QColor(0, 0, 255);
    case 1:
        return QColor(153, 0, 0);
    case 2:
        return QColor(255, 0, 0);
    default:
        return QColor();
    }
}

void LogRowDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    const int level = index.siblingAtColumn(0).data(kLevelRole).toInt();
    ApplyThemedColours(option, BackgroundFor(index.row()), TextColourFor(level));
}

} // namespace zorvane
