// The folder tree on a folder tree of its own: a temporary home with a
// desktop, a fake disk and network mount, its trash in a temporary data home.

#include "platform/Shell.h"
#include "ui/toolkit/FileTreeCtrl.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;
using namespace zorvane;

namespace {

QString g_root; // the temporary folder everything lives in

class FakePlaces final : public TreePlacesSource {
public:
    QList<Volume> Drives() override {
        Volume disk;
        disk.rootPath = g_root + u"/disk"_s;
        disk.label = u"Music Disk"_s;
        disk.kind = VolumeKind::Fixed;
        disk.ready = true;
        // Not mounted: a stick that was pulled out.
        Volume stick;
        stick.rootPath = g_root + u"/stick"_s;
        stick.label = u"STICK"_s;
        stick.kind = VolumeKind::Removable;
        return {disk, stick};
    }
    QList<Volume> NetworkMounts() override {
        Volume nas;
        nas.rootPath = g_root + u"/nas"_s;
        nas.device = u"//server/music"_s;
        nas.kind = VolumeKind::Network;
        return {nas};
    }
    QStringList SharedFolders() override { return {g_root + u"/home/shared"_s}; }
};

class RecordingOpener final : public UrlOpener {
public:
    explicit RecordingOpener(QList<QUrl>* urls) : m_urls(urls) {}
    bool OpenUrl(const QUrl& url) override {
        m_urls->append(url);
        return true;
    }

private:
    QList<QUrl>* m_urls;
};

class TestTree final : public CFileTreeCtrl {
public:
    TestTree() {
        SetPlacesSource(std::make_unique<FakePlaces>());
        SetShell(std::make_unique<Shell>(std::make_unique<RecordingOpener>(&opened), nullptr));
        resize(400, 700);
    }
    void Reload() override {
        ++reloads;
        CFileTreeCtrl::Reload();
    }
    bool shift = false;
    bool confirm = true;
    int reloads = 0;
    QStringList messages;
    QList<QUrl> opened;

protected:
    bool ConfirmDelete(const QString&, bool) override { return confirm; }
    void ShowMessage(const QString& text) override { messages.append(text); }
    bool ShiftHeld() const override { return shift; }
    void ShowOwnProperties(const CFileTreeCtrlItemInfo& record) override {
        properties.append(record.path);
    }

public:
    QStringList properties;
};

QString Home() {
    return g_root + u"/home"_s;
}

void MakeFolders(const QStringList& relative) {
    for (const QString& path : relative) {
        QVERIFY(QDir().mkpath(g_root + u'/' + path));
    }
}

void MakeFile(const QString& relative) {
    QFile file(g_root + u'/' + relative);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("x");
}

QStringList Labels(QTreeWidgetItem* parent) {
    QStringList labels;
    for (int i = 0; parent != nullptr && i < parent->childCount(); ++i) {
        labels.append(parent->child(i)->text(0));
    }
    return labels;
}

QLineEdit* Editor(QTreeWidget& tree) {
    return tree.viewport()->findChild<QLineEdit*>();
}

void TypeLabel(QTreeWidget& tree, const QString& text) {
    QLineEdit* editor = Editor(tree);
    QVERIFY(editor != nullptr);
    editor->setText(text);
    QTest::keyClick(editor, Qt::Key_Return);
    // The delegate commits on a queued call, then deletes the editor later.
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

class TestFileTree : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void probeAndLazyLoading();
    void siblingOrderUnderDesktop();
    void selectPath_data();
    void selectPath();
    void history();
    void vanishedFolders();
    void createFolderNaming();
    void renameKeepsHiddenExtensionAndRefusesOverwrite();
    void deleteItem_data();
    void deleteItem();
    void watchReloadsOnlyForTheSelectedFolder();
    void symlinkLoopUnderExpandBranch();
    void keysAndDoubleClick();
    void volumesAndOverlay();
    void compressedColour();
    void copyBranchAndRefusedNames();
    void oddNames_data();
    void oddNames();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<TestTree> m_tree;
};

void TestFileTree::initTestCase() {
    QVERIFY(m_dir.isValid());
    g_root = QDir(m_dir.path()).canonicalPath();
    qputenv("HOME", QFile::encodeName(Home()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(Home() + u"/.config"_s));
    qputenv("XDG_DATA_HOME", QFile::encodeName(Home() + u"/.local/share"_s));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(Home() + u"/.cache"_s));
}

void TestFileTree::init() {
    // Natively: QDir cannot remove names that are not UTF-8.
    NativeDeletePermanently(QFile::encodeName(g_root));
    MakeFolders({u"home/Desktop"_s, u"home/.local/share"_s, u"disk"_s, u"nas"_s});
    m_tree = std::make_unique<TestTree>();
    m_tree->show();
}

void TestFileTree::cleanup() {
    m_tree.reset();
}

void TestFileTree::probeAndLazyLoading() {
    MakeFolders({u"home/onlyFiles"_s, u"home/withSub/a/b"_s, u"home/hiddenOnly/.secret"_s,
                 u"home/soonHidden/visible"_s});
    MakeFile(u"home/onlyFiles/song.mp3"_s);
    TestTree& tree = *m_tree;
    tree.FilesVisible = false;
    tree.AttachImagesAndFill();
    QTreeWidgetItem* home = tree.SelectPath(Home(), false);
    QVERIFY(home != nullptr);
    QCOMPARE(home, tree.ProfileItem());

    QTreeWidgetItem* onlyFiles = tree.FindChildByName(home, u"onlyFiles"_s);
    QTreeWidgetItem* withSub = tree.FindChildByName(home, u"withSub"_s);
    QTreeWidgetItem* hiddenOnly = tree.FindChildByName(home, u"hiddenOnly"_s);
    QVERIFY(onlyFiles && withSub && hiddenOnly);
    QVERIFY(!tree.HasChildIndicator(onlyFiles));
    QVERIFY(!tree.HasChildIndicator(hiddenOnly));
    QVERIFY(tree.HasChildIndicator(withSub));
    QCOMPARE(withSub->childCount(), 0); // not read before it is opened

    withSub->setExpanded(true);
    QCOMPARE(Labels(withSub), QStringList{u"a"_s});
    QCOMPARE(withSub->child(0)->childCount(), 0);
    withSub->setExpanded(false);
    QCOMPARE(withSub->childCount(), 0); // a collapse frees the children
    QVERIFY(tree.HasChildIndicator(withSub));

    // Hidden after the probe: opening it finds nothing and drops the button.
    QTreeWidgetItem* soon = tree.FindChildByName(home, u"soonHidden"_s);
    QVERIFY(tree.HasChildIndicator(soon));
    QVERIFY(QDir(Home()).rename(u"soonHidden/visible"_s, u"soonHidden/.visible"_s));
    soon->setExpanded(true);
    QVERIFY(!tree.HasChildIndicator(soon));

    tree.SetFilesVisible(true);
    onlyFiles = tree.ItemForPath(Home() + u"/onlyFiles"_s);
    QVERIFY(onlyFiles != nullptr);
    QVERIFY(tree.HasChildIndicator(onlyFiles));

    // Out of time for probing: the buttons show at once and the worker's
    // answers take them away where there is nothing to open.
    tree.InlineProbeBudgetMs = 0;
    tree.FilesVisible = false;
    home = tree.ProfileItem(); // SetFilesVisible reloaded the tree
    home->setExpanded(false);
    home->setExpanded(true);
    onlyFiles = tree.FindChildByName(home, u"onlyFiles"_s);
    QVERIFY(tree.HasChildIndicator(onlyFiles));
    QTRY_VERIFY(!tree.HasChildIndicator(onlyFiles));
    QVERIFY(!tree.HasChildIndicator(tree.FindChildByName(home, u"hiddenOnly"_s)));
    QVERIFY(tree.HasChildIndicator(tree.FindChildByName(home, u"withSub"_s)));
}

void TestFileTree::siblingOrderUnderDesktop() {
    MakeFolders({u"home/Desktop/cherry"_s, u"home/Desktop/Banana"_s, u"home/Desktop/apple"_s});
    MakeFile(u"home/Desktop/b.txt"_s);
    MakeFile(u"home/Desktop/A.txt"_s);
    m_tree->AttachImagesAndFill();
    QTreeWidgetItem* desktop = m_tree->DesktopItem();
    QVERIFY(desktop != nullptr);
    QCOMPARE(desktop, m_tree->TopItem());
    QCOMPARE(m_tree->topLevelItemCount(), 1);
    QCOMPARE(Labels(desktop), (QStringList{u"Home"_s, u"Computer"_s, u"Network"_s, u"apple"_s,
                                           u"Banana"_s, u"cherry"_s, u"A.txt"_s, u"b.txt"_s}));

    // The computer lists the volume by label and mount point.
    m_tree->ComputerItem()->setExpanded(true);
    QCOMPARE(Labels(m_tree->ComputerItem()), (QStringList{u"Music Disk (%1/disk)"_s.arg(g_root),
                                                          u"STICK (%1/stick)"_s.arg(g_root)}));
    m_tree->NetworkItem()->setExpanded(true);
    QCOMPARE(Labels(m_tree->NetworkItem()), QStringList{u"//server/music (%1/nas)"_s.arg(g_root)});
}

void TestFileTree::selectPath_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("expand");
    QTest::addColumn<QString>("rootFolder");
    QTest::addColumn<QString>("selected"); // empty: SelectPath returns null
    QTest::addColumn<bool>("expanded");

