#pragma once

#include "platform/Volumes.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace zorvane {

// The places a Linux desktop shows in a file manager's side pane, mapped once
// here so that the folder tree follows one layout:
//
//   Desktop                the desktop folder (XDG_DESKTOP_DIR); it holds
//     Home                 the home folder, in the role of the user profile
//     Computer             the mounted volumes a user keeps files on: the root
//                          file system, /home when separate, removable media
//                          and other disks, each named "Label (/mount/point)";
//                          never pseudo or scratch file systems
//     Network              the mounted network file systems (cifs, nfs,
//                          sshfs, gvfs and other FUSE network mounts)
//     <folders>            the desktop folder's own folders
//
// The documents folder has no item of its own, as on the newer shells. A
// name starting with "." is hidden; system, temporary and offline have no
// meaning here; compressed and encrypted come from the inode flags. Names
// are compared with letter case.
struct ShellPlaces {
    QString desktopPath;
    QString desktopName;
    QString homePath;
    QString homeName;
    QString documentsPath;
    QString documentsName;
    QString computerName;
    QString networkName;

    // Read from QStandardPaths each time: tests point HOME and the XDG
    // variables at folders of their own.
    static ShellPlaces FromSystem();
};

// The folders this machine shares, for the tree's share overlay: the Samba
// usershares. One process-wide instance serves every tree; the tree asks it
// to read the shares again on each reload.
class CShareEnumerator {
public:
    explicit CShareEnumerator(
        const QString& usershareFolder = QStringLiteral("/var/lib/samba/usershares"));
    virtual ~CShareEnumerator() = default;
    static CShareEnumerator& Instance();

    void RefreshShares();
    // Compared with letter case, as names are here.
    bool IsSharedPath(const QString& path) const;
    QStringList Shares() const { return m_shares; }

private:
    QString m_folder;
    QStringList m_shares;
};

// Where the folder tree gets its places, volumes and shared folders, so that
// tests can hand in their own.
class TreePlacesSource {
public:
    virtual ~TreePlacesSource() = default;
    virtual ShellPlaces Places();
    // Local volumes for the computer item (network mounts left out).
    virtual QList<Volume> Drives();
    virtual QList<Volume> NetworkMounts();
    // Folders shared with Samba usershares, for the share overlay; read
    // again (CShareEnumerator::RefreshShares) on each call.
    virtual QStringList SharedFolders();
};

// Folders as the kernel names them: paths and names are byte strings that
// need not be valid UTF-8. Every call acts on the exact bytes, so an item
// shown with Qt's file-name decoding still names the real file.
struct NativeEntry {
    QByteArray name;
    bool isDir = false; // a folder, or a link to one
    bool isLink = false;
};

// Reads a folder's entries but "." and "..". False when it cannot be read.
bool ReadNativeFolder(const QByteArray& path, std::vector<NativeEntry>& entries);
// Like ReadNativeFolder, but gives up after `timeoutMs` on a mount that does
// not answer (a dead network server), leaving a thread to finish the read.
bool ReadNativeFolderBounded(const QByteArray& path, std::vector<NativeEntry>& entries,
                             int timeoutMs);
// True when some entry satisfies `accept`; reading stops at the first.
bool AnyNativeEntry(const QByteArray& path, const std::function<bool(const NativeEntry&)>& accept);

bool NativeExists(const QByteArray& path);   // lstat: a dangling link exists
bool NativeIsFolder(const QByteArray& path); // stat: a link to a folder is one
bool NativeIsFile(const QByteArray& path);

enum InodeFlag : int { InodeCompressed = 0x1, InodeEncrypted = 0x2 };
// The compressed and encrypted inode flags (FS_IOC_GETFLAGS); 0 when the
// file system keeps none.
int ReadInodeFlags(const QByteArray& path);

// Renames without replacing anything (RENAME_NOREPLACE where the file system
// has it). Sets errno on failure.
bool NativeRename(const QByteArray& from, const QByteArray& to);
// Deletes a file, a link or a whole folder for good, never following links.
bool NativeDeletePermanently(const QByteArray& path);
// Moves an item into the freedesktop trash of its volume, keeping its exact
// name bytes in the trash record.
bool NativeMoveToTrash(const QByteArray& path);
bool NativeMakeFolder(const QByteArray& path);

// The file system's identifier (statvfs f_fsid), what a volume serial number
// is elsewhere; false when the volume cannot be read (no media).
bool ReadVolumeId(const QByteArray& root, quint64* id);

// The device and inode of a folder (links followed); false when unreadable.
bool NativeFolderIdentity(const QByteArray& path, quint64* device, quint64* inode);

// A path that QFile::encodeName gives back unchanged from its decoded form.
bool RoundTrips(const QByteArray& path);

} // namespace zorvane
