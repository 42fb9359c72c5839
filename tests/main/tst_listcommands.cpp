// The commands on the file list's rows and Convert, on the real main window
// with files generated in temporary folders.

#include "MainWindowHarness.h"
#include "Mp3Fixtures.h"
#include "TagFixtures.h"

#include "filelist/FileListColumns.h"
#include "filelist/ReportCtrl.h"
#include "ui/progress/ConvProg.h"
#include "ui/toolkit/MyDropTarget.h"

#include <QDrag>
#include <QLineEdit>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

using namespace zorvane;
using namespace zorvane::testing;
using namespace Qt::StringLiterals;

namespace {

using Rows = QList<int>;

// Convert's progress window either only looked at (its tasks recorded) or run
// to its end.
class ListWindow final : public TestWindow {
public:
    using TestWindow::TestWindow;
    bool runToEnd = false;
    QStringList sources;
    QStringList log;

protected:
    void RunConversion(CConvProg& window) override {
        for (const CConversionTask& task : window.State().tasks) {
            sources << task.sourcePath;
        }
        if (!runToEnd) {
            return;
        }
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &window, [&window] {
            if (!window.State().IsRunning() && window.State().driverThread.Finished()) {
                window.OnCancelCommand(); // "Finish" once the run is over
            }
        });
        poll.start(50);
        window.exec();
        for (int i = 0; i < window.LogList()->topLevelItemCount(); ++i) {
            log << window.LogList()->topLevelItem(i)->text(3);
        }
    }
};

struct Run {
    explicit Run(const QString& root) : harness(root) {
        window = std::make_unique<ListWindow>(harness.services, harness.recorded);
        window->Initialise();
        window->show();
    }
    Harness harness;
    Recorded& desktop = harness.recorded;
    std::unique_ptr<ListWindow> window;

    CReportCtrl& List() const { return *window->FileList(); }
    QStringList& Messages() { return harness.recorded.messages; }
    bool WaitForLoad() const {
        return QTest::qWaitFor([this] { return window->LoaderFinished() && !window->IsLoading(); });
    }
    // Adds the files through Add File(s), as the user does; rows sort by name.
    bool Add(const QStringList& paths) {
        window->filesToAdd = paths;
        window->RunCommand(CmdAddFiles);
        return WaitForLoad();
    }
    QStringList Names() const {
        QStringList names;
        for (int row = 0; row < List().RowCount(); ++row) {
            names << List().CellText(row, ColumnName);
        }
        return names;
    }
    void Select(const Rows& rows) const {
        List().ApplyStatesToRows(CReportCtrl::AllRows, CReportCtrl::Unselected);
        for (int row : rows) {
            List().ApplyRowStates(row, CReportCtrl::Selected);
        }
    }
    Rows Selected() const {
        Rows rows;
        for (int row = List().NextRow(CReportCtrl::Selected); row >= 0;
             row = List().NextRow(CReportCtrl::Selected, row)) {
            rows << row;
        }
        return rows;
    }
    // The totals agree with the rows that are left, in the window and in pane 0.
    bool TotalsMatchRows() const {
        double size = 0.0;
        double seconds = 0.0;
        for (int row = 0; row < List().RowCount(); ++row) {
            size += List().GetRowData(row)->sizeMB;
            seconds += List().GetRowData(row)->durationSeconds;
        }
        return window->FileCount() == List().RowCount() &&
               qAbs(window->TotalSizeMB() - size) < 1e-9 &&
               qAbs(window->TotalDurationSeconds() - seconds) < 1e-9 &&
               window->PaneText(0) == CVELTDlg::TotalsText(List().RowCount(), window->TotalSizeMB(),
                                                           window->TotalDurationSeconds());
    }
};

} // namespace

class TestListCommands : public QObject {
    Q_OBJECT

    QTemporaryDir home;
    QString tone; // 1.5 s, tagged

    // Copies of the tone under the given names, in `dir`.
    QStringList Files(const QTemporaryDir& dir, const QStringList& names) {
        QStringList paths;
        for (const QString& name : names) {
            paths << dir.filePath(name);
            if (!QFileInfo::exists(paths.last()) && !QFile::copy(tone, paths.last())) {
                return {};
            }
        }
        return paths;
    }

private slots:
    void initTestCase() {
        QVERIFY(home.isValid());
        UseTemporaryHome(home.path());
        tone = home.filePath(u"tone.mp3"_s);
        ToneParams params;
        params.seconds = 1.5;
        QVERIFY(WriteToneMp3(tone, params));
        QVERIFY(AddTags(tone, TagId3v2, ExampleTagTexts()));
    }

