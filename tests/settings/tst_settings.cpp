#include "platform/MessageSink.h"
#include "settings/IniFile.h"
#include "settings/SettingsStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <chrono>
#include <fcntl.h>
#include <functional>
#include <future>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace zorvane;
using namespace Qt::Literals::StringLiterals;

namespace {

class RecordingSink final : public MessageSink {
public:
    void ShowError(const QString& text) override { errors.append(text); }
    void ShowMessage(const QString& text) override { messages.append(text); }
    QStringList errors;
    QStringList messages;
};

// One line per field, so that a failed comparison names the field at fault.
QString Describe(const ConversionSettings& s) {
    return u"sameAsSource=%1 speedMode=%2 speedPercent=%3 bitrateIndex=%4 channelMode=%5 "
           u"frequencyIndex=%6 encoderQuality=%7 outputFolder=%8 lastFolder=%9"_s.arg(
               QString::number(s.sameAsSource), QString::number(s.speedMode),
               QString::number(s.speedPercent), QString::number(s.bitrateIndex),
               QString::number(s.channelMode), QString::number(s.frequencyIndex),
               QString::number(s.encoderQuality), s.outputFolder, s.lastFolder);
}

int FieldForKey(const ConversionSettings& s, const QString& key) {
    if (key == u"SameAsSrc") {
        return s.sameAsSource;
    }
    if (key == u"Mode") {
        return s.speedMode;
    }
    if (key == u"Speed") {
        return s.speedPercent;
    }
    if (key == u"LameBits") {
        return s.bitrateIndex;
    }
    if (key == u"LameChannel") {
        return s.channelMode;
    }
    if (key == u"Freq") {
        return s.frequencyIndex;
    }
    qFatal("no field for key");
}

QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Runs `work` on a thread of its own and tells whether it ended without
// help. Should it block opening the FIFO at `fifo` for a reader, a writer
// comes and goes after a generous wait until it ends, so that the test
// fails instead of hanging.
bool EndsWithoutBlockingOn(const QString& fifo, const std::function<void()>& work) {
    std::future<void> done = std::async(std::launch::async, work);
    if (done.wait_for(std::chrono::seconds(60)) == std::future_status::ready) {
        return true;
    }
    while (done.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) {
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) {
            ::close(fd);
        }
    }
    return false;
}

} // namespace

class TestSettings : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void iniReadInt_data();
    void iniReadInt();
    void iniLookup();
    void iniWriteString_data();
    void iniWriteString();
    void iniKeepsLineEndsOnDisk();

    void systemFoldersFollowEnvironment();
    void firstStartCreatesEmptyFile();
    void defaultOutputFolder_data();
    void defaultOutputFolder();
    void roundTrip();
    void savedFileLayout();
    void missingFolderKeys();
    void outOfRangeValues_data();
    void outOfRangeValues();
    void longStringsTruncated_data();
    void longStringsTruncated();
    void nonAsciiFolders();
    void foreignLinesSurviveSave();
    void resetDeletesFile();
    void summaryText_data();
    void summaryText();
    void settingsFolderCannotBeCreated();
    void unreadableFileShowsLoadError();
    void configNotARegularFile_data();
    void configNotARegularFile();
    void saveIntoUnwritableLocation_data();
    void saveIntoUnwritableLocation();

private:
    StandardFolders Folders() const;
    // Writes Config.ini where a store made with Folders() looks for it.
    void WriteConfig(const QByteArray& text) const;
    QString ExpectedTenLines(const QString& treeFolder) const;

    QTemporaryDir m_home;
    std::unique_ptr<QTemporaryDir> m_dir;
    RecordingSink m_sink;
};

void TestSettings::initTestCase() {
    // Whatever asks the system for folders lands here, never in the user's own.
    QVERIFY(m_home.isValid());
    qputenv("HOME", QFile::encodeName(m_home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.path() + u"/config"_s));
}

void TestSettings::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_sink = RecordingSink();
}

