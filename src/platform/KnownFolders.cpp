#include "KnownFolders.h"

#include <QDir>
#include <QStandardPaths>

namespace zorvane {

namespace {

QString Location(QStandardPaths::StandardLocation location) {
    const QString path = QStandardPaths::writableLocation(location);
    // An empty answer means "unknown"; cleanPath would turn it into ".",
    // which names the working folder instead.
    return path.isEmpty() ? path : QDir::cleanPath(path);
}

} // namespace

SpecialFolders SpecialFolders::FromSystem() {
    SpecialFolders folders;
    folders.music = Location(QStandardPaths::MusicLocation);
    folders.desktop = Location(QStandardPaths::DesktopLocation);
    folders.documents = Location(QStandardPaths::DocumentsLocation);
    folders.home = Location(QStandardPaths::HomeLocation);
    folders.computerRoot = QDir::rootPath();
    return folders;
}

QString SpecialFolders::Path(SpecialFolder folder) const {
    switch (folder) {
    case SpecialFolder::Music:
        return music;
    case SpecialFolder::Desktop:
        return desktop;
    case SpecialFolder::Documents:
        return documents;
    case SpecialFolder::Home:
        return home;
    case SpecialFolder::ComputerRoot:
        return computerRoot;
    }
    return {};
}

QString SpecialFolderPath(SpecialFolder folder) {
    return SpecialFolders::FromSystem().Path(folder);
}

} // namespace zorvane
