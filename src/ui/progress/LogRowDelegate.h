#pragma once

#include <QColor>
#include <QStyledItemDelegate>

namespace zorvane {

// Colours the log: every other row a pale blue background, the text by the
// line's level (kept in the row's first column). These are the colours of a
// light theme; what is painted is fitted to the log's palette (see
// ui/toolkit/Contrast.h), so that a dark theme shows dark rows and every
// level stays readable on its row.
class LogRowDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    static constexpr int kLevelRole = Qt::UserRole + 1;

    static QColor BackgroundFor(int row);
    // Invalid for a level without a colour of its own.
    static QColor TextColourFor(int level);

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

} // namespace zorvane
