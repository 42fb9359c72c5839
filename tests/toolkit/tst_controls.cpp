// The hyperlink, the folder picker and the drop target, driven the way the
// user drives them: pointer moves and clicks, a dialog filled in and
// confirmed, drags entering, moving and dropping on a window.

#include "ui/toolkit/FolderDialog.h"
#include "ui/toolkit/HyperLink.h"
#include "ui/toolkit/MyDropTarget.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <optional>

using namespace zorvane;

namespace {

class FakeOpener final : public ShellOpener {
public:
    explicit FakeOpener(int openResult) : result(openResult) {}
    int Open(const QString& target) override {
        targets.append(target);
        return result;
    }
    int result;
    QStringList targets;
};

// Counts the pixels drawn in exactly this colour, and the longest run of them
// in one row (an underline is a long run).
struct ColourStats {
    int pixels = 0;
    int longestRun = 0;
};

ColourStats Measure(QWidget& widget, const QColor& colour) {
    const QImage image = widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ColourStats stats;
    for (int y = 0; y < image.height(); ++y) {
        int run = 0;
        for (int x = 0; x < image.width(); ++x) {
            if (QColor(image.pixel(x, y)) == colour) {
                ++stats.pixels;
                stats.longestRun = std::max(stats.longestRun, ++run);
            } else {
                run = 0;
            }
        }
    }
    return stats;
}

// A link in a window of its own, with a font big enough for solid strokes.
struct LinkWindow {
    LinkWindow() : link(QStringLiteral("Zorvane homepage"), &window) {
        QFont big = link.font();
        big.setPixelSize(24);
        link.setFont(big);
        window.resize(400, 120);
        link.move(20, 20);
        window.show();
    }
    QPoint Inside() const { return link.mapToGlobal(link.rect().center()); }
    QPoint Outside() const { return window.mapToGlobal(QPoint(390, 110)); }
    QWidget window;
    CHyperLink link;
};

class LeaveSwallower final : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Leave) {
            ++swallowed;
            return true;
        }
        return QObject::eventFilter(watched, event);
    }
    int swallowed = 0;
};

// Answers the message box that a failed open shows, remembering what it said.
struct BoxAnswerer {
    void Arm() {
        QTimer::singleShot(0, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                text = box->text();
                icon = box->icon();
                box->accept();
            }
        });
    }
    std::optional<QString> text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// The picker with its dialog driven by a function instead of a modal loop.
class DrivenPicker final : public CFolderDialog {
public:
    using CFolderDialog::CFolderDialog;

    std::function<int(QFileDialog&)> drive;
    bool keepOpenOnFailure = true;
    QStringList failedTexts;
    QString statusAtEnd;

protected:
    // Shown and active like the real dialog, so that typing has the focus
    // that the dialog's completion relies on; only the modal loop is missing.
    int ExecDialog(QFileDialog& dialog) override {
        dialog.show();
        if (!QTest::qWaitForWindowActive(&dialog)) {
            qWarning("the folder dialog did not become active");
        }
        const int result = drive(dialog);
        if (auto* label = dialog.findChild<QLabel*>(QStringLiteral("statusText"))) {
            statusAtEnd = label->text();
        }
        return result;
    }
    bool OnBrowseValidateFailed(const QString& text) override {
        failedTexts.append(text);
        CFolderDialog::OnBrowseValidateFailed(text);
        return keepOpenOnFailure;
    }
};

void Type(QFileDialog& dialog, const QString& text) {
    auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    QVERIFY(edit != nullptr);
    // With the focus in the edit the dialog keeps its list's selection in step
    // with the text. Set as a whole, the text opens no completion pop-up.
    edit->setFocus();
    QVERIFY(edit->hasFocus());
    edit->setText(text);
}

// QFileDialog hides accept(); through QDialog it is the user's "Choose".
void Accept(QFileDialog& dialog) {
    static_cast<QDialog&>(dialog).accept();
}

int Confirm(QFileDialog& dialog) {
    Accept(dialog);
    return dialog.result();
}