StandardFolders TestSettings::Folders() const {
    StandardFolders folders;
    folders.music = m_dir->filePath(u"Music"_s);
    folders.desktop = m_dir->filePath(u"Desktop"_s);
    folders.home = m_dir->path();
    folders.genericConfig = m_dir->filePath(u"config"_s);
    folders.programFilePath = u"/opt/zorvane/bin/zorvane"_s;
    return folders;
}

void TestSettings::WriteConfig(const QByteArray& text) const {
    const QString folder = Folders().genericConfig + u"/Zorvane"_s;
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(WriteBytes(folder + u"/Config.ini"_s, text));
}

QString TestSettings::ExpectedTenLines(const QString& treeFolder) const {
    return u"[OUTPUT]\nSameAsSrc=0\nMode=1\nSpeed=100\nDesDir=%1/\nLastDir=%2\n"
           u"[MP3]\nLameBits=11\nLameChannel=0\nFreq=0\n"_s.arg(Folders().music, treeFolder);
}

void TestSettings::iniReadInt_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");
    QTest::newRow("plain") << u"[S]\nk=42"_s << 42;
    QTest::newRow("blanks before") << u"[S]\nk=   42"_s << 42;
    QTest::newRow("negative") << u"[S]\nk=-7"_s << -7;
    QTest::newRow("plus sign") << u"[S]\nk=+5"_s << 5;
    QTest::newRow("digits then text") << u"[S]\nk=12abc"_s << 12;
    QTest::newRow("two numbers") << u"[S]\nk=1 2"_s << 1;
    QTest::newRow("no digits") << u"[S]\nk=abc"_s << 0;
    QTest::newRow("sign only") << u"[S]\nk=-"_s << 0;
    QTest::newRow("hexadecimal is not read") << u"[S]\nk=0x10"_s << 0;
    QTest::newRow("wraps past 32 bits") << u"[S]\nk=4294967297"_s << 1;
    QTest::newRow("empty value") << u"[S]\nk="_s << 77;
    QTest::newRow("missing key") << u"[S]\nother=5"_s << 77;
    QTest::newRow("missing section") << u"[T]\nk=5"_s << 77;
}

void TestSettings::iniReadInt() {
    QFETCH(QString, text);
    QFETCH(int, expected);
    IniFile ini;
    ini.SetText(text);
    QCOMPARE(ini.ReadInt(u"S", u"k", 77), expected);
}

void TestSettings::iniLookup() {
    IniFile ini;
    ini.SetText(u"before=0\n;Speed=3\n[Output]\n  sPeEd  =  fast lane  \n[B]\ncolour=red\n"
                u"[ output ]\ncolour=blue\n"_s);
    QCOMPARE(ini.ReadString(u"OUTPUT", u"Speed", u"-"_s), u"fast lane"_s);
    // A second section of the same name is searched too.
    QCOMPARE(ini.ReadString(u"OUTPUT", u"Colour", u"-"_s), u"blue"_s);
    QCOMPARE(ini.ReadString(u"B", u"colour", u"-"_s), u"red"_s);
    // Keys above the first section and comments belong to no section.
    QCOMPARE(ini.ReadString(u"OUTPUT", u"before", u"-"_s), u"-"_s);
    QCOMPARE(ini.ReadString(u"", u"before", u"-"_s), u"-"_s);
    QCOMPARE(ini.ReadString(u"OUTPUT", u";Speed", u"-"_s), u"-"_s);
}