    const QString home = u"%1/home"_s;
    QTest::newRow("nested below home")
        << home + u"/Music/Rock/70s"_s << true << QString() << home + u"/Music/Rock/70s"_s << true;
    QTest::newRow("exact case") << home + u"/music/rock"_s << false << QString()
                                << home + u"/music/rock"_s << false;
    QTest::newRow("trailing separator")
        << home + u"/Music/"_s << false << QString() << home + u"/Music"_s << false;
    QTest::newRow("missing last component")
        << home + u"/Music/Rock/nothing"_s << true << QString() << home + u"/Music/Rock"_s << false;
    QTest::newRow("on a volume") << u"%1/disk/Albums"_s << false << QString() << u"%1/disk/Albums"_s
                                 << false;
    QTest::newRow("on a network mount")
        << u"%1/nas/shared"_s << false << QString() << u"%1/nas/shared"_s << false;
    QTest::newRow("inside root folder")
        << u"%1/disk/Albums/One"_s << false << u"%1/disk"_s << u"%1/disk/Albums/One"_s << false;
    QTest::newRow("outside root folder")
        << home + u"/Music"_s << false << u"%1/disk"_s << QString() << false;
    QTest::newRow("hidden component")
        << home + u"/.cache/x"_s << false << QString() << QString() << false;
}