class DropRecorder final : public QObject {
public:
    bool event(QEvent* event) override {
        if (event->type() == WM_DROPPED_PATHS) {
            drops.append(static_cast<DroppedPathsEvent*>(event)->paths);
            return true;
        }
        return QObject::event(event);
    }
    QList<QStringList> drops;
};

// A main window stand-in: the list fills its lower part.
struct DropWindow {
    DropWindow() : list(&window), target(&list, [this] { return listed; }) {
        window.resize(400, 300);
        list.setGeometry(0, 100, 400, 200);
        target.Register(&window);
        target.SetOwner(&recorder);
        target.SetAcceptDrops(true);
    }
    static QPoint OverList() { return {200, 200}; }
    static QPoint AboveList() { return {200, 50}; }

    // Sends a whole drag: enter, move and drop at the same point. Returns
    // whether the drop was accepted. QApplication routes moves and the drop
    // only to the widget that accepted the enter, as during a real drag.
    bool DragAndDrop(QMimeData& data, const QPoint& at, bool deliver = true) {
        QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(&window, &enter);
        QDragMoveEvent move(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                            Qt::NoModifier);
        QCoreApplication::sendEvent(&window, &move);
        QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                        Qt::NoModifier);
        QCoreApplication::sendEvent(&window, &drop);
        if (deliver) {
            QCoreApplication::sendPostedEvents(&recorder, WM_DROPPED_PATHS);
        }
        return drop.isAccepted() && drop.dropAction() == Qt::CopyAction;
    }

    QWidget window;
    QWidget list;
    QStringList listed;
    CMyDropTarget target;
    DropRecorder recorder;
};

QList<QUrl> FileUrls(const QStringList& paths) {
    QList<QUrl> urls;
    for (const QString& path : paths) {
        urls.append(QUrl::fromLocalFile(path));
    }
    return urls;
}

} // namespace

class TestControls : public QObject {
    Q_OBJECT

private slots:
    // ---- CHyperLink ----

    void linkDefaults() {
        CHyperLink link(QStringLiteral("https://example.org/"));
        QCOMPARE(link.LinkTarget(), QStringLiteral("https://example.org/"));
        QCOMPARE(link.toolTip(), link.LinkTarget());
        QCOMPARE(link.LinkColour(), QColor(0x00, 0x00, 0xEE));
        QCOMPARE(link.VisitedColour(), QColor(0x55, 0x1A, 0x8B));
        QCOMPARE(link.HoverColour(), QColor(0xFF, 0x00, 0x00));
        QCOMPARE(link.CurrentTextColour(), link.LinkColour());
        QVERIFY(link.AutoSize());
        QVERIFY(!link.IsHovering());
        QVERIFY(!link.IsVisited());
        QCOMPARE(link.cursor().shape(), Qt::PointingHandCursor);
        QCOMPARE(link.textFormat(), Qt::PlainText);
    }

    void linkWithoutTextShowsItsTarget() {
        CHyperLink link;
        link.SetLinkTarget(QStringLiteral("mailto:support@example.org"));
        QCOMPARE(link.text(), QStringLiteral("mailto:support@example.org"));
        QCOMPARE(link.toolTip(), QStringLiteral("mailto:support@example.org"));
        // The label follows a new address as long as it shows the address.
        link.SetLinkTarget(QStringLiteral("mailto:help@example.org"));
        QCOMPARE(link.text(), QStringLiteral("mailto:help@example.org"));
    }

    void linkKeepsItsOwnText() {
        CHyperLink link(QStringLiteral("Homepage"));
        link.SetLinkTarget(QStringLiteral("https://example.org/"));
        QCOMPARE(link.text(), QStringLiteral("Homepage"));
        QCOMPARE(link.toolTip(), QStringLiteral("https://example.org/"));
    }

    void markupInTargetIsShownAsTyped() {
        CHyperLink link;
        const QString target = QStringLiteral("<b>bold</b>&amp;");
        link.SetLinkTarget(target);
        QCOMPARE(link.text(), target);
        QVERIFY(link.toolTip().contains(QStringLiteral("&lt;b&gt;bold&lt;/b&gt;&amp;amp;")));
    }

