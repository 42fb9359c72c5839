#pragma once

#include "engine/MediaFileInfo.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QIcon>
#include <QList>
#include <QString>

#include <memory>
#include <utility>
#include <vector>

namespace zorvane {

// What the list keeps for each row beside its texts: the caller's record and
// a text and background colour for every cell.
struct ReportRow {
    // Not owned: whoever removes the row frees the record.
    MediaFileInfo* rowData = nullptr;
    std::vector<QRgb> textColours;
    std::vector<QRgb> backColours;
};

// A row handed to CReportCtrl::AppendRows already filled: its texts from
// column 0 on (missing ones stay empty), the cells whose text colour is not
// the default, its image and its record.
struct NewRow {
    std::vector<QString> texts;
    std::vector<std::pair<int, QRgb>> textColours;
    int image = -1;
    MediaFileInfo* rowData = nullptr;
};

// The rows and columns behind CReportCtrl. Only the list changes it, always on
// the window's thread; the view and the selection model see every change
// through the usual model signals, so selection and focus follow their rows.
class ReportModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    struct Column {
        QString title;
        Qt::Alignment alignment = Qt::AlignLeft;
        int headerImage = 0; // 0 none, 1 ascending arrow, 2 descending arrow
        bool imageLeft = false;
    };

    struct Item {
        std::vector<QString> texts;
        int image = -1; // index into the small images, column 0 only
        bool checked = false;
        ReportRow report;
    };

    explicit ReportModel(QObject* parent = nullptr);
    ~ReportModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    int Rows() const { return int(rows.size()); }
    int Columns() const { return int(columns.size()); }
    bool IsRow(int row) const { return row >= 0 && row < Rows(); }
    bool IsColumn(int column) const { return column >= 0 && column < Columns(); }
    Item& At(int row) { return *rows[size_t(row)]; }
    const Item& At(int row) const { return *rows[size_t(row)]; }
    Column& ColumnAt(int column) { return columns[size_t(column)]; }
    const Column& ColumnAt(int column) const { return columns[size_t(column)]; }

    // Every cell of a new row or column starts with these colours. A cell
    // holding them is painted in the view's palette instead.
    void SetDefaultColours(QRgb text, QRgb back);
    QRgb DefaultTextColour() const { return defaultText; }
    QRgb DefaultBackColour() const { return defaultBack; }

    void InsertItem(int row, const QString& text, int image);
    // Appends the rows with one notification; their texts are moved out.
    void AppendItems(std::vector<NewRow>& newRows);
    void RemoveItems(int first, int count);
    void MoveItem(int from, int to);
    // order[k] is the current index of the row that goes to first + k.
    void PermuteItems(int first, const std::vector<int>& order);
    void InsertColumn(int column, const QString& title, Qt::Alignment alignment);
    void RemoveColumn(int column);

    void SetText(int row, int column, const QString& text);
    // Tells the views that the given role changed in rows first..last (all
    // columns); nothing for an empty range.
    void CellsChanged(int first, int last, int role);
    void HeaderChanged(int first, int last);

    QList<QIcon> images;

private:
    // A row of empty texts in the default colours.
    std::unique_ptr<Item> BlankItem(int image) const;

    std::vector<std::unique_ptr<Item>> rows;
    std::vector<Column> columns;
    QRgb defaultText = qRgb(0, 0, 0);
    QRgb defaultBack = qRgb(255, 255, 255);
};

} // namespace zorvane
