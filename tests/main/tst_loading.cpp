// Filling the main window's list: folder selections, Add File(s), Add Folder
// and drops, run on the loader thread of a real window.

#include "MainWindowHarness.h"

#include "ui/main/Processing.h"

#include "filelist/FileListColumns.h"
#include "filelist/ReportCtrl.h"
#include "platform/TaskbarProgress.h"
#include "ui/toolkit/FileTreeCtrl.h"
#include "ui/toolkit/MyDropTarget.h"
#include "ui/toolkit/SSplitter.h"

#include "Mp3Fixtures.h"
#include "TagFixtures.h"

#include <QColor>
#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace zorvane;
using namespace zorvane::testing;
using namespace Qt::StringLiterals;

namespace {

constexpr int kLoadTimeoutMs = 30000;

// When the processing window was shown: ms after `clock` was started, and
// how many rows the list had then.
class ShowRecorder final : public QObject {
public:
    explicit ShowRecorder(const CVELTDlg& shownFor) : window(shownFor) {}
    QElapsedTimer clock;
    QList<qint64> shownAt;
    QList<int> rowsAtShow;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Show) {
            shownAt << clock.elapsed();
            rowsAtShow << window.FileList()->RowCount();
        }
        return false;
    }

private:
    const CVELTDlg& window;
};

QStringList Names(const CVELTDlg& window) {
    QStringList names;
    for (int row = 0; row < window.FileList()->RowCount(); ++row) {
        names << window.FileList()->CellText(row, ColumnName);
    }
    return names;
}

} // namespace

class TstLoading : public QObject {
    Q_OBJECT

    QTemporaryDir home;
    QTemporaryDir files;
    QString tone;
    std::unique_ptr<Harness> run;
    std::unique_ptr<TestWindow> window;

    QString Path(const QString& relative) const { return files.filePath(relative); }

    // Names ending in "-bad.mp3" are text, every other name a copy of one tone.
    void Put(const QStringList& relativePaths) {
        for (const QString& relative : relativePaths) {
            const QString path = Path(relative);
            QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
            QVERIFY(relative.endsWith(u"-bad.mp3"_s) ? WriteNotMp3(path) : QFile::copy(tone, path));
        }
    }

    void WaitForLoadEnd() {
        QTRY_VERIFY_WITH_TIMEOUT(!window->IsLoading() && window->LoaderFinished(), kLoadTimeoutMs);
    }

    void Select(const QString& relative) {
        emit window->FolderTree()->selectionMoved(nullptr, Path(relative));
    }

    void Drop(const QStringList& relativePaths) {
        QStringList paths;
        for (const QString& relative : relativePaths) {
            paths << Path(relative);
        }
        DroppedPathsEvent event(paths);
        QCoreApplication::sendEvent(window.get(), &event);
    }

    // The totals are the sums over the rows, and pane 0 shows them.
    void VerifyTotals() {
        const CReportCtrl* list = window->FileList();
        double size = 0.0;
        double seconds = 0.0;
        for (int row = 0; row < list->RowCount(); ++row) {
            const MediaFileInfo* info = list->GetRowData(row);
            QVERIFY(info != nullptr);
            size += info->sizeMB;
            seconds += info->durationSeconds;
        }
        QCOMPARE(window->FileCount(), list->RowCount());
        QVERIFY(qAbs(window->TotalSizeMB() - size) < 1e-9);
        QVERIFY(qAbs(window->TotalDurationSeconds() - seconds) < 1e-9);
        QCOMPARE(window->PaneText(0), CVELTDlg::TotalsText(list->RowCount(), size, seconds));
    }

