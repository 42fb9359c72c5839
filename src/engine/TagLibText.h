#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <taglib/tbytevector.h>
#include <taglib/tstring.h>
#include <taglib/tstringlist.h>

namespace zorvane {

// Text and bytes between TagLib's types and Qt's, through UTF-8.

inline QString FromTagLib(const TagLib::String& text) {
    return QString::fromStdString(text.to8Bit(true));
}

inline QStringList FromTagLib(const TagLib::StringList& texts) {
    QStringList values;
    for (const TagLib::String& text : texts) {
        values << FromTagLib(text);
    }
    return values;
}

inline TagLib::String ToTagLib(const QString& text) {
    return TagLib::String(text.toUtf8().toStdString(), TagLib::String::UTF8);
}

inline TagLib::StringList ToTagLib(const QStringList& texts) {
    TagLib::StringList values;
    for (const QString& text : texts) {
        values.append(ToTagLib(text));
    }
    return values;
}

inline QByteArray ToQByteArray(const TagLib::ByteVector& bytes) {
    return QByteArray(bytes.data(), qsizetype(bytes.size()));
}

} // namespace zorvane
