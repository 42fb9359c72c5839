#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>
#include <optional>

class QSettings;

namespace zorvane {

// The per-user store of window placements, column layouts and other values
// that live outside Config.ini. On Linux it is the native INI file
// ~/.config/Quenlor Corporation/Zorvane.conf; each section is an INI group.
class ProfileStore {
public:
    static constexpr const char16_t* kOrganization = u"Quenlor Corporation";
    static constexpr const char16_t* kApplication = u"Zorvane";

    // The user's store, as named by the organization and application above.
    ProfileStore();
    // A store kept in the given INI file, so tests and tools can keep their
    // values away from the user's.
    explicit ProfileStore(const QString& iniFilePath);
    ~ProfileStore();
    ProfileStore(const ProfileStore&) = delete;
    ProfileStore& operator=(const ProfileStore&) = delete;

    int ReadInt(const QString& section, const QString& entry, int defaultValue) const;
    void WriteInt(const QString& section, const QString& entry, int value);
    QString ReadString(const QString& section, const QString& entry,
                       const QString& defaultValue = {}) const;
    void WriteString(const QString& section, const QString& entry, const QString& value);
    // Empty when the entry is missing or holds something other than bytes;
    // callers then keep their defaults, as they do for a record of the wrong
    // size.
    std::optional<QByteArray> ReadBinary(const QString& section, const QString& entry) const;
    void WriteBinary(const QString& section, const QString& entry, const QByteArray& value);
    void Remove(const QString& section, const QString& entry);

    // Writes pending changes to disk; false when the file could not be
    // written or is not a valid INI file.
    bool Flush();
    QString FilePath() const;
    QSettings& Settings() { return *m_settings; }

private:
    std::unique_ptr<QSettings> m_settings;
};

// A QSettings for the user's store, for code that wants Qt's own interface.
std::unique_ptr<QSettings> OpenUserSettings();

// Binary records in the store keep the little-endian layouts of the records
// they describe, whatever the byte order of the machine.
QByteArray PackInt32LittleEndian(const QList<qint32>& values);
// Empty unless the size is exactly 4 * count bytes.
std::optional<QList<qint32>> UnpackInt32LittleEndian(const QByteArray& bytes, qsizetype count);

} // namespace zorvane
