#pragma once

// A main window over stores in a temporary folder, with a desktop that only
// records what it was asked to open, and message boxes that answer
// themselves. Two harnesses over the same folder see each other's saved
// state, as two runs of the program do.

#include "engine/EngineContext.h"
#include "platform/FileActions.h"
#include "platform/MessageSink.h"
#include "platform/ProfileStore.h"
#include "platform/Shell.h"
#include "platform/TaskbarProgress.h"
#include "settings/SettingsStore.h"
#include "ui/main/VELTDlg.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>

namespace zorvane::testing {

struct Recorded {
    bool opens = true; // whether the desktop knows a program for what it opens
    QList<QUrl> opened;
    QStringList shown;      // ShowItems
    QStringList properties; // ShowItemProperties
    QStringList messages;   // every message box text, in order
};

class RecordingOpener final : public UrlOpener {
public:
    explicit RecordingOpener(Recorded& into) : recorded(into) {}
    bool OpenUrl(const QUrl& url) override {
        recorded.opened << url;
        return recorded.opens;
    }

private:
    Recorded& recorded;
};

class RecordingFileManager final : public FileManagerService {
public:
    explicit RecordingFileManager(Recorded& into) : recorded(into) {}
    bool ShowItems(const QStringList& paths) override {
        recorded.shown << paths;
        return true;
    }
    bool ShowItemProperties(const QStringList& paths) override {
        recorded.properties << paths;
        return true;
    }

private:
    Recorded& recorded;
};

class RecordingSink final : public MessageSink {
public:
    explicit RecordingSink(Recorded& into) : recorded(into) {}
    void ShowError(const QString& text) override { recorded.messages << text; }
    void ShowMessage(const QString& text) override { recorded.messages << text; }

private:
    Recorded& recorded;
};

// A window whose boxes answer `answer` and are recorded, and whose pickers
// return what the test put into them.
class TestWindow : public CVELTDlg {
public:
    TestWindow(const Services& given, Recorded& into) : CVELTDlg(given), recorded(into) {}

    QMessageBox::StandardButton answer = QMessageBox::Yes;
    QStringList filesToAdd;
    QString folderToAdd;
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
    QStringList troubles;            // the decoder boxes of loads
    std::function<bool()> onTrouble; // what such a box's check box says
    int conversions = 0;

protected:
    QMessageBox::StandardButton ShowMessage(QMessageBox::Icon, const QString&, const QString& text,
                                            QMessageBox::StandardButtons buttons) override {
        recorded.messages << text;
        return (buttons & answer) ? answer : QMessageBox::Ok;
    }
    bool ShowLoaderTrouble(const QString& text, const QString&) override {
        troubles << text;
        return onTrouble ? onTrouble() : false;
    }
    QStringList AskFilesToAdd() override { return filesToAdd; }
    QString AskFolderToAdd(bool) override { return folderToAdd; }
    Qt::KeyboardModifiers KeyboardModifiers() const override { return modifiers; }
    void RunConversion(CConvProg&) override { ++conversions; }

private:
    Recorded& recorded;
};

// Points the desktop's per-user folders (home, configuration, data) into
// `home`, so that nothing the window or its tree reads or writes is the
// user's own.
inline void UseTemporaryHome(const QString& home) {
    const QDir dir(home);
    qputenv("HOME", QFile::encodeName(home));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(QStringLiteral("xdg-config"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath(QStringLiteral("xdg-data"))));
}

// The stores of one run of the program, kept in `root`.
struct Harness {
    explicit Harness(const QString& root)
        : settings(&sink, Folders(root)),
          profile(QDir(root).filePath(QStringLiteral("profile.ini"))),
          shell(std::make_unique<RecordingOpener>(recorded),
                std::make_unique<RecordingFileManager>(recorded)) {
        services.settings = &settings;
        services.profile = &profile;
        services.engine = &engine;
        services.shell = &shell;
        services.fileActions = &fileActions;
        services.taskbar = &taskbar;
    }

    static StandardFolders Folders(const QString& root) {
        const QDir dir(root);
        for (const char* sub : {"Music", "Desktop", "config"}) {
            dir.mkpath(QString::fromLatin1(sub));
        }
        StandardFolders folders;
        folders.music = dir.filePath(QStringLiteral("Music"));
        folders.desktop = dir.filePath(QStringLiteral("Desktop"));
        folders.home = root;
        folders.genericConfig = dir.filePath(QStringLiteral("config"));
        folders.programFilePath = dir.filePath(QStringLiteral("zorvane"));
        return folders;
    }

    // A window of this run, initialised; not yet shown.
    std::unique_ptr<TestWindow> MakeWindow() {
        auto window = std::make_unique<TestWindow>(services, recorded);
        window->Initialise();
        return window;
    }

    Recorded recorded;
    RecordingSink sink{recorded};
    SettingsStore settings;
    ProfileStore profile;
    EngineContext engine;
    Shell shell;
    DiskFileActions fileActions;
    TaskbarProgress taskbar{nullptr};
    CVELTDlg::Services services;
};

} // namespace zorvane::testing