void TestSettings::iniWriteString_data() {
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("after");
    QTest::newRow("replace in place")
        << u"[S]\nk=1\nj=2\n"_s << u"S"_s << u"k"_s << u"9"_s << u"[S]\nk=9\nj=2\n"_s;
    QTest::newRow("replace ignores case")
        << u"[s]\nK=1\n"_s << u"S"_s << u"k"_s << u"9"_s << u"[s]\nk=9\n"_s;
    QTest::newRow("only the first of two")
        << u"[S]\na=1\na=2\n"_s << u"S"_s << u"a"_s << u"3"_s << u"[S]\na=3\na=2\n"_s;
    QTest::newRow("add before blank lines") << u"[S]\na=1\n\n[T]\nb=2\n"_s << u"S"_s << u"c"_s
                                            << u"3"_s << u"[S]\na=1\nc=3\n\n[T]\nb=2\n"_s;
    QTest::newRow("add to last section")
        << u"[S]\na=1\n"_s << u"S"_s << u"b"_s << u"2"_s << u"[S]\na=1\nb=2\n"_s;
    QTest::newRow("add to empty section")
        << u"[S]\n[T]\n"_s << u"S"_s << u"a"_s << u"1"_s << u"[S]\na=1\n[T]\n"_s;
    QTest::newRow("new section at the end")
        << u"x\n[S]\na=1\n"_s << u"T"_s << u"b"_s << u"2"_s << u"x\n[S]\na=1\n[T]\nb=2\n"_s;
    QTest::newRow("empty file") << QString() << u"S"_s << u"a"_s << u"1"_s << u"[S]\na=1\n"_s;
    QTest::newRow("value cut at a line break")
        << QString() << u"S"_s << u"a"_s << u"x\ny=1"_s << u"[S]\na=x\n"_s;
}

void TestSettings::iniWriteString() {
    QFETCH(QString, before);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QString, after);
    IniFile ini;
    ini.SetText(before);
    ini.WriteString(section, key, value);
    QCOMPARE(ini.Text(), after);
}

void TestSettings::iniKeepsLineEndsOnDisk() {
    const QString path = m_dir->filePath(u"hand.ini"_s);
    QVERIFY(WriteBytes(path, "\xEF\xBB\xBF[S]\r\na=1\r\n"));
    IniFile ini;
    QVERIFY(ini.Load(path));
    QCOMPARE(ini.Lines(), QStringList({u"[S]"_s, u"a=1"_s}));
    ini.WriteString(u"S"_s, u"b"_s, u"2"_s);
    QVERIFY(ini.Save(path));
    QCOMPARE(ReadBytes(path), QByteArray("\xEF\xBB\xBF[S]\r\na=1\r\nb=2\r\n"));

    QVERIFY(!ini.Save(m_dir->filePath(u"missing/hand.ini"_s)));
    QVERIFY(ini.Load(m_dir->filePath(u"absent.ini"_s)));
    QVERIFY(ini.Lines().isEmpty());
}

void TestSettings::systemFoldersFollowEnvironment() {
    const StandardFolders folders = StandardFolders::FromSystem();
    QCOMPARE(folders.genericConfig, m_home.path() + u"/config"_s);
    QCOMPARE(folders.home, m_home.path());
    QCOMPARE(folders.programFilePath, QCoreApplication::applicationFilePath());
}

void TestSettings::firstStartCreatesEmptyFile() {
    SettingsStore store(&m_sink, Folders());
    store.InitSettingsPaths();

    QCOMPARE(store.programFolder, u"/opt/zorvane/bin"_s);
    QCOMPARE(store.settingsFolder, Folders().genericConfig + u"/Zorvane"_s);
    QCOMPARE(store.ConfigFilePath(), store.settingsFolder + u"/Config.ini"_s);
    QCOMPARE(ReadBytes(store.ConfigFilePath()), QByteArray());
    ConversionSettings expected;
    expected.outputFolder = Folders().music + u'/';
    QCOMPARE(Describe(store.settings), Describe(expected));
    QVERIFY(m_sink.errors.isEmpty());
    QVERIFY(m_sink.messages.isEmpty());
}

void TestSettings::defaultOutputFolder_data() {
    QTest::addColumn<bool>("hasMusic");
    QTest::addColumn<bool>("hasDesktop");
    QTest::addColumn<QString>("expected");
    QTest::newRow("music") << true << true << u"Music"_s;
    QTest::newRow("desktop") << false << true << u"Desktop"_s;
    QTest::newRow("home") << false << false << QString();
}

