// Every text the file list, its empty-list hint, the log and the hyperlink
// draw must read, in a light theme and in a dark one switched to while they
// are open: measured on the painted pixels, as a person would see them.
// With ZORVANE_APPEARANCE_SHOTS set to a folder, the pictures are saved there.

#include "filelist/FileListColumns.h"
#include "filelist/ReportCtrl.h"
#include "ui/progress/LogRowDelegate.h"
#include "ui/toolkit/Contrast.h"
#include "ui/toolkit/HyperLink.h"

#include <QAccessible>
#include <QApplication>
#include <QHash>
#include <QLineEdit>
#include <QStyleFactory>
#include <QTest>
#include <QTreeWidget>

#include <cmath>

using namespace Qt::Literals::StringLiterals;
using namespace zorvane;

namespace {

// In `area` the commonest colour is the background, and the pixel farthest
// from it in luminance is the text's own colour (anti-aliasing only blends
// the two). Adds to `faults` what cannot be read; returns the background.
QRgb Check(const QImage& image, QRect area, const QColor& base, const QString& what,
           QStringList& faults) {
    area &= image.rect();
    QHash<QRgb, int> counts;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            ++counts[image.pixel(x, y)];
        }
    }
    QRgb back = counts.cbegin().key();
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        back = it.value() > counts[back] ? it.key() : back;
    }
    QRgb ink = back;
    for (const QRgb c : counts.keys()) {
        const double l = RelativeLuminance(back);
        ink = std::abs(RelativeLuminance(c) - l) > std::abs(RelativeLuminance(ink) - l) ? c : ink;
    }
    const QString colours = what + u' ' + QColor(ink).name() + u'/' + QColor(back).name();
    if (ContrastRatio(back, ink) < kMinimumTextContrast) {
        faults << colours + QStringLiteral(" too faint");
    }
    // A light band in a dark list is what the eye notices first.
    if (IsDarkColour(back) != IsDarkColour(base)) {
        faults << colours + QStringLiteral(" against the theme");
    }
    return back;
}

QImage Shot(QWidget* widget, const QString& name) {
    const QImage image = widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
    if (const QString folder = qEnvironmentVariable("ZORVANE_APPEARANCE_SHOTS");
        !folder.isEmpty()) {
        image.save(folder + u'/' + name + u'-' + QLatin1String(QTest::currentDataTag()) +
                   u".png"_s);
    }
    return image;
}

struct FakeOpener final : ShellOpener {
    int Open(const QString& target) override { return targets.append(target), 42; }
    QStringList targets;
};

} // namespace

class TestAppearance : public QObject {
    Q_OBJECT

    QPalette light;

    void themes() {
        // A typical dark theme (Breeze Dark's colours) on the same style.
        const QColor text(0xef, 0xf0, 0xf1), window(0x31, 0x36, 0x3b);
        const QPalette dark(text, window, window.lighter(), window.darker(), window, text, text,
                            QColor(0x23, 0x26, 0x29), window);
        QTest::addColumn<QPalette>("palette");
        QTest::newRow("light") << light;
        QTest::newRow("dark") << dark;
    }

    // The widgets are built in the light theme and the row's theme comes
    // while they are shown, as when the desktop switches.
    static void Show(QWidget& widget, const QPalette& palette) {
        widget.show();
        widget.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&widget));
        QApplication::setPalette(palette);
        QCoreApplication::processEvents();
    }

