#include "IniFile.h"

#include "platform/DisplayText.h"
#include "platform/LeadingNumber.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstdint>

namespace zorvane {

namespace {

constexpr QChar kByteOrderMark(0xFEFF);

// Only blanks and tabs, as on Windows: a folder name may end in some other
// Unicode space and must come back with it.
bool IsBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

QStringView TrimBlanks(QStringView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsBlank(text.at(begin))) {
        ++begin;
    }
    while (end > begin && IsBlank(text.at(end - 1))) {
        --end;
    }
    return text.sliced(begin, end - begin);
}

// True when `line` opens a section; `name` then holds the section's name.
// A header without its closing bracket still opens a section, as on Windows.
bool ParseSectionHeader(QStringView line, QStringView& name) {
    const QStringView trimmed = TrimBlanks(line);
    if (!trimmed.startsWith(u'[')) {
        return false;
    }
    QStringView inner = trimmed.sliced(1);
    const qsizetype close = inner.indexOf(u']');
    if (close >= 0) {
        inner = inner.first(close);
    }
    name = TrimBlanks(inner);
    return true;
}

// True when `line` sets a key; `key` then holds the key's name. Comment lines
// never do, even when they contain an equals sign.
bool ParseKeyLine(QStringView line, QStringView& key) {
    const QStringView trimmed = TrimBlanks(line);
    if (trimmed.startsWith(u';')) {
        return false;
    }
    const qsizetype equals = trimmed.indexOf(u'=');
    if (equals < 0) {
        return false;
    }
    key = TrimBlanks(trimmed.first(equals));
    return true;
}

bool SameName(QStringView a, QStringView b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Sets *error, when asked for, to "<path>: <what is wrong>".
bool Fail(QString* error, const QString& path, const QString& reason) {
    if (error != nullptr) {
        *error = EscapedForDisplay(path) + QLatin1String(": ") + reason;
    }
    return false;
}

// Why `info`, which exists, is no file to read or replace; empty when it is one.
QString NotRegularReason(const QFileInfo& info) {
    if (info.isFile()) {
        return QString();
    }
    if (info.isDir()) {
        return QStringLiteral("a folder, not a file");
    }
    return QStringLiteral("not a regular file (a device, FIFO or socket)");
}

} // namespace

bool IniFile::Load(const QString& path, QString* error) {
    const QFileInfo info(path);
    if (!info.exists()) {
        SetText(QString());
        return true;
    }
    if (const QString reason = NotRegularReason(info); !reason.isEmpty()) {
        return Fail(error, path, reason);
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return Fail(error, path, file.errorString());
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        return Fail(error, path, file.errorString());
    }
    // QString::fromUtf8 drops the mark silently, so look for it in the bytes.
    const bool byteOrderMark = bytes.startsWith("\xEF\xBB\xBF");
    SetText(QString::fromUtf8(byteOrderMark ? bytes.sliced(3) : bytes));
    m_byteOrderMark = m_byteOrderMark || byteOrderMark;
    return true;
}

bool IniFile::Save(const QString& path, QString* error) const {
    // QSaveFile would put a regular file in the place of a FIFO or a device.
    if (const QFileInfo info(path); info.exists()) {
        if (const QString reason = NotRegularReason(info); !reason.isEmpty()) {
            return Fail(error, path, reason);
        }
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return Fail(error, path, file.errorString());
    }
    const QByteArray bytes = Text().toUtf8();
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return Fail(error, path, reason);
    }
    if (!file.commit()) {
        return Fail(error, path, file.errorString());
    }
    return true;
}

void IniFile::SetText(const QString& text) {
    QStringView view(text);
    // A file that someone edited by hand keeps its mark and its line ends.
    m_byteOrderMark = view.startsWith(kByteOrderMark);
    if (m_byteOrderMark) {
        view = view.sliced(1);
    }
    const qsizetype firstBreak = view.indexOf(u'\n');
    m_crlf = firstBreak > 0 && view.at(firstBreak - 1) == u'\r';

    m_lines.clear();
    if (view.isEmpty()) {
        return;
    }
    const QList<QStringView> parts = view.split(u'\n');
    for (QStringView part : parts) {
        if (part.endsWith(u'\r')) {
            part.chop(1);
        }
        m_lines.append(part.toString());
    }
    // The break that ends the last line does not start another one.
    if (view.endsWith(u'\n')) {
        m_lines.removeLast();
    }
}

QString IniFile::Text() const {
    const QString lineEnd = m_crlf ? QStringLiteral("\r\n") : QStringLiteral("\n");
    QString text;
    if (m_byteOrderMark) {
        text += kByteOrderMark;
    }
    for (const QString& line : m_lines) {
        text += line;
        text += lineEnd;
    }
    return text;
}

qsizetype IniFile::FindKeyLine(QStringView section, QStringView key) const {
    // Windows looks through every section of that name, not only the first.
    bool inSection = false;
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        QStringView name;
        if (ParseSectionHeader(m_lines.at(i), name)) {
            inSection = SameName(name, section);
            continue;
        }
        QStringView lineKey;
        if (inSection && ParseKeyLine(m_lines.at(i), lineKey) && SameName(lineKey, key)) {
            return i;
        }
    }
    return -1;
}

QString IniFile::ReadString(QStringView section, QStringView key,
                            const QString& defaultValue) const {
    const qsizetype index = FindKeyLine(section, key);
    if (index < 0) {
        return defaultValue;
    }
    const QString& line = m_lines.at(index);
    return TrimBlanks(QStringView(line).sliced(line.indexOf(u'=') + 1)).toString();
}

int IniFile::ReadInt(QStringView section, QStringView key, int defaultValue) const {
    const QString text = ReadString(section, key, QString());
    if (text.isEmpty()) {
        return defaultValue;
    }
    return ReadLeadingNumber(text).Wrapped();
}

void IniFile::WriteString(const QString& section, const QString& key, const QString& value) {
    // A line break inside the value would turn its tail into a line of its own
    // that the next read takes for a key or a section.
    qsizetype cut = value.indexOf(u'\n');
    const qsizetype carriageReturn = value.indexOf(u'\r');
    if (carriageReturn >= 0 && (cut < 0 || carriageReturn < cut)) {
        cut = carriageReturn;
    }
    const QString line = key + u'=' + (cut < 0 ? value : value.left(cut));

    const qsizetype existing = FindKeyLine(section, key);
    if (existing >= 0) {
        m_lines[existing] = line;
        return;
    }

    qsizetype header = -1;
    for (qsizetype i = 0; i < m_lines.size() && header < 0; ++i) {
        QStringView name;
        if (ParseSectionHeader(m_lines.at(i), name) && SameName(name, section)) {
            header = i;
        }
    }
    if (header < 0) {
        m_lines.append(u'[' + section + u']');
        m_lines.append(line);
        return;
    }
    qsizetype end = header + 1;
    QStringView ignored;
    while (end < m_lines.size() && !ParseSectionHeader(m_lines.at(end), ignored)) {
        ++end;
    }
    // Blank lines that separate this section from the next stay below the new key.
    while (end > header + 1 && TrimBlanks(m_lines.at(end - 1)).isEmpty()) {
        --end;
    }
    m_lines.insert(end, line);
}

} // namespace zorvane
