#include "Volumes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QStorageInfo>

#include <algorithm>

namespace zorvane {

using namespace Qt::Literals::StringLiterals;

namespace {

bool OneOf(const QString& value, std::initializer_list<QLatin1StringView> names) {
    return std::any_of(names.begin(), names.end(), [&](QLatin1StringView name) {
        return value.compare(name, Qt::CaseInsensitive) == 0;
    });
}

bool IsScratchOrKernelFileSystem(const QString& type) {
    return OneOf(
        type, {"proc"_L1,    "sysfs"_L1,      "devtmpfs"_L1, "devpts"_L1,      "cgroup"_L1,
               "cgroup2"_L1, "tmpfs"_L1,      "ramfs"_L1,    "mqueue"_L1,      "debugfs"_L1,
               "tracefs"_L1, "securityfs"_L1, "pstore"_L1,   "bpf"_L1,         "configfs"_L1,
               "fusectl"_L1, "hugetlbfs"_L1,  "autofs"_L1,   "binfmt_misc"_L1, "efivarfs"_L1,
               "nsfs"_L1,    "rpc_pipefs"_L1, "squashfs"_L1, "fuse.portal"_L1, "fuse.snapfuse"_L1});
}

bool IsUnder(const QString& path, QLatin1StringView folder) {
    return path.startsWith(folder) &&
           (path.size() == folder.size() || path.at(folder.size()) == u'/');
}

// The kernel's name of a block device: /dev/disk/by-label/STICK and
// /dev/mapper/secret resolve to sdb1 and dm-0.
QString BlockDeviceName(const QString& device) {
    if (!device.startsWith(u"/dev/")) {
        return {};
    }
    const QString canonical = QFileInfo(device).canonicalFilePath();
    return QFileInfo(canonical.isEmpty() ? device : canonical).fileName();
}

// The disk that holds a block device: sdb for sdb1, and for a mapped device
// (an encrypted stick) the disk below its single underlying device.
QString WholeDisk(const QString& name, const QString& sysRoot, int depth = 0) {
    const QString entry = sysRoot + u"/class/block/"_s + name;
    if (QFileInfo::exists(entry + u"/partition"_s)) {
        // sysfs lists a partition inside the folder of its disk.
        const QString canonical = QFileInfo(entry).canonicalFilePath();
        if (!canonical.isEmpty()) {
            return QFileInfo(canonical).dir().dirName();
        }
    }
    if (depth < 4) {
        const QStringList below =
            QDir(entry + u"/slaves"_s).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        if (below.size() == 1) {
            return WholeDisk(below.first(), sysRoot, depth + 1);
        }
    }
    return name;
}

bool DiskIsRemovable(const QString& disk, const QString& sysRoot) {
    QFile flag(sysRoot + u"/block/"_s + disk + u"/removable"_s);
    return flag.open(QIODevice::ReadOnly) && flag.readAll().trimmed() == "1";
}

Volume FromStorage(const QStorageInfo& storage, const QString& sysRoot) {
    Volume volume;
    volume.rootPath = storage.rootPath();
    volume.device = QString::fromLocal8Bit(storage.device());
    volume.fileSystemType = QString::fromLatin1(storage.fileSystemType());
    volume.label = storage.name();
    volume.kind = ClassifyVolume(volume.device, volume.fileSystemType, sysRoot);
    volume.ready = storage.isReady();
    volume.readOnly = storage.isReadOnly();
    return volume;
}

} // namespace

QString Volume::DisplayName() const {
    return label.isEmpty() ? rootPath : u"%1 (%2)"_s.arg(label, rootPath);
}

bool IsNetworkFileSystem(const QString& fileSystemType) {
    return OneOf(fileSystemType,
                 {"cifs"_L1, "smb3"_L1, "smbfs"_L1, "nfs"_L1, "nfs4"_L1, "ncpfs"_L1, "afs"_L1,
                  "ceph"_L1, "glusterfs"_L1, "fuse.glusterfs"_L1, "sshfs"_L1, "fuse.sshfs"_L1,
                  "gvfs"_L1, "fuse.gvfsd-fuse"_L1, "davfs"_L1, "fuse.davfs"_L1, "fuse.rclone"_L1,
                  "fuse.s3fs"_L1, "fuse.smbnetfs"_L1});
}

VolumeKind ClassifyVolume(const QString& device, const QString& fileSystemType,
                          const QString& sysRoot) {
    // Old sshfs mounts report the plain type "fuse" and name the host in the
    // device.
    if (IsNetworkFileSystem(fileSystemType) ||
        (fileSystemType == u"fuse" && device.startsWith(u"sshfs#"))) {
        return VolumeKind::Network;
    }
    if (OneOf(fileSystemType, {"iso9660"_L1, "udf"_L1})) {
        return VolumeKind::Optical;
    }
    if (OneOf(fileSystemType, {"tmpfs"_L1, "ramfs"_L1})) {
        return VolumeKind::RamDisk;
    }
    const QString name = BlockDeviceName(device);
    if (name.isEmpty()) {
        return VolumeKind::Fixed;
    }
    const QString disk = WholeDisk(name, sysRoot);
    if (disk.startsWith(u"sr")) {
        return VolumeKind::Optical;
    }
    if (disk.startsWith(u"zram") || disk.startsWith(u"ram")) {
        return VolumeKind::RamDisk;
    }
    return DiskIsRemovable(disk, sysRoot) ? VolumeKind::Removable : VolumeKind::Fixed;
}

QList<Volume> MountedVolumes(const QString& sysRoot) {
    // Keyed by mount point: of two mounts on one folder only the later one is
    // visible, and mountedVolumes() lists them in mount order.
    QMap<QString, Volume> byRoot;
    const QList<QStorageInfo> mounted = QStorageInfo::mountedVolumes();
    for (const QStorageInfo& storage : mounted) {
        const QString root = storage.rootPath();
        const QString type = QString::fromLatin1(storage.fileSystemType());
        if (root != u"/") {
            if (IsScratchOrKernelFileSystem(type)) {
                continue;
            }
            // gvfs keeps its network mounts below /run/user/<uid>.
            const bool systemFolder = IsUnder(root, "/proc"_L1) || IsUnder(root, "/sys"_L1) ||
                                      IsUnder(root, "/dev"_L1) || IsUnder(root, "/run"_L1);
            if (systemFolder && !IsNetworkFileSystem(type)) {
                continue;
            }
        }
        byRoot.insert(root, FromStorage(storage, sysRoot));
    }
    // QStorageInfo leaves out the root when it cannot read it in some
    // containers; the computer item must still reach "/".
    if (!byRoot.contains(QDir::rootPath())) {
        const QStorageInfo root = QStorageInfo::root();
        if (root.isValid()) {
            byRoot.insert(root.rootPath(), FromStorage(root, sysRoot));
        }
    }
    return byRoot.values();
}

QList<Volume> NetworkVolumes(const QString& sysRoot) {
    QList<Volume> network = MountedVolumes(sysRoot);
    network.removeIf([](const Volume& volume) { return volume.kind != VolumeKind::Network; });
    return network;
}

std::optional<Volume> VolumeOfPath(const QString& path, const QString& sysRoot) {
    if (path.isEmpty()) {
        return std::nullopt;
    }
    const QStorageInfo storage(path);
    if (!storage.isValid()) {
        return std::nullopt;
    }
    return FromStorage(storage, sysRoot);
}

bool IsMountPoint(const QString& path) {
    if (path.isEmpty()) {
        return false;
    }
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (canonical.isEmpty()) {
        return false;
    }
    const QStorageInfo storage(canonical);
    return storage.isValid() && storage.rootPath() == canonical;
}

QStringList SharedFolders(const QString& usershareFolder) {
    QStringList folders;
    const QDir dir(usershareFolder);
    const QStringList shares = dir.entryList(QDir::Files | QDir::Readable, QDir::Name);
    for (const QString& share : shares) {
        QFile file(dir.filePath(share));
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
            continue;
        }
        while (!file.atEnd()) {
            const QString line = QString::fromUtf8(file.readLine()).trimmed();
            if (line.startsWith(u"path=")) {
                const QString folder = line.mid(5).trimmed();
                if (!folder.isEmpty()) {
                    folders.append(QDir::cleanPath(folder));
                }
                break;
            }
        }
    }
    return folders;
}

bool IsSharedFolder(const QString& path, const QStringList& sharedFolders) {
    return !path.isEmpty() && sharedFolders.contains(QDir::cleanPath(path));
}

} // namespace zorvane
