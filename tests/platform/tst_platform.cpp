#include "platform/FileActions.h"
#include "platform/FileIcons.h"
#include "platform/ProfileStore.h"
#include "platform/Shell.h"
#include "platform/SingleInstance.h"
#include "platform/KnownFolders.h"
#include "platform/TaskbarProgress.h"
#include "platform/Volumes.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDialog>
#include <QLocalSocket>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <memory>
#include <optional>

using namespace zorvane;
using namespace Qt::Literals::StringLiterals;

namespace {

// Set up in main() before anything reads the environment.
QTemporaryDir* g_home = nullptr;

QString DataHome() {
    return g_home->filePath(u".local/share"_s);
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

class FakeOpener final : public UrlOpener {
public:
    explicit FakeOpener(bool answer) : result(answer) {}
    bool OpenUrl(const QUrl& url) override {
        opened.append(url);
        return result;
    }
    bool result;
    QList<QUrl> opened;
};

class FakeFileManager final : public FileManagerService {
public:
    explicit FakeFileManager(bool answer) : result(answer) {}
    bool ShowItems(const QStringList& paths) override {
        shown.append(paths);
        return result;
    }
    bool ShowItemProperties(const QStringList& paths) override {
        properties.append(paths);
        return result;
    }
    bool result;
    QStringList shown;
    QStringList properties;
};

struct LauncherLog {
    QStringList uris;
    QList<QVariantMap> sent;
};

// Writes to a log of the test's own: the progress object owns its sender and
// destroys it with itself.
class RecordingLauncher final : public LauncherEntrySender {
public:
    explicit RecordingLauncher(LauncherLog* log) : m_log(log) {}
    void SendUpdate(const QString& appUri, const QVariantMap& properties) override {
        m_log->uris.append(appUri);
        m_log->sent.append(properties);
    }

private:
    LauncherLog* m_log;
};

QVariantMap Progress(double value, bool visible, bool urgent) {
    return {{u"progress"_s, value}, {u"progress-visible"_s, visible}, {u"urgent"_s, urgent}};
}

// A dbus-daemon of the test's own: the D-Bus code runs for real, and nothing
// reaches the user's session.
class PrivateBus {
public:
    ~PrivateBus() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }
    bool Start(const QString& folder) {
        const QString config = folder + u"/bus.conf"_s;
        const QByteArray text =
            "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\" "
            "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
            "<busconfig><type>session</type><listen>unix:dir=" +
            QFile::encodeName(folder) +
            "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
            "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
            "<allow own=\"*\"/></policy></busconfig>\n";
        if (!WriteFile(config, text)) {
            return false;
        }
        process.start(u"dbus-daemon"_s,
                      {u"--config-file="_s + config, u"--nofork"_s, u"--print-address"_s});
        if (!process.waitForStarted(5000)) {
            return false;
        }
        while (!process.canReadLine() && process.waitForReadyRead(5000)) {
        }
        address = QString::fromUtf8(process.readLine()).trimmed();
        return !address.isEmpty();
    }
    QProcess process;
    QString address;
};

// Stands in for Dolphin or Nautilus on the private bus.
class FileManagerObject : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public slots:
    void ShowItems(const QStringList& uris, const QString&) { items.append(uris); }
    void ShowItemProperties(const QStringList& uris, const QString&) { properties.append(uris); }

public:
    QStringList items;
    QStringList properties;
};

class LauncherListener : public QObject {
    Q_OBJECT

public slots:
    void Update(const QString& uri, const QVariantMap& properties) {
        uris.append(uri);
        sent.append(properties);
    }

public:
    QStringList uris;
    QList<QVariantMap> sent;
};

// Leaves a socket file behind with nobody listening, as a crashed copy does.
bool MakeStaleSocket(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    sockaddr_un address{};
    if (name.size() >= qsizetype(sizeof(address.sun_path))) {
        return false;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, name.constData(), name.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const bool bound =
        fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    if (fd >= 0) {
        ::close(fd);
    }
    return bound;
}

QString UniqueInstanceName(const QString& tag) {
    return u"tst-platform-%1-%2"_s.arg(QCoreApplication::applicationPid()).arg(tag);
}

} // namespace

