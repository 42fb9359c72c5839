// In-place editing of the file list's cells and the list's own keyboard and
// mouse rules.

#include "ReportCtrl.h"

#include "ReportDelegate.h"
#include "ReportHeader.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QToolTip>

#include <algorithm>

namespace zorvane {

void CReportCtrl::SetEditEnabled(bool on) {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { SetEditEnabled(on); });
    }
    editEnabled = on ? 1 : 0;
}

void CReportCtrl::AddEditableColumn(int column) {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { AddEditableColumn(column); });
    }
    if (!reportModel->IsColumn(column) || std::find(editableColumns.begin(), editableColumns.end(),
                                                    unsigned(column)) != editableColumns.end()) {
        return;
    }
    editableColumns.push_back(unsigned(column));
}

QRect CReportCtrl::CellLabelRect(int row, int column) const {
    const QModelIndex cell = RowIndex(row, column);
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(cell);
    return delegate->TextRect(option, cell);
}

void CReportCtrl::PlaceEditor() {
    if (!IsEditing() || editor == nullptr) {
        return;
    }
    QRect area = CellLabelRect(editRow, editColumn);
    // The frame needs more height than a row has; grow about the row's middle.
    const int needed = editor->sizeHint().height();
    if (area.height() < needed) {
        area.adjust(0, -(needed - area.height()) / 2, 0, 0);
        area.setHeight(needed);
    }
    editor->setGeometry(area);
}

bool CReportCtrl::BeginCellEdit(int row, int column) {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { return BeginCellEdit(row, column); });
    }
    if (!reportModel->IsRow(row) || !reportModel->IsColumn(column)) {
        return false;
    }
    if (row == editRow && column == editColumn) {
        return false;
    }
    FinishCellEdit(true);
    // The commit may have been answered by changes to the list.
    if (!reportModel->IsRow(row) || !reportModel->IsColumn(column)) {
        return false;
    }
    editRow = row;
    editColumn = column;
    const QModelIndex cell = RowIndex(row, column);
    selectionModel()->select(cell, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    selectionModel()->setCurrentIndex(cell, QItemSelectionModel::NoUpdate);
    scrollTo(cell, QAbstractItemView::EnsureVisible);

    const Qt::Alignment horizontal =
        reportModel->ColumnAt(column).alignment & Qt::AlignHorizontal_Mask;
    const int32_t alignment = horizontal.testFlag(Qt::AlignHCenter) ? 1
                              : horizontal.testFlag(Qt::AlignRight) ? 2
                                                                    : 0;
    if (editor == nullptr) {
        editor = new QLineEdit(viewport());
        editor->setFrame(true);
        editor->installEventFilter(this);
    }
    if (alignment != editorAlignment) {
        editorAlignment = alignment;
        editor->setAlignment((alignment == 1   ? Qt::AlignHCenter
                              : alignment == 2 ? Qt::AlignRight
                                               : Qt::AlignLeft) |
                             Qt::AlignVCenter);
    }
    editor->setFont(font());
    const QString text = reportModel->At(row).texts[size_t(column)];
    editor->setText(text);
    PlaceEditor();
    editor->show();
    editor->raise();
    // The name without its extension: what a user renaming a file retypes.
    const qsizetype dot = text.lastIndexOf(u'.');
    editor->setSelection(0, int(dot < 0 ? text.size() : dot));
    editor->setFocus(Qt::OtherFocusReason);
    if (column == 0) {
        nameBeforeEdit = text;
    }
    return true;
}

bool CReportCtrl::FinishCellEdit(bool commit) {
    if (!IsWindowThread()) {
        return OnWindowThread([&] { return FinishCellEdit(commit); });
    }
    // The notify window may write cells while it handles the change; those
    // writes must not finish this edit a second time.
    if (!IsEditing() || finishingEdit) {
        return false;
    }
    finishingEdit = true;
    bool changed = false;
    if (commit && reportModel->IsRow(editRow) && reportModel->IsColumn(editColumn)) {
        const QString text = editor->text();
        if (text != reportModel->At(editRow).texts[size_t(editColumn)]) {
            reportModel->SetText(editRow, editColumn, text);
            changed = true;
            if (notifyWindow != nullptr) {
                CellEditedEvent edited(editRow, editColumn, this);
                QCoreApplication::sendEvent(notifyWindow, &edited);
            }
        }
    }
    // The window may not be the active one (a message box of the notify
    // window, for one); then the editor only holds its window's focus.
    const bool hadFocus = editor->hasFocus() || window()->focusWidget() == editor;
    editor->hide();
    editRow = -1;
    editColumn = -1;
    finishingEdit = false;
    if (hadFocus) {
        setFocus(Qt::OtherFocusReason);
    }
    return changed;
}

void CReportCtrl::CancelEditFromUser() {
    FinishCellEdit(false);
}

