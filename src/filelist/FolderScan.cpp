#include "FolderScan.h"

#include "platform/DisplayText.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>
#include <vector>

namespace zorvane {

namespace {

// The names of a folder's entries as bytes, sorted. QDir would hand over
// names that are not valid UTF-8 already decoded with replacement
// characters, under which the file cannot be found again.
std::vector<QByteArray> SortedNames(const QString& folder) {
    std::vector<QByteArray> names;
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir) {
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

bool HasMp3ExtensionBytes(const QByteArray& name) {
    return name.size() >= 4 && name.right(4).toLower() == ".mp3";
}

bool IsFolderNotLink(const QByteArray& path) {
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Length of the well-formed UTF-8 sequence at bytes[i], or 0 (Unicode's
// table: no overlong forms, no surrogates, nothing above U+10FFFF).
int Utf8SequenceLength(const QByteArray& bytes, qsizetype i) {
    const auto at = [&](qsizetype k) { return k < bytes.size() ? uchar(bytes[k]) : 0u; };
    const unsigned lead = at(i);
    auto inRange = [&](qsizetype k, unsigned lo, unsigned hi) {
        return at(k) >= lo && at(k) <= hi;
    };
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        return inRange(i + 1, 0x80, 0xBF) ? 2 : 0;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        const unsigned lo = lead == 0xE0 ? 0xA0 : 0x80;
        const unsigned hi = lead == 0xED ? 0x9F : 0xBF;
        return inRange(i + 1, lo, hi) && inRange(i + 2, 0x80, 0xBF) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        const unsigned lo = lead == 0xF0 ? 0x90 : 0x80;
        const unsigned hi = lead == 0xF4 ? 0x8F : 0xBF;
        return inRange(i + 1, lo, hi) && inRange(i + 2, 0x80, 0xBF) && inRange(i + 3, 0x80, 0xBF)
                   ? 4
                   : 0;
    }
    return 0;
}

} // namespace

bool HasMp3Extension(const QString& fileName) {
    const qsizetype dot = fileName.lastIndexOf(u'.');
    return dot >= 0 && fileName.mid(dot + 1).compare(u"mp3", Qt::CaseInsensitive) == 0;
}

bool IsRepresentableName(const QByteArray& bytes) {
    return QFile::encodeName(QFile::decodeName(bytes)) == bytes;
}

QString EscapedNameBytes(const QByteArray& bytes) {
    QString text;
    text.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size();) {
        const int length = Utf8SequenceLength(bytes, i);
        if (length == 0) {
            text += QString::asprintf("\\x%02x", unsigned(uchar(bytes[i])));
            ++i;
        } else {
            text += QString::fromUtf8(bytes.constData() + i, length);
            i += length;
        }
    }
    return EscapedForDisplay(text);
}

bool ScanFolder(const QString& folder, bool recursive,
                const std::function<bool(const QFileInfo&)>& onFile,
                const std::function<void(const QFileInfo&)>& onNotRegular,
                const std::function<void(const QString&, bool)>& onBadName) {
    QString prefix = QDir::cleanPath(folder);
    if (!prefix.endsWith(u'/')) {
        prefix += u'/';
    }
    std::vector<QString> subfolders;
    for (const QByteArray& raw : SortedNames(folder)) {
        if (!IsRepresentableName(raw)) {
            const QByteArray path = QFile::encodeName(prefix) + raw;
            const bool isFolder = IsFolderNotLink(path);
            if (onBadName && (isFolder ? recursive : HasMp3ExtensionBytes(raw))) {
                onBadName(EscapedNameBytes(path), isFolder);
            }
            continue;
        }
        const QFileInfo entry(prefix + QFile::decodeName(raw));
        if (entry.isDir()) {
            if (recursive && !entry.isSymLink()) {
                subfolders.push_back(entry.filePath());
            }
            continue;
        }
        if (!HasMp3Extension(entry.fileName())) {
            continue;
        }
        // QFileInfo follows links: a link to a file is a file, a link to a
        // FIFO is not, and one that leads nowhere does not exist.
        if (entry.isFile()) {
            if (!onFile(entry)) {
                return false;
            }
        } else if (entry.exists() && onNotRegular) {
            onNotRegular(entry);
        }
    }
    for (const QString& sub : subfolders) {
        if (!ScanFolder(sub, true, onFile, onNotRegular, onBadName)) {
            return false;
        }
    }
    return true;
}

} // namespace zorvane