class TestPlatform : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(m_work.isValid());
        if (m_bus.Start(m_work.path())) {
            m_server = QDBusConnection::connectToBus(m_bus.address, u"tst-platform-server"_s);
            m_client = QDBusConnection::connectToBus(m_bus.address, u"tst-platform-client"_s);
        }
    }
    void cleanupTestCase() {
        QDBusConnection::disconnectFromBus(u"tst-platform-server"_s);
        QDBusConnection::disconnectFromBus(u"tst-platform-client"_s);
    }

    void profileStoreRoundTrip() {
        const QString path = m_work.filePath(u"profile.ini"_s);
        const QByteArray record("\x2c\x00\x00\x00\xff\x7f\x00", 7);
        {
            ProfileStore store(path);
            store.WriteInt(u"FileList"_s, u"SortColumn"_s, 3);
            store.WriteString(u"Position"_s, u"Name"_s, u"Grüße"_s);
            store.WriteBinary(u"Position"_s, u"MainWindow"_s, record);
            store.WriteString(u"Position"_s, u"Text"_s, u"not bytes"_s);
            QVERIFY(store.Flush());
        }
        ProfileStore store(path);
        QCOMPARE(store.ReadInt(u"FileList"_s, u"SortColumn"_s, -1), 3);
        QCOMPARE(store.ReadInt(u"FileList"_s, u"Missing"_s, -1), -1);
        QCOMPARE(store.ReadString(u"Position"_s, u"Name"_s), u"Grüße"_s);
        QCOMPARE(store.ReadBinary(u"Position"_s, u"MainWindow"_s), std::optional(record));
        QCOMPARE(store.ReadBinary(u"Position"_s, u"Text"_s), std::nullopt);
        QCOMPARE(store.ReadBinary(u"Position"_s, u"Missing"_s), std::nullopt);
        store.Remove(u"FileList"_s, u"SortColumn"_s);
        QCOMPARE(store.ReadInt(u"FileList"_s, u"SortColumn"_s, -1), -1);
    }

    void profileStoreLivesInConfigHome() {
        ProfileStore store;
        const QString expected = g_home->filePath(u".config/Quenlor Corporation/Zorvane.conf"_s);
        QCOMPARE(store.FilePath(), expected);
        store.WriteInt(u"Check"_s, u"Value"_s, 1);
        QVERIFY(store.Flush());
        QVERIFY(QFile::exists(expected));
        QCOMPARE(OpenUserSettings()->fileName(), expected);
    }

    void packInt32_data() {
        QTest::addColumn<QList<qint32>>("values");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("one") << QList<qint32>{1} << QByteArray("\x01\x00\x00\x00", 4);
        QTest::newRow("minus one") << QList<qint32>{-1} << QByteArray("\xff\xff\xff\xff", 4);
        QTest::newRow("two") << QList<qint32>{0x12345678, 2}
                             << QByteArray("\x78\x56\x34\x12\x02\x00\x00\x00", 8);
        QTest::newRow("none") << QList<qint32>{} << QByteArray();
    }
    void packInt32() {
        QFETCH(QList<qint32>, values);
        QFETCH(QByteArray, bytes);
        QCOMPARE(PackInt32LittleEndian(values), bytes);
        QCOMPARE(UnpackInt32LittleEndian(bytes, values.size()), std::optional(values));
        QCOMPARE(UnpackInt32LittleEndian(bytes + '\0', values.size()), std::nullopt);
    }

    void specialFolders_data() {
        QTest::addColumn<SpecialFolder>("folder");
        QTest::addColumn<QString>("expected");
        QTest::newRow("music") << SpecialFolder::Music << g_home->filePath(u"Tunes"_s);
        QTest::newRow("desktop") << SpecialFolder::Desktop << g_home->filePath(u"Desk"_s);
        QTest::newRow("documents") << SpecialFolder::Documents << g_home->filePath(u"Documents"_s);
        QTest::newRow("home") << SpecialFolder::Home << g_home->path();
        QTest::newRow("computer") << SpecialFolder::ComputerRoot << u"/"_s;
    }
    void specialFolders() {
        QFETCH(SpecialFolder, folder);
        QFETCH(QString, expected);
        QCOMPARE(SpecialFolderPath(folder), expected);
        QCOMPARE(SpecialFolders::FromSystem().Path(folder), expected);
    }

    void trashFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"song one.mp3"_s);
        QVERIFY(WriteFile(path, "ID3 data"));
        QString inTrash;
        QVERIFY(MoveToTrash(path, &inTrash));
        QVERIFY(!QFile::exists(path));
        const QString trashed = DataHome() + u"/Trash/files/song one.mp3"_s;
        QCOMPARE(inTrash, trashed);
        QCOMPARE(ReadFile(trashed), QByteArray("ID3 data"));
        const QByteArray info = ReadFile(DataHome() + u"/Trash/info/song one.mp3.trashinfo"_s);
        QVERIFY2(info.contains("[Trash Info]"), info.constData());
        QVERIFY2(info.contains("DeletionDate="), info.constData());
        // The trash format asks for a URI-encoded path; readers decode it, so
        // the plain form Qt writes reads back the same.
        const qsizetype start = info.indexOf("Path=") + 5;
        const QByteArray original = info.mid(start, info.indexOf('\n', start) - start);
        QCOMPARE(QUrl::fromPercentEncoding(original), path);
    }

    void trashKeepsBothOfTwoSameNames() {
        QTemporaryDir first;
        QTemporaryDir second;
        QString inTrashFirst;
        QString inTrashSecond;
        QVERIFY(WriteFile(first.filePath(u"same.mp3"_s), "first"));
        QVERIFY(WriteFile(second.filePath(u"same.mp3"_s), "second"));
        QVERIFY(MoveToTrash(first.filePath(u"same.mp3"_s), &inTrashFirst));
        QVERIFY(MoveToTrash(second.filePath(u"same.mp3"_s), &inTrashSecond));
        QVERIFY(inTrashFirst != inTrashSecond);
        QCOMPARE(ReadFile(inTrashFirst), QByteArray("first"));
        QCOMPARE(ReadFile(inTrashSecond), QByteArray("second"));
    }

    void trashFolder() {
        QTemporaryDir dir;
        QVERIFY(WriteFile(dir.filePath(u"Album/track.mp3"_s), "x"));
        DiskFileActions actions;
        QVERIFY(actions.MoveToTrash(dir.filePath(u"Album"_s)));
        QVERIFY(!QFile::exists(dir.filePath(u"Album"_s)));
        QVERIFY(QFile::exists(DataHome() + u"/Trash/files/Album/track.mp3"_s));
        QVERIFY(QFile::exists(DataHome() + u"/Trash/info/Album.trashinfo"_s));
        QVERIFY(!actions.MoveToTrash(dir.filePath(u"Album"_s)));
    }

    void deletePermanently_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<bool>("isFolder");
        QTest::addColumn<bool>("expected");
        QTest::newRow("file") << u"a.mp3"_s << false << true;
        QTest::newRow("empty folder") << u"Empty"_s << true << true;
        QTest::newRow("folder tree") << u"Tree/Sub/b.mp3"_s << false << true;
        QTest::newRow("missing") << QString() << false << false;
    }
    void deletePermanently() {
        QFETCH(QString, entry);
        QFETCH(bool, isFolder);
        QFETCH(bool, expected);
        QTemporaryDir dir;
        if (isFolder) {
            QVERIFY(QDir(dir.path()).mkpath(entry));
        } else if (!entry.isEmpty()) {
            QVERIFY(WriteFile(dir.filePath(entry), "x"));
        }
        const QString top =
            dir.filePath(entry.isEmpty() ? u"missing"_s : entry.section(u'/', 0, 0));
        DiskFileActions actions;
        QCOMPARE(actions.DeletePermanently(top), expected);
        QVERIFY(!QFileInfo::exists(top));
        QVERIFY(!QDir(DataHome() + u"/Trash/files"_s).exists(QFileInfo(top).fileName()));
    }

    void deleteLinkKeepsTarget() {
        QTemporaryDir dir;
        QVERIFY(WriteFile(dir.filePath(u"Real/keep.mp3"_s), "x"));
        QVERIFY(QFile::link(dir.filePath(u"Real"_s), dir.filePath(u"Link"_s)));
        QVERIFY(DeletePermanently(dir.filePath(u"Link"_s)));
        QVERIFY(!QFileInfo(dir.filePath(u"Link"_s)).isSymLink());
        QVERIFY(QFile::exists(dir.filePath(u"Real/keep.mp3"_s)));
    }

    void rename_data() {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<bool>("expected");
        QTest::newRow("file to free name") << u"a.mp3"_s << u"c.mp3"_s << true;
        QTest::newRow("file onto file") << u"a.mp3"_s << u"b.mp3"_s << false;
        QTest::newRow("folder to free name") << u"Folder"_s << u"Renamed"_s << true;
        QTest::newRow("folder onto empty folder") << u"Folder"_s << u"Empty"_s << false;
        QTest::newRow("file onto dangling link") << u"a.mp3"_s << u"dangling"_s << false;
        QTest::newRow("missing source") << u"gone.mp3"_s << u"d.mp3"_s << false;
        QTest::newRow("same name") << u"a.mp3"_s << u"a.mp3"_s << false;
        QTest::newRow("case only") << u"a.mp3"_s << u"A.mp3"_s << true;
    }
    void rename() {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(bool, expected);
        QTemporaryDir dir;
        QVERIFY(WriteFile(dir.filePath(u"a.mp3"_s), "a"));
        QVERIFY(WriteFile(dir.filePath(u"b.mp3"_s), "b"));
        QVERIFY(WriteFile(dir.filePath(u"Folder/inside.mp3"_s), "f"));
        QVERIFY(QDir(dir.path()).mkdir(u"Empty"_s));
        QVERIFY(QFile::link(dir.filePath(u"nowhere"_s), dir.filePath(u"dangling"_s)));
        const QByteArray before = ReadFile(dir.filePath(from));

        QCOMPARE(RenameWithoutOverwrite(dir.filePath(from), dir.filePath(to)), expected);
        if (expected) {
            QVERIFY(!QFileInfo::exists(dir.filePath(from)));
            QVERIFY(QFileInfo::exists(dir.filePath(to)));
        } else {
            QCOMPARE(ReadFile(dir.filePath(from)), before);
        }
        // Whatever happened, the untouched files keep what they held.
        QCOMPARE(ReadFile(dir.filePath(u"b.mp3"_s)), QByteArray("b"));
        QVERIFY(QDir(dir.filePath(u"Empty"_s)).exists());
        QVERIFY(QFileInfo(dir.filePath(u"dangling"_s)).isSymLink());
    }

    void shellOpenPath_data() {
        QTest::addColumn<bool>("existing");
        QTest::addColumn<bool>("opens");
        QTest::addColumn<OpenResult>("expected");
        QTest::newRow("opened") << true << true << OpenResult::Opened;
        QTest::newRow("no application") << true << false << OpenResult::NoApplication;
        QTest::newRow("not found") << false << true << OpenResult::NotFound;
    }
    void shellOpenPath() {
        QFETCH(bool, existing);
        QFETCH(bool, opens);
        QFETCH(OpenResult, expected);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"song.mp3"_s);
        if (existing) {
            QVERIFY(WriteFile(path, "x"));
        }
        auto opener = std::make_unique<FakeOpener>(opens);
        FakeOpener* seen = opener.get();
        Shell shell(std::move(opener), std::make_unique<FakeFileManager>(true));
        QCOMPARE(shell.OpenPath(path), expected);
        const QList<QUrl> expectedUrls =
            existing ? QList<QUrl>{QUrl::fromLocalFile(path)} : QList<QUrl>{};
        QCOMPARE(seen->opened, expectedUrls);
    }

    void shellOpenUrl() {
        auto opener = std::make_unique<FakeOpener>(true);
        FakeOpener* seen = opener.get();
        Shell shell(std::move(opener), nullptr);
        QVERIFY(shell.OpenUrl(QUrl(u"https://example.org/help"_s)));
        QVERIFY(!shell.OpenUrl(QUrl()));
        QCOMPARE(seen->opened, QList<QUrl>{QUrl(u"https://example.org/help"_s)});
    }

    void shellShowInFolder_data() {
        QTest::addColumn<bool>("hasFileManager");
        QTest::addColumn<bool>("fileManagerTakes");
        QTest::addColumn<bool>("folderOpened");
        QTest::newRow("file manager shows it") << true << true << false;
        QTest::newRow("file manager refuses") << true << false << true;
        QTest::newRow("no file manager") << false << false << true;
    }
    void shellShowInFolder() {
        QFETCH(bool, hasFileManager);
        QFETCH(bool, fileManagerTakes);
        QFETCH(bool, folderOpened);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"Album/song.mp3"_s);
        QVERIFY(WriteFile(path, "x"));
        auto opener = std::make_unique<FakeOpener>(true);
        auto manager = std::make_unique<FakeFileManager>(fileManagerTakes);
        FakeOpener* opened = opener.get();
        FakeFileManager* asked = manager.get();
        Shell shell(std::move(opener), hasFileManager ? std::move(manager) : nullptr);
        QVERIFY(shell.ShowInFolder(path));
        if (hasFileManager) {
            QCOMPARE(asked->shown, QStringList{path});
        }
        const QList<QUrl> folder{QUrl::fromLocalFile(dir.filePath(u"Album"_s))};
        QCOMPARE(opened->opened, folderOpened ? folder : QList<QUrl>{});
    }

    void shellShowProperties() {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"song.mp3"_s);
        QVERIFY(WriteFile(path, "x"));
        auto manager = std::make_unique<FakeFileManager>(true);
        FakeFileManager* asked = manager.get();
        Shell shell(std::make_unique<FakeOpener>(true), std::move(manager));
        QVERIFY(shell.ShowProperties(path));
        QVERIFY(!shell.ShowProperties(dir.filePath(u"gone.mp3"_s)));
        QCOMPARE(asked->properties, QStringList{path});
        asked->result = false;
        QVERIFY(!shell.ShowProperties(path));
        Shell without(std::make_unique<FakeOpener>(true), nullptr);
        QVERIFY(!without.ShowProperties(path));
    }

    void dbusFileManagerWithoutSessionBus() {
        DBusFileManager manager;
        QVERIFY(!manager.IsAvailable());
        QVERIFY(!manager.ShowItems({m_work.path()}));
        QVERIFY(!manager.ShowItemProperties({m_work.path()}));
    }

    void dbusFileManagerOnPrivateBus() {
        if (!m_client.isConnected() || !m_server.isConnected()) {
            QSKIP("dbus-daemon could not be started");
        }
        const QString service = u"org.zorvane.Test.FileManager1"_s;
        FileManagerObject object;
        QVERIFY(m_server.registerObject(QString::fromUtf16(DBusFileManager::kPath), &object,
                                        QDBusConnection::ExportAllSlots));
        QVERIFY(m_server.registerService(service));
        const QString file = m_work.filePath(u"profile.ini"_s);

        DBusFileManager manager(m_client, service);
        QVERIFY(manager.IsAvailable());
        QVERIFY(manager.ShowItems({file}));
        QVERIFY(manager.ShowItemProperties({file}));
        const QStringList uri{QUrl::fromLocalFile(file).toString()};
        QTRY_COMPARE(object.items, uri);
        QTRY_COMPARE(object.properties, uri);

        DBusFileManager nobody(m_client, u"org.zorvane.Test.Nobody"_s);
        QVERIFY(!nobody.IsAvailable());
        QVERIFY(!nobody.ShowItems({file}));
        m_server.unregisterService(service);
        m_server.unregisterObject(QString::fromUtf16(DBusFileManager::kPath));
    }

    void taskbarWithoutSessionBus() {
        TaskbarProgress progress;
        QVERIFY(!progress.IsActive());
        progress.SetValue(1, 2);
        QCOMPARE(progress.CurrentState(), TaskbarProgress::State::Normal);
        QCOMPARE(progress.Fraction(), 0.5);
        TaskbarProgress silent(nullptr);
        silent.SetState(TaskbarProgress::State::Error);
        QCOMPARE(silent.CurrentState(), TaskbarProgress::State::Error);
    }

    void taskbarProperties_data() {
        QTest::addColumn<TaskbarProgress::State>("state");
        QTest::addColumn<double>("fraction");
        QTest::addColumn<QVariantMap>("expected");
        using State = TaskbarProgress::State;
        QTest::newRow("none") << State::None << 0.4 << Progress(0.0, false, false);
        QTest::newRow("busy") << State::Indeterminate << 0.4 << Progress(0.0, false, false);
        QTest::newRow("normal") << State::Normal << 0.4 << Progress(0.4, true, false);
        QTest::newRow("paused") << State::Paused << 0.4 << Progress(0.4, true, false);
        QTest::newRow("error") << State::Error << 0.4 << Progress(0.4, true, true);
        QTest::newRow("rounded") << State::Normal << 0.12345 << Progress(0.123, true, false);
        QTest::newRow("clamped") << State::Normal << 1.5 << Progress(1.0, true, false);
    }
    void taskbarProperties() {
        QFETCH(TaskbarProgress::State, state);
        QFETCH(double, fraction);
        QFETCH(QVariantMap, expected);
        QCOMPARE(TaskbarProgress::PropertiesFor(state, fraction), expected);
    }

    void taskbarSendsChangesOnly() {
        LauncherLog log;
        {
            TaskbarProgress progress(std::make_unique<RecordingLauncher>(&log),
                                     u"application://test.desktop"_s);
            progress.SetValue(25, 100);
            progress.SetValue(250, 1000);
            progress.SetState(TaskbarProgress::State::Error);
            progress.SetValue(0, 0);
        }
        const QList<QVariantMap> expected{Progress(0.25, true, false), Progress(0.25, true, true),
                                          Progress(0.0, true, true), Progress(0.0, false, false)};
        QCOMPARE(log.sent, expected);
        QCOMPARE(log.uris, QStringList(expected.size(), u"application://test.desktop"_s));
    }

    void taskbarSignalOnPrivateBus() {
        if (!m_client.isConnected() || !m_server.isConnected()) {
            QSKIP("dbus-daemon could not be started");
        }
        LauncherListener listener;
        QVERIFY(m_server.connect(QString(), QString(),
                                 QString::fromUtf16(DBusLauncherEntrySender::kInterface),
                                 u"Update"_s, &listener, SLOT(Update(QString, QVariantMap))));
        TaskbarProgress progress(std::make_unique<DBusLauncherEntrySender>(m_client));
        progress.SetValue(3, 4);
        QTRY_COMPARE(listener.sent, QList<QVariantMap>{Progress(0.75, true, false)});
        QCOMPARE(listener.uris, QStringList{TaskbarProgress::DefaultAppUri()});
    }

    void singleInstanceNames() {
        QCOMPARE(SingleInstance::DefaultInstanceName(), u"tst_platform"_s);
        QCOMPARE(SingleInstance::ServerNameFor(u"zorvane"_s), u"zorvane-%1"_s.arg(::getuid()));
    }

    void secondCopyRaisesFirst() {
        const QString name = UniqueInstanceName(u"raise"_s);
        SingleInstance first(name);
        QSignalSpy raised(&first, &SingleInstance::RaiseRequested);
        QCOMPARE(first.Start(), SingleInstance::StartResult::FirstCopy);
        QVERIFY(first.IsListening());

        SingleInstance second(name);
        QCOMPARE(second.Start(), SingleInstance::StartResult::OtherCopyRunning);
        QVERIFY(!second.IsListening());
        QTRY_COMPARE(raised.size(), 1);

        SingleInstance otherProgram(UniqueInstanceName(u"other"_s));
        QCOMPARE(otherProgram.Start(), SingleInstance::StartResult::FirstCopy);
        QTest::qWait(50);
        QCOMPARE(raised.size(), 1);
    }

    void staleSocketIsCleaned() {
        const QString name = UniqueInstanceName(u"stale"_s);
        const QString socketPath =
            QDir(QDir::tempPath()).filePath(SingleInstance::ServerNameFor(name));
        QVERIFY(MakeStaleSocket(socketPath));
        QVERIFY(QFileInfo::exists(socketPath));

        SingleInstance restarted(name);
        QSignalSpy raised(&restarted, &SingleInstance::RaiseRequested);
        QCOMPARE(restarted.Start(), SingleInstance::StartResult::FirstCopy);
        QVERIFY(restarted.IsListening());
        SingleInstance later(name);
        QCOMPARE(later.Start(), SingleInstance::StartResult::OtherCopyRunning);
        QTRY_COMPARE(raised.size(), 1);
    }

    void closedCopyMakesWayForNext() {
        const QString name = UniqueInstanceName(u"closed"_s);
        {
            SingleInstance first(name);
            QCOMPARE(first.Start(), SingleInstance::StartResult::FirstCopy);
        }
        SingleInstance next(name);
        QCOMPARE(next.Start(), SingleInstance::StartResult::FirstCopy);
        QVERIFY(next.IsListening());
    }

    void strangeRequestsAreIgnored() {
        const QString name = UniqueInstanceName(u"junk"_s);
        SingleInstance first(name);
        QSignalSpy raised(&first, &SingleInstance::RaiseRequested);
        QCOMPARE(first.Start(), SingleInstance::StartResult::FirstCopy);
        QLocalSocket socket;
        socket.connectToServer(SingleInstance::ServerNameFor(name));
        QVERIFY(socket.waitForConnected(1000));
        socket.write("hello\n" + QByteArray(1000, 'x'));
        QVERIFY(socket.waitForBytesWritten(1000));
        QTRY_COMPARE(socket.state(), QLocalSocket::UnconnectedState);
        QCOMPARE(raised.size(), 0);
    }

    void bringToFrontRestoresMinimised() {
        QWidget window;
        window.showMinimized();
        QVERIFY(window.isMinimized());
        BringToFront(&window);
        QVERIFY(!window.isMinimized());
        QVERIFY(window.isVisible());
    }

    void bringToFrontPrefersModalDialog() {
        QWidget window;
        window.show();
        QDialog dialog(&window);
        dialog.setModal(true);
        dialog.show();
        QTRY_COMPARE(QApplication::activeModalWidget(), &dialog);
        QWidget elsewhere;
        elsewhere.show();
        elsewhere.activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), &elsewhere);
        BringToFront(&window);
        QTRY_COMPARE(QApplication::activeWindow(), &dialog);
        BringToFront(nullptr);
    }

    void iconNames_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("expected");
        QTest::newRow("mp3") << u"song.mp3"_s << u"audio-mpeg"_s;
        QTest::newRow("missing mp3") << u"gone/song.mp3"_s << u"audio-mpeg"_s;
        QTest::newRow("text") << u"notes.txt"_s << u"text-plain"_s;
        QTest::newRow("folder") << u"Album"_s << u"inode-directory"_s;
    }
    void iconNames() {
        QFETCH(QString, entry);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        QVERIFY(WriteFile(dir.filePath(u"song.mp3"_s), "ID3"));
        QVERIFY(WriteFile(dir.filePath(u"notes.txt"_s), "plain words"));
        QVERIFY(QDir(dir.path()).mkdir(u"Album"_s));
        QCOMPARE(IconNameForPath(dir.filePath(entry)), expected);
        FileIcons icons;
        QVERIFY(!icons.ForPath(dir.filePath(entry)).isNull());
        QVERIFY(!icons.OpenForPath(dir.filePath(entry)).isNull());
    }

    void iconsForPlaces() {
        FileIcons icons;
        for (VolumeKind kind : {VolumeKind::Removable, VolumeKind::Fixed, VolumeKind::Network,
                                VolumeKind::Optical, VolumeKind::RamDisk}) {
            QVERIFY(!icons.ForVolume(kind).isNull());
        }
        for (SpecialFolder folder :
             {SpecialFolder::Music, SpecialFolder::Desktop, SpecialFolder::Documents,
              SpecialFolder::Home, SpecialFolder::ComputerRoot}) {
            QVERIFY(!icons.ForSpecialFolder(folder).isNull());
        }
        QVERIFY(!icons.ForNetwork().isNull());
    }

    void mountedVolumesIncludeRoot() {
        const QList<Volume> volumes = MountedVolumes();
        QVERIFY(!volumes.isEmpty());
        QCOMPARE(volumes.first().rootPath, u"/"_s);
        QVERIFY(volumes.first().ready);
        const int kinds = int(VolumeKind::Removable) | int(VolumeKind::Fixed) |
                          int(VolumeKind::Network) | int(VolumeKind::Optical) |
                          int(VolumeKind::RamDisk);
        QVERIFY((int(volumes.first().kind) & kinds) != 0);
        for (const Volume& volume : NetworkVolumes()) {
            QCOMPARE(volume.kind, VolumeKind::Network);
        }
        QCOMPARE(SystemVolumeSource().Volumes().size(), volumes.size());
    }

    void classifyVolume_data() {
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("type");
        QTest::addColumn<VolumeKind>("expected");
        QTest::newRow("usb stick") << u"/dev/sdb1"_s << u"vfat"_s << VolumeKind::Removable;
        QTest::newRow("internal disk") << u"/dev/sda2"_s << u"ext4"_s << VolumeKind::Fixed;
        QTest::newRow("encrypted stick") << u"/dev/dm-0"_s << u"ext4"_s << VolumeKind::Removable;
        QTest::newRow("cd by type") << u"/dev/sr0"_s << u"iso9660"_s << VolumeKind::Optical;
        QTest::newRow("cd by device") << u"/dev/sr0"_s << u"ext2"_s << VolumeKind::Optical;
        QTest::newRow("samba") << u"//server/music"_s << u"cifs"_s << VolumeKind::Network;
        QTest::newRow("nfs") << u"server:/export"_s << u"nfs4"_s << VolumeKind::Network;
        QTest::newRow("sshfs") << u"me@host:"_s << u"fuse.sshfs"_s << VolumeKind::Network;
        QTest::newRow("old sshfs") << u"sshfs#me@host:"_s << u"fuse"_s << VolumeKind::Network;
        QTest::newRow("gvfs") << u"gvfsd-fuse"_s << u"fuse.gvfsd-fuse"_s << VolumeKind::Network;
        QTest::newRow("tmpfs") << u"tmpfs"_s << u"tmpfs"_s << VolumeKind::RamDisk;
        QTest::newRow("zram") << u"/dev/zram0"_s << u"ext4"_s << VolumeKind::RamDisk;
        QTest::newRow("container root") << u"overlay"_s << u"overlay"_s << VolumeKind::Fixed;
    }
    void classifyVolume() {
        QFETCH(QString, device);
        QFETCH(QString, type);
        QFETCH(VolumeKind, expected);
        // The sysfs layout: a disk's folder holds its partitions, and
        // class/block links every block device to its folder.
        QTemporaryDir sys;
        const auto disk = [&](const QString& where, const QString& name, const char* removable,
                              const QString& partition) {
            const QString folder = sys.filePath(u"devices/%1/block/%2"_s.arg(where, name));
            QVERIFY(WriteFile(folder + u"/removable"_s, removable));
            QVERIFY(WriteFile(folder + u'/' + partition + u"/partition"_s, "1\n"));
            QVERIFY(QDir(sys.path()).mkpath(u"block"_s));
            QVERIFY(QDir(sys.path()).mkpath(u"class/block"_s));
            QVERIFY(QFile::link(folder, sys.filePath(u"block/"_s + name)));
            QVERIFY(QFile::link(folder + u'/' + partition,
                                sys.filePath(u"class/block/"_s + partition)));
        };
        disk(u"usb1"_s, u"sdb"_s, "1\n", u"sdb1"_s);
        disk(u"pci"_s, u"sda"_s, "0\n", u"sda2"_s);
        disk(u"usb2"_s, u"sdc"_s, "1\n", u"sdc1"_s);
        const QString mapped = sys.filePath(u"devices/virtual/block/dm-0"_s);
        QVERIFY(WriteFile(mapped + u"/slaves/sdc1"_s, ""));
        QVERIFY(QFile::link(mapped, sys.filePath(u"class/block/dm-0"_s)));
        QCOMPARE(ClassifyVolume(device, type, sys.path()), expected);
    }

    void volumeOfPath() {
        const std::optional<Volume> volume = VolumeOfPath(m_work.path());
        QVERIFY(volume.has_value());
        QVERIFY(QFileInfo(m_work.path()).canonicalFilePath().startsWith(volume->rootPath));
        QVERIFY(!VolumeOfPath(QString()).has_value());
        QVERIFY(IsMountPoint(u"/"_s));
        QVERIFY(IsMountPoint(volume->rootPath));
        QVERIFY(!IsMountPoint(m_work.filePath(u"profile.ini"_s)));
        QVERIFY(!IsMountPoint(m_work.filePath(u"missing"_s)));
        QVERIFY(!IsMountPoint(QString()));
        Volume labelled{u"/media/me/STICK"_s, {}, {}, u"STICK"_s};
        QCOMPARE(labelled.DisplayName(), u"STICK (/media/me/STICK)"_s);
        labelled.label.clear();
        QCOMPARE(labelled.DisplayName(), u"/media/me/STICK"_s);
    }

    void sharedFolders() {
        QTemporaryDir shares;
        QVERIFY(WriteFile(shares.filePath(u"music"_s),
                          "#VERSION 2\npath=/home/me/Music\ncomment=\nguest_ok=n\n"));
        QVERIFY(WriteFile(shares.filePath(u"broken"_s), "comment=no path here\n"));
        const QStringList folders = SharedFolders(shares.path());
        QCOMPARE(folders, QStringList{u"/home/me/Music"_s});
        QVERIFY(IsSharedFolder(u"/home/me/Music/"_s, folders));
        QVERIFY(!IsSharedFolder(u"/home/me"_s, folders));
        QVERIFY(SharedFolders(shares.filePath(u"missing"_s)).isEmpty());
    }

