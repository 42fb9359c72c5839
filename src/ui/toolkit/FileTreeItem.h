#pragma once

#include "ui/toolkit/FileTreeCtrl.h"

#include <QStyledItemDelegate>
#include <QTreeWidgetItem>

namespace zorvane {

// An item of the folder tree: owns its record, so deleting the item frees
// it, and tells the tree when it goes so that history entries and the
// remembered special items never point at it afterwards.
class FileTreeItem final : public QTreeWidgetItem {
public:
    FileTreeItem(CFileTreeCtrl* owner, const CFileTreeCtrlItemInfo& record);
    ~FileTreeItem() override;

    QVariant data(int column, int role) const override;
    int InodeFlags() const;

    CFileTreeCtrlItemInfo info;
    quint64 serial;
    QIcon openIcon;

private:
    CFileTreeCtrl* m_owner;
    mutable int m_inodeFlags = -1; // read at first paint, not for every item listed
};

// Commits a label edit as a rename instead of writing the text into the item:
// the label changes only when the rename worked.
class FileTreeLabelDelegate final : public QStyledItemDelegate {
public:
    explicit FileTreeLabelDelegate(CFileTreeCtrl* tree);
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;

private:
    CFileTreeCtrl* m_tree;
};

} // namespace zorvane