void TestFileTree::selectPath() {
    QFETCH(QString, path);
    QFETCH(bool, expand);
    QFETCH(QString, rootFolder);
    QFETCH(QString, selected);
    QFETCH(bool, expanded);
    MakeFolders({u"home/Music/Rock/70s/Live"_s, u"home/music/rock/x"_s, u"home/.cache/x"_s,
                 u"disk/Albums/One"_s, u"nas/shared"_s});
    TestTree& tree = *m_tree;
    tree.FilesVisible = false;
    tree.RootFolder = rootFolder.isEmpty() ? QString() : rootFolder.arg(g_root);
    tree.AttachImagesAndFill();
    QTreeWidgetItem* item = tree.SelectPath(path.arg(g_root), expand);
    if (selected.isEmpty()) {
        QVERIFY(item == nullptr);
        return;
    }
    QVERIFY(item != nullptr);
    QCOMPARE(item, tree.currentItem());
    QCOMPARE(tree.SelectedPath(), selected.arg(g_root));
    QCOMPARE(item->isExpanded(), expanded);
    QCOMPARE(tree.ItemForPath(selected.arg(g_root)), item);
    for (QTreeWidgetItem* at = item->parent(); at != nullptr; at = at->parent()) {
        QVERIFY(at->isExpanded());
    }
}

void TestFileTree::history() {
    QStringList paths;
    for (int i = 0; i < 25; ++i) {
        paths.append(u"home/f%1"_s.arg(i, 2, 10, QChar(u'0')));
    }
    MakeFolders(paths);
    const auto folder = [&](int i) { return m_tree->ItemForPath(g_root + u'/' + paths.at(i)); };
    TestTree& tree = *m_tree;
    tree.AttachImagesAndFill();
    QTreeWidgetItem* home = tree.SelectPath(Home(), true);
    QVERIFY(home != nullptr);
    QCOMPARE(tree.BackCount(), 0);
    QVERIFY(!tree.GoBack());

    for (int i = 0; i < 25; ++i) {
        tree.setCurrentItem(folder(i));
    }
    QCOMPARE(tree.BackCount(), 21); // the limit plus one
    QCOMPARE(tree.ForwardCount(), 0);

    QVERIFY(tree.GoBack());
    QCOMPARE(tree.currentItem(), folder(23));
    QCOMPARE(tree.BackCount(), 20);
    QCOMPARE(tree.ForwardCount(), 1);
    QVERIFY(tree.GoForward());
    QCOMPARE(tree.currentItem(), folder(24));
    QCOMPARE(tree.BackCount(), 21);
    QCOMPARE(tree.ForwardCount(), 0);

    // The newest back entry's item goes: going back skips it.
    delete folder(23);
    QVERIFY(tree.GoBack());
    QCOMPARE(tree.SelectedPath(), Home() + u"/f22"_s);

    tree.SetHistoryLimit(5);
    QCOMPARE(tree.BackCount(), 5);
    QCOMPARE(tree.ForwardCount(), 1);
    QVERIFY(tree.GoBack());
    QCOMPARE(tree.SelectedPath(), Home() + u"/f07"_s); // the newest were dropped

    // Reload deletes every item: history then holds nothing to go to.
    tree.Reload();
    while (tree.GoBack()) {
        QVERIFY(tree.currentItem() != nullptr);
    }
    QCOMPARE(tree.BackCount(), 0);
}

