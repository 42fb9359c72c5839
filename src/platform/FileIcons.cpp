#include "FileIcons.h"

#include <QFileIconProvider>
#include <QFileInfo>
#include <QMimeDatabase>

namespace zorvane {

using namespace Qt::Literals::StringLiterals;

namespace {

QMimeType MimeTypeOf(const QString& path) {
    const QMimeDatabase database;
    const QFileInfo info(path);
    return info.exists() ? database.mimeTypeForFile(info)
                         : database.mimeTypeForFile(path, QMimeDatabase::MatchExtension);
}

QIcon Themed(const QString& name, const QIcon& fallback) {
    return QIcon::hasThemeIcon(name) ? QIcon::fromTheme(name) : fallback;
}

QIcon Provided(QAbstractFileIconProvider::IconType type) {
    return QFileIconProvider().icon(type);
}

} // namespace

QString IconNameForPath(const QString& path) {
    return MimeTypeOf(path).iconName();
}

QIcon FileIcons::ForPath(const QString& path) const {
    const QMimeType mime = MimeTypeOf(path);
    const QFileInfo info(path);
    const QIcon fallback = info.exists() ? QFileIconProvider().icon(info)
                                         : Provided(mime.inherits(u"inode/directory"_s)
                                                        ? QAbstractFileIconProvider::Folder
                                                        : QAbstractFileIconProvider::File);
    return Themed(mime.iconName(), Themed(mime.genericIconName(), fallback));
}

QIcon FileIcons::OpenForPath(const QString& path) const {
    if (!QFileInfo(path).isDir()) {
        return ForPath(path);
    }
    return Themed(u"folder-open"_s, ForPath(path));
}

QIcon FileIcons::ForVolume(VolumeKind kind) const {
    switch (kind) {
    case VolumeKind::Removable:
        return Themed(u"drive-removable-media"_s, Provided(QAbstractFileIconProvider::Drive));
    case VolumeKind::Network:
        return Themed(u"folder-remote"_s, Provided(QAbstractFileIconProvider::Network));
    case VolumeKind::Optical:
        return Themed(u"media-optical"_s, Provided(QAbstractFileIconProvider::Drive));
    case VolumeKind::Fixed:
    case VolumeKind::RamDisk:
        break;
    }
    return Themed(u"drive-harddisk"_s, Provided(QAbstractFileIconProvider::Drive));
}

QIcon FileIcons::ForSpecialFolder(SpecialFolder folder) const {
    switch (folder) {
    case SpecialFolder::Music:
        return Themed(u"folder-music"_s, Provided(QAbstractFileIconProvider::Folder));
    case SpecialFolder::Desktop:
        return Themed(u"user-desktop"_s, Provided(QAbstractFileIconProvider::Desktop));
    case SpecialFolder::Documents:
        return Themed(u"folder-documents"_s, Provided(QAbstractFileIconProvider::Folder));
    case SpecialFolder::Home:
        return Themed(u"user-home"_s, Provided(QAbstractFileIconProvider::Folder));
    case SpecialFolder::ComputerRoot:
        break;
    }
    return Themed(u"computer"_s, Provided(QAbstractFileIconProvider::Computer));
}

QIcon FileIcons::ForNetwork() const {
    return Themed(u"network-workgroup"_s, Provided(QAbstractFileIconProvider::Network));
}

} // namespace zorvane
