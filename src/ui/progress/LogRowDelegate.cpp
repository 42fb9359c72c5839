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
    // Taken from the palette at every paint, so a change of theme while the
    // window is open shows at the next repaint.
    const QColor base = option->palette.color(QPalette::Base);
    const QColor background = ThemedColour(BackgroundFor(index.row()), base);
    option->backgroundBrush = background;
    const int level = index.siblingAtColumn(0).data(kLevelRole).toInt();
    const QColor text = TextColourFor(level);
    option->palette.setColor(QPalette::Text,
                             ReadableOn(background, text.isValid()
                                                        ? ThemedColour(text, base)
                                                        : option->palette.color(QPalette::Text)));
}

} // namespace zorvane
