// The progress window on real conversions of small generated files.

#include "Mp3Fixtures.h"

#include "engine/EngineContext.h"
#include "engine/MediaFileInfo.h"
#include "engine/TaskRules.h"
#include "platform/DisplayText.h"
#include "platform/Shell.h"
#include "platform/TaskbarProgress.h"
#include "ui/progress/ConvProg.h"
#include "ui/progress/LogRowDelegate.h"

#include "ui/toolkit/DialogUnits.h"

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using namespace zorvane;
using namespace zorvane::testing;
using namespace Qt::Literals::StringLiterals;

namespace {

class RecordingSender final : public LauncherEntrySender {
public:
    QList<QVariantMap> updates;
    void SendUpdate(const QString&, const QVariantMap& properties) override {
        updates << properties;
    }
};

class RecordingOpener final : public UrlOpener {
public:
    QList<QUrl>* opened;
    bool answer;
    explicit RecordingOpener(QList<QUrl>* list, bool opens = true) : opened(list), answer(opens) {}
    bool OpenUrl(const QUrl& url) override {
        *opened << url;
        return answer;
    }
};

class NoFileManager final : public FileManagerService {
public:
    bool ShowItems(const QStringList&) override { return false; }
    bool ShowItemProperties(const QStringList&) override { return false; }
};

// The window with the Cancel question answered by the test.
class TestConvProg final : public CConvProg {
public:
    using CConvProg::CConvProg;
    bool answerYes = false;
    int questions = 0;
    QStringList failures;

protected:
    bool AskCancel() override {
        ++questions;
        return answerYes;
    }
    void ShowOpenFailure(const QString& text) override { failures << text; }
};

} // namespace

class TestConvProg_ : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    EngineContext ctx;
    QString shortFile;
    QString longFile;
    std::unique_ptr<QSettings> settings;

    // A task for a generated file, as the file list would build it.
    CConversionTask TaskFor(const QString& source, int seconds, const QString& outFolder,
                            ConversionSettings* s) {
        MediaFileInfo info;
        info.formatCode = 2;
        info.sampleRate = 44100;
        info.channels = 2;
        info.totalSamples = uint64_t(seconds) * 44100 * 2;
        s->outputFolder = outFolder + u'/';
        return BuildTask(info, QFileInfo(source).absolutePath() + u'/',
                         QFileInfo(source).fileName(), *s);
    }

    std::unique_ptr<TestConvProg> MakeWindow(TaskbarProgress* taskbar = nullptr,
                                             Shell* shell = nullptr) {
        auto w = std::make_unique<TestConvProg>(ctx, taskbar, shell);
        w->SetSettings(settings.get());
        return w;
    }

    static bool WaitForEnd(CConvProg& w, int ms = 60000) {
        return QTest::qWaitFor([&] { return !w.State().IsRunning(); }, ms);
    }

    static QStringList Texts(const CConvProg& w) {
        QStringList out;
        for (int i = 0; i < w.LogList()->topLevelItemCount(); ++i) {
            out << w.LogList()->topLevelItem(i)->text(3);
        }
        return out;
    }

    // A window that has converted `source` into `outFolder` and is finished.
    std::unique_ptr<TestConvProg> FinishedRun(const QString& source, const QString& outFolder,
                                              Shell* shell = nullptr) {
        auto w = MakeWindow(nullptr, shell);
        ConversionSettings s;
        AppendTask(w->State(), TaskFor(source, 1, outFolder, &s));
        w->State().settings = s;
        w->show();
        if (!WaitForEnd(*w) ||
            !QTest::qWaitFor([&] { return w->windowTitle().startsWith(u'F'); })) {
            return nullptr;
        }
        return w;
    }

    static int Level(const CConvProg& w, int row) {
        return w.LogList()->topLevelItem(row)->data(0, LogRowDelegate::kLevelRole).toInt();
    }