void TestFileTree::vanishedFolders() {
    MakeFolders({u"home/parent/only"_s, u"home/other/x"_s});
    TestTree& tree = *m_tree;
    tree.AttachImagesAndFill();
    QTreeWidgetItem* parent = tree.SelectPath(Home() + u"/parent"_s, true);
    QVERIFY(parent != nullptr && parent->childCount() == 1);
    QTreeWidgetItem* other = tree.ItemForPath(Home() + u"/other"_s);
    QVERIFY(QDir(Home()).rmdir(u"parent/only"_s));
    QVERIFY(QDir(Home()).rename(u"other"_s, u"moved"_s));

    QSignalSpy moved(&tree, &CFileTreeCtrl::selectionMoved);
    tree.setCurrentItem(parent->child(0));
    QTRY_COMPARE(parent->childCount(), 0);
    QVERIFY(!tree.HasChildIndicator(parent));
    QCOMPARE(moved.count(), 1); // the parent again; never the vanished item
    QCOMPARE(tree.SelectedPath(), Home() + u"/parent"_s);

    other->setExpanded(true);
    QTRY_VERIFY(tree.ItemForPath(Home() + u"/other"_s) == nullptr);
}

void TestFileTree::createFolderNaming() {
    MakeFolders({u"home/box/New Folder"_s, u"home/box/New Folder (2)"_s, u"home/closed"_s});
    TestTree& tree = *m_tree;
    tree.FilesVisible = false;
    tree.CreateFolderEnabled = true;
    tree.RenameEnabled = true;
    tree.AttachImagesAndFill();
    QTreeWidgetItem* box = tree.SelectPath(Home() + u"/box"_s, true);
    QCOMPARE(tree.NextNewFolderName(Home() + u"/box/"_s), Home() + u"/box/New Folder (3)"_s);

    QTreeWidgetItem* made = tree.CreateChildFolder(box, QString());
    QVERIFY(made != nullptr);
    QVERIFY(QFileInfo(Home() + u"/box/New Folder (3)"_s).isDir());
    QCOMPARE(Labels(box).count(u"New Folder (3)"_s), 1);
    QCOMPARE(tree.currentItem(), made);
    QVERIFY(Editor(tree) != nullptr); // its label is open for typing
    TypeLabel(tree, u"Live"_s);
    QVERIFY(QFileInfo(Home() + u"/box/Live"_s).isDir());
    QCOMPARE(tree.PathOfItem(made), Home() + u"/box/Live"_s);

    // A parent not loaded yet: opening it lists the new folder already.
    QTreeWidgetItem* closed = tree.ItemForPath(Home() + u"/closed"_s);
    QVERIFY(closed != nullptr && closed->childCount() == 0);
    made = tree.CreateChildFolder(closed, QString());
    QVERIFY(made != nullptr);
    QCOMPARE(Labels(closed), QStringList{u"New Folder"_s});
    QVERIFY(tree.HasChildIndicator(closed));

    tree.CreateFolderEnabled = false;
    QVERIFY(tree.CreateChildFolder(closed, QString()) == nullptr);
    QVERIFY(!QFileInfo::exists(Home() + u"/closed/New Folder (2)"_s));
}

