#include "OutputFile.h"

#include "FolderPaths.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zorvane {

namespace {

constexpr size_t kBufferBytes = 1 << 16;
constexpr int kCreateAttempts = 100;
constexpr int kCommitAttempts = 100000;
const char kTemporarySuffix[] = ".part";

QString RandomTag() {
    static const char16_t kAlphabet[] =
        u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString tag;
    for (int i = 0; i < 6; ++i) {
        tag += QChar(kAlphabet[QRandomGenerator::global()->bounded(62)]);
    }
    return tag;
}

// rename() that never replaces: 0, or the errno of the failure (EEXIST when
// the name is taken).
int RenameNoReplace(const QByteArray& from, const QByteArray& to) {
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
        return errno;
    }
    // File systems without the flag: a hard link never replaces either.
    if (::link(from.constData(), to.constData()) == 0) {
        ::unlink(from.constData());
        return 0;
    }
    if (errno == EEXIST || (errno != EPERM && errno != ENOTSUP && errno != ENOSYS)) {
        return errno;
    }
    // Neither (FAT, some FUSE file systems): look, then rename. Another
    // writer could slip in between; that is the most these file systems allow.
    struct stat st {};
    if (::lstat(to.constData(), &st) == 0) {
        return EEXIST;
    }
    return ::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
}

} // namespace

OutputFile::OutputFile(QString destinationPath, QString basePath)
    : destination(std::move(destinationPath)), base(std::move(basePath)) {
    if (base.isEmpty()) {
        base = destination;
    }
}

OutputFile::~OutputFile() {
    Discard();
}

QString OutputFile::TemporaryPathFor(const QString& destinationPath, const QString& unique) {
    const qsizetype slash = destinationPath.lastIndexOf(u'/');
    QString name = destinationPath.mid(slash + 1);
    const QString tail = u'.' + unique + QLatin1String(kTemporarySuffix);
    const int maxBytes = LongestNameInFolder(slash > 0 ? destinationPath.left(slash)
                                                       : destinationPath.left(slash + 1));
    while (name.size() > 1 && QFile::encodeName(u'.' + name + tail).size() > maxBytes) {
        name.chop(name.size() >= 2 && name.back().isLowSurrogate() ? 2 : 1);
    }
    return destinationPath.left(slash + 1) + u'.' + name + tail;
}

bool OutputFile::Fail(int errorNumber) {
    if (error == 0) {
        error = errorNumber != 0 ? errorNumber : EIO;
    }
    return false;
}

QString OutputFile::ErrorText() const {
    return qt_error_string(error);
}

bool OutputFile::Create() {
    for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
        const QString candidate = TemporaryPathFor(destination, RandomTag());
        // O_EXCL with O_CREAT also refuses a symbolic link at the name.
        fd = ::open(QFile::encodeName(candidate).constData(),
                    O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            temporary = candidate;
            buffer.resize(kBufferBytes);
            return true;
        }
        if (errno != EEXIST) {
            return Fail(errno);
        }
    }
    return Fail(EEXIST);
}

bool OutputFile::FlushBuffer() {
    size_t done = 0;
    while (done < used) {
        const ssize_t n = ::write(fd, buffer.data() + done, used - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            used = 0;
            return Fail(errno);
        }
        done += size_t(n);
    }
    used = 0;
    return true;
}

bool OutputFile::Flush() {
    if (error != 0 || fd < 0) {
        return Fail(EBADF);
    }
    return FlushBuffer();
}

bool OutputFile::Append(const void* data, size_t count) {
    if (error != 0 || fd < 0) {
        return Fail(EBADF);
    }
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (count > 0) {
        if (used == buffer.size() && !FlushBuffer()) {
            return false;
        }
        const size_t n = std::min(count, buffer.size() - used);
        std::memcpy(buffer.data() + used, bytes, n);
        used += n;
        bytes += n;
        count -= n;
        size += n;
    }
    return true;
}

bool OutputFile::WriteAt(uint64_t offset, const void* data, size_t count) {
    if (error != 0 || fd < 0) {
        return Fail(EBADF);
    }
    if (offset + count > size) {
        return Fail(EINVAL);
    }
    if (!FlushBuffer()) {
        return false;
    }
    const auto* bytes = static_cast<const unsigned char*>(data);
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::pwrite(fd, bytes + done, count - done, off_t(offset + done));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Fail(errno);
        }
        done += size_t(n);
    }
    return true;
}

bool OutputFile::Close() {
    if (fd < 0) {
        return Fail(EBADF);
    }
    bool ok = error == 0 && FlushBuffer();
    // Without the sync a crash or power cut after the rename could leave a
    // finished file's name on a file whose blocks never reached the disk.
    if (ok && ::fdatasync(fd) != 0 && errno != EINVAL) {
        ok = Fail(errno);
    }
    if (::close(fd) != 0 && ok && errno != EINTR) {
        ok = Fail(errno);
    }
    fd = -1;
    buffer.clear();
    buffer.shrink_to_fit();
    return ok && error == 0;
}

QString OutputFile::Commit() {
    if (fd >= 0 || temporary.isEmpty() || error != 0) {
        Fail(EBADF);
        return QString();
    }
    const QByteArray from = QFile::encodeName(temporary);
    QString candidate = destination;
    for (int n = 1; n < kCommitAttempts; ++n) {
        if (n > 1) {
            candidate = NumberedDestinationPath(base, n);
            if (candidate == destination) {
                continue;
            }
        }
        const int result = RenameNoReplace(from, QFile::encodeName(candidate));
        if (result == 0) {
            committed = true;
            return candidate;
        }
        if (result != EEXIST) {
            Fail(result);
            return QString();
        }
    }
    Fail(EEXIST);
    return QString();
}

void OutputFile::Discard() {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
    if (!committed && !temporary.isEmpty()) {
        ::unlink(QFile::encodeName(temporary).constData());
        temporary.clear();
    }
}

} // namespace zorvane
