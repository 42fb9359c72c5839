#pragma once

#include "platform/KnownFolders.h"
#include "platform/Volumes.h"

#include <QIcon>
#include <QString>

namespace zorvane {

// The freedesktop icon name for a file's MIME type ("audio-mpeg",
// "inode-directory"), found from its name and, when it exists, its content.
QString IconNameForPath(const QString& path);

// Icons of the desktop's icon theme, with Qt's own file, folder and drive
// icons where the theme has none (as without any theme, in tests).
class FileIcons {
public:
    virtual ~FileIcons() = default;
    virtual QIcon ForPath(const QString& path) const;
    // The icon of a selected, expanded folder; a file's icon does not change.
    virtual QIcon OpenForPath(const QString& path) const;
    virtual QIcon ForVolume(VolumeKind kind) const;
    virtual QIcon ForSpecialFolder(SpecialFolder folder) const;
    virtual QIcon ForNetwork() const;
};

} // namespace zorvane
