#include "VELTApp.h"

#include "VELTDlg.h"

#include "engine/EngineContext.h"
#include "platform/FileActions.h"
#include "platform/MessageSink.h"
#include "platform/ProfileStore.h"
#include "platform/Shell.h"
#include "platform/SingleInstance.h"
#include "platform/TaskbarProgress.h"
#include "settings/SettingsStore.h"
#include "ui/toolkit/MyDropTarget.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QTimer>
#include <QUrl>

#include <cstdio>

namespace zorvane {

using namespace Qt::StringLiterals;

namespace {

// The settings store's messages, as modal boxes over whatever window is active.
class MessageBoxSink final : public MessageSink {
public:
    void ShowError(const QString& text) override {
        QMessageBox::critical(QApplication::activeWindow(), u"Zorvane"_s, text);
    }
    void ShowMessage(const QString& text) override {
        QMessageBox::information(QApplication::activeWindow(), u"Zorvane"_s, text);
    }
};

// Files handed in from outside (the command line, a later copy) are added as
// dropped ones are; while a load runs the window takes no drop, so they wait
// for it to end.
void HandPathsToWindow(CVELTDlg* window, const QStringList& paths) {
    if (paths.isEmpty() || window == nullptr) {
        return;
    }
    if (window->IsLoading() || window->ListBusyFlag().load() != 0) {
        QTimer::singleShot(200, window, [window, paths] { HandPathsToWindow(window, paths); });
        return;
    }
    window->AddOutsidePaths(paths);
}

} // namespace

CVELTApp::CVELTApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QString::fromUtf16(ProfileStore::kApplication));
    setOrganizationName(QString::fromUtf16(ProfileStore::kOrganization));
    setApplicationVersion(QStringLiteral(ZORVANE_VERSION));
    setDesktopFileName(u"zorvane"_s);
}

QStringList CVELTApp::PathArguments(const QStringList& arguments) {
    QStringList paths;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument.isEmpty()) {
            continue;
        }
        // The desktop entry's %F hands local paths; a file manager may still
        // hand a file:// URL.
        const QUrl url(argument);
        const QString path = url.isLocalFile() ? url.toLocalFile() : argument;
        paths << QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    }
    return paths;
}

int CVELTApp::InitInstance() {
    const QStringList paths = PathArguments(arguments());
    SingleInstance instance(SingleInstance::DefaultInstanceName());
    if (instance.Start(paths) == SingleInstance::StartResult::OtherCopyRunning) {
        return 0;
    }

    MessageBoxSink messages;
    SettingsStore settings(&messages);
    ProfileStore profile;
    EngineContext engine;
    Shell shell;
    DiskFileActions fileActions;
    TaskbarProgress taskbar;

    CVELTDlg::Services services;
    services.settings = &settings;
    services.profile = &profile;
    services.engine = &engine;
    services.shell = &shell;
    services.fileActions = &fileActions;
    services.taskbar = &taskbar;

    CVELTDlg window(services);
    window.Initialise(paths);
    window.show();
    connect(&instance, &SingleInstance::RaiseRequested, &window,
            [&window] { BringToFront(&window); });
    connect(&instance, &SingleInstance::PathsRequested, &window,
            [&window](const QStringList& handed) { HandPathsToWindow(&window, handed); });
    HandPathsToWindow(&window, paths);
    // For bench/startup.sh: the moment the window is up and its event loop
    // turns, as wall-clock milliseconds, so the script can take the launch
    // time from it. The window then closes as the user would close it.
    if (qEnvironmentVariableIsSet("ZORVANE_STARTUP_PROBE")) {
        QTimer::singleShot(0, &window, [&window] {
            std::fprintf(stderr, "zorvane-startup-probe %lld\n",
                         static_cast<long long>(QDateTime::currentMSecsSinceEpoch()));
            QTimer::singleShot(500, &window, &QWidget::close);
        });
    }
    exec();
    return 0;
}

} // namespace zorvane
