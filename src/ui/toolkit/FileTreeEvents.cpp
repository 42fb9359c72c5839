// The folder tree's own keys and mouse rules.

#include "FileTreeCtrl.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace zorvane {

// --- keys and mouse ----------------------------------------------------------------------

void CFileTreeCtrl::keyPressEvent(QKeyEvent* event) {
    if (state() == QAbstractItemView::EditingState) {
        QTreeWidget::keyPressEvent(event);
        return;
    }
    const bool alt = (event->modifiers() & Qt::AltModifier) != 0;
    QTreeWidgetItem* item = currentItem();
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (alt) {
            ShowItemProperties(item);
        } else {
            OpenItem(item);
        }
        return;
    case Qt::Key_Delete:
        DeleteItemFromDisk(item);
        return;
    case Qt::Key_F2:
        BeginRename(item);
        return;
    case Qt::Key_F5:
        Reload();
        return;
    case Qt::Key_Backspace:
        GoToParent();
        return;
    case Qt::Key_Left:
    case Qt::Key_Right:
        if (alt) {
            if (event->key() == Qt::Key_Left) {
                GoBack();
            } else {
                GoForward();
            }
            return;
        }
        break;
    default:
        break;
    }
    QTreeWidget::keyPressEvent(event);
}

void CFileTreeCtrl::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        QTreeWidgetItem* item = itemAt(event->position().toPoint());
        // Off every item: nothing is selected, so the menu's commands find
        // no item to act on.
        setCurrentItem(item);
        event->accept();
        return;
    }
    QTreeWidget::mousePressEvent(event);
}

void CFileTreeCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
    QTreeWidgetItem* item = itemAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && item != nullptr && item == currentItem() &&
        !HasChildIndicator(item)) {
        OpenItem(item);
        event->accept();
        return;
    }
    QTreeWidget::mouseDoubleClickEvent(event);
}

} // namespace zorvane
