#include "SettingsStore.h"

#include "platform/FolderCreation.h"
#include "platform/MessageSink.h"
#include "settings/IniFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cstddef>
#include <utility>

namespace zorvane {

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr QStringView kOutputSection = u"OUTPUT";
constexpr QStringView kMp3Section = u"MP3";
constexpr QStringView kSameAsSourceKey = u"SameAsSrc";
constexpr QStringView kSpeedModeKey = u"Mode";
constexpr QStringView kSpeedKey = u"Speed";
constexpr QStringView kOutputFolderKey = u"DesDir";
constexpr QStringView kLastFolderKey = u"LastDir";
constexpr QStringView kBitrateKey = u"LameBits";
constexpr QStringView kChannelKey = u"LameChannel";
constexpr QStringView kFrequencyKey = u"Freq";

// Strings were read into a buffer of 1024 wide characters, terminator included.
constexpr qsizetype kMaxStringLength = 1023;

template <typename Table> bool IsIndexOf(int index, const Table& table) {
    return index >= 0 && static_cast<std::size_t>(index) < table.size();
}

// The Options dialog offers only valid values, but a hand-edited or damaged
// file would otherwise index past the tables or divide by a zero speed later.
void BringIntoRange(ConversionSettings& settings) {
    const ConversionSettings defaults;
    if (settings.sameAsSource != 0 && settings.sameAsSource != 1) {
        settings.sameAsSource = defaults.sameAsSource;
    }
    if (settings.speedMode != SpeedModeResample && settings.speedMode != SpeedModeTempo) {
        settings.speedMode = defaults.speedMode;
    }
    if (settings.speedPercent < kMinSpeedPercent || settings.speedPercent > kMaxSpeedPercent) {
        settings.speedPercent = defaults.speedPercent;
    }
    if (!IsIndexOf(settings.bitrateIndex, kBitrateKbps)) {
        settings.bitrateIndex = defaults.bitrateIndex;
    }
    if (settings.channelMode < ChannelAutomatic || settings.channelMode > ChannelDual) {
        settings.channelMode = defaults.channelMode;
    }
    if (!IsIndexOf(settings.frequencyIndex, kSampleRateHz)) {
        settings.frequencyIndex = defaults.frequencyIndex;
    }
}

// The 16-bit fields keep the low 16 bits of what the file says.
int16_t ReadShort(const IniFile& file, QStringView section, QStringView key, int16_t fallback) {
    return static_cast<int16_t>(file.ReadInt(section, key, fallback));
}

void ReadSettings(const IniFile& file, const QString& defaultOutputFolder,
                  ConversionSettings& settings) {
    const ConversionSettings defaults;
    settings.sameAsSource = file.ReadInt(kOutputSection, kSameAsSourceKey, defaults.sameAsSource);
    settings.speedMode = ReadShort(file, kOutputSection, kSpeedModeKey, defaults.speedMode);
    settings.speedPercent = ReadShort(file, kOutputSection, kSpeedKey, defaults.speedPercent);
    settings.bitrateIndex = ReadShort(file, kMp3Section, kBitrateKey, defaults.bitrateIndex);
    settings.channelMode = ReadShort(file, kMp3Section, kChannelKey, defaults.channelMode);
    settings.frequencyIndex = ReadShort(file, kMp3Section, kFrequencyKey, defaults.frequencyIndex);
    settings.outputFolder = file.ReadString(kOutputSection, kOutputFolderKey, defaultOutputFolder)
                                .left(kMaxStringLength);
    settings.lastFolder =
        file.ReadString(kOutputSection, kLastFolderKey, QString()).left(kMaxStringLength);
    BringIntoRange(settings);
}

void WriteSettings(const ConversionSettings& settings, IniFile& file) {
    const QString output = kOutputSection.toString();
    const QString mp3 = kMp3Section.toString();
    file.WriteString(output, kSameAsSourceKey.toString(), QString::number(settings.sameAsSource));
    file.WriteString(output, kSpeedModeKey.toString(), QString::number(settings.speedMode));
    file.WriteString(output, kSpeedKey.toString(), QString::number(settings.speedPercent));
    file.WriteString(output, kOutputFolderKey.toString(), settings.outputFolder);
    file.WriteString(output, kLastFolderKey.toString(), settings.lastFolder);
    file.WriteString(mp3, kBitrateKey.toString(), QString::number(settings.bitrateIndex));
    file.WriteString(mp3, kChannelKey.toString(), QString::number(settings.channelMode));
    file.WriteString(mp3, kFrequencyKey.toString(), QString::number(settings.frequencyIndex));
}

QString ChannelText(int channelMode) {
    switch (channelMode) {
    case ChannelAutomatic:
        return u" Automatic Channel;"_s;
    case ChannelMono:
        return u" Mono;"_s;
    case ChannelStereo:
        return u" Stereo;"_s;
    case ChannelJointStereo:
        return u" Joint Stereo;"_s;
    case ChannelDual:
        return u" Dual Channel;"_s;
    default:
        return QString();
    }
}

} // namespace

