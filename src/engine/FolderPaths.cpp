#include "FolderPaths.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <sys/stat.h>
#include <sys/types.h>

namespace zorvane {

namespace {

enum class MakeResult { Created, Exists, ParentMissing, Failed };

MakeResult MakeOneFolder(const QString& path) {
    if (::mkdir(QFile::encodeName(path).constData(), 0777) == 0) {
        return MakeResult::Created;
    }
    switch (errno) {
    case EEXIST:
        return MakeResult::Exists;
    case ENOENT:
        return MakeResult::ParentMissing;
    default:
        return MakeResult::Failed;
    }
}

bool IsSeparator(QChar c) {
    return c == u'/' || c == u'\\';
}

} // namespace

int CreateFolderPath(const QString& path) {
    if (path.isEmpty()) {
        return 0;
    }
    QString full = path;
    // A trailing separator names the same folder; without it the cut positions
    // below always fall between two names.
    while (full.size() > 1 && IsSeparator(full.back())) {
        full.chop(1);
    }
    // Walk back to the nearest ancestor that can be created, then forward again,
    // creating one level at a time.
    qsizetype cut = full.size();
    for (;;) {
        const MakeResult result = MakeOneFolder(full.left(cut));
        if (result == MakeResult::ParentMissing) {
            qsizetype pos = cut - 1;
            while (pos > 0 && !IsSeparator(full.at(pos))) {
                --pos;
            }
            if (pos <= 0) {
                return 0;
            }
            cut = pos;
            continue;
        }
        if (result == MakeResult::Failed) {
            return 0;
        }
        if (cut == full.size()) {
            // "Already exists" is also what mkdir says for a plain file.
            return QFileInfo(full).isDir() ? 1 : 0;
        }
        qsizetype next = cut + 1;
        while (next < full.size() && !IsSeparator(full.at(next))) {
            ++next;
        }
        cut = next;
    }
}

QString UniqueDestinationPath(const QString& path) {
    qsizetype lastSep = -1;
    for (qsizetype i = path.size() - 1; i >= 0; --i) {
        if (IsSeparator(path.at(i))) {
            lastSep = i;
            break;
        }
    }
    const qsizetype dot = path.lastIndexOf(u'.');
    const bool hasExtension = dot > lastSep;
    const QString stem = hasExtension ? path.left(dot) : path;
    const QString extension = hasExtension ? path.mid(dot) : QString();
    for (int n = 2;; ++n) {
        const QString candidate =
            QStringLiteral("%1 (%2)%3").arg(stem, QString::number(n), extension);
        if (!QFileInfo::exists(candidate)) {
            return candidate;
        }
    }
}

QString FolderOfPath(const QString& path) {
    for (qsizetype i = path.size() - 1; i >= 0; --i) {
        if (IsSeparator(path.at(i))) {
            return i == 0 ? path.left(1) : path.left(i);
        }
    }
    return QString();
}

} // namespace zorvane