void TestFileTree::renameKeepsHiddenExtensionAndRefusesOverwrite() {
    MakeFolders({u"home/songs"_s});
    MakeFile(u"home/songs/song.mp3"_s);
    MakeFile(u"home/songs/other.mp3"_s);
    TestTree& tree = *m_tree;
    tree.NameDisplayMode = 0;
    tree.RenameEnabled = true;
    tree.AttachImagesAndFill();
    QTreeWidgetItem* songs = tree.SelectPath(Home() + u"/songs"_s, true);
    QCOMPARE(Labels(songs), (QStringList{u"other"_s, u"song"_s}));
    QTreeWidgetItem* song = songs->child(1);

    QVERIFY(tree.BeginRename(song));
    TypeLabel(tree, u"tune"_s);
    QVERIFY(QFile::exists(Home() + u"/songs/tune.mp3"_s));
    QVERIFY(!QFile::exists(Home() + u"/songs/song.mp3"_s));
    QCOMPARE(song->text(0), u"tune"_s);
    QCOMPARE(tree.PathOfItem(song), Home() + u"/songs/tune.mp3"_s);

    QVERIFY(tree.BeginRename(song));
    TypeLabel(tree, u"other"_s);
    QCOMPARE(tree.messages.size(), 1);
    QVERIFY(tree.messages.first().contains(u"already exists"_s));
    QCOMPARE(song->text(0), u"tune"_s);
    QVERIFY(QFile::exists(Home() + u"/songs/tune.mp3"_s));
    QFile other(Home() + u"/songs/other.mp3"_s);
    QVERIFY(other.open(QIODevice::ReadOnly));
    QCOMPARE(other.readAll(), QByteArray("x"));

    // Cancelling changes nothing; folders and drives refuse editing.
    QVERIFY(tree.BeginRename(song));
    QTest::keyClick(Editor(tree), Qt::Key_Escape);
    QCoreApplication::processEvents();
    QVERIFY(QFile::exists(Home() + u"/songs/tune.mp3"_s));
    QVERIFY(!tree.BeginRename(tree.ProfileItem()));
    tree.RenameEnabled = false;
    QVERIFY(!tree.BeginRename(song));
}

void TestFileTree::deleteItem_data() {
    QTest::addColumn<bool>("shift");
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("to the trash") << false << QByteArray("gone");
    QTest::newRow("permanently") << true << QByteArray("gone");
    QTest::newRow("not UTF-8, to the trash") << false << QByteArray("caf\xe9");
    QTest::newRow("not UTF-8, permanently") << true << QByteArray("caf\xe9");
}

void TestFileTree::deleteItem() {
    QFETCH(bool, shift);
    QFETCH(QByteArray, name);
    MakeFolders({u"home/box"_s, u"home/keep"_s});
    const QByteArray box = QFile::encodeName(Home() + u"/box/"_s);
    QVERIFY(::mkdir((box + name).constData(), 0700) == 0);
    const int fd = ::open((box + name + "/inner.txt").constData(), O_WRONLY | O_CREAT, 0600);
    QVERIFY(fd >= 0);
    ::close(fd);
    QVERIFY(::mkdir((box + name + "/" + name).constData(), 0700) == 0);
    TestTree& tree = *m_tree;
    tree.shift = shift;
    tree.AttachImagesAndFill();
    QTreeWidgetItem* parent = tree.SelectPath(Home() + u"/box"_s, true);
    QCOMPARE(parent->childCount(), 1);
    QTreeWidgetItem* item = parent->child(0);
    QCOMPARE(tree.InfoOfItem(item)->nativePath, box + name);

    QVERIFY(!tree.DeleteItemFromDisk(item)); // not enabled yet
    tree.DeleteEnabled = true;
    tree.confirm = false;
    QVERIFY(!tree.DeleteItemFromDisk(item));
    QVERIFY(::access((box + name).constData(), F_OK) == 0);
    tree.confirm = true;

    QVERIFY(tree.DeleteItemFromDisk(item));
    QVERIFY(::access((box + name).constData(), F_OK) != 0);
    QCOMPARE(parent->childCount(), 0);
    QCOMPARE(tree.currentItem(), parent);
    QVERIFY(!tree.HasChildIndicator(parent));
    const QByteArray trash = QFile::encodeName(Home() + u"/.local/share/Trash/"_s);
    QCOMPARE(::access((trash + "files/" + name + "/inner.txt").constData(), F_OK) == 0, !shift);
    if (!shift) {
        QByteArray record(4096, 0);
        const int info = ::open((trash + "info/" + name + ".trashinfo").constData(), O_RDONLY);
        QVERIFY(info >= 0);
        record.truncate(std::max<ssize_t>(0, ::read(info, record.data(), record.size())));
        ::close(info);
        QVERIFY(record.contains("Path=" + (box + name).toPercentEncoding("/")));
    }
    QVERIFY(tree.messages.isEmpty());
    QVERIFY(QFileInfo(Home() + u"/keep"_s).isDir());
}