StandardFolders StandardFolders::FromSystem() {
    StandardFolders folders;
    folders.music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    folders.desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    folders.home = QDir::homePath();
    folders.genericConfig = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    // Without an application object Qt only warns and has no path to give.
    if (QCoreApplication::instance() != nullptr) {
        folders.programFilePath = QCoreApplication::applicationFilePath();
    }
    return folders;
}

QString SettingsSummaryText(const ConversionSettings& settings) {
    const ConversionSettings defaults;
    const int bitrateIndex = IsIndexOf(settings.bitrateIndex, kBitrateKbps) ? settings.bitrateIndex
                                                                            : defaults.bitrateIndex;
    const int frequencyIndex = IsIndexOf(settings.frequencyIndex, kSampleRateHz)
                                   ? settings.frequencyIndex
                                   : defaults.frequencyIndex;
    const int kbps = kBitrateKbps[static_cast<std::size_t>(bitrateIndex)];

    QString text = u"  MP3:  "_s;
    if (frequencyIndex == 0) {
        text += QString::asprintf("CBR %3d kbps; Automatic Frequency;", kbps);
    } else {
        text += QString::asprintf("CBR %3d kbps; %5d Hz;", kbps,
                                  kSampleRateHz[static_cast<std::size_t>(frequencyIndex)]);
    }
    text += ChannelText(settings.channelMode);
    return text;
}

SettingsStore::SettingsStore(MessageSink* sink, StandardFolders folders)
    : m_sink(sink), m_folders(std::move(folders)) {}

QString SettingsStore::DefaultOutputFolder() const {
    if (!m_folders.music.isEmpty()) {
        return m_folders.music + u'/';
    }
    if (!m_folders.desktop.isEmpty()) {
        return m_folders.desktop + u'/';
    }
    // QDir::homePath falls back to the root folder, so some folder is always named.
    return (m_folders.home.isEmpty() ? QDir::homePath() : m_folders.home) + u'/';
}

QString SettingsStore::ConfigFilePath() const {
    return settingsFolder + u"/Config.ini"_s;
}

void SettingsStore::InitSettingsPaths() {
    const QString& program = m_folders.programFilePath;
    const qsizetype lastSeparator = program.lastIndexOf(u'/');
    programFolder = lastSeparator >= 0 ? program.left(lastSeparator) : QString();

    settings.outputFolder = DefaultOutputFolder();

    // Qt always names a configuration folder; an injected empty one still must
    // not put the settings at the root of the file system.
    const QString config =
        m_folders.genericConfig.isEmpty()
            ? (m_folders.home.isEmpty() ? QDir::homePath() : m_folders.home) + u"/.config"_s
            : m_folders.genericConfig;
    settingsFolder = config + u"/Zorvane"_s;

    if (!QFileInfo(settingsFolder).isDir() && CreateFolderPath(settingsFolder) != 1) {
        ShowMessage(u"Fail to create folder %1 !!"_s.arg(settingsFolder));
    }

    const QString path = ConfigFilePath();
    if (QFileInfo::exists(path)) {
        LoadSettings();
        return;
    }
    // The empty file marks that the first start has happened. When it cannot be
    // created the defaults serve just as well, and the save at close reports
    // the trouble.
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.close();
    }
}

int SettingsStore::LoadSettings() {
    IniFile file;
    QString reason;
    if (!file.Load(ConfigFilePath(), &reason)) {
        m_lastErrorReason = reason;
        ShowError(u"An Error Occurred while loading settings!"_s);
        return 0;
    }
    ReadSettings(file, DefaultOutputFolder(), settings);
    return 1;
}

int SettingsStore::SaveSettings(const QString& currentTreeFolder) {
    settings.lastFolder = currentTreeFolder;
    const QString path = ConfigFilePath();
    // Read first, so that whatever else the file holds survives the save.
    IniFile file;
    QString reason;
    if (!file.Load(path, &reason)) {
        m_lastErrorReason = reason;
        ShowError(u"An error occurred while saving settings!"_s);
        return 0;
    }
    WriteSettings(settings, file);
    if (!file.Save(path, &reason)) {
        m_lastErrorReason = reason;
        ShowError(u"An error occurred while saving settings!"_s);
        return 0;
    }
    return 1;
}

void SettingsStore::ResetSettings() {
    QFile::remove(ConfigFilePath());
    // Read from an empty file rather than from disk: a file that could not be
    // deleted must not bring the old values back.
    ReadSettings(IniFile(), DefaultOutputFolder(), settings);
}

QString SettingsStore::SettingsSummaryText() const {
    return zorvane::SettingsSummaryText(settings);
}

void SettingsStore::ShowError(const QString& text) const {
    if (m_sink != nullptr) {
        m_sink->ShowError(text);
    }
}

void SettingsStore::ShowMessage(const QString& text) const {
    if (m_sink != nullptr) {
        m_sink->ShowMessage(text);
    }
}

} // namespace zorvane
