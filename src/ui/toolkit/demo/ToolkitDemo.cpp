// A resizable dialog with a folder tree and a file list on either side of a
// splitter, a link and centred buttons: the toolkit's layout pieces together,
// to try by hand or to take screenshots of.
//
//   zorvane-toolkit-demo [--screenshot FILE] [--drag-screenshot FILE]
//
// With either option the demo takes its pictures and quits. It keeps its
// settings in a temporary file, never in the user's store.

#include "ui/toolkit/HyperLink.h"
#include "ui/toolkit/ResizeDlg.h"
#include "ui/toolkit/SSplitter.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

using namespace Qt::Literals::StringLiterals;
using namespace zorvane;

namespace {

class ToolkitDemo final : public CResizeDlg {
public:
    explicit ToolkitDemo(QSettings* settings) {
        setWindowTitle(u"Zorvane toolkit"_s);
        SetSettings(settings);
        placementName = u"{0E7A5C93-2B61-4F08-A3D4-91C6B7E2F540}"_s;
        resize(640, 420);

        hint = new QLabel(u"Drag the bar between the panes; Escape cancels a drag."_s, this);
        hint->setGeometry(11, 11, 618, 20);

        auto* tree = new QTreeWidget;
        tree->setHeaderHidden(true);
        const QStringList folders = {u"Music"_s, u"Audiobooks"_s, u"Podcasts"_s, u"Lectures"_s};
        for (const QString& folder : folders) {
            auto* item = new QTreeWidgetItem(tree, {folder});
            new QTreeWidgetItem(item, {u"2024"_s});
        }
        tree->expandItem(tree->topLevelItem(0));

        auto* files = new QTreeWidget;
        files->setRootIsDecorated(false);
        files->setHeaderLabels({u"Name"_s, u"Duration"_s, u"Bitrate"_s});
        const QList<QStringList> rows = {
            {u"chapter-01.mp3"_s, u"12:04"_s, u"128 kbps"_s},
            {u"chapter-02.mp3"_s, u"09:51"_s, u"128 kbps"_s},
            {u"interview.mp3"_s, u"41:17"_s, u"192 kbps"_s},
            {u"lecture-week-3.mp3"_s, u"55:00"_s, u"96 kbps"_s},
        };
        for (const QStringList& row : rows) {
            new QTreeWidgetItem(files, row);
        }
        files->header()->resizeSection(0, 180);

        splitter = new CSSplitter(this, settings);
        splitter->CreateSplit(CSSplitter::WindowChild | CSSplitter::WindowVisible |
                                  CSSplitter::VerticalSplit,
                              this, tree, files, 103, QRect(11, 36, 618, 300), 100, 150);

        link = new CHyperLink(u"https://example.org/zorvane"_s, this);
        link->move(11, 346);

        toggle = new QPushButton(u"Hide Folder Tree"_s, this);
        toggle->setGeometry(220, 372, 110, 26);
        connect(toggle, &QPushButton::clicked, this, [this] {
            if (splitter->IsLeftPaneShown()) {
                splitter->HideLeftPane();
                toggle->setText(u"Show Folder Tree"_s);
            } else {
                splitter->ShowLeftPane();
                toggle->setText(u"Hide Folder Tree"_s);
            }
        });
        closeButton = new QPushButton(u"Close"_s, this);
        closeButton->setGeometry(340, 372, 80, 26);
        connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);

        status = new QLabel(u"4 files"_s, this);
        status->setGeometry(11, 402, 600, 16);
    }

    CSSplitter* Splitter() const { return splitter; }

protected:
    void OnInitDialog() override {
        CResizeDlg::OnInitDialog();
        AddResizeRule(hint, AnchorStretch, AnchorStretch, AnchorKeep, AnchorKeep);
        AddResizeRule(splitter, AnchorStretch, AnchorStretch, AnchorStretch, AnchorStretch);
        AddResizeRule(link, AnchorKeep, AnchorKeep, AnchorMove, AnchorMove);
        AddResizeRule(toggle, AnchorCentre, AnchorCentre, AnchorMove, AnchorMove);
        AddResizeRule(closeButton, AnchorCentre, AnchorCentre, AnchorMove, AnchorMove);
        AddResizeRule(status, AnchorStretch, AnchorStretch, AnchorMove, AnchorMove);
    }

private:
    QLabel* hint;
    CSSplitter* splitter;
    CHyperLink* link;
    QPushButton* toggle;
    QPushButton* closeButton;
    QLabel* status;
};

void SendMouse(QWidget* target, QEvent::Type type, const QPoint& position) {
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, position, target->mapToGlobal(position), button, held, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

bool Save(QWidget* window, const QString& path) {
    if (path.isEmpty()) {
        return true;
    }
    const bool saved = window->grab().save(path);
    if (!saved) {
        qWarning("cannot write %s", qPrintable(path));
    }
    return saved;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(u"Zorvane"_s);

    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption screenshot(
        u"screenshot"_s, u"Save the dialog, made larger, as an image and quit."_s, u"file"_s);
    const QCommandLineOption dragScreenshot(
        u"drag-screenshot"_s, u"Save the dialog while the bar is dragged, and quit."_s, u"file"_s);
    parser.addOption(screenshot);
    parser.addOption(dragScreenshot);
    parser.process(app);

    QTemporaryDir folder;
    QSettings settings(folder.filePath(u"demo.ini"_s), QSettings::IniFormat);
    ToolkitDemo dialog(&settings);
    dialog.show();

    const QString still = parser.value(screenshot);
    const QString dragging = parser.value(dragScreenshot);
    if (still.isEmpty() && dragging.isEmpty()) {
        return app.exec();
    }

    int result = 0;
    QTimer::singleShot(300, &dialog, [&] {
        // Larger than it was made, so that every rule has had work to do.
        dialog.resize(760, 500);
        QTimer::singleShot(300, &dialog, [&] {
            result |= Save(&dialog, still) ? 0 : 1;
            if (!dragging.isEmpty()) {
                CSSplitter* splitter = dialog.Splitter();
                const QPoint bar = splitter->VerticalBarRect().center();
                SendMouse(splitter, QEvent::MouseButtonPress, bar);
                SendMouse(splitter, QEvent::MouseMove, bar + QPoint(140, 0));
                result |= Save(&dialog, dragging) ? 0 : 1;
                QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                QApplication::sendEvent(splitter, &escape);
            }
            QApplication::quit();
        });
    });
    app.exec();
    return result;
}
