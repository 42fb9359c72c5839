#include "FilePropertiesDlg.h"

#include "platform/DisplayText.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLocale>
#include <QVBoxLayout>

namespace zorvane {

namespace {

QString SizeText(qint64 bytes) {
    const QLocale locale;
    return QStringLiteral("%1 MB (%2 bytes)")
        .arg(locale.toString(double(bytes) / (1024.0 * 1024.0), 'f', 2), locale.toString(bytes));
}

} // namespace

CFilePropertiesDlg::CFilePropertiesDlg(const QString& path, const QList<Field>& audio,
                                       QWidget* parent)
    : QDialog(parent) {
    const QFileInfo info(path);
    // A name may hold control characters; shown as they are they would break
    // the line or reorder what follows.
    const QString name = EscapedForDisplay(info.fileName());
    setWindowTitle(QStringLiteral("%1 Properties").arg(name));

    fields.append({QStringLiteral("Name"), name});
    fields.append({QStringLiteral("Folder"), EscapedForDisplay(info.absolutePath())});
    fields.append({QStringLiteral("Size"), SizeText(info.size())});
    fields.append(
        {QStringLiteral("Modified"), QLocale().toString(info.lastModified(), QLocale::LongFormat)});
    fields.append(audio);

    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    for (const Field& field : fields) {
        auto* value = new QLabel(field.second);
        value->setTextFormat(Qt::PlainText);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        value->setWordWrap(true);
        form->addRow(field.first + u':', value);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addStretch();
    layout->addWidget(buttons);
    setMinimumWidth(420);
}

QString CFilePropertiesDlg::Value(const QString& label) const {
    for (const Field& field : fields) {
        if (field.first == label) {
            return field.second;
        }
    }
    return {};
}

} // namespace zorvane