void TestSettings::defaultOutputFolder() {
    QFETCH(bool, hasMusic);
    QFETCH(bool, hasDesktop);
    QFETCH(QString, expected);
    StandardFolders folders = Folders();
    folders.music = hasMusic ? folders.music : QString();
    folders.desktop = hasDesktop ? folders.desktop : QString();
    SettingsStore store(&m_sink, folders);
    store.InitSettingsPaths();
    const QString folder = expected.isEmpty() ? m_dir->path() : m_dir->filePath(expected);
    QCOMPARE(store.settings.outputFolder, folder + u'/');
}

void TestSettings::roundTrip() {
    SettingsStore first(&m_sink, Folders());
    first.InitSettingsPaths();
    first.settings.sameAsSource = 1;
    first.settings.speedMode = SpeedModeResample;
    first.settings.speedPercent = 250;
    first.settings.bitrateIndex = 3;
    first.settings.channelMode = ChannelStereo;
    first.settings.frequencyIndex = 7;
    first.settings.outputFolder = u"/srv/out put/"_s;
    QCOMPARE(first.SaveSettings(u"/home/u/Audio books"_s), 1);
    QCOMPARE(first.settings.lastFolder, u"/home/u/Audio books"_s);

    SettingsStore second(&m_sink, Folders());
    second.InitSettingsPaths();
    QCOMPARE(Describe(second.settings), Describe(first.settings));
    QCOMPARE(second.LoadSettings(), 1);
    QCOMPARE(Describe(second.settings), Describe(first.settings));
    QVERIFY(m_sink.errors.isEmpty());
}

void TestSettings::savedFileLayout() {
    SettingsStore store(&m_sink, Folders());
    store.InitSettingsPaths();
    QCOMPARE(store.SaveSettings(u"/media/tree"_s), 1);
    QCOMPARE(QString::fromUtf8(ReadBytes(store.ConfigFilePath())),
             ExpectedTenLines(u"/media/tree"_s));
}

void TestSettings::missingFolderKeys() {
    WriteConfig("[OUTPUT]\nSpeed=150\n[MP3]\nFreq=2\n");
    SettingsStore store(&m_sink, Folders());
    store.settings.lastFolder = u"/left/over"_s;
    store.InitSettingsPaths();
    QCOMPARE(store.settings.speedPercent, 150);
    QCOMPARE(store.settings.frequencyIndex, 2);
    QCOMPARE(store.settings.outputFolder, Folders().music + u'/');
    QCOMPARE(store.settings.lastFolder, QString());
}

void TestSettings::outOfRangeValues_data() {
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("expected");
    const struct {
        const char* section;
        const char* key;
        const char* value;
        int expected;
    } rows[] = {
        {"OUTPUT", "SameAsSrc", "1", 1},
        {"OUTPUT", "SameAsSrc", "2", 0},
        {"OUTPUT", "SameAsSrc", "-1", 0},
        {"OUTPUT", "SameAsSrc", "65537", 0},
        {"OUTPUT", "Mode", "0", 0},
        {"OUTPUT", "Mode", "2", 1},
        {"OUTPUT", "Mode", "-1", 1},
        {"OUTPUT", "Mode", "sideways", 0},
        {"OUTPUT", "Speed", "20", 20},
        {"OUTPUT", "Speed", "500", 500},
        {"OUTPUT", "Speed", "19", 100},
        {"OUTPUT", "Speed", "750", 100},
        {"OUTPUT", "Speed", "0", 100},
        {"OUTPUT", "Speed", "-5", 100},
        {"OUTPUT", "Speed", "fast", 100},
        {"OUTPUT", "Speed", "65656", 120},
        {"OUTPUT", "Speed", "99999999999", 100},
        {"OUTPUT", "Speed", "", 100},
        {"MP3", "LameBits", "16", 16},
        {"MP3", "LameBits", "17", 11},
        {"MP3", "LameBits", "-1", 11},
        {"MP3", "LameBits", "70000", 11},
        {"MP3", "LameBits", "65538", 2},
        {"MP3", "LameBits", " 7kbps", 7},
        {"MP3", "LameBits", "", 11},
        {"MP3", "LameChannel", "4", 4},
        {"MP3", "LameChannel", "5", 0},
        {"MP3", "LameChannel", "7", 0},
        {"MP3", "LameChannel", "-3", 0},
        {"MP3", "Freq", "9", 9},
        {"MP3", "Freq", "10", 0},
        {"MP3", "Freq", "-1", 0},
        {"MP3", "Freq", "auto", 0},
    };
    for (const auto& row : rows) {
        QTest::addRow("%s=%s", row.key, row.value)
            << QString::fromLatin1(row.section) << QString::fromLatin1(row.key)
            << QString::fromLatin1(row.value) << row.expected;
    }
}

