#pragma once

#include "settings/ConversionSettings.h"

#include <QString>

namespace zorvane {

class MessageSink;

// The desktop folders that decide where the settings live and where output
// goes by default. Tests hand in folders of their own, so they never read or
// write the user's real configuration.
struct StandardFolders {
    QString music;
    QString desktop;
    QString home;
    QString genericConfig;   // the per-user configuration folder, ~/.config
    QString programFilePath; // full path of the running program

    // The folders of the user running the program.
    static StandardFolders FromSystem();
};

// The status-bar line that describes the encoder settings. Values outside
// their tables are shown as their defaults instead of being looked up.
QString SettingsSummaryText(const ConversionSettings& settings);

// Owns the conversion settings and their file, Config.ini in the user's
// configuration folder.
class SettingsStore {
public:
    explicit SettingsStore(MessageSink* sink = nullptr,
                           StandardFolders folders = StandardFolders::FromSystem());

    // Computes the program folder, the default output folder and the settings
    // folder, creates the settings folder when it is missing, and loads the
    // settings file, or creates it empty on the first start.
    void InitSettingsPaths();
    // Reads the settings file into `settings`. Returns 1 on success, 0 after
    // an error that has been shown through the sink.
    int LoadSettings();
    // Writes `settings` to the settings file, with `currentTreeFolder` as the
    // last folder. Returns 1 on success, 0 after an error that has been shown.
    int SaveSettings(const QString& currentTreeFolder);
    // Why the last load or save failed, naming the file ("<path>: not a
    // regular file ..."); empty when none failed. The message boxes keep their
    // fixed texts; the command-line tool prints this beside them.
    const QString& LastErrorReason() const { return m_lastErrorReason; }
    // Deletes the settings file and brings every setting back to its default.
    void ResetSettings();
    QString ConfigFilePath() const;
    QString SettingsSummaryText() const;

    MessageSink* Sink() const { return m_sink; }
    void SetSink(MessageSink* sink) { m_sink = sink; }
    const StandardFolders& Folders() const { return m_folders; }
    void SetFolders(const StandardFolders& folders) { m_folders = folders; }

    ConversionSettings settings;
    QString programFolder;  // folder of the program file, no trailing separator
    QString settingsFolder; // folder that holds Config.ini

private:
    QString m_lastErrorReason;
    QString DefaultOutputFolder() const;
    void ShowError(const QString& text) const;
    void ShowMessage(const QString& text) const;

    MessageSink* m_sink = nullptr;
    StandardFolders m_folders;
};

} // namespace zorvane
