#pragma once

#include <QIcon>
#include <QString>

namespace zorvane {

enum class ToolbarImage {
    AddFiles,
    AddFolder,
    AddFolderRecursive,
    Convert,
    Options,
    Download,
    Help,
    About
};

// The program's icon: the desktop theme's "zorvane" icon when installed, else our own SVG.
QIcon AppIcon();

// A toolbar image: the icon theme's standard icon where a fitting freedesktop name exists,
// with our own SVG as the fallback.
QIcon ToolbarIcon(ToolbarImage image);

// The help page of the program in `programFolder`: the installed copy
// (<prefix>/share/doc/zorvane/help/index.html, reached from <prefix>/bin), else the copy beside
// the program, where the build tree puts it; empty when neither exists. Nothing else is
// searched, so an installed program never reads a page from the tree it was built in.
QString HelpPagePath(const QString& programFolder);

} // namespace zorvane