void TestFileTree::watchReloadsOnlyForTheSelectedFolder() {
    MakeFolders({u"home/watched/sub"_s, u"home/watched/empty"_s});
    TestTree& tree = *m_tree;
    tree.WatchEnabled = true;
    tree.AttachImagesAndFill();
    QVERIFY(tree.SelectPath(Home() + u"/watched"_s, true) != nullptr);
    QVERIFY(tree.IsWatching());
    QCOMPARE(tree.WatchedPath(), Home() + u"/watched/"_s);
    tree.reloads = 0;

    // A change one level down first, then one in the folder itself: only the
    // second may reload, and it shows up after that reload.
    MakeFile(u"home/watched/sub/deeper.txt"_s);
    MakeFile(u"home/watched/outside.txt"_s);
    QTRY_VERIFY(tree.ItemForPath(Home() + u"/watched/outside.txt"_s) != nullptr);
    QCOMPARE(tree.reloads, 1);
    QCOMPARE(tree.SelectedPath(), Home() + u"/watched"_s);
    QVERIFY(tree.IsWatching());

    // The watch follows the selection.
    QVERIFY(tree.SelectPath(Home() + u"/watched/empty"_s, false) != nullptr);
    QCOMPARE(tree.WatchedPath(), Home() + u"/watched/empty/"_s);
    QVERIFY(!tree.HasChildIndicator(tree.currentItem()));
    MakeFolders({u"home/watched/empty/new"_s});
    QTRY_VERIFY(tree.HasChildIndicator(tree.ItemForPath(Home() + u"/watched/empty"_s)));
    QCOMPARE(tree.reloads, 2);
    tree.setCurrentItem(tree.ComputerItem());
    QVERIFY(!tree.IsWatching());
}

void TestFileTree::symlinkLoopUnderExpandBranch() {
    MakeFolders({u"home/loop/a/b"_s});
    QVERIFY(QFile::link(Home() + u"/loop"_s, Home() + u"/loop/a/b/back"_s));
    TestTree& tree = *m_tree;
    tree.AttachImagesAndFill();
    QTreeWidgetItem* loop = tree.SelectPath(Home() + u"/loop"_s, false);
    tree.ExpandBranch(loop);
    QTreeWidgetItem* back = tree.ItemForPath(Home() + u"/loop/a/b/back"_s);
    QVERIFY(back != nullptr);
    QVERIFY(tree.HasChildIndicator(back));
    QCOMPARE(back->childCount(), 0); // stopped: it is the branch's own top
    QVERIFY(tree.ItemForPath(Home() + u"/loop/a/b"_s)->isExpanded());
}

void TestFileTree::keysAndDoubleClick() {
    MakeFolders({u"home/empty"_s, u"home/full/x"_s});
    TestTree& tree = *m_tree;
    tree.AttachImagesAndFill();
    QTreeWidgetItem* empty = tree.SelectPath(Home() + u"/empty"_s, false);
    tree.setFocus();
    QTest::keyClick(&tree, Qt::Key_Return);
    QCOMPARE(tree.opened, QList<QUrl>{QUrl::fromLocalFile(Home() + u"/empty"_s)});

    const QPoint centre = tree.visualItemRect(empty).center();
    QTest::mouseDClick(tree.viewport(), Qt::LeftButton, {}, centre);
    QCOMPARE(tree.opened.size(), 2);
    QTreeWidgetItem* full = tree.SelectPath(Home() + u"/full"_s, false);
    QTest::mouseDClick(tree.viewport(), Qt::LeftButton, {}, tree.visualItemRect(full).center());
    QCOMPARE(tree.opened.size(), 2); // a folder with subfolders only expands

    QTest::keyClick(&tree, Qt::Key_Backspace);
    QCOMPARE(tree.currentItem(), tree.ProfileItem());
    QTest::keyClick(&tree, Qt::Key_Left, Qt::AltModifier);
    QCOMPARE(tree.SelectedPath(), Home() + u"/full"_s);
    QTest::keyClick(&tree, Qt::Key_Right, Qt::AltModifier);
    QCOMPARE(tree.currentItem(), tree.ProfileItem());

    // No file manager to ask: the tree shows properties of its own.
    QTest::keyClick(&tree, Qt::Key_Return, Qt::AltModifier);
    QCOMPARE(tree.properties, QStringList{Home()});
    tree.PropertiesEnabled = false;
    QTest::keyClick(&tree, Qt::Key_Return, Qt::AltModifier);
    QCOMPARE(tree.properties.size(), 1);

    // A right click selects what it is on, and nothing off the items.
    QTest::mouseClick(tree.viewport(), Qt::RightButton, {}, centre);
    QCOMPARE(tree.currentItem(), empty);
    QTest::mouseClick(tree.viewport(), Qt::RightButton, {},
                      QPoint(5, tree.viewport()->height() - 5));
    QVERIFY(tree.currentItem() == nullptr);
    QCOMPARE(tree.SelectedPath(), QString());
}

