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

// The help page: the installed copy (<prefix>/share/doc/zorvane/help/index.html, found from
// the program's folder as ../share/doc/zorvane/help), else the copy beside the program in the
// build tree; empty when none exists.
QString HelpPagePath();

} // namespace zorvane
