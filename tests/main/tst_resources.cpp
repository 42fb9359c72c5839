// The program's own images and its help page, as a program of this build finds them.

#include "ui/main/AppResources.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

using namespace zorvane;
using namespace Qt::StringLiterals;

namespace {

constexpr int kAppIcon = -1;

QIcon IconOf(int image) {
    return image == kAppIcon ? AppIcon() : ToolbarIcon(ToolbarImage(image));
}

QImage Draw48(const QIcon& icon) {
    return icon.pixmap(QSize(48, 48), 1.0).toImage().convertToFormat(QImage::Format_ARGB32);
}

double OpaqueShare(const QImage& image) {
    qsizetype opaque = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            opaque += qAlpha(image.pixel(x, y)) > 128 ? 1 : 0;
        }
    }
    return double(opaque) / double(image.width() * image.height());
}

// The folder of this build's desktop program, which keeps its help page in help/.
QString BuildProgramFolder() {
    QDir folder = QFileInfo(QString::fromUtf8(ZORVANE_EXPECTED_HELP_PAGE)).absoluteDir();
    folder.cdUp();
    return folder.path();
}

// Writes a small page at `path` under `root`, creating its folders.
bool PutPage(const QString& root, const QString& path) {
    const QString full = QDir(root).filePath(path);
    QDir().mkpath(QFileInfo(full).absolutePath());
    QFile page(full);
    return page.open(QIODevice::WriteOnly) && page.write("<html></html>") > 0;
}

} // namespace

class TstResources : public QObject {
    Q_OBJECT

    QTemporaryDir noThemes;

private slots:
    void initTestCase() {
        QVERIFY(noThemes.isValid());
        // With no icon theme to be found, every image must come from our own SVGs.
        QIcon::setThemeSearchPaths({noThemes.path()});
        QIcon::setFallbackSearchPaths({});
        QIcon::setThemeName(QStringLiteral("zorvane-test-no-such-theme"));
        QIcon::setFallbackThemeName(QStringLiteral("zorvane-test-no-such-theme"));
    }

    void imagesDrawWithoutTheme_data() {
        QTest::addColumn<int>("image");
        QTest::newRow("program") << kAppIcon;
        QTest::newRow("add files") << int(ToolbarImage::AddFiles);
        QTest::newRow("add folder") << int(ToolbarImage::AddFolder);
        QTest::newRow("add folder recursive") << int(ToolbarImage::AddFolderRecursive);
        QTest::newRow("convert") << int(ToolbarImage::Convert);
        QTest::newRow("options") << int(ToolbarImage::Options);
        QTest::newRow("download") << int(ToolbarImage::Download);
        QTest::newRow("help") << int(ToolbarImage::Help);
        QTest::newRow("about") << int(ToolbarImage::About);
    }

    void imagesDrawWithoutTheme() {
        QFETCH(int, image);
        const QIcon icon = IconOf(image);
        QVERIFY(!icon.isNull());
        const QImage drawn = Draw48(icon);
        QCOMPARE(drawn.size(), QSize(48, 48));
        // Our images fill at least a quarter of their square; a missing file
        // or SVG engine gives nothing at all.
        QVERIFY2(OpaqueShare(drawn) > 0.25, qPrintable(QString::number(OpaqueShare(drawn))));
    }

    void everyButtonHasItsOwnImage() {
        QList<QImage> drawn;
        for (int image = kAppIcon; image <= int(ToolbarImage::About); ++image) {
            drawn << Draw48(IconOf(image));
        }
        for (qsizetype i = 0; i < drawn.size(); ++i) {
            for (qsizetype j = i + 1; j < drawn.size(); ++j) {
                QVERIFY2(
                    drawn[i] != drawn[j],
                    qPrintable(QStringLiteral("images %1 and %2 are alike").arg(i - 1).arg(j - 1)));
            }
        }
    }

    void helpPageFoundInBuildTree() {
        const QString expected = QString::fromUtf8(ZORVANE_EXPECTED_HELP_PAGE);
        QVERIFY2(QFileInfo(expected).isFile(), qPrintable(expected));
        const QString page = HelpPagePath(BuildProgramFolder());
        QVERIFY(QFileInfo(page).isAbsolute());
        QCOMPARE(QFileInfo(page).canonicalFilePath(), QFileInfo(expected).canonicalFilePath());
    }

    // A program installed under <prefix>/bin reads <prefix>/share/doc/zorvane/help, even when a
    // copy also lies beside it; the copy beside it serves a program that is not installed.
    void helpPageOfALayout_data() {
        QTest::addColumn<QStringList>("pages");
        QTest::addColumn<QString>("programFolder");
        QTest::addColumn<QString>("expected");
        const QString shared = QStringLiteral("share/doc/zorvane/help/index.html");
        const QString beside = QStringLiteral("bin/help/index.html");
        QTest::newRow("installed") << QStringList{shared} << u"bin"_s << shared;
        QTest::newRow("installed and beside") << QStringList{beside, shared} << u"bin"_s << shared;
        QTest::newRow("beside only") << QStringList{beside} << u"bin"_s << beside;
        QTest::newRow("a folder named like the page")
            << QStringList{shared + u"/x"_s, beside} << u"bin"_s << beside;
        QTest::newRow("none") << QStringList{} << u"bin"_s << QString();
        QTest::newRow("other program's folder") << QStringList{beside} << u"lib"_s << QString();
        QTest::newRow("no program folder") << QStringList{beside} << QString() << QString();
    }

    void helpPageOfALayout() {
        QFETCH(QStringList, pages);
        QFETCH(QString, programFolder);
        QFETCH(QString, expected);
        QTemporaryDir prefix;
        QVERIFY(QDir(prefix.path()).mkpath(u"bin"_s) && QDir(prefix.path()).mkpath(u"lib"_s));
        for (const QString& page : pages) {
            QVERIFY(PutPage(prefix.path(), page));
        }
        const QString folder =
            programFolder.isEmpty() ? QString() : QDir(prefix.path()).filePath(programFolder);
        const QString found = HelpPagePath(folder);
        QCOMPARE(found, expected.isEmpty() ? QString() : QDir(prefix.path()).filePath(expected));
    }

    void helpPageNamesEveryKey_data() {
        QTest::addColumn<QString>("key");
        for (const char* key : {"F6", "F7", "F8", "F2", "Ctrl+A", "Ctrl+Up", "Ctrl+Down",
                                "Ctrl+Shift+Up", "Ctrl+Shift+Down", "Delete", "Shift+Delete", "F9",
                                "F3", "Shift+F3", "Ctrl+O", "F1", "F5"}) {
            QTest::newRow(key) << QString::fromLatin1(key);
        }
    }

    void helpPageNamesEveryKey() {
        QFETCH(QString, key);
        QFile page(HelpPagePath(BuildProgramFolder()));
        QVERIFY(page.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(page.readAll());
        QVERIFY(html.contains(QStringLiteral("<kbd>") + key + QStringLiteral("</kbd>")));
    }
};

QTEST_MAIN(TstResources)
#include "tst_resources.moc"