    void selectCommands_data() {
        QTest::addColumn<int>("files");
        QTest::addColumn<int>("command");
        QTest::addColumn<Rows>("before");
        QTest::addColumn<Rows>("after");
        QTest::newRow("next from none") << 3 << int(CmdSelectNext) << Rows{} << Rows{0};
        QTest::newRow("next") << 3 << int(CmdSelectNext) << Rows{0} << Rows{1};
        QTest::newRow("next wraps") << 3 << int(CmdSelectNext) << Rows{2} << Rows{0};
        QTest::newRow("next of three") << 3 << int(CmdSelectNext) << Rows{0, 1, 2} << Rows{0};
        QTest::newRow("next of two") << 3 << int(CmdSelectNext) << Rows{1, 2} << Rows{0};
        QTest::newRow("next, empty list") << 0 << int(CmdSelectNext) << Rows{} << Rows{};
        QTest::newRow("all") << 3 << int(CmdSelectAll) << Rows{1} << Rows{0, 1, 2};
        QTest::newRow("none") << 3 << int(CmdSelectNone) << Rows{0, 2} << Rows{};
        QTest::newRow("reverse") << 3 << int(CmdReverseSelect) << Rows{0, 2} << Rows{1};
    }

    void selectCommands() {
        QFETCH(int, files);
        QFETCH(int, command);
        QFETCH(Rows, before);
        QFETCH(Rows, after);
        QTemporaryDir dir;
        Run run(dir.path());
        QVERIFY(run.Add(Files(dir, QStringList{u"a.mp3"_s, u"b.mp3"_s, u"c.mp3"_s}.mid(0, files))));
        run.Select(before);
        run.window->RunCommand(command);
        QCOMPARE(run.Selected(), after);
        QCOMPARE(run.window->PaneText(1).startsWith(u"%1 file(s) selected"_s.arg(after.size())),
                 !after.isEmpty());
        if (command == CmdSelectNext && !after.isEmpty()) {
            QVERIFY(run.List().QueryRowStates(after.first()) & CReportCtrl::Focused);
        }
        QCOMPARE(run.window->LoadRunningFlag().load(), 0);
    }

    void removeCommands_data() {
        QTest::addColumn<int>("command");
        QTest::addColumn<Rows>("selected");
        QTest::addColumn<QStringList>("left");
        QTest::addColumn<Rows>("selectedAfter");
        // The rows, sorted by name bytes: Dup (a folder now), a, b (gone), c, dup, dup.
        QTest::newRow("selected") << int(CmdRemoveSelected) << Rows{1, 3}
                                  << QStringList{u"Dup.mp3"_s, u"b.mp3"_s, u"dup.mp3"_s,
                                                 u"dup.mp3"_s}
                                  << Rows{};
        QTest::newRow("all") << int(CmdRemoveAll) << Rows{1, 3} << QStringList{} << Rows{};
        // The missing file goes, and so does the name a folder has taken; the
        // rows that stay keep their selection.
        QTest::newRow("dead") << int(CmdRemoveDead) << Rows{0, 3, 5}
                              << QStringList{u"a.mp3"_s, u"c.mp3"_s, u"dup.mp3"_s, u"dup.mp3"_s}
                              << Rows{1, 3};
        // On Linux letter case tells two files apart: "Dup.mp3" stays.
        QTest::newRow("duplicates")
            << int(CmdRemoveDuplicates) << Rows{1, 3, 5}
            << QStringList{u"Dup.mp3"_s, u"a.mp3"_s, u"b.mp3"_s, u"c.mp3"_s, u"dup.mp3"_s}
            << Rows{1, 3};
    }