private slots:
    void initTestCase() {
        QApplication::setStyle(QStringLiteral("Fusion"));
        light = QApplication::style()->standardPalette();
        QFont font = QApplication::font();
        font.setPixelSize(15);
        QApplication::setFont(font);
    }

    void init() { QApplication::setPalette(light); }

    void listHintAndLogRead_data() { themes(); }
    void listHintAndLogRead() {
        QFETCH(QPalette, palette);
        const QColor base = palette.color(QPalette::Base);
        QWidget window;
        CReportCtrl list(&window);
        QTreeWidget log(&window);
        list.setGeometry(0, 0, 560, 200);
        log.setGeometry(0, 200, 560, 200);
        // Zebra rows, the tinted sorted column (Path), an unusable file's
        // pink row, and its red Type text on the pink row and on a zebra row.
        for (int column = 0; column < 3; ++column) {
            list.InsertColumn(column, QStringLiteral("Column %1").arg(column), Qt::AlignLeft, 180);
        }
        std::vector<MediaFileInfo> records(4);
        records[2].invalid = 1;
        for (int row = 0; row < 4; ++row) {
            list.InsertRow(row, QStringLiteral("THE FILE %1.mp3").arg(row));
            list.SetRowData(row, &records[size_t(row)]);
            list.SetCellText(row, ColumnPath, QStringLiteral("/HOME/MUSIC/%1/").arg(row));
            list.SetCellText(row, ColumnType, row % 3 ? u"Unknown TYPE"_s : u"MPEG TYPE"_s);
            list.SetCellTextColour(
                row, ColumnType, row % 3 ? QColor::fromRgba(kInvalidTypeTextRgb) : QColor(), false);
        }
        list.SetSortHistory({{ColumnPath, 1}});
        list.SortByHistory(0, 3, true);
        list.SetShowEmptyTips(true);
        list.SetHintClock([] { return quint64(0); });
        // Every level on a white and on a zebra row; 7 has no colour.
        log.setColumnCount(4);
        log.setRootIsDecorated(false);
        log.setItemDelegate(new LogRowDelegate(&log));
        log.hideColumn(0);
        const QList<int> levels{0, 1, 2, 0, 1, 2, 7};
        for (int level : levels) {
            auto* item = new QTreeWidgetItem(
                {QString(), u"001 "_s, u"12:34:56"_s, QStringLiteral("LEVEL %1 LINE").arg(level)});
            item->setData(0, LogRowDelegate::kLevelRole, level);
            log.addTopLevelItem(item);
        }
        Show(window, palette);

        QStringList faults;
        QImage image = Shot(list.viewport(), u"filelist"_s);
        QList<QRgb> backs;
        for (int cell = 0; cell < 12; ++cell) {
            const QRect area = list.visualRect(list.model()->index(cell / 3, cell % 3));
            backs << Check(image, area, base, QStringLiteral("cell %1").arg(cell), faults);
        }
        // Zebra, tint and the pink row stay apart; the pink row has no tint.
        QVERIFY(backs[0] != backs[3] && backs[3] != backs[4] && backs[6] != backs[0]);
        QCOMPARE(backs[7], backs[6]);

        // The hint is checked within the box of what differs from the list.
        list.DeleteRows(CReportCtrl::AllRows);
        image = Shot(list.viewport(), u"hint"_s);
        QRect box;
        const QRgb around = Check(image, image.rect(), base, u"list"_s, faults);
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                box |= image.pixel(x, y) != around ? QRect(x, y, 1, 1) : QRect();
            }
        }
        QVERIFY(box.width() > 100);
        Check(image, box, base, u"hint"_s, faults);

        image = Shot(log.viewport(), u"log"_s);
        for (int cell = 0; cell < 3 * levels.size(); ++cell) {
            const QRect area = log.visualRect(log.model()->index(cell / 3, 1 + cell % 3));
            Check(image, area, base, QStringLiteral("log line %1").arg(cell / 3), faults);
        }
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(u", ")));
    }

    void linkReadsAndTakesKeyboard_data() { themes(); }
    void linkReadsAndTakesKeyboard() {
        QFETCH(QPalette, palette);
        QWidget window;
        QLineEdit before(&window);
        CHyperLink link(u"HOMEPAGE of Zorvane"_s, &window);
        link.SetLinkTarget(u"https://example.org/"_s);
        FakeOpener opener;
        link.SetOpener(&opener);
        link.move(10, 50);
        window.resize(400, 120);
        Show(window, palette);

        // Inside the edge that a focus frame takes; resting, hover, visited.
        const QRect inner = link.rect().adjusted(2, 2, -2, -2);
        const QColor back = palette.color(QPalette::Window);
        QStringList faults;
        Check(Shot(&link, u"link"_s), inner, back, u"link"_s, faults);
        QTest::mouseMove(&link, link.rect().center());
        QVERIFY(link.IsHovering());
        Check(Shot(&link, u"link-hover"_s), inner, back, u"hover"_s, faults);
        QTest::mouseMove(&window, QPoint(1, 1));
        QTRY_VERIFY(!link.IsHovering());
        link.Activate();
        Check(Shot(&link, u"link-visited"_s), inner, back, u"visited"_s, faults);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(u", ")));

        // Tab reaches it, a frame shows it, Enter and Space open it.
        before.setFocus();
        const QImage unfocused = Shot(&link, u"link-unfocused"_s);
        QTest::keyClick(&before, Qt::Key_Tab);
        QVERIFY(link.hasFocus());
        QVERIFY(Shot(&link, u"link-focused"_s) != unfocused);
        QTest::keyClick(&link, Qt::Key_Return);
        QTest::keyClick(&link, Qt::Key_Space);
        QCOMPARE(opener.targets, QStringList(3, link.LinkTarget()));

        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&link);
        QCOMPARE(accessible->role(), QAccessible::Link);
        QCOMPARE(accessible->text(QAccessible::Name), link.text());
        QCOMPARE(accessible->text(QAccessible::Description), link.LinkTarget());
    }
};

QTEST_MAIN(TestAppearance)
#include "tst_appearance.moc"