private:
    QTemporaryDir m_work;
    PrivateBus m_bus;
    QDBusConnection m_server{QString()};
    QDBusConnection m_client{QString()};
};

int main(int argc, char** argv) {
    // Everything the services read from the environment points into a
    // folder of the test's own before Qt first looks: no real trash, no real
    // settings, no session bus and no display.
    QTemporaryDir home;
    if (!home.isValid()) {
        return 1;
    }
    g_home = &home;
    QDir(home.path()).mkpath(u".local/share"_s);
    QDir(home.path()).mkpath(u".config"_s);
    WriteFile(home.filePath(u".config/user-dirs.dirs"_s),
              "XDG_MUSIC_DIR=\"$HOME/Tunes\"\nXDG_DESKTOP_DIR=\"$HOME/Desk\"\n");
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath(u".local/share"_s)));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(u".config"_s)));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(home.filePath(u".cache"_s)));
    QDir(home.path()).mkdir(u"runtime"_s);
    QFile::setPermissions(home.filePath(u"runtime"_s),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home.filePath(u"runtime"_s)));
    qputenv("DBUS_SESSION_BUS_ADDRESS",
            "unix:path=" + QFile::encodeName(home.filePath(u"no-bus"_s)));
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qunsetenv("DISPLAY");
    qunsetenv("WAYLAND_DISPLAY");

    QApplication app(argc, argv);
    TestPlatform test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_platform.moc"