    void fitToText_data() {
        QTest::addColumn<int>("alignment");
        QTest::addColumn<QString>("anchor");
        QTest::newRow("left, top") << int(Qt::AlignLeft | Qt::AlignTop) << "left top";
        QTest::newRow("right") << int(Qt::AlignRight | Qt::AlignTop) << "right top";
        QTest::newRow("centred") << int(Qt::AlignHCenter | Qt::AlignTop) << "centre top";
        QTest::newRow("centred vertically")
            << int(Qt::AlignLeft | Qt::AlignVCenter) << "left middle";
    }

    void fitToText() {
        QFETCH(int, alignment);
        QFETCH(QString, anchor);
        QWidget parent;
        CHyperLink link(QStringLiteral("Fit me"), &parent);
        link.setAlignment(Qt::Alignment(alignment));
        const QRect before(100, 50, 301, 61);
        link.setGeometry(before);
        link.FitToText();

        const QSize text = QFontMetrics(link.font()).size(0, link.text());
        const QRect after = link.geometry();
        QCOMPARE(after.size(), text);
        if (anchor.startsWith(QLatin1String("left"))) {
            QCOMPARE(after.left(), before.left());
        } else if (anchor.startsWith(QLatin1String("right"))) {
            QCOMPARE(after.left() + after.width(), before.left() + before.width());
        } else {
            QCOMPARE(after.left(), before.left() + (before.width() - text.width()) / 2);
        }
        if (anchor.endsWith(QLatin1String("top"))) {
            QCOMPARE(after.top(), before.top());
        } else {
            QCOMPARE(after.top(), before.top() + (before.height() - text.height()) / 2);
        }
    }

    void noFitWithoutAutoSize() {
        CHyperLink link(QStringLiteral("Stay"));
        link.SetAutoSize(false);
        link.setGeometry(10, 10, 300, 40);
        link.SetLinkTarget(QStringLiteral("a much longer text than before"));
        QCOMPARE(link.geometry(), QRect(10, 10, 300, 40));
    }

    void hover_data() {
        QTest::addColumn<bool>("visited");
        QTest::newRow("not visited") << false;
        QTest::newRow("visited") << true;
    }

