#include "ShellPlaces.h"

#include "platform/KnownFolders.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QUrl>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <memory>
#include <mutex>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <thread>
#include <unistd.h>

namespace zorvane {

using namespace Qt::Literals::StringLiterals;

ShellPlaces ShellPlaces::FromSystem() {
    const SpecialFolders folders = SpecialFolders::FromSystem();
    ShellPlaces places;
    places.desktopPath = folders.desktop;
    places.desktopName = u"Desktop"_s;
    places.homePath = folders.home;
    places.homeName = u"Home"_s;
    places.documentsPath = folders.documents;
    places.documentsName = u"Documents"_s;
    places.computerName = u"Computer"_s;
    places.networkName = u"Network"_s;
    return places;
}

ShellPlaces TreePlacesSource::Places() {
    return ShellPlaces::FromSystem();
}

QList<Volume> TreePlacesSource::Drives() {
    QList<Volume> drives = MountedVolumes();
    drives.removeIf([](const Volume& volume) { return volume.kind == VolumeKind::Network; });
    return drives;
}

QList<Volume> TreePlacesSource::NetworkMounts() {
    return NetworkVolumes();
}

QStringList TreePlacesSource::SharedFolders() {
    CShareEnumerator& shares = CShareEnumerator::Instance();
    shares.RefreshShares();
    return shares.Shares();
}

CShareEnumerator::CShareEnumerator(const QString& usershareFolder) : m_folder(usershareFolder) {
    RefreshShares();
}

CShareEnumerator& CShareEnumerator::Instance() {
    static CShareEnumerator instance;
    return instance;
}

void CShareEnumerator::RefreshShares() {
    m_shares = zorvane::SharedFolders(m_folder);
}

bool CShareEnumerator::IsSharedPath(const QString& path) const {
    return IsSharedFolder(path, m_shares);
}

namespace {

bool EntryIsDir(int dirFd, const dirent* entry, bool* isLink) {
    *isLink = entry->d_type == DT_LNK;
    if (entry->d_type == DT_DIR) {
        return true;
    }
    if (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN) {
        return false;
    }
    struct stat info {};
    if (entry->d_type == DT_UNKNOWN) {
        if (::fstatat(dirFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
            return false;
        }
        *isLink = S_ISLNK(info.st_mode);
        if (!*isLink) {
            return S_ISDIR(info.st_mode);
        }
    }
    return ::fstatat(dirFd, entry->d_name, &info, 0) == 0 && S_ISDIR(info.st_mode);
}

bool IsDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

// Calls `visit` for each entry until it returns false.
bool VisitFolder(const QByteArray& path, const std::function<bool(const NativeEntry&)>& visit) {
    DIR* dir = ::opendir(path.constData());
    if (dir == nullptr) {
        return false;
    }
    const int fd = ::dirfd(dir);
    NativeEntry item;
    while (const dirent* entry = ::readdir(dir)) {
        if (IsDotOrDotDot(entry->d_name)) {
            continue;
        }
        item.name = QByteArray(entry->d_name);
        item.isDir = EntryIsDir(fd, entry, &item.isLink);
        if (!visit(item)) {
            break;
        }
    }
    ::closedir(dir);
    return true;
}

QByteArray Joined(const QByteArray& folder, const QByteArray& name) {
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

bool DeleteAt(int parentFd, const char* name) {
    struct stat info {};
    if (::fstatat(parentFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        return ::unlinkat(parentFd, name, 0) == 0;
    }
    const int fd = ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        return false;
    }
    bool all = true;
    while (const dirent* entry = ::readdir(dir)) {
        if (!IsDotOrDotDot(entry->d_name)) {
            all = DeleteAt(fd, entry->d_name) && all;
        }
    }
    ::closedir(dir);
    return all && ::unlinkat(parentFd, name, AT_REMOVEDIR) == 0;
}

dev_t DeviceOf(const QByteArray& path) {
    struct stat info {};
    return ::lstat(path.constData(), &info) == 0 ? info.st_dev : dev_t(-1);
}

QByteArray AbsoluteNative(const QByteArray& path) {
    if (path.startsWith('/')) {
        return path;
    }
    return Joined(QFile::encodeName(QDir::currentPath()), path);
}

// The mount point holding `path`: the highest folder on its device.
QByteArray TopFolderOf(const QByteArray& path) {
    const dev_t device = DeviceOf(path);
    QByteArray top = path;
    while (top.size() > 1) {
        const qsizetype slash = top.lastIndexOf('/');
        const QByteArray parent = slash <= 0 ? QByteArray("/") : top.left(slash);
        if (DeviceOf(parent) != device) {
            break;
        }
        top = parent;
    }
    return top;
}

bool MakeFolders(const QByteArray& path, mode_t mode) {
    if (::mkdir(path.constData(), mode) == 0 || errno == EEXIST) {
        return NativeIsFolder(path);
    }
    if (errno != ENOENT) {
        return false;
    }
    const qsizetype slash = path.lastIndexOf('/');
    return slash > 0 && MakeFolders(path.left(slash), mode) &&
           (::mkdir(path.constData(), mode) == 0 || errno == EEXIST);
}

} // namespace

bool ReadNativeFolder(const QByteArray& path, std::vector<NativeEntry>& entries) {
    return VisitFolder(path, [&](const NativeEntry& entry) {
        entries.push_back(entry);
        return true;
    });
}

bool ReadNativeFolderBounded(const QByteArray& path, std::vector<NativeEntry>& entries,
                             int timeoutMs) {
    struct Shared {
        std::mutex lock;
        std::condition_variable done;
        bool finished = false;
        bool ok = false;
        std::vector<NativeEntry> entries;
    };
    auto shared = std::make_shared<Shared>();
    // Detached: a read stuck in the kernel on a dead server cannot be
    // interrupted, so it is left to end on its own while the window goes on.
    std::thread([shared, path] {
        std::vector<NativeEntry> read;
        const bool ok = ReadNativeFolder(path, read);
        const std::lock_guard guard(shared->lock);
        shared->entries = std::move(read);
        shared->ok = ok;
        shared->finished = true;
        shared->done.notify_all();
    }).detach();
    std::unique_lock wait(shared->lock);
    if (!shared->done.wait_for(wait, std::chrono::milliseconds(timeoutMs),
                               [&] { return shared->finished; })) {
        return false;
    }
    entries = std::move(shared->entries);
    return shared->ok;
}

bool AnyNativeEntry(const QByteArray& path, const std::function<bool(const NativeEntry&)>& accept) {
    bool found = false;
    VisitFolder(path, [&](const NativeEntry& entry) {
        found = accept(entry);
        return !found;
    });
    return found;
}

bool NativeExists(const QByteArray& path) {
    struct stat info {};
    return !path.isEmpty() && ::lstat(path.constData(), &info) == 0;
}

bool NativeIsFolder(const QByteArray& path) {
    struct stat info {};
    return !path.isEmpty() && ::stat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool NativeIsFile(const QByteArray& path) {
    struct stat info {};
    return !path.isEmpty() && ::stat(path.constData(), &info) == 0 && !S_ISDIR(info.st_mode);
}

int ReadInodeFlags(const QByteArray& path) {
    // O_NONBLOCK: opening a FIFO must not wait for a writer.
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    long flags = 0;
    const bool read = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    ::close(fd);
    if (!read) {
        return 0;
    }
    int result = 0;
    if ((flags & FS_COMPR_FL) != 0) {
        result |= InodeCompressed;
    }
    if ((flags & FS_ENCRYPT_FL) != 0) {
        result |= InodeEncrypted;
    }
    return result;
}

bool NativeRename(const QByteArray& from, const QByteArray& to) {
    if (from.isEmpty() || to.isEmpty()) {
        errno = EINVAL;
        return false;
    }
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    if (NativeExists(to)) {
        errno = EEXIST;
        return false;
    }
    return std::rename(from.constData(), to.constData()) == 0;
}

bool NativeDeletePermanently(const QByteArray& path) {
    return !path.isEmpty() && DeleteAt(AT_FDCWD, path.constData());
}

bool NativeMoveToTrash(const QByteArray& given) {
    if (!NativeExists(given)) {
        return false;
    }
    const QByteArray path = AbsoluteNative(given);
    const QByteArray dataHome =
        QFile::encodeName(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    QByteArray trash = dataHome + "/Trash";
    if (dataHome.isEmpty() || !MakeFolders(trash, 0700) || DeviceOf(trash) != DeviceOf(path)) {
        trash = Joined(TopFolderOf(path), ".Trash-" + QByteArray::number(::getuid()));
    }
    const QByteArray files = trash + "/files";
    const QByteArray info = trash + "/info";
    if (!MakeFolders(files, 0700) || !MakeFolders(info, 0700)) {
        return false;
    }
    QByteArray base = path.mid(path.lastIndexOf('/') + 1);
    for (int number = 1; number < 10000; ++number) {
        const QByteArray name = number == 1 ? base : base + '.' + QByteArray::number(number);
        const QByteArray record = info + '/' + name + ".trashinfo";
        const int fd = ::open(record.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            return false;
        }
        const QByteArray text =
            "[Trash Info]\nPath=" + path.toPercentEncoding("/") + "\nDeletionDate=" +
            QDateTime::currentDateTime().toString(Qt::ISODate).left(19).toLatin1() + '\n';
        const bool written = ::write(fd, text.constData(), size_t(text.size())) == text.size();
        ::close(fd);
        if (written && NativeRename(path, files + '/' + name)) {
            return true;
        }
        ::unlink(record.constData());
        if (!written || errno != EEXIST) {
            return false;
        }
    }
    return false;
}

bool NativeMakeFolder(const QByteArray& path) {
    return !path.isEmpty() && ::mkdir(path.constData(), 0777) == 0;
}

bool ReadVolumeId(const QByteArray& root, quint64* id) {
    struct statvfs info {};
    if (root.isEmpty() || ::statvfs(root.constData(), &info) != 0) {
        return false;
    }
    *id = quint64(info.f_fsid);
    return true;
}

bool NativeFolderIdentity(const QByteArray& path, quint64* device, quint64* inode) {
    struct stat info {};
    if (::stat(path.constData(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return false;
    }
    *device = quint64(info.st_dev);
    *inode = quint64(info.st_ino);
    return true;
}

bool RoundTrips(const QByteArray& path) {
    return QFile::encodeName(QFile::decodeName(path)) == path;
}

} // namespace zorvane