    void removeCommands() {
        QFETCH(int, command);
        QFETCH(Rows, selected);
        QFETCH(QStringList, left);
        QFETCH(Rows, selectedAfter);
        QTemporaryDir dir;
        Run run(dir.path());
        const QStringList files =
            Files(dir, {u"Dup.mp3"_s, u"a.mp3"_s, u"b.mp3"_s, u"c.mp3"_s, u"dup.mp3"_s});
        QVERIFY(run.Add(files));
        QVERIFY(run.Add({files[4]})); // the same file twice gives two rows
        QCOMPARE(run.Names(), (QStringList{u"Dup.mp3"_s, u"a.mp3"_s, u"b.mp3"_s, u"c.mp3"_s,
                                           u"dup.mp3"_s, u"dup.mp3"_s}));
        // Tells the two "dup.mp3" rows apart: the first one is the one to keep.
        run.List().SetCellText(4, ColumnComment, u"first"_s);
        QVERIFY(QFile::remove(files[2]));
        QVERIFY(QFile::remove(files[0]) && QDir().mkdir(files[0]));
        run.Select(selected);
        run.window->RunCommand(command);
        QCOMPARE(run.Names(), left);
        QCOMPARE(run.Selected(), selectedAfter);
        QVERIFY(run.TotalsMatchRows());
        const qsizetype kept = left.indexOf(u"dup.mp3"_s);
        if (kept >= 0) {
            QCOMPARE(run.List().CellText(int(kept), ColumnComment), u"first"_s);
        }
        if (left.isEmpty()) {
            QCOMPARE(run.window->PaneText(0), u"No file"_s);
            QCOMPARE(run.window->PaneText(1), u"No file selected"_s);
            QCOMPARE(run.window->TotalSizeMB(), 0.0);
        }
        QCOMPARE(run.window->LoadRunningFlag().load(), 0);
        QVERIFY(run.Messages().isEmpty());
        QVERIFY(QFileInfo::exists(files[1])); // leaving the list deletes nothing
    }

    void rename_data() {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("renamed");
        QTest::newRow("new name") << int(ColumnName) << u"renamed.mp3"_s << true;
        QTest::newRow("over an existing file") << int(ColumnName) << u"b.mp3"_s << false;
        QTest::newRow("into another folder") << int(ColumnName) << u"sub/a.mp3"_s << false;
        QTest::newRow("parent folder") << int(ColumnName) << u".."_s << false;
        QTest::newRow("empty") << int(ColumnName) << QString() << false;
        QTest::newRow("not the Name cell") << int(ColumnTitle) << u"renamed.mp3"_s << false;
    }

    void rename() {
        QFETCH(int, column);
        QFETCH(QString, text);
        QFETCH(bool, renamed);
        QTemporaryDir dir;
        Run run(dir.path());
        const QStringList files = Files(dir, {u"a.mp3"_s, u"b.mp3"_s});
        QVERIFY(run.Add(files));
        QVERIFY(QDir(dir.path()).mkdir(u"sub"_s));
        QFile b(files[1]); // unlike a.mp3, so that an overwrite would show
        QVERIFY(b.open(QIODevice::Append) && b.write("x", 1) == 1);
        b.close();
        const qint64 bSize = QFileInfo(files[1]).size();
        run.Select({0});
        if (column == ColumnName) {
            run.window->RunCommand(CmdRenameFile);
        } else {
            run.List().BeginCellEdit(0, column);
        }
        QVERIFY(run.List().IsEditing());
        run.List().Editor()->setText(text);
        QVERIFY(run.List().FinishCellEdit(true));

        QCOMPARE(QFileInfo::exists(files[0]), !renamed);
        QCOMPARE(QFileInfo::exists(dir.filePath(u"renamed.mp3"_s)), renamed);
        QCOMPARE(run.List().CellText(0, ColumnName), renamed ? text : u"a.mp3"_s);
        QCOMPARE(QFileInfo(files[1]).size(), bSize);
        QVERIFY(QDir(dir.filePath(u"sub"_s)).isEmpty());
        const bool refused = column == ColumnName && !renamed;
        QCOMPARE(run.Messages(), refused ? QStringList{u"Fail to Rename File!"_s} : QStringList{});
    }

    void deleteFiles_data() {
        QTest::addColumn<Rows>("selected");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("left");
        const QString question = u"Permanently Delete the File(s), Are You Sure?"_s;
        const QStringList all{u"a.mp3"_s, u"b.mp3"_s, u"c.mp3"_s};
        QTest::newRow("nothing selected")
            << Rows{} << int(QMessageBox::Yes) << u"Please select ONE file First!"_s << all;
        QTest::newRow("answered No") << Rows{0, 2} << int(QMessageBox::No) << question << all;
        QTest::newRow("answered Yes")
            << Rows{0, 2} << int(QMessageBox::Yes) << question << QStringList{u"b.mp3"_s};
    }

