#include "FolderCreation.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>

namespace zorvane {

namespace {

// Why a folder could not be made, for the log: what stands nearest to it on
// disk decides. QDir::mkpath keeps its own reason to itself, but the errno of
// its last mkdir is still there when nothing on the way is in the way.
int FailureReason(const QString& path, int lastError) {
    for (QFileInfo step(path);; step = QFileInfo(step.path())) {
        if (step.exists()) {
            // A file where a folder should be: mkdir would say "File exists".
            return step.isDir() ? (lastError != 0 ? lastError : EACCES) : ENOTDIR;
        }
        if (step.path() == step.filePath()) {
            return ENOENT;
        }
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
    errno = 0;
    if (QDir().mkpath(path)) {
        return 1;
    }
    why = FailureReason(path, errno);
    return 0;
}

} // namespace zorvane