void TestSettings::outOfRangeValues() {
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(int, expected);
    WriteConfig(u"[%1]\n%2=%3\n"_s.arg(section, key, value).toUtf8());
    SettingsStore store(&m_sink, Folders());
    store.InitSettingsPaths();
    QCOMPARE(FieldForKey(store.settings, key), expected);
    QVERIFY(m_sink.errors.isEmpty());
}

void TestSettings::longStringsTruncated_data() {
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("expected");
    QTest::newRow("1023") << 1023 << 1023;
    QTest::newRow("1024") << 1024 << 1023;
    QTest::newRow("5000") << 5000 << 1023;
}

void TestSettings::longStringsTruncated() {
    QFETCH(int, length);
    QFETCH(int, expected);
    const QString desDir = QString(length, u'd');
    const QString lastDir = QString(length, u'\u00e9');
    WriteConfig(u"[OUTPUT]\nDesDir=%1\nLastDir=%2\n"_s.arg(desDir, lastDir).toUtf8());
    SettingsStore store(&m_sink, Folders());
    store.InitSettingsPaths();
    QCOMPARE(store.settings.outputFolder, desDir.left(expected));
    QCOMPARE(store.settings.lastFolder, lastDir.left(expected));
}

void TestSettings::nonAsciiFolders() {
    StandardFolders folders = Folders();
    folders.genericConfig = m_dir->filePath(u"Einstellungen äö"_s);
    SettingsStore first(&m_sink, folders);
    first.InitSettingsPaths();
    first.settings.outputFolder = u"/tmp/Hörbücher/東京/"_s;
    QCOMPARE(first.SaveSettings(u"/home/ü/Musik 🎵"_s), 1);

    const QByteArray bytes = ReadBytes(first.ConfigFilePath());
    QVERIFY(bytes.contains(u"DesDir=/tmp/Hörbücher/東京/\n"_s.toUtf8()));
    QVERIFY(bytes.contains(u"LastDir=/home/ü/Musik 🎵\n"_s.toUtf8()));

    SettingsStore second(&m_sink, folders);
    second.InitSettingsPaths();
    QCOMPARE(second.settings.outputFolder, u"/tmp/Hörbücher/東京/"_s);
    QCOMPARE(second.settings.lastFolder, u"/home/ü/Musik 🎵"_s);
    QVERIFY(m_sink.messages.isEmpty());
}

void TestSettings::foreignLinesSurviveSave() {
    WriteConfig("; written by hand\n[OUTPUT]\nSpeed=150\nColour=blue\n\n[Extra]\nKey=Value\n"
                "[mp3]\nlamebits=3\n");
    SettingsStore store(&m_sink, Folders());
    store.InitSettingsPaths();
    QCOMPARE(store.settings.bitrateIndex, 3);
    QCOMPARE(store.SaveSettings(u"/t"_s), 1);
    const QString expected = u"; written by hand\n[OUTPUT]\nSpeed=150\nColour=blue\nSameAsSrc=0\n"
                             u"Mode=1\nDesDir=%1/\nLastDir=/t\n\n[Extra]\nKey=Value\n[mp3]\n"
                             u"LameBits=3\nLameChannel=0\nFreq=0\n"_s.arg(Folders().music);
    QCOMPARE(QString::fromUtf8(ReadBytes(store.ConfigFilePath())), expected);
}