    // After every load: the window is usable again and nothing pops up later.
    void VerifyIdle() {
        QVERIFY(!window->IsLoading());
        QVERIFY(window->FolderTree()->isEnabled());
        QCOMPARE(window->windowTitle(), QString::fromUtf16(CVELTDlg::kTitle));
        QCOMPARE(window->ListBusyFlag().load(), 0);
        QCOMPARE(run->taskbar.CurrentState(), TaskbarProgress::State::None);
        QVERIFY(!window->ProcessingDialog()->ShowTimerActive());
        QVERIFY(window->ProcessingDialog()->isHidden());
    }

private slots:
    void initTestCase() {
        QVERIFY(home.isValid() && files.isValid());
        UseTemporaryHome(home.path());
        ToneParams params;
        params.seconds = 1.5;
        params.sampleRate = 22050;
        params.channels = 1;
        params.bitrateKbps = 64;
        tone = home.filePath(u"tone.mp3"_s);
        QString error;
        QVERIFY2(WriteToneMp3(tone, params, &error), qPrintable(error));
        QVERIFY(AddTags(tone, TagId3v2, ExampleTagTexts()));

        Put({u"root/a1.mp3"_s,
             u"root/a2.mp3"_s,
             u"root/sub/b1.mp3"_s,
             u"other/c1.mp3"_s,
             u"slow/000-bad.mp3"_s,
             u"slow/001.mp3"_s,
             u"slow/002.mp3"_s,
             u"slow/003.mp3"_s,
             u"cancel/001.mp3"_s,
             u"cancel/002.mp3"_s,
             u"cancel/003-bad.mp3"_s,
             u"cancel/004.mp3"_s,
             u"cancel/005.mp3"_s,
             u"drop/d1.mp3"_s,
             u"drop/sub/d2.mp3"_s,
             u"loose/UP.MP3"_s,
             u"loose/Mixed.Mp3"_s,
             u"loose/x.wav"_s,
             u"loose/mp3"_s,
             u"drop/y.wav"_s,
             u"damaged/bad1-bad.mp3"_s,
             u"damaged/bad2-bad.mp3"_s,
             u"damaged/ok.mp3"_s,
             u"pair/001.mp3"_s,
             u"pair/002.mp3"_s});
    }

    void init() {
        QFile::remove(home.filePath(u"profile.ini"_s));
        window.reset();
        run = std::make_unique<Harness>(home.path());
        window = std::make_unique<TestWindow>(run->services, run->recorded);
        window->Initialise();
        window->show();
        WaitForLoadEnd();
        // No folder of an earlier run to open: the list starts empty.
        QCOMPARE(window->FileList()->RowCount(), 0);
    }

    void cleanup() { window.reset(); }

    void treeSelection_data() {
        QTest::addColumn<int>("keys");
        QTest::addColumn<bool>("treeShown");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("replaces") << int(Qt::NoModifier) << true
                                  << QStringList{u"a1.mp3"_s, u"a2.mp3"_s};
        QTest::newRow("shift appends")
            << int(Qt::ShiftModifier) << true << QStringList{u"a1.mp3"_s, u"a2.mp3"_s, u"c1.mp3"_s};
        QTest::newRow("ctrl with subfolders") << int(Qt::ControlModifier) << true
                                              << QStringList{u"a1.mp3"_s, u"a2.mp3"_s, u"b1.mp3"_s};
        QTest::newRow("both") << int(Qt::ShiftModifier | Qt::ControlModifier) << true
                              << QStringList{u"a1.mp3"_s, u"a2.mp3"_s, u"b1.mp3"_s, u"c1.mp3"_s};
        QTest::newRow("tree hidden") << int(Qt::NoModifier) << false << QStringList{};
    }

    void treeSelection() {
        QFETCH(int, keys);
        QFETCH(bool, treeShown);
        QFETCH(QStringList, names);
        if (!treeShown) {
            window->Splitter()->HideLeftPane();
        }
        ShowRecorder shows(*window);
        window->ProcessingDialog()->installEventFilter(&shows);
        Select(u"other"_s);
        WaitForLoadEnd();
        window->modifiers = Qt::KeyboardModifiers(keys);
        shows.clock.start();
        Select(u"root"_s);
        WaitForLoadEnd();
        QCOMPARE(Names(*window), names); // sorted by name, the default order
        VerifyTotals();
        if (treeShown) {
            QCOMPARE(window->PaneText(1), u" No file selected"_s);
            QCOMPARE(window->FileList()->HeaderSortImage(ColumnName), 1);
        }
        // Half a second after the start at the earliest, and never once the
        // load has ended.
        QTest::qWait(CProcessing::kShowDelayMs + 200);
        for (const qint64 at : shows.shownAt) {
            QVERIFY2(at >= CProcessing::kShowDelayMs, qPrintable(QString::number(at)));
        }
        VerifyIdle();
    }