    // Over the link: red and underlined. Once the pointer has gone, even
    // without the link hearing of it, the timer brings the resting colour back.
    void hover() {
        QFETCH(bool, visited);
        LinkWindow w;
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        FakeOpener opener(42);
        w.link.SetOpener(&opener);
        if (visited) {
            QTest::mouseClick(&w.link, Qt::LeftButton);
            QVERIFY(w.link.IsVisited());
        }
        const QColor resting = visited ? w.link.VisitedColour() : w.link.LinkColour();
        const QColor other = visited ? w.link.LinkColour() : w.link.VisitedColour();
        const ColourStats calm = Measure(w.link, resting);
        QVERIFY(calm.pixels > 0);
        QCOMPARE(Measure(w.link, other).pixels, 0);

        QCursor::setPos(w.Inside());
        QTest::mouseMove(&w.link, w.link.rect().center());
        QVERIFY(w.link.IsHovering());
        QCOMPARE(w.link.CurrentTextColour(), QColor(Qt::red));
        // Red as deep as it must be to read on the window.
        const QColor red = w.link.DrawnTextColour();
        QCOMPARE(red.green(), 0);
        QCOMPARE(red.blue(), 0);
        const ColourStats hot = Measure(w.link, red);
        QVERIFY(hot.pixels > 0);
        QCOMPARE(Measure(w.link, resting).pixels, 0);
        // The underline runs under the whole text.
        QVERIFY2(hot.longestRun > calm.longestRun + w.link.width() / 2,
                 qPrintable(QStringLiteral("%1 vs %2").arg(hot.longestRun).arg(calm.longestRun)));

        // Still over the link: the ticks leave the hover alone.
        QTest::qWait(250);
        QVERIFY(w.link.IsHovering());

        // The leave event goes astray, as when a window pops up over the link.
        LeaveSwallower swallower;
        w.link.installEventFilter(&swallower);
        QElapsedTimer clock;
        clock.start();
        QCursor::setPos(w.Outside());
        QCoreApplication::processEvents();
        QVERIFY(swallower.swallowed > 0);
        QVERIFY(w.link.IsHovering());
        QTRY_VERIFY_WITH_TIMEOUT(!w.link.IsHovering(), 1000);
        QVERIFY2(clock.elapsed() <= 500, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(w.link.CurrentTextColour(), resting);
        const ColourStats after = Measure(w.link, resting);
        QCOMPARE(after.pixels, calm.pixels);
        QCOMPARE(Measure(w.link, red).pixels, 0);
    }

    void leavingEndsHoverAtOnce() {
        LinkWindow w;
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        QTest::mouseMove(&w.link, w.link.rect().center());
        QVERIFY(w.link.IsHovering());
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(&w.link, &leave);
        QVERIFY(!w.link.IsHovering());
        QCOMPARE(w.link.CurrentTextColour(), w.link.LinkColour());
    }

    void clickOpensAndMarksVisited() {
        LinkWindow w;
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        w.link.SetLinkTarget(QStringLiteral("https://example.org/about"));
        FakeOpener opener(42);
        w.link.SetOpener(&opener);
        QSignalSpy opened(&w.link, &CHyperLink::linkOpened);
        QTest::mouseMove(&w.link, w.link.rect().center());
        QTest::mouseClick(&w.link, Qt::LeftButton, Qt::NoModifier, w.link.rect().center());
        QCOMPARE(opener.targets, QStringList{QStringLiteral("https://example.org/about")});
        QVERIFY(w.link.IsVisited());
        QVERIFY(!w.link.IsHovering());
        QCOMPARE(w.link.CurrentTextColour(), w.link.VisitedColour());
        QCOMPARE(opened.count(), 1);
        QCOMPARE(opened.at(0).at(0).toBool(), true);
        QVERIFY(Measure(w.link, w.link.VisitedColour()).pixels > 0);
    }

    void otherButtonsDoNotOpen() {
        LinkWindow w;
        FakeOpener opener(42);
        w.link.SetOpener(&opener);
        QTest::mouseClick(&w.link, Qt::RightButton);
        QTest::mouseClick(&w.link, Qt::MiddleButton);
        QVERIFY(opener.targets.isEmpty());
        QVERIFY(!w.link.IsVisited());
    }

    void failedOpenExplains_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("reason");
        QTest::newRow("0") << 0 << "The operating system is out\nof memory or resources.";
        QTest::newRow("2") << 2 << "The specified file was not found.";
        QTest::newRow("3") << 3 << "The specified path was not found.";
        QTest::newRow("5") << 5 << "The operating system denied\naccess to the specified file.";
        QTest::newRow("8") << 8 << "There was not enough memory to complete the operation.";
        QTest::newRow("11") << 11
                            << "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).";
        QTest::newRow("26") << 26 << "A sharing violation occurred. ";
        QTest::newRow("27") << 27 << "The filename association is\nincomplete or invalid.";
        QTest::newRow("28") << 28
                            << "The DDE transaction could not\nbe completed because the request "
                               "timed out.";
        QTest::newRow("29") << 29 << "The DDE transaction failed.";
        QTest::newRow("30") << 30
                            << "The DDE transaction could not\nbe completed because other DDE "
                               "transactions\nwere being processed.";
        QTest::newRow("31") << 31
                            << "There is no application associated\nwith the given filename "
                               "extension.";
        QTest::newRow("32") << 32 << "The specified dynamic-link library was not found.";
        QTest::newRow("unknown") << 7 << "Unknown Error (7) occurred.";
        QTest::newRow("negative") << -5 << "Unknown Error (-5) occurred.";
    }

    void failedOpenExplains() {
        QFETCH(int, code);
        QFETCH(QString, reason);
        const QString expected = QStringLiteral("Unable to open hyperlink:\n\n") + reason;
        QCOMPARE(CHyperLink::OpenErrorText(code), expected);

        LinkWindow w;
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        FakeOpener opener(code);
        w.link.SetOpener(&opener);
        QSignalSpy opened(&w.link, &CHyperLink::linkOpened);
        BoxAnswerer answerer;
        answerer.Arm();
        QTest::mouseClick(&w.link, Qt::LeftButton);
        QVERIFY(answerer.text.has_value());
        QCOMPARE(*answerer.text, expected);
        QCOMPARE(answerer.icon, QMessageBox::Warning);
        QVERIFY(!w.link.IsVisited());
        QCOMPARE(w.link.CurrentTextColour(), w.link.LinkColour());
        QCOMPARE(opened.count(), 1);
        QCOMPARE(opened.at(0).at(0).toBool(), false);
    }

