#pragma once

#include <QHeaderView>

namespace zorvane {

class ReportModel;

// The file list's column header. It draws each column's sort image, and tells
// the list about the moments the list must act on before the header does:
// a divider about to be dragged, a divider double-clicked, a right-click.
class CReportHeader final : public QHeaderView {
    Q_OBJECT

public:
    explicit CReportHeader(QWidget* parent = nullptr);

    void SetReportModel(const ReportModel* reportModel) { report = reportModel; }

    // The column whose right-hand divider is under x (viewport coordinates),
    // or -1. Hidden columns have no divider: a divider at the left edge of a
    // column belongs to the nearest shown column before it.
    int DividerAt(int x) const;

signals:
    void dividerDragStarting(int column);
    void dividerDoubleClicked(int column);
    void menuRequested(const QPoint& globalPosition);

protected:
    void initStyleOptionForIndex(QStyleOptionHeader* option, int logicalIndex) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    const ReportModel* report = nullptr;
};

} // namespace zorvane
