#pragma once

#include "ui/toolkit/Contrast.h"

#include <QApplication>
#include <QBrush>
#include <QStyle>
#include <QStyledItemDelegate>

namespace zorvane {

// The list's cell painter: the standard one, with each cell's text and
// background colour from the model, fitted to the theme. The row and cell
// colours are made for a white list; a dark theme gets their equivalents
// (ui/toolkit/Contrast.h), and text that would not stand out from its cell
// is drawn lighter or darker. It also
// tells where a cell's text goes, so the in-place editor can sit exactly
// over it.
class ReportDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QRect TextRect(QStyleOptionViewItem option, const QModelIndex& index) const {
        initStyleOption(&option, index);
        const QWidget* widget = option.widget;
        const QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
        return style->subElementRect(QStyle::SE_ItemViewItemText, &option, widget);
    }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const QVariant back = index.data(Qt::BackgroundRole);
        const QVariant fore = index.data(Qt::ForegroundRole);
        ApplyThemedColours(option, back.isValid() ? back.value<QBrush>().color() : QColor(),
                           fore.isValid() ? fore.value<QBrush>().color() : QColor());
    }
};

} // namespace zorvane
