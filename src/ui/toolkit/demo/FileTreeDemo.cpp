// The folder tree in a window, set up as the main window sets it up (folders
// only, hidden files listed, rename, delete and new folder on), to try by
// hand, to take screenshots of, and to measure.
//
//   zorvane-filetree-demo [--select PATH]... [--screenshot FILE]
//   zorvane-filetree-demo --bench FOLDER
//
// --select selects each path in turn; --screenshot saves the
// window and quits. --bench builds a folder of 10,000 subfolders and a chain
// 12 levels deep in FOLDER, points HOME there, and prints how long expanding,
// selecting and collapsing take and what they cost in memory.

#include "ui/toolkit/FileTreeCtrl.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <QTimer>
#include <QTreeWidgetItemIterator>

#include <cstdio>

using namespace Qt::Literals::StringLiterals;
using namespace zorvane;

namespace {

void Configure(CFileTreeCtrl& tree) {
    tree.HiddenFileAttributes = 0;
    tree.FilesVisible = false;
    tree.RenameEnabled = true;
    tree.DeleteEnabled = true;
    tree.CreateFolderEnabled = true;
    tree.AttachImagesAndFill();
}

long ResidentKiB() {
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').first().toLong();
        }
    }
    return -1;
}

int ItemCount(QTreeWidget& tree) {
    int count = 0;
    for (QTreeWidgetItemIterator it(&tree); *it != nullptr; ++it) {
        ++count;
    }
    return count;
}

int Bench(const QString& folder) {
    QDir root(folder);
    const QString home = root.filePath(u"home"_s);
    const QString wide = home + u"/wide"_s;
    QDir().mkpath(wide);
    if (QDir(wide).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size() < 10000) {
        for (int i = 0; i < 10000; ++i) {
            const QString name = wide + u"/folder %1"_s.arg(i, 5, 10, QChar(u'0'));
            QDir().mkpath(i % 2 == 0 ? name + u"/inner"_s : name);
        }
    }
    QString deep = home;
    for (int level = 1; level <= 12; ++level) {
        deep += u"/level %1"_s.arg(level);
    }
    QDir().mkpath(deep);
    qputenv("HOME", QFile::encodeName(home));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root.filePath(u"config"_s)));

    CFileTreeCtrl tree;
    tree.resize(400, 600);
    tree.show();
    Configure(tree);
    QApplication::processEvents();

    std::printf("machine: %d cores; 10,000 subfolders, every other one holding one folder\n",
                QThread::idealThreadCount());
    for (int round = 1; round <= 5; ++round) {
        QTreeWidgetItem* item = tree.SelectPath(wide, false);
        const long before = ResidentKiB();
        const int itemsBefore = ItemCount(tree);
        QElapsedTimer timer;
        timer.start();
        item->setExpanded(true); // as a click on its expand button
        const double expandMs = timer.nsecsElapsed() / 1e6;
        timer.start();
        QApplication::processEvents(); // the first paint of the opened branch
        const double paintMs = timer.nsecsElapsed() / 1e6;
        const long expanded = ResidentKiB();
        const int itemsExpanded = ItemCount(tree);
        timer.start();
        item->setExpanded(false);
        const double collapseMs = timer.nsecsElapsed() / 1e6;
        QApplication::processEvents();
        const long collapsed = ResidentKiB();
        std::printf("round %d: expand %.0f ms + first paint %.0f ms, collapse %.0f ms; items "
                    "%d -> %d -> %d; RSS %ld -> %ld -> %ld KiB\n",
                    round, expandMs, paintMs, collapseMs, itemsBefore, itemsExpanded,
                    ItemCount(tree), before, expanded, collapsed);
    }
    for (int round = 1; round <= 5; ++round) {
        // Away from the path first: a reload restores the selection, which
        // would load the branch before the timer starts.
        tree.setCurrentItem(tree.ProfileItem());
        tree.Reload();
        QElapsedTimer timer;
        timer.start();
        QTreeWidgetItem* found = tree.SelectPath(deep, false);
        const double selectMs = timer.nsecsElapsed() / 1e6;
        std::printf("round %d: SelectPath 12 levels below home %.1f ms (%s)\n", round, selectMs,
                    found != nullptr && tree.SelectedPath() == deep ? "found" : "NOT FOUND");
    }
    const QString last = wide + u"/folder 09999"_s;
    for (int round = 1; round <= 5; ++round) {
        // Away from the path first: a reload restores the selection, which
        // would load the branch before the timer starts.
        tree.setCurrentItem(tree.ProfileItem());
        tree.Reload();
        QElapsedTimer timer;
        timer.start();
        QTreeWidgetItem* found = tree.SelectPath(last, false);
        std::printf("round %d: SelectPath of the last of the 10,000 (branch loaded on the way) "
                    "%.0f ms (%s)\n",
                    round, timer.nsecsElapsed() / 1e6,
                    found != nullptr && tree.SelectedPath() == last ? "found" : "NOT FOUND");
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(u"Zorvane"_s);

    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption select(u"select"_s, u"Select this path."_s, u"path"_s);
    const QCommandLineOption screenshot(u"screenshot"_s, u"Save the window as an image and quit."_s,
                                        u"file"_s);
    const QCommandLineOption bench(u"bench"_s, u"Measure the tree in this folder and quit."_s,
                                   u"folder"_s);
    parser.addOption(select);
    parser.addOption(screenshot);
    parser.addOption(bench);
    parser.process(app);

    if (parser.isSet(bench)) {
        return Bench(parser.value(bench));
    }

    CFileTreeCtrl tree;
    tree.setWindowTitle(u"Zorvane folder tree"_s);
    tree.resize(360, 560);
    Configure(tree);
    for (const QString& path : parser.values(select)) {
        tree.SelectPath(path, false);
    }
    tree.show();

    const QString still = parser.value(screenshot);
    if (still.isEmpty()) {
        return app.exec();
    }
    int result = 0;
    QTimer::singleShot(300, &tree, [&] {
        if (!tree.grab().save(still)) {
            qWarning("cannot write %s", qPrintable(still));
            result = 1;
        }
        QApplication::quit();
    });
    app.exec();
    return result;
}
