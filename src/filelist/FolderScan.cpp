#include "FolderScan.h"

#include <QDir>

#include <algorithm>

namespace zorvane {

namespace {

QFileInfoList SortedEntries(const QString& folder, QDir::Filters filters) {
    QDir dir(folder);
    QFileInfoList entries = dir.entryInfoList(filters | QDir::Hidden | QDir::NoDotAndDotDot);
    std::sort(entries.begin(), entries.end(), [](const QFileInfo& a, const QFileInfo& b) {
        return a.fileName().toUtf8() < b.fileName().toUtf8();
    });
    return entries;
}

} // namespace

bool HasMp3Extension(const QString& fileName) {
    const qsizetype dot = fileName.lastIndexOf(u'.');
    return dot >= 0 && fileName.mid(dot + 1).compare(u"mp3", Qt::CaseInsensitive) == 0;
}

bool ScanFolder(const QString& folder, bool recursive,
                const std::function<bool(const QFileInfo&)>& onFile,
                const std::function<void(const QFileInfo&)>& onNotRegular) {
    // QDir::Files alone drops FIFOs and sockets but keeps a link to one, and
    // drops them silently; QDir::System brings them all in to be told apart.
    for (const QFileInfo& entry : SortedEntries(folder, QDir::Files | QDir::System)) {
        if (!HasMp3Extension(entry.fileName())) {
            continue;
        }
        if (entry.isFile()) {
            if (!onFile(entry)) {
                return false;
            }
        } else if (entry.exists() && onNotRegular) {
            onNotRegular(entry);
        }
    }
    if (!recursive) {
        return true;
    }
    for (const QFileInfo& sub : SortedEntries(folder, QDir::Dirs | QDir::NoSymLinks)) {
        if (!ScanFolder(sub.filePath(), true, onFile, onNotRegular)) {
            return false;
        }
    }
    return true;
}

} // namespace zorvane