    void deleteFiles() {
        QFETCH(Rows, selected);
        QFETCH(int, answer);
        QFETCH(QString, message);
        QFETCH(QStringList, left);
        QTemporaryDir dir;
        Run run(dir.path());
        QVERIFY(run.Add(Files(dir, {u"a.mp3"_s, u"b.mp3"_s, u"c.mp3"_s})));
        run.Select(selected);
        run.window->answer = QMessageBox::StandardButton(answer);
        run.window->RunCommand(CmdDeleteFiles);
        QCOMPARE(run.Messages(), QStringList{message});
        QCOMPARE(run.Names(), left);
        QVERIFY(run.TotalsMatchRows());
        for (const QString& name : {u"a.mp3"_s, u"b.mp3"_s, u"c.mp3"_s}) {
            QCOMPARE(QFileInfo::exists(dir.filePath(name)), left.contains(name));
        }
    }

    void open_data() {
        QTest::addColumn<bool>("exists");
        QTest::addColumn<bool>("opens");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("rows");
        const QString noApplication =
            u"There is no application associated with the given file name extension."_s;
        const QString notFound = u"File NOT Found!  Remove It from the List?"_s;
        QTest::newRow("opens") << true << true << int(QMessageBox::Yes) << QString() << 1;
        QTest::newRow("no application")
            << true << false << int(QMessageBox::Yes) << noApplication << 1;
        QTest::newRow("missing, kept") << false << true << int(QMessageBox::No) << notFound << 1;
        QTest::newRow("missing, removed")
            << false << true << int(QMessageBox::Yes) << notFound << 0;
    }

    void open() {
        QFETCH(bool, exists);
        QFETCH(bool, opens);
        QFETCH(int, answer);
        QFETCH(QString, message);
        QFETCH(int, rows);
        QTemporaryDir dir;
        Run run(dir.path());
        const QString file = Files(dir, {u"a.mp3"_s}).value(0);
        QVERIFY(run.Add({file}));
        if (!exists) {
            QVERIFY(QFile::remove(file));
        }
        run.desktop.opens = opens;
        run.desktop.opened.clear();
        run.window->answer = QMessageBox::StandardButton(answer);
        run.Select({0});
        run.window->RunCommand(CmdOpen);
        QCOMPARE(run.Messages(), message.isEmpty() ? QStringList{} : QStringList{message});
        QCOMPARE(run.desktop.opened,
                 exists ? QList<QUrl>{QUrl::fromLocalFile(file)} : QList<QUrl>{});
        // Without a program for the file, its folder opens with the file shown.
        QCOMPARE(run.desktop.shown, exists && !opens ? QStringList{file} : QStringList{});
        QCOMPARE(run.List().RowCount(), rows);
        QVERIFY(run.TotalsMatchRows());
    }

    void dragOutLosesMovedFiles() {
        QTemporaryDir dir;
        Run run(dir.path());
        const QStringList files = Files(dir, {u"a.mp3"_s, u"b.mp3"_s, u"c.mp3"_s});
        QVERIFY(run.Add(files));
        run.Select({0, 1});
        // The target moved b.mp3 away: its row has nothing left to show.
        QVERIFY(QFile::rename(files[1], dir.filePath(u"moved.mp3"_s)));
        emit run.List().dragRequested();
        QCOMPARE(run.Names(), (QStringList{u"a.mp3"_s, u"c.mp3"_s}));
        QVERIFY(run.TotalsMatchRows());
        const QDrag* drag = run.window->findChild<QDrag*>();
        QVERIFY(drag != nullptr);
        QCOMPARE(drag->mimeData()->urls(),
                 (QList<QUrl>{QUrl::fromLocalFile(files[0]), QUrl::fromLocalFile(files[1])}));
        QCOMPARE(drag->mimeData()->data(kPrivateDragFormat), QByteArray(1, '\0'));
        QVERIFY(!CMyDropTarget::CanDrop(drag->mimeData()));
        QCOMPARE(drag->supportedActions(), Qt::CopyAction);
    }

    void convertBuildsNothing_data() {
        QTest::addColumn<int>("files");
        QTest::addColumn<Rows>("selected");
        QTest::addColumn<int>("command");
        QTest::addColumn<bool>("loading");
        QTest::newRow("empty list") << 0 << Rows{} << int(CmdConvert) << false;
        QTest::newRow("nothing selected") << 2 << Rows{} << int(CmdConvertSelected) << false;
        QTest::newRow("while loading") << 2 << Rows{0} << int(CmdConvertSelected) << true;
        QTest::newRow("while loading, all") << 2 << Rows{} << int(CmdConvert) << true;
    }