bool CReportCtrl::EditorKey(QKeyEvent* event) {
    const int row = editRow;
    const int column = editColumn;
    switch (event->key()) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab: {
        if (editableColumns.empty()) {
            FinishCellEdit(true);
            return true;
        }
        const bool backwards =
            event->key() == Qt::Key_Backtab || event->modifiers().testFlag(Qt::ShiftModifier);
        const int count = int(editableColumns.size());
        const auto at = std::find(editableColumns.begin(), editableColumns.end(), unsigned(column));
        const int position = at == editableColumns.end() ? -1 : int(at - editableColumns.begin());
        const int next =
            backwards ? (position <= 0 ? count - 1 : position - 1) : (position + 1) % count;
        const int target = int(editableColumns[size_t(next)]);
        FinishCellEdit(true);
        EnsureColumnVisible(target, false);
        BeginCellEdit(row, target);
        return true;
    }
    case Qt::Key_Return:
    case Qt::Key_Enter:
        FinishCellEdit(true);
        return true;
    case Qt::Key_Escape:
        FinishCellEdit(false);
        return true;
    case Qt::Key_Up:
    case Qt::Key_Down: {
        FinishCellEdit(true);
        const int rows = reportModel->Rows();
        if (rows == 0) {
            return true;
        }
        int target = event->key() == Qt::Key_Up ? row - 1 : row + 1;
        if (target < 0) {
            target = rows - 1;
        } else if (target >= rows) {
            target = 0;
        }
        EnsureRowVisible(target);
        BeginCellEdit(target, column);
        return true;
    }
    default:
        return false;
    }
}

bool CReportCtrl::eventFilter(QObject* watched, QEvent* event) {
    if (watched == editor && editor != nullptr && IsEditing()) {
        if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            switch (key->key()) {
            case Qt::Key_Tab:
            case Qt::Key_Backtab:
            case Qt::Key_Return:
            case Qt::Key_Enter:
            case Qt::Key_Escape:
            case Qt::Key_Up:
            case Qt::Key_Down:
                // Claimed before any shortcut of the window can take them.
                if (event->type() == QEvent::ShortcutOverride) {
                    event->accept();
                    return true;
                }
                return EditorKey(key);
            default:
                break;
            }
        }
    }
    return QTreeView::eventFilter(watched, event);
}

void CReportCtrl::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    if (event->key() == Qt::Key_Plus && modifiers.testFlag(Qt::ControlModifier) &&
        modifiers.testFlag(Qt::KeypadModifier)) {
        AutoSizeColumn(-1, false);
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Space) {
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void CReportCtrl::mousePressEvent(QMouseEvent* event) {
    const bool wasEditing = IsEditing();
    FinishCellEdit(true);
    pressMayEdit = false;
    const QModelIndex cell = indexAt(event->position().toPoint());
    pressedIndex = cell;
    if (event->button() == Qt::LeftButton && editEnabled != 0 && !wasEditing && cell.isValid()) {
        const unsigned states = QueryRowStates(cell.row());
        pressMayEdit = (states & Selected) != 0 && (states & Focused) != 0 &&
                       std::find(editableColumns.begin(), editableColumns.end(),
                                 unsigned(cell.column())) != editableColumns.end();
    }
    QTreeView::mousePressEvent(event);
}

void CReportCtrl::mouseReleaseEvent(QMouseEvent* event) {
    QTreeView::mouseReleaseEvent(event);
    const bool mayEdit = pressMayEdit;
    pressMayEdit = false;
    // The edit starts when the click is complete, so that a press that turns
    // into a drag does not open the editor.
    if (mayEdit && event->button() == Qt::LeftButton && pressedIndex.isValid() &&
        indexAt(event->position().toPoint()) == pressedIndex) {
        BeginCellEdit(pressedIndex.row(), pressedIndex.column());
    }
}

void CReportCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
    const bool wasEditing = IsEditing();
    FinishCellEdit(true);
    pressMayEdit = false;
    const QModelIndex cell = indexAt(event->position().toPoint());
    bool mayEdit = false;
    if (event->button() == Qt::LeftButton && editEnabled != 0 && !wasEditing && cell.isValid()) {
        const unsigned states = QueryRowStates(cell.row());
        mayEdit = (states & Selected) != 0 && (states & Focused) != 0 &&
                  std::find(editableColumns.begin(), editableColumns.end(),
                            unsigned(cell.column())) != editableColumns.end();
    }
    const QPersistentModelIndex clicked = cell;
    QTreeView::mouseDoubleClickEvent(event);
    if (mayEdit && clicked.isValid()) {
        BeginCellEdit(clicked.row(), clicked.column());
    }
}

void CReportCtrl::wheelEvent(QWheelEvent* event) {
    CancelEditFromUser();
    QTreeView::wheelEvent(event);
}

bool CReportCtrl::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        // Info tips: the whole text of a cell that does not fit.
        auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex cell = indexAt(help->pos());
        if (cell.isValid()) {
            const QString text = reportModel->At(cell.row()).texts[size_t(cell.column())];
            const QRect label = CellLabelRect(cell.row(), cell.column());
            if (QFontMetrics(font()).horizontalAdvance(text) > label.width()) {
                QToolTip::showText(help->globalPos(), text, viewport(), label);
                return true;
            }
        }
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    return QTreeView::viewportEvent(event);
}

void CReportCtrl::updateGeometries() {
    QTreeView::updateGeometries();
    PlaceEditor();
}

} // namespace zorvane