    // Only the answers the desktop opener gives before it would start a
    // program: nothing may really be opened from a test.
    void desktopOpenerRefusesWhatIsNotThere() {
        QTemporaryDir dir;
        DesktopShellOpener opener;
        QCOMPARE(opener.Open(QString()), 2);
        QCOMPARE(opener.Open(QStringLiteral("   ")), 2);
        QCOMPARE(opener.Open(dir.filePath(QStringLiteral("missing.html"))), 2);
        QCOMPARE(
            opener.Open(QUrl::fromLocalFile(dir.filePath(QStringLiteral("gone.htm"))).toString()),
            2);
    }

    // ---- CFolderDialog ----

    void folderChosen() {
        QTemporaryDir tmp;
        QVERIFY(QDir(tmp.path()).mkpath(QStringLiteral("Music/Albums")));
        const QString music = QDir::cleanPath(tmp.filePath(QStringLiteral("Music")));
        QWidget owner;
        DrivenPicker picker(QStringLiteral("Specify the Output Folder"), music, &owner);
        QVERIFY(picker.SetRootFolder(QString()));
        picker.drive = [&](QFileDialog& dialog) {
            [&] {
                QCOMPARE(dialog.windowTitle(), QStringLiteral("Specify the Output Folder"));
                QCOMPARE(dialog.parentWidget(), &owner);
                QCOMPARE(dialog.fileMode(), QFileDialog::Directory);
                QVERIFY(dialog.testOption(QFileDialog::ShowDirsOnly));
                QCOMPARE(QDir::cleanPath(dialog.directory().absolutePath()), music);
            }();
            return Confirm(dialog);
        };
        QCOMPARE(picker.Browse(), CFolderDialog::kChosen);
        QCOMPARE(picker.SelectedPath(), music);
        QVERIFY(picker.failedTexts.isEmpty());
    }

    void folderTypedRelative() {
        QTemporaryDir tmp;
        QVERIFY(QDir(tmp.path()).mkpath(QStringLiteral("Music/Albums")));
        DrivenPicker picker(QStringLiteral("Add a Folder including sub-folders"),
                            tmp.filePath(QStringLiteral("Music")));
        picker.drive = [](QFileDialog& dialog) {
            Type(dialog, QStringLiteral("Albums"));
            return Confirm(dialog);
        };
        QCOMPARE(picker.Browse(), CFolderDialog::kChosen);
        QCOMPARE(picker.SelectedPath(),
                 QDir::cleanPath(tmp.filePath(QStringLiteral("Music/Albums"))));
    }

    void cancelled() {
        QTemporaryDir tmp;
        DrivenPicker picker(QStringLiteral("Add a Folder excluding sub-folders"), tmp.path());
        picker.drive = [](QFileDialog& dialog) {
            dialog.reject();
            return dialog.result();
        };
        QCOMPARE(picker.Browse(), CFolderDialog::kCancelled);
        QVERIFY(picker.SelectedPath().isEmpty());
    }

