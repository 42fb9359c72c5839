// The desktop program: `zorvane [FILE or FOLDER...]`. A hidden developer entry
// opens the progress window straight on real files, for screenshots:
//   zorvane --dev-convert [--shot-during PNG] [--shot-after PNG] FILE...

#include "engine/EngineContext.h"
#include "engine/TaskRules.h"
#include "filelist/FileRow.h"
#include "filelist/InfoReader.h"
#include "platform/MessageSink.h"
#include "platform/TaskbarProgress.h"
#include "settings/SettingsStore.h"
#include "ui/main/VELTApp.h"
#include "ui/progress/ConvProg.h"

#include <QFileInfo>
#include <QProgressBar>
#include <QTimer>

using namespace zorvane;

namespace {

int RunDeveloperConvert(const QStringList& args) {
    QString shotDuring;
    QString shotAfter;
    QStringList files;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == u"--shot-during" && i + 1 < args.size()) {
            shotDuring = args[++i];
        } else if (args[i] == u"--shot-after" && i + 1 < args.size()) {
            shotAfter = args[++i];
        } else {
            files << args[i];
        }
    }
    StandardErrorSink sink;
    SettingsStore store(&sink);
    store.InitSettingsPaths();
    EngineContext ctx;
    TaskbarProgress taskbar;
    CConvProg window(ctx, &taskbar);
    window.State().settings = store.settings;
    InfoReader reader(sink);
    for (const QString& file : files) {
        InfoRowCells row;
        ReadFileRow(reader, QFileInfo(file), row);
        if (row.info.invalid == 0) {
            AppendTask(window.State(), BuildTask(row.info, row.CellText(ColumnPath),
                                                 row.CellText(ColumnName), store.settings));
        }
    }
    if (window.State().tasks.empty()) {
        return 1;
    }
    auto grab = [&window](const QString& path) {
        if (!path.isEmpty()) {
            window.grab().save(path);
        }
    };
    if (!shotDuring.isEmpty()) {
        // At the first update past a third of the run, whatever its length:
        // a fixed delay comes after the end of a short run. Queued, so the
        // picture shows the whole update and not just the bar.
        QObject::connect(
            qobject_cast<QProgressBar*>(window.GetDlgItem(IdOverallBar)),
            &QProgressBar::valueChanged, &window,
            [&](int percent) {
                if (percent >= 30 && !shotDuring.isEmpty()) {
                    grab(shotDuring);
                    shotDuring.clear();
                }
            },
            Qt::QueuedConnection);
    }
    if (!shotAfter.isEmpty()) {
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &window, [&] {
            if (!window.State().IsRunning() && window.State().driverThread.Finished()) {
                poll.stop();
                QTimer::singleShot(1500, &window, [&] {
                    grab(shotAfter);
                    window.OnCancelCommand();
                });
            }
        });
        poll.start(200);
        window.exec();
        return 0;
    }
    window.exec();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    CVELTApp app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() > 1 && args[1] == u"--dev-convert") {
        return RunDeveloperConvert(args.mid(2));
    }
    return app.InitInstance();
}
