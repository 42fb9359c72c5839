#pragma once

#include <QApplication>
#include <QStyle>
#include <QStyledItemDelegate>

namespace zorvane {

// The list's cell painter: the standard one, which already takes each cell's
// text and background colour from the model. It also tells where a cell's
// text goes, so the in-place editor can sit exactly over it.
class ReportDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QRect TextRect(QStyleOptionViewItem option, const QModelIndex& index) const {
        initStyleOption(&option, index);
        const QWidget* widget = option.widget;
        const QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
        return style->subElementRect(QStyle::SE_ItemViewItemText, &option, widget);
    }
};

} // namespace zorvane