    void secondLoadStopsFirst() {
        // The first load's first file holds its loader on a box that only
        // this thread can answer, so the second selection surely comes while
        // it runs. A stopped load shows no box and keeps the rows it made.
        Select(u"slow"_s);
        window->modifiers = Qt::ShiftModifier;
        Select(u"other"_s);
        WaitForLoadEnd();
        const QStringList names = Names(*window);
        QVERIFY2(names == QStringList{u"c1.mp3"_s} ||
                     names == (QStringList{u"000-bad.mp3"_s, u"c1.mp3"_s}),
                 qPrintable(names.join(u", "_s)));
        QVERIFY(window->troubles.isEmpty());
        VerifyTotals();
        VerifyIdle();
    }

    void cancelKeepsRowsSoFar_data() {
        QTest::addColumn<bool>("drop");
        QTest::addColumn<bool>("closeWindow");
        QTest::addColumn<QStringList>("names");
        // A folder load sorts what it kept (here by name, descending); a drop
        // never sorts.
        QTest::newRow("folder, Cancel")
            << false << false << QStringList{u"003-bad.mp3"_s, u"002.mp3"_s, u"001.mp3"_s};
        QTest::newRow("drop, Cancel")
            << true << false << QStringList{u"001.mp3"_s, u"002.mp3"_s, u"003-bad.mp3"_s};
        QTest::newRow("drop, window closed")
            << true << true << QStringList{u"001.mp3"_s, u"002.mp3"_s, u"003-bad.mp3"_s};
    }

    void cancelKeepsRowsSoFar() {
        QFETCH(bool, drop);
        QFETCH(bool, closeWindow);
        QFETCH(QStringList, names);
        window->FileList()->SetSortHistory({ColumnSortInfo{ColumnName, 0}});
        CProcessing* processing = window->ProcessingDialog();
        bool shownAtCancel = false;
        // The damaged third file's box is where the user cancels.
        window->onTrouble = [&] {
            shownAtCancel = processing->isVisible();
            if (closeWindow) {
                processing->close();
            } else {
                processing->CancelButton()->click();
            }
            return false;
        };
        if (drop) {
            Drop({u"cancel"_s});
        } else {
            Select(u"cancel"_s);
        }
        WaitForLoadEnd();
        QCOMPARE(Names(*window), names);
        if (drop) {
            QVERIFY(shownAtCancel);
        }
        VerifyTotals();
        VerifyIdle();
    }

    void dropTakesFoldersAndMp3Files() {
        ShowRecorder shows(*window);
        window->ProcessingDialog()->installEventFilter(&shows);
        Drop(
            {u"drop"_s, u"loose/UP.MP3"_s, u"loose/x.wav"_s, u"loose/mp3"_s, u"loose/Mixed.Mp3"_s});
        WaitForLoadEnd();
        // Shown at once: before the first row, not half a second later.
        QCOMPARE(shows.rowsAtShow.value(0, -1), 0);
        QCOMPARE(Names(*window),
                 (QStringList{u"d1.mp3"_s, u"d2.mp3"_s, u"UP.MP3"_s, u"Mixed.Mp3"_s}));
        VerifyTotals();
        VerifyIdle();
    }

    // Files named on the command line or by a later copy of the program.
    void outsidePathsLeaveOutListedOnes() {
        Drop({u"loose/UP.MP3"_s});
        WaitForLoadEnd();
        window->AddOutsidePaths(
            {Path(u"loose/UP.MP3"_s), Path(u"loose/Mixed.Mp3"_s), Path(u"loose/Mixed.Mp3"_s)});
        QCoreApplication::sendPostedEvents(window.get(), WM_DROPPED_PATHS);
        WaitForLoadEnd();
        QCOMPARE(Names(*window), (QStringList{u"UP.MP3"_s, u"Mixed.Mp3"_s}));
        VerifyTotals();
        VerifyIdle();
    }

    void dropIgnoredWhileBusy_data() {
        QTest::addColumn<bool>("loading");
        QTest::newRow("while loading") << true;
        QTest::newRow("while the list is busy") << false;
    }