void TestFileTree::volumesAndOverlay() {
    MakeFolders({u"stick"_s, u"home/shared/x"_s, u"home/plain/x"_s, u"home/other"_s});
    TestTree& tree = *m_tree;
    tree.AttachImagesAndFill();
    QTreeWidgetItem* computer = tree.ComputerItem();
    computer->setExpanded(true);
    QTreeWidgetItem* stick = tree.FindChildByName(computer, g_root + u"/stick"_s);
    QVERIFY(stick != nullptr);
    QVERIFY(tree.HasChildIndicator(stick)); // empty, but a removable root is never probed
    stick->setExpanded(true);
    QVERIFY(!tree.HasChildIndicator(stick)); // no media: collapsed, button gone
    QVERIFY(!stick->isExpanded());
    MakeFolders({u"stick/x"_s});
    QCOMPARE(tree.SelectPath(g_root + u"/stick/x"_s, false), stick); // nothing read below
    QCOMPARE(stick->childCount(), 0);

    tree.HiddenDriveTypes = unsigned(VolumeKind::Removable);
    tree.Reload();
    tree.ComputerItem()->setExpanded(true);
    QCOMPARE(tree.ComputerItem()->childCount(), 1);

    QTreeWidgetItem* shared = tree.SelectPath(Home() + u"/shared"_s, false);
    QTreeWidgetItem* plain = tree.ItemForPath(Home() + u"/plain"_s);
    QVERIFY(shared != nullptr && plain != nullptr);
    QVERIFY(shared->icon(0).cacheKey() != plain->icon(0).cacheKey());
    QCOMPARE(plain->icon(0).cacheKey(), tree.ItemForPath(Home() + u"/other"_s)->icon(0).cacheKey());

    // The shares are read again on request, not once for the process.
    MakeFolders({u"usershares"_s});
    QFile share(g_root + u"/usershares/music"_s);
    QVERIFY(share.open(QIODevice::WriteOnly));
    share.write("#VERSION 2\npath=" + QFile::encodeName(Home()) + "/shared\nusershare_acl=\n");
    share.close();
    CShareEnumerator shares(g_root + u"/usershares"_s);
    QVERIFY(shares.IsSharedPath(Home() + u"/shared"_s));
    QVERIFY(!shares.IsSharedPath(Home() + u"/Shared"_s));
    QVERIFY(share.remove());
    QVERIFY(shares.IsSharedPath(Home() + u"/shared"_s));
    shares.RefreshShares();
    QVERIFY(!shares.IsSharedPath(Home() + u"/shared"_s));
}

void TestFileTree::compressedColour() {
    MakeFolders({u"home/packed"_s, u"home/plain"_s});
    const int fd = ::open(QFile::encodeName(Home() + u"/packed"_s).constData(), O_RDONLY);
    QVERIFY(fd >= 0);
    long flags = 0;
    const bool set = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
                     ::ioctl(fd, FS_IOC_SETFLAGS, &(flags |= FS_COMPR_FL)) == 0;
    ::close(fd);
    if (!set) {
        QSKIP("this file system keeps no compression flag");
    }
    TestTree& tree = *m_tree;
    tree.AttachImagesAndFill();
    QTreeWidgetItem* packed = tree.SelectPath(Home() + u"/packed"_s, false);
    QTreeWidgetItem* plain = tree.ItemForPath(Home() + u"/plain"_s);
    QVERIFY(tree.ItemIsCompressed(packed));
    QVERIFY(!tree.ItemIsCompressed(plain));
    QVERIFY(tree.PathIsCompressed(Home() + u"/packed"_s));
    QCOMPARE(packed->data(0, Qt::ForegroundRole).value<QBrush>().color(), tree.CompressedColour);
    QVERIFY(!plain->data(0, Qt::ForegroundRole).isValid());
    tree.CompressedColoured = false;
    QVERIFY(!packed->data(0, Qt::ForegroundRole).isValid());
}

