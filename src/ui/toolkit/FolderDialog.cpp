#include "FolderDialog.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QUrl>

namespace zorvane {

namespace {

QString CleanAbsolute(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

} // namespace

// Checks the choice before the dialog closes, so that a typed name that is no
// folder can keep the dialog open instead of closing it empty-handed.
class BrowseFileDialog final : public QFileDialog {
public:
    BrowseFileDialog(CFolderDialog& folderDialog, QWidget* parent)
        : QFileDialog(parent), picker(folderDialog) {}

    void accept() override {
        const QString chosen = selectedFiles().value(0);
        const auto* edit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        const QString typed = edit != nullptr && !edit->text().isEmpty() ? edit->text() : chosen;
        if (picker.Validate(chosen, typed)) {
            QFileDialog::accept();
            return;
        }
        if (!keepOpen) {
            done(QDialog::Rejected);
        }
    }

    bool keepOpen = true;
    bool gaveUp = false;

private:
    CFolderDialog& picker;
};

CFolderDialog::CFolderDialog(const QString& dialogTitle, const QString& initial,
                             QWidget* ownerWindow, unsigned browseFlags)
    : title(dialogTitle), initialFolder(initial), owner(ownerWindow), flags(browseFlags) {}

CFolderDialog::~CFolderDialog() = default;

bool CFolderDialog::SetRootFolder(const QString& path) {
    rootFolder.clear();
    if (path.isEmpty()) {
        return true;
    }
    const QFileInfo info(path);
    if (!info.isDir()) {
        return false;
    }
    rootFolder = CleanAbsolute(path);
    return true;
}

bool CFolderDialog::IsInsideRoot(const QString& path) const {
    if (rootFolder.isEmpty()) {
        return true;
    }
    const QString clean = CleanAbsolute(path);
    if (clean == rootFolder) {
        return true;
    }
    const QString prefix =
        rootFolder.endsWith(QLatin1Char('/')) ? rootFolder : rootFolder + QLatin1Char('/');
    return clean.startsWith(prefix);
}

bool CFolderDialog::Validate(const QString& chosen, const QString& typed) {
    if (!chosen.isEmpty() && QFileInfo(chosen).isDir() && IsInsideRoot(chosen)) {
        return true;
    }
    auto* dialog = static_cast<BrowseFileDialog*>(browseWindow);
    const bool keepOpen = OnBrowseValidateFailed(typed);
    dialog->keepOpen = keepOpen;
    dialog->gaveUp = !keepOpen;
    return false;
}

int CFolderDialog::Browse() {
    BrowseFileDialog dialog(*this, owner);
    dialog.setObjectName(QStringLiteral("CFolderDialog"));
    dialog.setWindowTitle(title);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    const QString start = rootFolder.isEmpty() ? QDir::homePath() : rootFolder;
    dialog.setDirectory(start);
    if (!rootFolder.isEmpty()) {
        dialog.setSidebarUrls({QUrl::fromLocalFile(rootFolder)});
        // The root bounds where the user may go, as it bounds the tree on Windows.
        QObject::connect(&dialog, &QFileDialog::directoryEntered, &dialog,
                         [this, &dialog](const QString& folder) {
                             if (!IsInsideRoot(folder)) {
                                 dialog.setDirectory(rootFolder);
                             }
                         });
    }

    browseWindow = &dialog;
    QObject::connect(&dialog, &QFileDialog::currentChanged, &dialog,
                     [this](const QString& item) { OnBrowseSelectionChanged(item); });
    QObject::connect(&dialog, &QFileDialog::directoryEntered, &dialog,
                     [this](const QString& folder) { OnBrowseSelectionChanged(folder); });
    OnBrowseInitialized();
    OnBrowseObjectReady();

    const int result = ExecDialog(dialog);
    const QString chosen = dialog.selectedFiles().value(0);
    browseWindow = nullptr;
    statusLabel = nullptr;

    if (dialog.gaveUp) {
        return kNoFileSystemPath;
    }
    if (result != QDialog::Accepted) {
        return kCancelled;
    }
    if (chosen.isEmpty() || !QFileInfo(chosen).isDir()) {
        return kNoFileSystemPath;
    }
    selectedPath = CleanAbsolute(chosen);
    return kChosen;
}

void CFolderDialog::OnBrowseInitialized() {
    if (!initialFolder.isEmpty()) {
        SetSelection(initialFolder);
    }
}

void CFolderDialog::OnBrowseSelectionChanged(const QString& item) {
    if ((flags & kStatusText) != 0) {
        SetStatusText(QDir::toNativeSeparators(item));
    }
}

bool CFolderDialog::OnBrowseValidateFailed(const QString& text) {
    Q_UNUSED(text);
    QApplication::beep();
    return true;
}

void CFolderDialog::OnBrowseObjectReady() {}

int CFolderDialog::ExecDialog(QFileDialog& dialog) {
    return dialog.exec();
}

void CFolderDialog::SetSelection(const QString& path) {
    if (browseWindow == nullptr || path.isEmpty()) {
        return;
    }
    // A stored output folder may have been deleted since; its nearest
    // surviving parent is the most useful place to start.
    QString folder = CleanAbsolute(path);
    while (!QFileInfo(folder).isDir()) {
        const QString parent = QFileInfo(folder).path();
        if (parent == folder) {
            return;
        }
        folder = parent;
    }
    if (!IsInsideRoot(folder)) {
        return;
    }
    browseWindow->setDirectory(folder);
}

void CFolderDialog::SetStatusText(const QString& text) {
    if (browseWindow == nullptr) {
        return;
    }
    if (statusLabel == nullptr) {
        auto* grid = qobject_cast<QGridLayout*>(browseWindow->layout());
        if (grid == nullptr) {
            return;
        }
        statusLabel = new QLabel(browseWindow);
        statusLabel->setObjectName(QStringLiteral("statusText"));
        statusLabel->setTextFormat(Qt::PlainText);
        grid->addWidget(statusLabel, grid->rowCount(), 0, 1, grid->columnCount());
    }
    statusLabel->setText(text);
}

} // namespace zorvane