void TestSettings::resetDeletesFile() {
    SettingsStore store(&m_sink, Folders());
    store.InitSettingsPaths();
    store.settings.speedPercent = 300;
    store.settings.channelMode = ChannelDual;
    store.settings.outputFolder = u"/elsewhere/"_s;
    QCOMPARE(store.SaveSettings(u"/old/tree"_s), 1);

    store.ResetSettings();
    QVERIFY(!QFile::exists(store.ConfigFilePath()));
    ConversionSettings expected;
    expected.outputFolder = Folders().music + u'/';
    QCOMPARE(Describe(store.settings), Describe(expected));

    QCOMPARE(store.SaveSettings(u"/new/tree"_s), 1);
    QCOMPARE(QString::fromUtf8(ReadBytes(store.ConfigFilePath())),
             ExpectedTenLines(u"/new/tree"_s));
    QVERIFY(m_sink.errors.isEmpty());
}

void TestSettings::summaryText_data() {
    QTest::addColumn<int>("bitrateIndex");
    QTest::addColumn<int>("frequencyIndex");
    QTest::addColumn<int>("channelMode");
    QTest::addColumn<QString>("expected");
    QTest::newRow("defaults") << 11 << 0 << 0
                              << u"  MP3:  CBR 128 kbps; Automatic Frequency; Automatic Channel;"_s;
    QTest::newRow("mono") << 0 << 1 << 1 << u"  MP3:  CBR   8 kbps;  8000 Hz; Mono;"_s;
    QTest::newRow("stereo") << 16 << 9 << 2 << u"  MP3:  CBR 320 kbps; 48000 Hz; Stereo;"_s;
    QTest::newRow("joint") << 11 << 8 << 3 << u"  MP3:  CBR 128 kbps; 44100 Hz; Joint Stereo;"_s;
    QTest::newRow("dual") << 9 << 0 << 4
                          << u"  MP3:  CBR  96 kbps; Automatic Frequency; Dual Channel;"_s;
    QTest::newRow("unknown channel")
        << 11 << 0 << 7 << u"  MP3:  CBR 128 kbps; Automatic Frequency;"_s;
    QTest::newRow("negative channel") << 2 << 2 << -1 << u"  MP3:  CBR  24 kbps; 11025 Hz;"_s;
    QTest::newRow("indices past the tables")
        << 17 << 10 << 0 << u"  MP3:  CBR 128 kbps; Automatic Frequency; Automatic Channel;"_s;
    QTest::newRow("negative indices")
        << -1 << -1 << 1 << u"  MP3:  CBR 128 kbps; Automatic Frequency; Mono;"_s;
}

void TestSettings::summaryText() {
    QFETCH(int, bitrateIndex);
    QFETCH(int, frequencyIndex);
    QFETCH(int, channelMode);
    QFETCH(QString, expected);
    SettingsStore store(&m_sink, Folders());
    store.settings.bitrateIndex = static_cast<int16_t>(bitrateIndex);
    store.settings.frequencyIndex = static_cast<int16_t>(frequencyIndex);
    store.settings.channelMode = static_cast<int16_t>(channelMode);
    // The speed is not part of the line.
    store.settings.speedPercent = 750;
    QCOMPARE(SettingsSummaryText(store.settings), expected);
    QCOMPARE(store.SettingsSummaryText(), expected);
}

void TestSettings::settingsFolderCannotBeCreated() {
    StandardFolders folders = Folders();
    folders.genericConfig = m_dir->filePath(u"blocker"_s);
    QVERIFY(WriteBytes(folders.genericConfig, "a file, not a folder"));
    SettingsStore store(&m_sink, folders);
    store.InitSettingsPaths();
    QCOMPARE(m_sink.messages,
             QStringList(u"Fail to create folder %1/Zorvane !!"_s.arg(folders.genericConfig)));
    QVERIFY(m_sink.errors.isEmpty());
    ConversionSettings expected;
    expected.outputFolder = Folders().music + u'/';
    QCOMPARE(Describe(store.settings), Describe(expected));
}