void TestFileTree::copyBranchAndRefusedNames() {
    MakeFolders({u"home/src/a/b"_s, u"home/dst"_s});
    TestTree& tree = *m_tree;
    tree.RenameEnabled = true;
    tree.AttachImagesAndFill();
    QTreeWidgetItem* source = tree.SelectPath(Home() + u"/src/a"_s, true);
    QTreeWidgetItem* target = tree.ItemForPath(Home() + u"/dst"_s);
    QVERIFY(tree.CopyTreeBranch(source, source->child(0), nullptr) == nullptr);
    QTreeWidgetItem* copy = tree.CopyTreeBranch(source->parent(), target, nullptr);
    QVERIFY(copy != nullptr);
    QCOMPARE(copy->text(0), u"src"_s);
    QCOMPARE(Labels(copy->child(0)), QStringList{u"b"_s});
    QVERIFY(tree.InfoOfItem(copy) != tree.InfoOfItem(source->parent()));
    QCOMPARE(tree.PathOfItem(copy->child(0)->child(0)), Home() + u"/src/a/b"_s);
    QVERIFY(tree.HasChildWithLabel(target, u"src"_s));
    QVERIFY(!tree.HasChildWithLabel(target, u"SRC"_s));

    // A name with a separator would move the folder elsewhere: refused.
    QVERIFY(tree.BeginRename(source));
    TypeLabel(tree, u"../escaped"_s);
    QCOMPARE(tree.messages.size(), 1);
    QVERIFY(QFileInfo(Home() + u"/src/a"_s).isDir());
    QVERIFY(!QFileInfo::exists(Home() + u"/escaped"_s));
    QCOMPARE(source->text(0), u"a"_s);

    // Renaming a folder whose branch is open: the branch follows the name.
    QTreeWidgetItem* folder = source->parent();
    QVERIFY(tree.BeginRename(folder));
    TypeLabel(tree, u"moved"_s);
    QVERIFY(QFileInfo(Home() + u"/moved/a/b"_s).isDir());
    QTreeWidgetItem* inner = tree.ItemForPath(Home() + u"/moved/a"_s);
    QVERIFY(inner != nullptr);
    QCOMPARE(inner->parent(), folder);
    QCOMPARE(tree.PathOfItem(inner), Home() + u"/moved/a"_s);
    QVERIFY(tree.ItemForPath(Home() + u"/src/a"_s) == nullptr);
}

void TestFileTree::oddNames_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("label");
    QTest::newRow("not UTF-8") << QByteArray("caf\xe9 \xff") << u"caf\uFFFD \uFFFD"_s;
    QTest::newRow("line break") << QByteArray("two\nlines") << u"two\\nlines"_s;
    QTest::newRow("leading dash") << QByteArray("-rf") << u"-rf"_s;
}

void TestFileTree::oddNames() {
    QFETCH(QByteArray, name);
    QFETCH(QString, label);
    MakeFolders({u"home/odd"_s});
    const QByteArray odd = QFile::encodeName(Home() + u"/odd/"_s);
    QVERIFY(::mkdir((odd + name).constData(), 0700) == 0);
    TestTree& tree = *m_tree;
    tree.RenameEnabled = true;
    tree.AttachImagesAndFill();
    QTreeWidgetItem* folder = tree.SelectPath(Home() + u"/odd"_s, true);
    QCOMPARE(folder->childCount(), 1);
    QTreeWidgetItem* item = folder->child(0);
    QCOMPARE(item->text(0), label);

    tree.setCurrentItem(item);
    QVERIFY(tree.OpenItem(item));
    QCOMPARE(tree.opened.last().toEncoded(), "file://" + (odd + name).toPercentEncoding("/"));

    // The rename moves the real folder, whatever its bytes.
    QVERIFY(tree.BeginRename(item));
    TypeLabel(tree, u"plain"_s);
    QVERIFY(::access((odd + name).constData(), F_OK) != 0);
    QVERIFY(QFileInfo(Home() + u"/odd/plain"_s).isDir());
    QCOMPARE(tree.InfoOfItem(item)->nativePath, odd + "plain");
    QVERIFY(tree.messages.isEmpty());
}

QTEST_MAIN(TestFileTree)
#include "tst_filetree.moc"
