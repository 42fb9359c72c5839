#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

namespace zorvane {

// A UTF-8 INI file read and written the way the Windows profile functions do
// it: names of sections and keys match without regard to case, a write touches
// only the one line it concerns, and every other line (comments, unknown keys,
// other sections, blank lines) is written back as it was. QSettings would
// reorder the file and escape non-ASCII text, so it cannot stand in here.
class IniFile {
public:
    // Reads the file at `path`. A missing file is an empty file, not an error;
    // false means the file exists but could not be read, and *error (when
    // given) then says why, naming the path. Only a regular file (or a link
    // to one) is opened: a FIFO would block the read for ever.
    bool Load(const QString& path, QString* error = nullptr);
    // Writes every line to `path` through a temporary file, so a failed write
    // never leaves a half-written settings file behind. A path that names
    // something other than a regular file is refused, not replaced.
    bool Save(const QString& path, QString* error = nullptr) const;

    // Replaces the content with `text`, as if it had been read from a file.
    void SetText(const QString& text);
    // The content as Save would write it.
    QString Text() const;
    const QStringList& Lines() const { return m_lines; }

    // The value of `key` in `section` with the blanks around it removed;
    // `defaultValue` when the key is missing.
    QString ReadString(QStringView section, QStringView key, const QString& defaultValue) const;
    // The value read as GetPrivateProfileInt reads it: leading blanks, an
    // optional sign, then decimal digits up to the first other character.
    // A value without digits is 0; a missing or empty value is `defaultValue`.
    int ReadInt(QStringView section, QStringView key, int defaultValue) const;
    // Replaces the key's line in its section, or adds the line after the last
    // line of the section; a missing section is added at the end of the file.
    void WriteString(const QString& section, const QString& key, const QString& value);

private:
    // Index of the first line that sets `key` in any section named `section`,
    // or -1.
    qsizetype FindKeyLine(QStringView section, QStringView key) const;

    QStringList m_lines;
    bool m_crlf = false;
    bool m_byteOrderMark = false;
};

} // namespace zorvane
