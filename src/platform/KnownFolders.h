#pragma once

#include <QString>

namespace zorvane {

enum class SpecialFolder { Music, Desktop, Documents, Home, ComputerRoot };

// The user's special folders, as the folder tree and the default output
// folder need them. Paths are absolute and carry no trailing separator,
// except the computer root, which is the file-system root itself.
struct SpecialFolders {
    QString music;
    QString desktop;
    QString documents;
    QString home;
    QString computerRoot;

    // Read from QStandardPaths each time: the XDG user folders can be moved
    // while the program runs, and tests redirect HOME before calling this.
    static SpecialFolders FromSystem();
    QString Path(SpecialFolder folder) const;
};

QString SpecialFolderPath(SpecialFolder folder);

} // namespace zorvane