    // A name that does not exist keeps the dialog open; a real one then closes it.
    void unknownNameKeepsDialogOpen() {
        QTemporaryDir tmp;
        QVERIFY(QDir(tmp.path()).mkpath(QStringLiteral("Music")));
        QFile file(tmp.filePath(QStringLiteral("song.mp3")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        DrivenPicker picker(QStringLiteral("Add a Folder including sub-folders"), tmp.path());
        std::optional<int> resultAfterFailure;
        picker.drive = [&](QFileDialog& dialog) {
            Type(dialog, QStringLiteral("Nowhere"));
            Accept(dialog);
            Type(dialog, QStringLiteral("song.mp3"));
            Accept(dialog);
            resultAfterFailure = dialog.result();
            Type(dialog, QStringLiteral("Music"));
            return Confirm(dialog);
        };
        QCOMPARE(picker.Browse(), CFolderDialog::kChosen);
        QCOMPARE(picker.failedTexts,
                 (QStringList{QStringLiteral("Nowhere"), QStringLiteral("song.mp3")}));
        QCOMPARE(resultAfterFailure, std::optional<int>(0));
        QCOMPARE(picker.SelectedPath(), QDir::cleanPath(tmp.filePath(QStringLiteral("Music"))));
    }

    void refusingTheFailureGivesNoPath() {
        QTemporaryDir tmp;
        DrivenPicker picker(QStringLiteral("Add a Folder including sub-folders"), tmp.path());
        picker.keepOpenOnFailure = false;
        picker.drive = [](QFileDialog& dialog) {
            Type(dialog, QStringLiteral("Nowhere"));
            return Confirm(dialog);
        };
        QCOMPARE(picker.Browse(), CFolderDialog::kNoFileSystemPath);
        QVERIFY(picker.SelectedPath().isEmpty());
    }

    void vanishedInitialFolderOpensItsParent() {
        QTemporaryDir tmp;
        QVERIFY(QDir(tmp.path()).mkpath(QStringLiteral("Output")));
        const QString output = QDir::cleanPath(tmp.filePath(QStringLiteral("Output")));
        DrivenPicker picker(QStringLiteral("Specify the Output Folder"),
                            output + QStringLiteral("/Deleted/Deeper"));
        QString opened;
        picker.drive = [&](QFileDialog& dialog) {
            opened = QDir::cleanPath(dialog.directory().absolutePath());
            return Confirm(dialog);
        };
        QCOMPARE(picker.Browse(), CFolderDialog::kChosen);
        QCOMPARE(opened, output);
        QCOMPARE(picker.SelectedPath(), output);
    }

    void rootFolder() {
        QTemporaryDir tmp;
        QVERIFY(QDir(tmp.path()).mkpath(QStringLiteral("Root/Inside")));
        const QString root = QDir::cleanPath(tmp.filePath(QStringLiteral("Root")));
        DrivenPicker picker(QStringLiteral("Pick"), tmp.path());

        QVERIFY(!picker.SetRootFolder(tmp.filePath(QStringLiteral("Missing"))));
        QVERIFY(picker.RootFolder().isEmpty());
        QVERIFY(picker.SetRootFolder(root + QStringLiteral("/Inside/..")));
        QCOMPARE(picker.RootFolder(), root);

        // The initial folder lies outside the root: the dialog starts at the
        // root, and a typed path outside it is no valid choice.
        QString opened;
        picker.drive = [&](QFileDialog& dialog) {
            opened = QDir::cleanPath(dialog.directory().absolutePath());
            Type(dialog, tmp.path());
            Accept(dialog);
            Type(dialog, QStringLiteral("Inside"));
            return Confirm(dialog);
        };
        QCOMPARE(picker.Browse(), CFolderDialog::kChosen);
        QCOMPARE(opened, root);
        QCOMPARE(picker.failedTexts, QStringList{tmp.path()});
        QCOMPARE(picker.SelectedPath(), root + QStringLiteral("/Inside"));

        QVERIFY(picker.SetRootFolder(QString()));
        QVERIFY(picker.RootFolder().isEmpty());
    }

    void statusText_data() {
        QTest::addColumn<unsigned>("flags");
        QTest::addColumn<bool>("shown");
        QTest::newRow("callers' flags") << CFolderDialog::kDefaultFlags << false;
        QTest::newRow("with status text")
            << (CFolderDialog::kDefaultFlags | CFolderDialog::kStatusText) << true;
    }

    // Clicking a folder in the dialog: status text (when asked for) and choice.
    void statusText() {
        QFETCH(unsigned, flags);
        QFETCH(bool, shown);
        QTemporaryDir tmp;
        QVERIFY(QDir(tmp.path()).mkpath(QStringLiteral("Music")));
        const QString music = QDir::cleanPath(tmp.filePath(QStringLiteral("Music")));
        DrivenPicker picker(QStringLiteral("Pick"), tmp.path(), nullptr, flags);
        picker.drive = [&](QFileDialog& dialog) {
            [&] {
                auto* view = dialog.findChild<QListView*>(QStringLiteral("listView"));
                QVERIFY(view != nullptr);
                auto* model = qobject_cast<QFileSystemModel*>(view->model());
                QVERIFY(model != nullptr);
                // The model lists the folder on a thread of its own.
                QTRY_VERIFY(view->visualRect(model->index(music)).height() > 0);
                QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier,
                                  view->visualRect(model->index(music)).center());
            }();
            return Confirm(dialog);
        };
        QCOMPARE(picker.Browse(), CFolderDialog::kChosen);
        QCOMPARE(picker.SelectedPath(), music);
        QCOMPARE(picker.statusAtEnd, shown ? QDir::toNativeSeparators(music) : QString());
    }

    // ---- CMyDropTarget ----

    void registering() {
        QWidget window;
        QWidget list(&window);
        {
            CMyDropTarget target(&list, {});
            QVERIFY(!target.Register(nullptr));
            QVERIFY(target.Register(&window));
            QVERIFY(window.acceptDrops());
            QVERIFY(!target.AcceptsDrops());
        }
        QVERIFY(!window.acceptDrops());
    }

    void dragEffect_data() {
        QTest::addColumn<QList<QUrl>>("urls");
        QTest::addColumn<bool>("privateFormat");
        QTest::addColumn<bool>("copy");
        const QList<QUrl> files = FileUrls({QStringLiteral("/music/a.mp3")});
        QTest::newRow("files") << files << false << true;
        QTest::newRow("our own rows") << files << true << false;
        QTest::newRow("web links only")
            << QList<QUrl>{QUrl(QStringLiteral("https://example.org/a.mp3"))} << false << false;
        QTest::newRow("links and a file")
            << (QList<QUrl>{QUrl(QStringLiteral("https://example.org/a.mp3"))} + files) << false
            << true;
        QTest::newRow("no urls") << QList<QUrl>{} << false << false;
    }

    // Entering judges the data; moving also needs the pointer over the list.
    void dragEffect() {
        QFETCH(QList<QUrl>, urls);
        QFETCH(bool, privateFormat);
        QFETCH(bool, copy);
        DropWindow w;
        QMimeData data;
        data.setUrls(urls);
        data.setText(QStringLiteral("some text"));
        if (privateFormat) {
            data.setData(QString(kPrivateDragFormat), QByteArray(1, '\0'));
        }
        QCOMPARE(CMyDropTarget::CanDrop(&data), copy);

        QDragEnterEvent enter(DropWindow::AboveList(), Qt::CopyAction | Qt::MoveAction, &data,
                              Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&w.window, &enter);
        QCOMPARE(enter.isAccepted(), copy);
        QCOMPARE(enter.dropAction(), copy ? Qt::CopyAction : Qt::IgnoreAction);

        QDragMoveEvent above(DropWindow::AboveList(), Qt::CopyAction | Qt::MoveAction, &data,
                             Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&w.window, &above);
        QVERIFY(!above.isAccepted());

        QDragMoveEvent over(DropWindow::OverList(), Qt::CopyAction | Qt::MoveAction, &data,
                            Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&w.window, &over);
        QCOMPARE(over.isAccepted(), copy);
        if (copy) {
            QCOMPARE(over.dropAction(), Qt::CopyAction);
        }

        // Ends the drag, so that no later drag is routed to this window.
        QDragLeaveEvent leave;
        QCoreApplication::sendEvent(&w.window, &leave);
        QVERIFY(w.recorder.drops.isEmpty());
    }

    void sourceThatCannotCopy() {
        DropWindow w;
        QMimeData data;
        data.setUrls(FileUrls({QStringLiteral("/music/a.mp3")}));
        QDragEnterEvent enter(DropWindow::OverList(), Qt::MoveAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(&w.window, &enter);
        QVERIFY(!enter.isAccepted());
    }

    void dropFiltering_data() {
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<QList<QUrl>>("dropped");
        QTest::addColumn<QStringList>("posted");
        const QString a = QStringLiteral("/music/a.mp3");
        const QString b = QStringLiteral("/music/b.mp3");
        const QString folder = QStringLiteral("/music/Albums");
        QTest::newRow("all new") << QStringList{} << FileUrls({a, b, folder})
                                 << QStringList{a, b, folder};
        QTest::newRow("mixed") << QStringList{a} << FileUrls({a, b}) << QStringList{b};
        QTest::newRow("all listed: empty list still posted")
            << QStringList{a, b} << FileUrls({b, a}) << QStringList{};
        QTest::newRow("web links ignored")
            << QStringList{}
            << (QList<QUrl>{QUrl(QStringLiteral("https://example.org/c.mp3")),
                            QUrl(QStringLiteral("ftp://example.org/d.mp3"))} +
                FileUrls({a}))
            << QStringList{a};
        QTest::newRow("named twice in one drop")
            << QStringList{} << FileUrls({a, a, b}) << QStringList{a, b};
        QTest::newRow("folder with trailing slash")
            << QStringList{} << QList<QUrl>{QUrl(QStringLiteral("file:///music/Albums/"))}
            << QStringList{folder};
        QTest::newRow("row path written with a double slash")
            << QStringList{QStringLiteral("/music//a.mp3")} << FileUrls({a}) << QStringList{};
        QTest::newRow("letter case differs")
            << QStringList{QStringLiteral("/music/A.mp3")} << FileUrls({a})
            << (CMyDropTarget::PathCase() == Qt::CaseSensitive ? QStringList{a} : QStringList{});
        QTest::newRow("spaces and non-ASCII")
            << QStringList{} << FileUrls({QStringLiteral("/music/Für Elise #1.mp3")})
            << QStringList{QStringLiteral("/music/Für Elise #1.mp3")};
    }

    void dropFiltering() {
        QFETCH(QStringList, listed);
        QFETCH(QList<QUrl>, dropped);
        QFETCH(QStringList, posted);
        DropWindow w;
        w.listed = listed;
        QMimeData data;
        data.setUrls(dropped);
        QVERIFY(w.DragAndDrop(data, DropWindow::OverList()));
        QCOMPARE(w.recorder.drops.size(), 1);
        QCOMPARE(w.recorder.drops.first(), posted);
    }

    void refusedDrops_data() {
        QTest::addColumn<QString>("why");
        QTest::newRow("our own rows") << "private";
        QTest::newRow("outside the list") << "outside";
        QTest::newRow("drops switched off") << "off";
        QTest::newRow("web links only") << "links";
    }

    void refusedDrops() {
        QFETCH(QString, why);
        DropWindow w;
        QMimeData data;
        data.setUrls(FileUrls({QStringLiteral("/music/a.mp3")}));
        QPoint at = DropWindow::OverList();
        if (why == QLatin1String("private")) {
            data.setData(QString(kPrivateDragFormat), QByteArray(1, '\0'));
        } else if (why == QLatin1String("outside")) {
            at = DropWindow::AboveList();
        } else if (why == QLatin1String("off")) {
            w.target.SetAcceptDrops(false);
        } else {
            data.setUrls({QUrl(QStringLiteral("https://example.org/a.mp3"))});
        }
        QVERIFY(!w.DragAndDrop(data, at));
        QVERIFY(w.recorder.drops.isEmpty());
    }

    void dropWithoutOwner() {
        DropWindow w;
        w.target.SetOwner(nullptr);
        QMimeData data;
        data.setUrls(FileUrls({QStringLiteral("/music/a.mp3")}));
        QVERIFY(w.DragAndDrop(data, DropWindow::OverList()));
        QVERIFY(w.recorder.drops.isEmpty());
    }

    // The event travels through the queue: nothing reaches the owner before
    // the drop handler has returned.
    void dropIsPosted() {
        DropWindow w;
        QMimeData data;
        data.setUrls(FileUrls({QStringLiteral("/music/a.mp3")}));
        QVERIFY(w.DragAndDrop(data, DropWindow::OverList(), false));
        QVERIFY(w.recorder.drops.isEmpty());
        QTRY_COMPARE(w.recorder.drops.size(), 1);
        QCOMPARE(w.recorder.drops.first(), QStringList{QStringLiteral("/music/a.mp3")});
    }
};

QTEST_MAIN(TestControls)
#include "tst_controls.moc"
