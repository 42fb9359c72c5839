#pragma once

#include <QDialog>
#include <QList>
#include <QString>

#include <utility>

namespace zorvane {

// The properties of one file of the list, for desktops without a file
// manager that shows its own: where it is, how big, when it last changed,
// and what the list read of its audio.
class CFilePropertiesDlg : public QDialog {
    Q_OBJECT

public:
    using Field = std::pair<QString, QString>; // label, value

    // `audio`: the row's audio properties as the list shows them, labelled
    // with their column titles; shown below the file's own fields.
    CFilePropertiesDlg(const QString& path, const QList<Field>& audio, QWidget* parent = nullptr);

    // Every field in the order shown: "Name", "Folder", "Size", "Modified",
    // then the audio fields.
    const QList<Field>& Fields() const { return fields; }
    QString Value(const QString& label) const;

private:
    QList<Field> fields;
};

} // namespace zorvane
