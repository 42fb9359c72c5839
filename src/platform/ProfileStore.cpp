#include "ProfileStore.h"

#include <QSettings>
#include <QtEndian>

namespace zorvane {

namespace {

QString Key(const QString& section, const QString& entry) {
    return section.isEmpty() ? entry : section + u'/' + entry;
}

} // namespace

std::unique_ptr<QSettings> OpenUserSettings() {
    return std::make_unique<QSettings>(QString::fromUtf16(ProfileStore::kOrganization),
                                       QString::fromUtf16(ProfileStore::kApplication));
}

ProfileStore::ProfileStore() : m_settings(OpenUserSettings()) {}

ProfileStore::ProfileStore(const QString& iniFilePath)
    : m_settings(std::make_unique<QSettings>(iniFilePath, QSettings::IniFormat)) {}

ProfileStore::~ProfileStore() = default;

int ProfileStore::ReadInt(const QString& section, const QString& entry, int defaultValue) const {
    bool ok = false;
    const int value = m_settings->value(Key(section, entry)).toInt(&ok);
    return ok ? value : defaultValue;
}

void ProfileStore::WriteInt(const QString& section, const QString& entry, int value) {
    m_settings->setValue(Key(section, entry), value);
}

QString ProfileStore::ReadString(const QString& section, const QString& entry,
                                 const QString& defaultValue) const {
    const QVariant value = m_settings->value(Key(section, entry));
    return value.isValid() ? value.toString() : defaultValue;
}

void ProfileStore::WriteString(const QString& section, const QString& entry, const QString& value) {
    m_settings->setValue(Key(section, entry), value);
}

std::optional<QByteArray> ProfileStore::ReadBinary(const QString& section,
                                                   const QString& entry) const {
    const QVariant value = m_settings->value(Key(section, entry));
    // A hand-edited text value is not a record; reading it as one would hand
    // its UTF-8 bytes to a parser that expects a fixed layout.
    if (value.typeId() != QMetaType::QByteArray) {
        return std::nullopt;
    }
    return value.toByteArray();
}

void ProfileStore::WriteBinary(const QString& section, const QString& entry,
                               const QByteArray& value) {
    m_settings->setValue(Key(section, entry), value);
}

void ProfileStore::Remove(const QString& section, const QString& entry) {
    m_settings->remove(Key(section, entry));
}

bool ProfileStore::Flush() {
    m_settings->sync();
    return m_settings->status() == QSettings::NoError;
}

QString ProfileStore::FilePath() const {
    return m_settings->fileName();
}

QByteArray PackInt32LittleEndian(const QList<qint32>& values) {
    QByteArray bytes(values.size() * 4, '\0');
    char* out = bytes.data();
    for (const qint32 value : values) {
        qToLittleEndian(value, out);
        out += 4;
    }
    return bytes;
}

std::optional<QList<qint32>> UnpackInt32LittleEndian(const QByteArray& bytes, qsizetype count) {
    if (count < 0 || bytes.size() != count * 4) {
        return std::nullopt;
    }
    QList<qint32> values;
    values.reserve(count);
    for (qsizetype i = 0; i < count; ++i) {
        values.append(qFromLittleEndian<qint32>(bytes.constData() + i * 4));
    }
    return values;
}

} // namespace zorvane
