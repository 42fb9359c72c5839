// bench-load: loads one folder into Zorvane's real main window (offscreen) by
// selecting it in the folder tree, as a user does, and prints how long the
// load took, the longest gap of a 10 ms heartbeat timer of the window's
// event loop during it, the rows it made and the peak memory.
//
//   QT_QPA_PLATFORM=offscreen bench-load FOLDER
//
// HOME and XDG_CONFIG_HOME should point to a scratch folder: the window reads
// and writes its settings there.

#include "engine/EngineContext.h"
#include "platform/FileActions.h"
#include "platform/ProfileStore.h"
#include "platform/Shell.h"
#include "settings/SettingsStore.h"
#include "ui/main/VELTDlg.h"
#include "ui/toolkit/FileTreeCtrl.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QStandardPaths>
#include <QTimer>

#include <cstdio>
#include <sys/resource.h>

using namespace zorvane;

namespace {

class NoOpener final : public UrlOpener {
public:
    bool OpenUrl(const QUrl&) override { return true; }
};

class NoFileManager final : public FileManagerService {
public:
    bool ShowItems(const QStringList&) override { return true; }
    bool ShowItemProperties(const QStringList&) override { return true; }
};

// Nobody is there to answer boxes: each is counted, and the damaged-file box
// is answered as a user with a folder of damaged files would, by sparing the
// rest of the load.
class BenchWindow final : public CVELTDlg {
public:
    using CVELTDlg::CVELTDlg;
    int boxes = 0;
    int troubleBoxes = 0;

protected:
    QMessageBox::StandardButton ShowMessage(QMessageBox::Icon, const QString&, const QString&,
                                            QMessageBox::StandardButtons) override {
        ++boxes;
        return QMessageBox::Ok;
    }
    bool ShowLoaderTrouble(const QString&) override {
        ++troubleBoxes;
        return true;
    }
    Qt::KeyboardModifiers KeyboardModifiers() const override { return Qt::NoModifier; }
};

double PeakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0; // kB on Linux
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench-load FOLDER\n");
        return 2;
    }
    const QString folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    if (!QFileInfo(folder).isDir()) {
        std::fprintf(stderr, "bench-load: %s is no folder\n", argv[1]);
        return 2;
    }
    const QString scratch = QDir::homePath();
    SettingsStore settings(nullptr, StandardFolders{scratch, scratch, scratch,
                                                    QStandardPaths::writableLocation(
                                                        QStandardPaths::GenericConfigLocation),
                                                    QCoreApplication::applicationFilePath()});
    ProfileStore profile(QDir(scratch).filePath(QStringLiteral("bench-profile.ini")));
    EngineContext engine;
    Shell shell(std::make_unique<NoOpener>(), std::make_unique<NoFileManager>());
    DiskFileActions fileActions;
    BenchWindow window(
        CVELTDlg::Services{&settings, &profile, &engine, &shell, &fileActions, nullptr});
    window.Initialise();
    window.show();
    // Let the window finish starting (its tree, its first layout) before
    // the clock runs.
    QEventLoop settle;
    QTimer::singleShot(300, &settle, &QEventLoop::quit);
    settle.exec();

    QElapsedTimer clock;
    qint64 lastTick = 0;
    qint64 maxGap = 0;
    QEventLoop loop;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        maxGap = std::max(maxGap, now - lastTick);
        lastTick = now;
        if (!window.IsLoading() && window.LoaderFinished()) {
            loop.quit();
        }
    });

    clock.start();
    heartbeat.start(10);
    if (window.FolderTree()->SelectPath(folder, false) == nullptr || !window.IsLoading()) {
        // The tree may not reach every folder (one outside its volumes).
        emit window.FolderTree()->selectionMoved(nullptr, folder);
    }
    loop.exec();
    const qint64 loadMs = clock.elapsed();
    heartbeat.stop();

    std::printf("rows %d\n", window.FileCount());
    std::printf("load_s %.3f\n", double(loadMs) / 1000.0);
    std::printf("max_stall_ms %lld\n", static_cast<long long>(maxGap));
    std::printf("boxes %d\n", window.boxes + window.troubleBoxes);
    std::printf("peak_mb %.1f\n", PeakMegabytes());
    return 0;
}
