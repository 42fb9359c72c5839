#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace zorvane {

// The values are the bits by which the folder tree hides kinds of drives, so
// a kind can be tested against that mask directly.
enum class VolumeKind : int {
    Removable = 0x1,
    Fixed = 0x2,
    Network = 0x4,
    Optical = 0x10,
    RamDisk = 0x20,
};

struct Volume {
    QString rootPath;       // the mount point, "/" or "/media/user/STICK"
    QString device;         // "/dev/sdb1", "//server/share", "server:/export"
    QString fileSystemType; // "ext4", "vfat", "cifs", "fuse.sshfs" ...
    QString label;          // the volume label; may be empty
    VolumeKind kind = VolumeKind::Fixed;
    bool ready = false; // mounted and readable: the media is there
    bool readOnly = false;

    // What the tree shows: "Label (/media/user/STICK)", or the mount point
    // alone when the volume has no label.
    QString DisplayName() const;
};

// Decides the kind from the mount's device and file-system type. `sysRoot`
// is where sysfs is mounted; tests pass a folder of their own.
VolumeKind ClassifyVolume(const QString& device, const QString& fileSystemType,
                          const QString& sysRoot = QStringLiteral("/sys"));
bool IsNetworkFileSystem(const QString& fileSystemType);

// Mounted volumes that hold user files, sorted by mount point. Kernel and
// scratch mounts (proc, sysfs, cgroup, tmpfs, squashfs images ...) are left
// out: they are not places anyone keeps music.
QList<Volume> MountedVolumes(const QString& sysRoot = QStringLiteral("/sys"));
QList<Volume> NetworkVolumes(const QString& sysRoot = QStringLiteral("/sys"));
// The volume whose file system holds `path`; empty when the path is invalid.
std::optional<Volume> VolumeOfPath(const QString& path,
                                   const QString& sysRoot = QStringLiteral("/sys"));
// True when `path` is the mount point of a mounted volume: what a drive root
// such as C:\ is elsewhere.
bool IsMountPoint(const QString& path);

// The folders that Samba shares for the user (net usershare), read from its
// usershare folder. Each share is one file with a "path=" line.
QStringList
SharedFolders(const QString& usershareFolder = QStringLiteral("/var/lib/samba/usershares"));
bool IsSharedFolder(const QString& path, const QStringList& sharedFolders);

// Lists volumes for the folder tree, so tree tests can hand in drives of
// their own.
class VolumeSource {
public:
    virtual ~VolumeSource() = default;
    virtual QList<Volume> Volumes() = 0;
};

class SystemVolumeSource final : public VolumeSource {
public:
    QList<Volume> Volumes() override { return MountedVolumes(); }
};

} // namespace zorvane