    void dropIgnoredWhileBusy() {
        QFETCH(bool, loading);
        if (loading) {
            Select(u"root"_s);
        } else {
            window->ListBusyFlag() = 1;
        }
        Drop({u"drop"_s});
        if (!loading) {
            QVERIFY(!window->IsLoading());
            window->ListBusyFlag() = 0;
        }
        WaitForLoadEnd();
        QCOMPARE(Names(*window), loading ? (QStringList{u"a1.mp3"_s, u"a2.mp3"_s}) : QStringList{});
        VerifyTotals();
    }

    void addFilesTakesEveryNameGiven() {
        // The same file twice is two rows; a folder or a missing name none.
        window->filesToAdd = {Path(u"root/a1.mp3"_s), Path(u"root/a1.mp3"_s),
                              Path(u"root/missing.mp3"_s), Path(u"root"_s)};
        window->RunCommand(CmdAddFiles);
        WaitForLoadEnd();
        QCOMPARE(Names(*window), (QStringList{u"a1.mp3"_s, u"a1.mp3"_s}));
        VerifyTotals();
        QVERIFY(window->TotalSizeMB() > 0.0);
        QVERIFY(run->recorded.messages.isEmpty());
        VerifyIdle();
    }

    void damagedFilesAskOnceWhenSpared_data() {
        QTest::addColumn<bool>("spare");
        QTest::addColumn<int>("boxes");
        QTest::newRow("box checked") << true << 1;
        QTest::newRow("box left unchecked") << false << 2;
    }

    void damagedFilesAskOnceWhenSpared() {
        QFETCH(bool, spare);
        QFETCH(int, boxes);
        window->onTrouble = [spare] { return spare; };
        Select(u"damaged"_s);
        WaitForLoadEnd();
        QCOMPARE(window->troubles.size(), boxes);
        for (const QString& text : std::as_const(window->troubles)) {
            QVERIFY2(text.startsWith(u"Trouble with mpg123: "_s), qPrintable(text));
        }
        const CReportCtrl* list = window->FileList();
        QCOMPARE(Names(*window), (QStringList{u"bad1-bad.mp3"_s, u"bad2-bad.mp3"_s, u"ok.mp3"_s}));
        for (int row = 0; row < 3; ++row) {
            const bool bad = row < 2;
            QCOMPARE(list->GetRowData(row)->invalid, bad ? 1 : 0);
            QCOMPARE(list->CellText(row, ColumnType), bad ? u"Unknown"_s : u"MP3"_s);
            QCOMPARE(list->CellTextColour(row, ColumnType) == QColor(255, 0, 0), bad);
        }
        QCOMPARE(list->CellText(2, ColumnArtist), ExampleTagTexts().artist);
        VerifyTotals();
        // Sparing lasts for one load only.
        window->modifiers = Qt::ShiftModifier;
        Select(u"damaged"_s);
        WaitForLoadEnd();
        QCOMPARE(window->troubles.size(), boxes + (spare ? 1 : 2));
        QCOMPARE(list->RowCount(), 6);
        VerifyTotals();
    }

    void addFolderEndsAfterErrorOrCancel_data() {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("error");
        QTest::newRow("picker cancelled") << QString() << false;
        QTest::newRow("folder gone") << u"gone"_s << true;
    }

    void addFolderEndsAfterErrorOrCancel() {
        QFETCH(QString, folder);
        QFETCH(bool, error);
        // Rows dropped unsorted; the Add Folder load's end sorts them.
        window->FileList()->SetSortHistory({ColumnSortInfo{ColumnName, 0}});
        Drop({u"pair"_s});
        WaitForLoadEnd();
        QCOMPARE(Names(*window), (QStringList{u"001.mp3"_s, u"002.mp3"_s}));
        window->folderToAdd = folder.isEmpty() ? QString() : Path(folder);
        window->RunCommand(CmdAddFolder);
        WaitForLoadEnd();
        QCOMPARE(run->recorded.messages,
                 error ? QStringList{u"An Error Occurred While Loading Files!"_s} : QStringList{});
        QCOMPARE(Names(*window), (QStringList{u"002.mp3"_s, u"001.mp3"_s}));
        QCOMPARE(window->PaneText(1), u" No file selected"_s);
        QCOMPARE(window->FileList()->HeaderSortImage(ColumnName), 2);
        VerifyTotals();
        VerifyIdle();
    }
};

QTEST_MAIN(TstLoading)
#include "tst_loading.moc"