    void convertBuildsNothing() {
        QFETCH(int, files);
        QFETCH(Rows, selected);
        QFETCH(int, command);
        QFETCH(bool, loading);
        QTemporaryDir dir;
        Run run(dir.path());
        const QStringList paths = Files(dir, QStringList{u"a.mp3"_s, u"b.mp3"_s}.mid(0, files));
        QVERIFY(run.Add(paths));
        if (files > 0) {
            QVERIFY(QFile::remove(paths.last()));
        }
        run.harness.settings.settings.sameAsSource = 0;
        run.harness.settings.settings.outputFolder = dir.filePath(u"out/"_s);
        run.Select(selected);
        run.window->LoadRunningFlag() = loading ? 1 : 0;
        run.window->RunCommand(command);
        run.window->LoadRunningFlag() = 0;
        QVERIFY(run.window->sources.isEmpty());
        QVERIFY(!QFileInfo::exists(dir.filePath(u"out"_s)));
        QVERIFY(run.Messages().isEmpty());
        // While a load runs even the dead row stays: nothing at all happens.
        QCOMPARE(run.List().RowCount(), loading ? files : std::max(files - 1, 0));
    }

    void convertSelectedTakesUsableSelectedRows() {
        QTemporaryDir dir;
        Run run(dir.path());
        const QStringList files = Files(dir, {u"a.mp3"_s, u"c.mp3"_s, u"d.mp3"_s});
        const QString damaged = dir.filePath(u"b.mp3"_s);
        QVERIFY(WriteNotMp3(damaged));
        QVERIFY(run.Add(files + QStringList{damaged}));
        QCOMPARE(run.Names(), (QStringList{u"a.mp3"_s, u"b.mp3"_s, u"c.mp3"_s, u"d.mp3"_s}));
        QVERIFY(run.List().GetRowData(1)->invalid != 0);
        run.harness.settings.settings.sameAsSource = 0;
        run.harness.settings.settings.outputFolder = dir.filePath(u"new/out/"_s);
        run.Select({0, 1, 2});
        QVERIFY(QFile::remove(files[1])); // c.mp3, deleted since it was added
        run.window->RunCommand(CmdConvertSelected);
        QCOMPARE(run.window->sources, QStringList{files[0]});
        QVERIFY(QFileInfo(dir.filePath(u"new/out"_s)).isDir());
        QCOMPARE(run.Names(), (QStringList{u"a.mp3"_s, u"b.mp3"_s, u"d.mp3"_s}));
        QVERIFY(run.TotalsMatchRows());
    }

    void convertRunsToTheEnd() {
        QTemporaryDir dir;
        Run run(dir.path());
        const QString song = Files(dir, {u"song.mp3"_s}).value(0);
        const QString damaged = dir.filePath(u"broken.mp3"_s);
        QVERIFY(WriteNotMp3(damaged));
        QVERIFY(run.Add({song, damaged}));
        ConversionSettings& settings = run.harness.settings.settings;
        settings.sameAsSource = 0;
        settings.outputFolder = dir.filePath(u"out/"_s);
        settings.speedPercent = 150;
        settings.channelMode = 1;    // mono
        settings.frequencyIndex = 5; // 22,050 Hz
        run.window->runToEnd = true;
        run.window->RunCommand(CmdConvert);

        QCOMPARE(run.window->log.value(run.window->log.size() - 1),
                 u"Finished converting, all done ^_^"_s);
        QCOMPARE(run.window->log.count(u"Converting status: OK."_s), 1);
        QCOMPARE(QDir(settings.outputFolder).entryList(QDir::Files), QStringList{u"song.mp3"_s});
        const QString out = settings.outputFolder + u"song.mp3"_s;
        DecodedAudio decoded;
        QVERIFY(DecodeMp3(out, &decoded));
        QCOMPARE(int(decoded.rate), 22050);
        QCOMPARE(decoded.channels, 1);
        QVERIFY2(qAbs(decoded.seconds() - 1.0) < 0.05,
                 qPrintable(QString::number(decoded.seconds())));
        QCOMPARE(ReadTags(out).id3v2, ExampleTagTexts());
        // The rows are the same afterwards.
        QCOMPARE(run.Names(), (QStringList{u"broken.mp3"_s, u"song.mp3"_s}));
    }
};

QTEST_MAIN(TestListCommands)
#include "tst_listcommands.moc"
