// The main window as the user meets it: its keys, toolbar, menus, status
// bar, and what it keeps from one run to the next.

#include "MainWindowHarness.h"

#include "filelist/ReportCtrl.h"
#include "platform/SingleInstance.h"
#include "settings/OptionDlg.h"
#include "ui/main/AboutDlg.h"
#include "ui/main/AppResources.h"
#include "ui/main/Processing.h"
#include "ui/toolkit/FileTreeCtrl.h"
#include "ui/toolkit/ResizeDlg.h"
#include "ui/toolkit/SSplitter.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>

using namespace zorvane;
using namespace zorvane::testing;
using namespace Qt::StringLiterals;

namespace {

// Runs `step` on the modal dialog that opens next.
void OnNextModal(std::function<void(QWidget*)> step) {
    QTimer::singleShot(0, [step = std::move(step)] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) {
            OnNextModal(step);
            return;
        }
        step(modal);
    });
}

QPushButton* ButtonWithId(QWidget* dialog, int id) {
    for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
        if (GetDlgCtrlID(button) == id) {
            return button;
        }
    }
    return nullptr;
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private:
    QTemporaryDir home;

private slots:
    void initTestCase() {
        QVERIFY(home.isValid());
        UseTemporaryHome(home.path());
    }

    void enterAndEscapeDoNothing() {
        QTemporaryDir root;
        Harness run(root.path());
        auto window = run.MakeWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
            QTest::keyClick(window.get(), Qt::Key(key));
            QVERIFY(window->isVisible());
        }
        QVERIFY(run.recorded.messages.isEmpty());
    }

    void toolbarTooltips_data() {
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("tip");
        QTest::newRow("add files") << 0 << u"Add audio files to the current file list"_s;
        QTest::newRow("add folder")
            << 1 << u"Add folder excluding subfolders to current file list"_s;
        QTest::newRow("add tree") << 2 << u"Add folder including subfolders to current file list"_s;
        QTest::newRow("convert") << 3 << u"Adjust the speed of the files"_s;
        QTest::newRow("options") << 4 << u"Open the option dialog"_s;
        QTest::newRow("help") << 6 << u"Launch the help of Zorvane"_s;
        QTest::newRow("about") << 7 << u"About Zorvane"_s;
    }
    void toolbarTooltips() {
        QFETCH(int, button);
        QFETCH(QString, tip);
        QTemporaryDir root;
        Harness run(root.path());
        auto window = run.MakeWindow();
        const QList<QAction*> buttons = window->ToolBar()->actions();
        QCOMPARE(buttons.size(), 8);
        QCOMPARE(buttons[button]->toolTip(), tip);
        QVERIFY(buttons[button]->toolTip().size() < 80);
        QVERIFY(!buttons[button]->icon().isNull());
        QWidget* tool = window->ToolBar()->widgetForAction(buttons[button]);
        QVERIFY(tool != nullptr && !tool->accessibleName().isEmpty());
    }

    void rightClickOnEmptyListSpaceOpensNoMenu() {
        QTemporaryDir root;
        Harness run(root.path());
        auto window = run.MakeWindow();
        window->resize(900, 600);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QSignalSpy shown(window->ListContextMenu(), &QMenu::aboutToShow);
        QWidget* viewport = window->FileList()->viewport();
        emit window->FileList()->customContextMenuRequested(viewport->rect().center());
        QTest::qWait(50);
        QCOMPARE(shown.count(), 0);
    }

    void optionsCancelStillRefreshesTheSummary() {
        QTemporaryDir root;
        Harness run(root.path());
        auto window = run.MakeWindow();
        const QString before = window->PaneText(2);
        // Reset inside the dialog (answered Yes) shows at once, and Cancel
        // afterwards keeps what Reset did.
        run.settings.settings.bitrateIndex = 3;
        window->ShowSettingsSummary();
        QVERIFY(window->PaneText(2) != before);
        OnNextModal([&](QWidget* modal) {
            auto* options = qobject_cast<COption*>(modal);
            QVERIFY(options != nullptr);
            OnNextModal([](QWidget* question) {
                qobject_cast<QMessageBox*>(question)->button(QMessageBox::Yes)->click();
            });
            ButtonWithId(options, COption::IdReset)->click();
            QCOMPARE(window->PaneText(2), before);
            run.settings.settings.bitrateIndex = 5;
            options->reject();
        });
        window->RunCommand(CmdOptions);
        QCOMPARE(window->PaneText(2), run.settings.SettingsSummaryText());
        QVERIFY(window->PaneText(2) != before);
        QCOMPARE(window->PaneToolTip(2), window->PaneText(2));
    }

    // The help page is the one of the program's own folder (the harness's root); a relative
    // address below stands for a file there, and an empty one for nothing opened.
    void helpCommandsOpenTheirAddresses_data() {
        QTest::addColumn<int>("command");
        QTest::addColumn<bool>("pageInstalled");
        QTest::addColumn<QUrl>("opened");
        QTest::newRow("help") << int(CmdHelpContent) << true << QUrl(u"help/index.html"_s);
        QTest::newRow("help without a page") << int(CmdHelpContent) << false << QUrl();
        QTest::newRow("download") << int(CmdDownload) << true
                                  << QUrl(QString::fromUtf16(kDownloadAddress));
        QTest::newRow("mail") << int(CmdEmailSupport) << true
                              << QUrl(u"mailto:"_s + QString::fromUtf16(kSupportMailAddress));
        QTest::newRow("support") << int(CmdOnlineSupport) << true
                                 << QUrl(QString::fromUtf16(kSupportWebAddress));
    }
    void helpCommandsOpenTheirAddresses() {
        QFETCH(int, command);
        QFETCH(bool, pageInstalled);
        QFETCH(QUrl, opened);
        QTemporaryDir root;
        if (pageInstalled) {
            QVERIFY(QDir(root.path()).mkpath(u"help"_s));
            QFile page(QDir(root.path()).filePath(u"help/index.html"_s));
            QVERIFY(page.open(QIODevice::WriteOnly) && page.write("<html></html>") > 0);
        }
        if (!opened.isEmpty() && opened.isRelative()) {
            opened = QUrl::fromLocalFile(QDir(root.path()).filePath(opened.path()));
        }
        Harness run(root.path());
        auto window = run.MakeWindow();
        window->RunCommand(command);
        QCOMPARE(run.recorded.opened, opened.isEmpty() ? QList<QUrl>{} : QList<QUrl>{opened});
    }

    // Every control a user can reach in each window has a name a screen
    // reader can say.
    void everyControlHasAnAccessibleName_data() {
        QTest::addColumn<QString>("which");
        for (const char* which : {"main", "options", "about", "processing"}) {
            QTest::newRow(which) << QString::fromLatin1(which);
        }
    }
    void everyControlHasAnAccessibleName() {
        QFETCH(QString, which);
        QTemporaryDir root;
        Harness run(root.path());
        auto window = run.MakeWindow();
        std::unique_ptr<QWidget> dialog;
        if (which == u"options") {
            dialog = std::make_unique<COption>(run.settings, [] {});
        } else if (which == u"about") {
            dialog = std::make_unique<CAboutDlg>();
        }
        QWidget* shown = which == u"main" ? window.get()
                         : which == u"processing"
                             ? static_cast<QWidget*>(window->ProcessingDialog())
                             : dialog.get();
        shown->show();
        QVERIFY(QTest::qWaitForWindowExposed(shown));
        QStringList unnamed;
        for (QWidget* widget : shown->findChildren<QWidget*>()) {
            const bool reachable = widget->focusPolicy() & Qt::TabFocus;
            const bool pressable = qobject_cast<QAbstractButton*>(widget) != nullptr;
            // Qt's own inner parts ("qt_spinbox_lineedit") speak through
            // the control they belong to.
            const bool inner = widget->objectName().startsWith(u"qt_"_s);
            if (!widget->isVisible() || inner || (!reachable && !pressable)) {
                continue;
            }
            QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
            if (face == nullptr || face->text(QAccessible::Name).isEmpty()) {
                unnamed << QString::fromLatin1(widget->metaObject()->className()) + u' ' +
                               widget->objectName();
            }
        }
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(u", "_s)));
    }

    void noStoredPlacementOpensMaximised() {
        QTemporaryDir root;
        Harness run(root.path());
        auto window = run.MakeWindow();
        QVERIFY(window->windowState() & Qt::WindowMaximized);
    }

    void closingSavesAndARestartRestores() {
        QTemporaryDir root;
        const QString folder = root.filePath(u"Audiobooks"_s);
        QVERIFY(QDir().mkpath(folder));
        const QRect placed(40, 50, 700, 480);
        {
            Harness run(root.path());
            auto window = run.MakeWindow();
            window->setWindowState(Qt::WindowNoState);
            window->setGeometry(placed);
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window.get()));
            QVERIFY(window->FolderTree()->SelectPath(folder, false) != nullptr);
            QTRY_VERIFY(window->LoaderFinished() && !window->IsLoading());
            window->FileList()->SetColumnWidth(8, 321);
            window->RunCommand(CmdToggleTree);
            QVERIFY(!window->CommandAction(CmdToggleTree)->isChecked());
            QVERIFY(window->close());
            QVERIFY(QFileInfo::exists(run.settings.ConfigFilePath()));
        }
        Harness again(root.path());
        QCOMPARE(again.settings.settings.lastFolder.isEmpty(), true); // not read before start
        auto window = again.MakeWindow();
        QCOMPARE(QDir::cleanPath(again.settings.settings.lastFolder), folder);
        QCOMPARE(QDir::cleanPath(window->FolderTree()->SelectedPath()), folder);
        QVERIFY(!window->Splitter()->IsLeftPaneShown());
        QVERIFY(!window->CommandAction(CmdToggleTree)->isChecked());
        QCOMPARE(window->FileList()->ColumnWidth(8), 321);
        QVERIFY(!(window->windowState() & Qt::WindowMaximized));
        QCOMPARE(window->geometry().size(), placed.size());
    }

    void aSecondStartHandsItsFilesToTheFirst() {
        const QString name = u"zorvane-test-%1"_s.arg(QCoreApplication::applicationPid());
        SingleInstance first(name);
        QCOMPARE(first.Start(), SingleInstance::StartResult::FirstCopy);
        QSignalSpy raised(&first, &SingleInstance::RaiseRequested);
        QSignalSpy handed(&first, &SingleInstance::PathsRequested);
        // Paths are sent whole: blanks, a newline and non-Latin letters.
        const QStringList paths = {u"/music/a b.mp3"_s, u"/music/ё\nx.mp3"_s, u"/music/%41.mp3"_s};
        SingleInstance second(name);
        QCOMPARE(second.Start(paths), SingleInstance::StartResult::OtherCopyRunning);
        QTRY_COMPARE(raised.count(), 1);
        QCOMPARE(handed.count(), 1);
        QCOMPARE(handed.at(0).at(0).toStringList(), paths);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