void TestSettings::unreadableFileShowsLoadError() {
    SettingsStore store(&m_sink, Folders());
    QVERIFY(QDir().mkpath(Folders().genericConfig + u"/Zorvane/Config.ini"_s));
    store.InitSettingsPaths();
    QCOMPARE(m_sink.errors, QStringList(u"An Error Occurred while loading settings!"_s));
    QCOMPARE(store.LastErrorReason(), u"%1: a folder, not a file"_s.arg(store.ConfigFilePath()));
    QCOMPARE(store.LoadSettings(), 0);
    QCOMPARE(store.settings.outputFolder, Folders().music + u'/');
}

void TestSettings::configNotARegularFile_data() {
    QTest::addColumn<bool>("throughLink");
    QTest::newRow("FIFO") << false;
    QTest::newRow("link to a FIFO") << true;
}

// Opening a FIFO for reading waits for a writer for ever, and replacing one
// with a regular file would change what someone else set up.
void TestSettings::configNotARegularFile() {
    QFETCH(bool, throughLink);
    const QString folder = Folders().genericConfig + u"/Zorvane"_s;
    const QString path = folder + u"/Config.ini"_s;
    QVERIFY(QDir().mkpath(folder));
    const QString fifo = throughLink ? m_dir->filePath(u"pipe"_s) : path;
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    if (throughLink) {
        QVERIFY(QFile::link(fifo, path));
    }

    SettingsStore store(&m_sink, Folders());
    int saved = -1;
    bool iniLoaded = true;
    bool iniSaved = true;
    QString loadError;
    QString saveError;
    QVERIFY(EndsWithoutBlockingOn(fifo, [&] {
        store.InitSettingsPaths();
        saved = store.SaveSettings(u"/tree"_s);
        IniFile ini;
        iniLoaded = ini.Load(path, &loadError);
        iniSaved = ini.Save(path, &saveError);
    }));

    const QString reason = path + u": not a regular file (a device, FIFO or socket)"_s;
    QCOMPARE(m_sink.errors, QStringList({u"An Error Occurred while loading settings!"_s,
                                         u"An error occurred while saving settings!"_s}));
    QCOMPARE(store.LastErrorReason(), reason);
    QCOMPARE(saved, 0);
    QVERIFY(!iniLoaded);
    QCOMPARE(loadError, reason);
    QVERIFY(!iniSaved);
    QCOMPARE(saveError, reason);
    QVERIFY(QFileInfo(path).isSymLink() == throughLink);
    QVERIFY(QFileInfo::exists(fifo) && !QFileInfo(fifo).isFile());
}

void TestSettings::saveIntoUnwritableLocation_data() {
    QTest::addColumn<bool>("folderIsFile");
    QTest::addColumn<QString>("reason");
    QTest::newRow("settings folder is a file") << true << u"Not a directory"_s;
    QTest::newRow("settings folder removed") << false << u"No such file or directory"_s;
}

void TestSettings::saveIntoUnwritableLocation() {
    QFETCH(bool, folderIsFile);
    QFETCH(QString, reason);
    SettingsStore store(&m_sink, Folders());
    store.InitSettingsPaths();
    QVERIFY(QDir(store.settingsFolder).removeRecursively());
    if (folderIsFile) {
        QVERIFY(WriteBytes(store.settingsFolder, "in the way"));
    }
    QCOMPARE(store.SaveSettings(u"/tree"_s), 0);
    QCOMPARE(m_sink.errors, QStringList(u"An error occurred while saving settings!"_s));
    QCOMPARE(store.LastErrorReason(), u"%1: %2"_s.arg(store.ConfigFilePath(), reason));
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