private slots:
    void cleanup() { QApplication::setFont(QFont()); }

    void initTestCase() {
        QVERIFY(dir.isValid());
        settings = std::make_unique<QSettings>(dir.filePath(QStringLiteral("store.ini")),
                                               QSettings::IniFormat);
        ToneParams tone;
        tone.seconds = 1.0;
        shortFile = dir.filePath(QStringLiteral("short.mp3"));
        QVERIFY(WriteToneMp3(shortFile, tone));
        tone.seconds = 30.0;
        longFile = dir.filePath(QStringLiteral("long.mp3"));
        QVERIFY(WriteToneMp3(longFile, tone));
    }

    void formatHms_data() {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0.0 << QStringLiteral("00:00:00");
        QTest::newRow("minute") << 61.0 << QStringLiteral("00:01:01");
        QTest::newRow("hours") << 12307.0 << QStringLiteral("03:25:07");
        QTest::newRow("past 99 hours") << 360000.0 << QStringLiteral("100:00:00");
        // An early estimate of a long run: no wrap at 32 bits.
        QTest::newRow("past 2^32 seconds") << 5e9 << QStringLiteral("1388888:53:20");
        QTest::newRow("negative") << -3.0 << QStringLiteral("00:00:00");
        QTest::newRow("beyond 2^64") << 1e30 << QStringLiteral("5124095576030431:00:15");
    }

    void formatHms() {
        QFETCH(double, seconds);
        QFETCH(QString, text);
        QCOMPARE(HmsText(seconds), text);
    }

    void templateTexts() {
        auto w = MakeWindow();
        QCOMPARE(w->ControlText(IdCurrentGroup), QStringLiteral("Current Progress"));
        QCOMPARE(w->ControlText(IdOverallGroup), QStringLiteral("Overall Progress"));
        QCOMPARE(w->ControlText(IdFileDone), QStringLiteral("0.00%"));
        QCOMPARE(w->ControlText(IdOverallSpeed), QStringLiteral("0.00x"));
        QCOMPARE(w->ControlText(IdFileEta), QStringLiteral("00:00:00"));
        QCOMPARE(w->ControlText(IdPauseButton), QStringLiteral("Pause"));
        QCOMPARE(w->ControlText(IdCancelButton), QStringLiteral("Cancel"));
        QCOMPARE(w->ControlText(IdClearButton), QStringLiteral("Clear"));
        QCOMPARE(w->LogList()->headerItem()->text(1), QStringLiteral("#"));
        QCOMPARE(w->LogList()->headerItem()->text(3), QStringLiteral("Description"));
        QVERIFY(w->LogList()->isColumnHidden(0));
    }

    void finishedRunShowsEverything() {
        RecordingSender* sender = new RecordingSender;
        TaskbarProgress taskbar{std::unique_ptr<LauncherEntrySender>(sender)};
        QList<QUrl> opened;
        Shell shell(std::make_unique<RecordingOpener>(&opened), std::make_unique<NoFileManager>());
        auto w = MakeWindow(&taskbar, &shell);
        ConversionSettings s;
        const QString out = dir.filePath(QStringLiteral("finished"));
        AppendTask(w->State(), TaskFor(shortFile, 1, out, &s));
        w->State().settings = s;
        const int firstNumber = CConvProg::LogLineNumber() + 1;
        w->show();
        QVERIFY(WaitForEnd(*w));
        QTRY_COMPARE(w->windowTitle(), QStringLiteral("Finished Converting"));

        const QStringList texts = Texts(*w);
        QCOMPARE(texts.first(), QString(99, u'-'));
        QCOMPARE(texts.at(1), QStringLiteral("Start a new converting task."));
        QVERIFY(texts.contains(QStringLiteral("Converting status: OK.")));
        QCOMPARE(texts.last(), QStringLiteral("Finished converting, all done ^_^"));
        for (int row = 0; row < texts.size(); ++row) {
            const QTreeWidgetItem* item = w->LogList()->topLevelItem(row);
            QCOMPARE(item->text(1), QString::asprintf("%03d ", firstNumber + row));
            QVERIFY(QTime::fromString(item->text(2), QStringLiteral("HH:mm:ss")).isValid());
            QCOMPARE(Level(*w, row), 0);
        }
        QCOMPARE(w->ControlText(IdFileDone), QStringLiteral("100.00%"));
        QCOMPARE(w->ControlText(IdOverallDone), QStringLiteral("100.00%"));
        QCOMPARE(w->ControlText(IdOverallEta), QStringLiteral("00:00:00"));
        QCOMPARE(w->ControlText(IdSource), shortFile);
        QCOMPARE(w->ControlText(IdDestination), out + QStringLiteral("/short.mp3"));
        QCOMPARE(w->ControlText(IdPauseButton), QStringLiteral("Open Dir"));
        QVERIFY(w->GetDlgItem(IdPauseButton)->isEnabled());
        QCOMPARE(w->ControlText(IdCancelButton), QStringLiteral("Finish"));
        QCOMPARE(static_cast<QProgressBar*>(w->GetDlgItem(IdOverallBar))->value(), 100);
        QCOMPARE(taskbar.Fraction(), 1.0);

        // Open Dir opens the output folder; Finish closes.
        static_cast<QPushButton*>(w->GetDlgItem(IdPauseButton))->click();
        QCOMPARE(opened.size(), 1);
        QCOMPARE(opened.first().toLocalFile(), out + u'/');
        static_cast<QPushButton*>(w->GetDlgItem(IdCancelButton))->click();
        QVERIFY(!w->isVisible());
        QCOMPARE(w->questions, 0);

        // A late progress message changes nothing.
        const int count = CConvProg::ProgressMessageCount();
        QCoreApplication::postEvent(w.get(), new ConvProgressEvent(50.0f, 50.0f));
        QCoreApplication::sendPostedEvents(w.get());
        QCOMPARE(w->ControlText(IdFileDone), QStringLiteral("100.00%"));
        QCOMPARE(CConvProg::ProgressMessageCount(), count);
    }

    void openDirDisabledBesideTheSource() {
        auto w = MakeWindow();
        ConversionSettings s;
        s.sameAsSource = 1;
        CConversionTask task = TaskFor(shortFile, 1, dir.path(), &s);
        AppendTask(w->State(), task);
        w->State().settings = s;
        w->show();
        QVERIFY(WaitForEnd(*w));
        QTRY_COMPARE(w->ControlText(IdPauseButton), QStringLiteral("Open Dir"));
        QVERIFY(!w->GetDlgItem(IdPauseButton)->isEnabled());
    }

    void lineNumbersGoOnAcrossRuns() {
        int lastOfFirst = 0;
        for (int run = 0; run < 2; ++run) {
            auto w = MakeWindow();
            ConversionSettings s;
            AppendTask(w->State(), TaskFor(shortFile, 1, dir.filePath(QStringLiteral("runs")), &s));
            w->State().settings = s;
            w->show();
            QVERIFY(WaitForEnd(*w));
            QTRY_COMPARE(w->windowTitle(), QStringLiteral("Finished Converting"));
            QTreeWidget* log = w->LogList();
            if (run == 1) {
                QCOMPARE(log->topLevelItem(0)->text(1),
                         QString::asprintf("%03d ", lastOfFirst + 1));
            }
            lastOfFirst = log->topLevelItem(log->topLevelItemCount() - 1)->text(1).toInt();
        }
    }

    void percentagesClampAndTimesOnEveryTenth() {
        auto w = MakeWindow();
        ConversionSettings s;
        AppendTask(w->State(), TaskFor(longFile, 30, dir.filePath(QStringLiteral("clamp")), &s));
        w->State().settings = s;
        w->show();
        w->OnPauseCommand(); // the encoder sends nothing while paused
        QTRY_VERIFY(w->State().fileStartTick.load() != 0);
        QTest::qWait(300);
        QCoreApplication::sendPostedEvents(w.get());
        auto post = [&w](float f, float o) {
            QCoreApplication::postEvent(w.get(), new ConvProgressEvent(f, o));
            QCoreApplication::sendPostedEvents(w.get());
        };
        if ((CConvProg::ProgressMessageCount() + 1) % 10 == 0) {
            post(0.0f, 0.0f); // a tenth, with nothing to estimate from
        }
        const QString eta = w->ControlText(IdFileEta);

        // Up to the next multiple of ten, the times stay as they are.
        while ((CConvProg::ProgressMessageCount() + 1) % 10 != 0) {
            QCoreApplication::postEvent(w.get(), new ConvProgressEvent(1.0f, 104.7f));
            QCoreApplication::sendPostedEvents(w.get());
            QCOMPARE(w->ControlText(IdFileEta), eta);
        }
        post(1.0f, 104.7f);
        QCOMPARE(w->ControlText(IdOverallDone), QStringLiteral("100.00%"));
        QCOMPARE(static_cast<QProgressBar*>(w->GetDlgItem(IdOverallBar))->value(), 100);
        QCOMPARE(w->ControlText(IdFileDone), QStringLiteral(" 1.00%"));
        // 1 % done after about half a second: about 50 s left.
        QVERIFY2(w->ControlText(IdFileEta) != QStringLiteral("00:00:00"),
                 qPrintable(w->ControlText(IdFileEta)));
        QVERIFY(w->ControlText(IdFileSpeed).startsWith(u' '));
        QVERIFY(w->ControlText(IdFileSpeed).endsWith(u'x'));

        w->answerYes = true;
        w->OnCancelCommand();
    }

    void pauseThenResume() {
        RecordingSender* sender = new RecordingSender;
        TaskbarProgress taskbar{std::unique_ptr<LauncherEntrySender>(sender)};
        auto w = MakeWindow(&taskbar);
        ConversionSettings s;
        AppendTask(w->State(), TaskFor(shortFile, 1, dir.filePath(QStringLiteral("pause")), &s));
        w->State().settings = s;
        w->show();
        w->OnPauseCommand();
        QCOMPARE(w->ControlText(IdPauseButton), QStringLiteral("Resume"));
        QCOMPARE(w->State().paused.load(), 1);
        QCOMPARE(taskbar.CurrentState(), TaskbarProgress::State::Paused);
        QTest::qWait(900);
        QVERIFY(w->State().IsRunning()); // held by the pause
        QCOMPARE(w->State().overallSamplesDone.load(), uint64_t(0));
        w->OnPauseCommand();
        QCOMPARE(w->ControlText(IdPauseButton), QStringLiteral("Pause"));
        QCOMPARE(taskbar.CurrentState(), TaskbarProgress::State::Normal);
        QVERIFY(WaitForEnd(*w));
        QTRY_VERIFY(Texts(*w).contains(QStringLiteral("Converting status: OK.")));
    }

    void cancelAnsweredNoGoesOn() {
        auto w = MakeWindow();
        ConversionSettings s;
        AppendTask(w->State(), TaskFor(shortFile, 1, dir.filePath(QStringLiteral("no")), &s));
        w->State().settings = s;
        w->show();
        w->answerYes = false;
        w->OnCancelCommand();
        QCOMPARE(w->questions, 1);
        QCOMPARE(w->State().paused.load(), 0);
        QVERIFY(w->isVisible());
        QVERIFY(WaitForEnd(*w));
        QTRY_VERIFY(Texts(*w).contains(QStringLiteral("Converting status: OK.")));
    }

    void cancelAnsweredYesStopsAndCloses() {
        RecordingSender* sender = new RecordingSender;
        TaskbarProgress taskbar{std::unique_ptr<LauncherEntrySender>(sender)};
        auto w = MakeWindow(&taskbar);
        ConversionSettings s;
        AppendTask(w->State(), TaskFor(longFile, 30, dir.filePath(QStringLiteral("yes")), &s));
        w->State().settings = s;
        w->show();
        QTRY_VERIFY(w->State().fileSamplesDone.load() > 0);
        w->answerYes = true;
        QElapsedTimer timer;
        timer.start();
        w->OnCancelCommand();
        QVERIFY2(timer.elapsed() < 1000, QByteArray::number(timer.elapsed()).constData());
        QVERIFY(!w->isVisible());
        QCOMPARE(w->result(), 0);
        QCOMPARE(w->State().aborted.load(), 1);
        QVERIFY(!w->State().driverThread.Started());
        const QStringList texts = Texts(*w);
        QVERIFY(!texts.contains(QStringLiteral("Converting status: OK.")));
        QCOMPARE(texts.last(), QStringLiteral("Converting status: ERROR."));
        QCOMPARE(taskbar.CurrentState(), TaskbarProgress::State::Error);
    }

    void errorInSecondOfThree() {
        RecordingSender* sender = new RecordingSender;
        TaskbarProgress taskbar{std::unique_ptr<LauncherEntrySender>(sender)};
        auto w = MakeWindow(&taskbar);
        ConversionSettings s;
        const QString out = dir.filePath(QStringLiteral("err"));
        AppendTask(w->State(), TaskFor(shortFile, 1, out, &s));
        AppendTask(w->State(), TaskFor(dir.filePath(QStringLiteral("missing.mp3")), 1, out, &s));
        AppendTask(w->State(), TaskFor(shortFile, 1, out, &s));
        w->State().settings = s;
        w->show();
        QVERIFY(WaitForEnd(*w));
        QTRY_VERIFY(Texts(*w).contains(QStringLiteral("Converting status: ERROR.")));
        w->State().driverThread.Join();
        QCoreApplication::sendPostedEvents(w.get());
        const QStringList texts = Texts(*w);
        const int errorRow = int(texts.indexOf(QStringLiteral("Converting status: ERROR.")));
        QCOMPARE(Level(*w, errorRow), 2);
        QCOMPARE(LogRowDelegate::TextColourFor(Level(*w, errorRow)), QColor(255, 0, 0));
        QCOMPARE(Level(*w, errorRow - 1), 2); // "File Error: ..."
        QCOMPARE(texts.count(QStringLiteral("Converting status: OK.")), 1);
        QVERIFY(!texts.contains(QStringLiteral("Finished converting, all done ^_^")));
        QCOMPARE(w->ControlText(IdCancelButton), QStringLiteral("Cancel"));
        QCOMPARE(taskbar.CurrentState(), TaskbarProgress::State::Error);
        // With the run stopped, Cancel just closes.
        w->OnCancelCommand();
        QCOMPARE(w->questions, 0);
        QVERIFY(!w->isVisible());
    }

    // At every font size: the times and labels fit, the window cannot be made
    // smaller than its layout, a long path is shortened in the middle with
    // the whole path as its tool tip, and every control is named.
    void layoutAtEveryFontSize_data() {
        QTest::addColumn<int>("points");
        QTest::newRow("9 pt") << 9;
        QTest::newRow("10 pt") << 10;
        QTest::newRow("12 pt") << 12;
    }

    void layoutAtEveryFontSize() {
        QFETCH(int, points);
        QFont font = QApplication::font();
        font.setPointSize(points);
        QApplication::setFont(font);
        const QString folder = u"Hörbücher — Ünïcødé ορφανά 音声ファイル "_s.repeated(3);
        const QString source = dir.filePath(folder + u'/' + folder + u"/tone.mp3"_s);
        QVERIFY(QDir().mkpath(QFileInfo(source).path()));
        QVERIFY(QFile::exists(source) || QFile::copy(shortFile, source));
        auto w = FinishedRun(source, dir.filePath(u"fonts"_s));
        QVERIFY(w);

        const QTreeWidget* log = w->LogList();
        const int margins =
            2 * (log->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, log) + 1);
        QVERIFY(log->columnWidth(2) >=
                log->fontMetrics().horizontalAdvance(u"00:00:00"_s) + margins);
        for (const auto* label : w->findChildren<QLabel*>()) {
            QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <=
                         label->contentsRect().width(),
                     qPrintable(label->text()));
        }
        const DialogUnits du(w->font());
        const QSize layout = QSize(du.X(367), du.Y(273)).boundedTo(w->screen()->availableSize());
        QCOMPARE(w->minimumSize(), layout);
        w->resize(40, 30);
        QTRY_COMPARE(w->size(), layout);

        auto* shown = qobject_cast<QLabel*>(w->GetDlgItem(IdSource));
        QCOMPARE(w->ControlText(IdSource), source);
        QCOMPARE(shown->toolTip(), source);
        QCOMPARE(shown->accessibleDescription(), source);
        QVERIFY(shown->text() != source);
        QVERIFY(shown->text().startsWith(source.left(4)));
        QVERIFY(shown->text().endsWith(u"/tone.mp3"_s));

        QStringList unnamed;
        for (QWidget* widget : w->findChildren<QWidget*>()) {
            const bool reachable = widget->isVisible() && (widget->focusPolicy() & Qt::TabFocus);
            QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
            if ((reachable || qobject_cast<QAbstractButton*>(widget)) &&
                (face == nullptr || face->text(QAccessible::Name).isEmpty())) {
                unnamed << QString::fromLatin1(widget->metaObject()->className());
            }
        }
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(u", "_s)));
        QCOMPARE(w->GetDlgItem(IdFileBar)->accessibleName(), u"Current file progress"_s);
        QCOMPARE(w->GetDlgItem(IdOverallEta)->accessibleName(), u"Overall: ETA"_s);
        QCOMPARE(qobject_cast<QLabel*>(w->GetDlgItem(IdOverallEtaLabel))->buddy(),
                 w->GetDlgItem(IdOverallEta));
    }

    // A click on a long line leaves the log where it is; Clear goes back left.
    void clickDoesNotScrollTheLogSideways_data() {
        QTest::addColumn<int>("eighths"); // of the way to the right end
        QTest::newRow("at the left") << 0;
        QTest::newRow("half way") << 4;
    }

    void clickDoesNotScrollTheLogSideways() {
        QFETCH(int, eighths);
        auto w = FinishedRun(shortFile, dir.filePath(u"click"_s));
        QVERIFY(w);
        QTreeWidget* log = w->LogList();
        const QString longLine = u"A line longer than the log is wide. "_s.repeated(12);
        w->AppendLogLine(longLine, LogNormal);
        // Written after the run: the Description column fits it all the same.
        QVERIFY(log->columnWidth(3) >= log->fontMetrics().horizontalAdvance(longLine));
        QScrollBar* bar = log->horizontalScrollBar();
        QTRY_VERIFY(bar->maximum() > 0);
        bar->setValue(bar->maximum() * eighths / 8);
        const int before = bar->value();
        const QRect row = log->visualItemRect(log->topLevelItem(log->topLevelItemCount() - 1));
        const QPoint at(log->viewport()->width() * 3 / 4, row.center().y());
        QCOMPARE(log->indexAt(at).column(), 3);
        QTest::mouseClick(log->viewport(), Qt::LeftButton, {}, at);
        // The view scrolls to a clicked row once a double click can no
        // longer follow.
        QTest::qWait(QApplication::doubleClickInterval() + 200);
        QCOMPARE(bar->value(), before);
        w->OnClearCommand();
        QCOMPARE(bar->value(), 0);
    }

    // Open Dir says what went wrong when the folder cannot be opened.
    void openDirFailureIsShown_data() {
        QTest::addColumn<bool>("opens");
        QTest::addColumn<bool>("removed");
        QTest::addColumn<QString>("says");
        QTest::newRow("opened") << true << false << QString();
        QTest::newRow("nothing opens folders") << false << false << u"no file manager"_s;
        QTest::newRow("folder gone") << true << true << u"does not exist"_s;
    }

    void openDirFailureIsShown() {
        QFETCH(bool, opens);
        QFETCH(bool, removed);
        QFETCH(QString, says);
        QList<QUrl> opened;
        Shell shell(std::make_unique<RecordingOpener>(&opened, opens),
                    std::make_unique<NoFileManager>());
        const QString out = dir.filePath(u"open "_s + QString::fromLatin1(QTest::currentDataTag()));
        auto w = FinishedRun(shortFile, out, &shell);
        QVERIFY(w);
        QVERIFY(!removed || QDir(out).removeRecursively());
        static_cast<QPushButton*>(w->GetDlgItem(IdPauseButton))->click();
        QCOMPARE(w->failures.size(), says.isEmpty() ? 0 : 1);
        QVERIFY(says.isEmpty() ||
                (w->failures.first().contains(says) && w->failures.first().contains(out)));
    }

    void rowColours() {
        QCOMPARE(LogRowDelegate::BackgroundFor(0), QColor(Qt::white));
        QCOMPARE(LogRowDelegate::BackgroundFor(1), QColor(243, 245, 252));
        QCOMPARE(LogRowDelegate::TextColourFor(0), QColor(0, 0, 255));
        QCOMPARE(LogRowDelegate::TextColourFor(1), QColor(153, 0, 0));
        QVERIFY(!LogRowDelegate::TextColourFor(5).isValid());
    }

    void enterAndEscapeDoNotClose() {
        auto w = MakeWindow();
        ConversionSettings s;
        AppendTask(w->State(), TaskFor(shortFile, 1, dir.filePath(QStringLiteral("keys")), &s));
        w->State().settings = s;
        w->show();
        QVERIFY(WaitForEnd(*w));
        QTest::keyClick(w.get(), Qt::Key_Escape);
        QTest::keyClick(w.get(), Qt::Key_Return);
        QVERIFY(w->isVisible());
        w->OnClearCommand();
        QCOMPARE(w->LogList()->topLevelItemCount(), 0);
    }
};

QTEST_MAIN(TestConvProg_)
#include "tst_convprog.moc"
