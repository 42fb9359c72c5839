#include "ReportModel.h"

#include <QBrush>

#include <algorithm>

namespace zorvane {

ReportModel::ReportModel(QObject* parent) : QAbstractTableModel(parent) {}

ReportModel::~ReportModel() = default;

int ReportModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Rows();
}

int ReportModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Columns();
}

QVariant ReportModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !IsRow(index.row()) || !IsColumn(index.column())) {
        return {};
    }
    const Item& item = At(index.row());
    const auto column = size_t(index.column());
    switch (role) {
    case Qt::DisplayRole:
        return item.texts[column];
    case Qt::DecorationRole:
        if (column == 0 && item.image >= 0 && item.image < images.size()) {
            return images[item.image];
        }
        return {};
    // A cell that kept the default colours has none of its own: the view
    // then takes the palette it has at painting time, which follows a
    // change of theme while the program runs.
    case Qt::ForegroundRole:
        if (item.report.textColours[column] == defaultText) {
            return {};
        }
        return QBrush(QColor(item.report.textColours[column]));
    case Qt::BackgroundRole:
        if (item.report.backColours[column] == defaultBack) {
            return {};
        }
        return QBrush(QColor(item.report.backColours[column]));
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(columns[column].alignment | Qt::AlignVCenter);
    default:
        return {};
    }
}

QVariant ReportModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || !IsColumn(section)) {
        return {};
    }
    const Column& column = columns[size_t(section)];
    switch (role) {
    case Qt::DisplayRole:
        return column.title;
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(column.alignment | Qt::AlignVCenter);
    default:
        return {};
    }
}

Qt::ItemFlags ReportModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    // Cells are edited by the list's own editor, never by the view's.
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void ReportModel::SetDefaultColours(QRgb text, QRgb back) {
    defaultText = text;
    defaultBack = back;
}

std::unique_ptr<ReportModel::Item> ReportModel::BlankItem(int image) const {
    auto item = std::make_unique<Item>();
    item->texts.resize(columns.size());
    item->image = image;
    item->report.textColours.assign(columns.size(), defaultText);
    item->report.backColours.assign(columns.size(), defaultBack);
    return item;
}

void ReportModel::InsertItem(int row, const QString& text, int image) {
    std::unique_ptr<Item> item = BlankItem(image);
    if (!item->texts.empty()) {
        item->texts[0] = text;
    }
    beginInsertRows({}, row, row);
    rows.insert(rows.begin() + row, std::move(item));
    endInsertRows();
}

void ReportModel::AppendItems(std::vector<NewRow>& newRows) {
    if (newRows.empty()) {
        return;
    }
    const int first = Rows();
    const size_t columnCount = columns.size();
    beginInsertRows({}, first, first + int(newRows.size()) - 1);
    rows.reserve(rows.size() + newRows.size());
    for (NewRow& newRow : newRows) {
        std::unique_ptr<Item> item = BlankItem(newRow.image);
        const size_t given = std::min(columnCount, newRow.texts.size());
        for (size_t column = 0; column < given; ++column) {
            item->texts[column] = std::move(newRow.texts[column]);
        }
        item->report.rowData = newRow.rowData;
        for (const auto& [column, rgb] : newRow.textColours) {
            if (IsColumn(column)) {
                item->report.textColours[size_t(column)] = rgb;
            }
        }
        rows.push_back(std::move(item));
    }
    endInsertRows();
}

void ReportModel::RemoveItems(int first, int count) {
    if (count <= 0) {
        return;
    }
    beginRemoveRows({}, first, first + count - 1);
    rows.erase(rows.begin() + first, rows.begin() + first + count);
    endRemoveRows();
}

void ReportModel::MoveItem(int from, int to) {
    if (from == to) {
        return;
    }
    // The destination counts rows before the move, so moving down names the
    // row after the target.
    beginMoveRows({}, from, from, {}, to > from ? to + 1 : to);
    auto first = rows.begin() + std::min(from, to);
    auto last = rows.begin() + std::max(from, to) + 1;
    if (to > from) {
        std::rotate(first, first + 1, last);
    } else {
        std::rotate(first, last - 1, last);
    }
    endMoveRows();
}

void ReportModel::PermuteItems(int first, const std::vector<int>& order) {
    const int count = int(order.size());
    // The sort hint lets the selection model keep whole rows rather than
    // every selected cell, which matters with thousands of selected rows.
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<std::unique_ptr<Item>> moved(order.size());
    std::vector<int> newRow(order.size());
    for (int k = 0; k < count; ++k) {
        moved[size_t(k)] = std::move(rows[size_t(order[size_t(k)])]);
        newRow[size_t(order[size_t(k)] - first)] = first + k;
    }
    for (int k = 0; k < count; ++k) {
        rows[size_t(first + k)] = std::move(moved[size_t(k)]);
    }
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& index : from) {
        const int row = index.row();
        to.append(row >= first && row < first + count
                      ? createIndex(newRow[size_t(row - first)], index.column())
                      : index);
    }
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void ReportModel::InsertColumn(int column, const QString& title, Qt::Alignment alignment) {
    beginInsertColumns({}, column, column);
    columns.insert(columns.begin() + column, Column{title, alignment, 0, false});
    for (const auto& item : rows) {
        item->texts.insert(item->texts.begin() + column, QString());
        item->report.textColours.insert(item->report.textColours.begin() + column, defaultText);
        item->report.backColours.insert(item->report.backColours.begin() + column, defaultBack);
    }
    endInsertColumns();
}

void ReportModel::RemoveColumn(int column) {
    beginRemoveColumns({}, column, column);
    columns.erase(columns.begin() + column);
    for (const auto& item : rows) {
        item->texts.erase(item->texts.begin() + column);
        item->report.textColours.erase(item->report.textColours.begin() + column);
        item->report.backColours.erase(item->report.backColours.begin() + column);
    }
    endRemoveColumns();
}

void ReportModel::SetText(int row, int column, const QString& text) {
    QString& cell = At(row).texts[size_t(column)];
    if (cell == text) {
        return;
    }
    cell = text;
    const QModelIndex changed = index(row, column);
    emit dataChanged(changed, changed, {Qt::DisplayRole});
}

void ReportModel::CellsChanged(int first, int last, int role) {
    if (first > last || columns.empty()) {
        return;
    }
    emit dataChanged(index(first, 0), index(last, Columns() - 1), {role});
}

void ReportModel::HeaderChanged(int first, int last) {
    if (first <= last) {
        emit headerDataChanged(Qt::Horizontal, first, last);
    }
}

} // namespace zorvane
