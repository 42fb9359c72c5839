#include "FileActions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#if defined(Q_OS_LINUX)
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#endif

namespace zorvane {

namespace {

// lstat-like: a dangling symbolic link still occupies its name.
bool NameTaken(const QString& path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

#if defined(Q_OS_LINUX)
bool SameFile(const QByteArray& a, const QByteArray& b) {
    struct stat first {};
    struct stat second {};
    return ::lstat(a.constData(), &first) == 0 && ::lstat(b.constData(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}
#endif

} // namespace

bool MoveToTrash(const QString& path, QString* pathInTrash) {
    if (path.isEmpty() || !NameTaken(path)) {
        return false;
    }
    QString trashed;
    const bool moved = QFile::moveToTrash(path, &trashed);
    if (moved && pathInTrash != nullptr) {
        *pathInTrash = trashed;
    }
    return moved;
}

bool DeletePermanently(const QString& path) {
    if (path.isEmpty()) {
        return false;
    }
    const QFileInfo info(path);
    // Checked before isDir(): isDir() follows links, and removeRecursively()
    // on a link to a folder would empty the folder it points to.
    if (info.isSymLink()) {
        return QFile::remove(path);
    }
    if (info.isDir()) {
        return QDir(path).removeRecursively();
    }
    return info.exists() && QFile::remove(path);
}

bool RenameWithoutOverwrite(const QString& from, const QString& to) {
    if (from.isEmpty() || to.isEmpty() || !NameTaken(from)) {
        return false;
    }
#if defined(Q_OS_LINUX)
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    // The kernel refuses an existing target atomically, so a file that appears
    // between a check and the rename cannot be overwritten.
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) ==
        0) {
        return true;
    }
    if (errno == EEXIST) {
        // On vfat and similar, "Song.mp3" exists as "song.mp3" itself. Hard
        // links also share an inode, which is why the names must match up to
        // case: renaming one link onto another would silently do nothing.
        return from != to && from.compare(to, Qt::CaseInsensitive) == 0 &&
               SameFile(source, target) && std::rename(source.constData(), target.constData()) == 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    // File systems without RENAME_NOREPLACE (some FUSE mounts): check, then
    // rename; the window between the two is as small as it can be here.
    return !NameTaken(to) && std::rename(source.constData(), target.constData()) == 0;
#else
    if (NameTaken(to) && QFileInfo(from) != QFileInfo(to)) {
        return false;
    }
    return QFileInfo(from).isDir() ? QDir().rename(from, to) : QFile::rename(from, to);
#endif
}

bool DiskFileActions::MoveToTrash(const QString& path) {
    return zorvane::MoveToTrash(path);
}

bool DiskFileActions::DeletePermanently(const QString& path) {
    return zorvane::DeletePermanently(path);
}

bool DiskFileActions::Rename(const QString& from, const QString& to) {
    return zorvane::RenameWithoutOverwrite(from, to);
}

} // namespace zorvane
