#pragma once

#include <QPointer>
#include <QString>

class QFileDialog;
class QLabel;
class QWidget;

namespace zorvane {

// The folder picker of "Add Folder" and of the output-folder button: Qt's own
// directory dialog (not the desktop's), because only that one lets us watch
// the selection and judge a typed name before the dialog closes.
class CFolderDialog {
public:
    // Flags, with the values the callers know from the browse-for-folder API.
    static constexpr unsigned kFileSystemFoldersOnly = 0x1;
    static constexpr unsigned kStatusText = 0x4;
    static constexpr unsigned kEditBox = 0x10;
    static constexpr unsigned kNewDialogStyle = 0x40;
    static constexpr unsigned kDefaultFlags = kFileSystemFoldersOnly | kEditBox | kNewDialogStyle;

    // Results of Browse.
    static constexpr int kChosen = 1;
    static constexpr int kNoFileSystemPath = -1;
    static constexpr int kCancelled = 2;

    explicit CFolderDialog(const QString& title, const QString& initialFolder = QString(),
                           QWidget* owner = nullptr, unsigned flags = kDefaultFlags);
    virtual ~CFolderDialog();

    CFolderDialog(const CFolderDialog&) = delete;
    CFolderDialog& operator=(const CFolderDialog&) = delete;

    // An empty path makes the whole file system the root, as the desktop is
    // on Windows. A path that is not an existing folder fails and leaves no
    // root, so a bad argument never hides folders the user could pick.
    bool SetRootFolder(const QString& path);
    QString RootFolder() const { return rootFolder; }

    // kChosen with the folder in SelectedPath(), kNoFileSystemPath when the
    // choice is not an existing folder, kCancelled when the user cancelled.
    int Browse();

    QString SelectedPath() const { return selectedPath; }
    QString InitialFolder() const { return initialFolder; }
    QString Title() const { return title; }
    unsigned Flags() const { return flags; }
    QWidget* Owner() const { return owner; }

protected:
    // Selects initialFolder, when there is one.
    virtual void OnBrowseInitialized();
    // Shows the selected folder as the status text when kStatusText is set.
    virtual void OnBrowseSelectionChanged(const QString& item);
    // The user confirmed a name that is no folder (inside the root). Return
    // true to keep the dialog open; false ends Browse with kNoFileSystemPath.
    virtual bool OnBrowseValidateFailed(const QString& text);
    virtual void OnBrowseObjectReady();

    // Runs the prepared dialog and returns its QDialog result. Replaced in
    // tests, which drive the dialog without a modal loop.
    virtual int ExecDialog(QFileDialog& dialog);

    // The dialog while Browse runs, otherwise nullptr.
    QFileDialog* BrowseWindow() const { return browseWindow; }
    // Makes path the dialog's current folder; a folder that is gone is
    // replaced by its nearest existing parent.
    void SetSelection(const QString& path);
    void SetStatusText(const QString& text);

private:
    friend class BrowseFileDialog;
    bool IsInsideRoot(const QString& path) const;
    bool Validate(const QString& chosen, const QString& typed);

    QString title;
    QString initialFolder;
    QString selectedPath;
    QString rootFolder;
    QPointer<QWidget> owner;
    unsigned flags;
    QFileDialog* browseWindow = nullptr;
    QLabel* statusLabel = nullptr;
};

} // namespace zorvane
