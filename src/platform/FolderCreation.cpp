#include "FolderCreation.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <sys/stat.h>
#include <sys/types.h>

namespace zorvane {

namespace {

enum class MakeResult { Created, Exists, ParentMissing, Failed };

MakeResult MakeOneFolder(const QString& path, int* error) {
    if (::mkdir(QFile::encodeName(path).constData(), 0777) == 0) {
        return MakeResult::Created;
    }
    *error = errno;
    switch (errno) {
    case EEXIST:
        return MakeResult::Exists;
    case ENOENT:
        return MakeResult::ParentMissing;
    default:
        return MakeResult::Failed;
    }
}

} // namespace

int CreateFolderPath(const QString& path, int* error) {
    int ignored = 0;
    int& why = error != nullptr ? *error : ignored;
    why = 0;
    if (path.isEmpty()) {
        why = ENOENT;
        return 0;
    }
    QString full = path;
    // A trailing separator names the same folder; without it the cut positions
    // below always fall between two names.
    while (full.size() > 1 && full.back() == u'/') {
        full.chop(1);
    }
    // Walk back to the nearest ancestor that can be created, then forward again,
    // creating one level at a time.
    qsizetype cut = full.size();
    for (;;) {
        const MakeResult result = MakeOneFolder(full.left(cut), &why);
        if (result == MakeResult::ParentMissing) {
            const qsizetype pos = full.lastIndexOf(u'/', cut - 1);
            if (pos <= 0) {
                return 0; // why: ENOENT, from the last mkdir
            }
            cut = pos;
            continue;
        }
        if (result == MakeResult::Failed) {
            return 0;
        }
        if (result == MakeResult::Exists && !QFileInfo(full.left(cut)).isDir()) {
            why = ENOTDIR; // a file where a folder should be
            return 0;
        }
        if (cut == full.size()) {
            why = 0;
            return 1;
        }
        const qsizetype next = full.indexOf(u'/', cut + 1);
        cut = next < 0 ? full.size() : next;
    }
}

} // namespace zorvane
