#include "AppResources.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

// Q_INIT_RESOURCE declares its function at the point of use, so it must be
// called from the global namespace.
static void RegisterZorvaneResources() {
    Q_INIT_RESOURCE(zorvane);
}

namespace zorvane {

namespace {

// The images live in a static library: nothing would pull their object file
// into a program unless this file names it, so every caller passes here first.
void EnsureResources() {
    static const bool registered = [] {
        RegisterZorvaneResources();
        return true;
    }();
    (void)registered;
}

struct ToolbarImageSource {
    const char16_t* resource;
    // Tried in order; the first name the theme has wins.
    QStringList themeNames;
};

ToolbarImageSource SourceOf(ToolbarImage image) {
    switch (image) {
    case ToolbarImage::AddFiles:
        return {u":/icons/add-files.svg", {QStringLiteral("document-open")}};
    case ToolbarImage::AddFolder:
        return {u":/icons/add-folder.svg", {QStringLiteral("folder-open")}};
    case ToolbarImage::AddFolderRecursive:
        // No standard name says "with subfolders"; a theme's plain folder
        // would make this button look like the one before it.
        return {u":/icons/add-folder-recursive.svg", {}};
    case ToolbarImage::Convert:
        return {u":/icons/convert.svg", {}};
    case ToolbarImage::Options:
        return {u":/icons/options.svg",
                {QStringLiteral("configure"), QStringLiteral("preferences-system")}};
    case ToolbarImage::Download:
        return {u":/icons/download.svg", {QStringLiteral("download"), QStringLiteral("go-down")}};
    case ToolbarImage::Help:
        return {u":/icons/help.svg", {QStringLiteral("help-contents")}};
    case ToolbarImage::About:
        return {u":/icons/about.svg", {QStringLiteral("help-about")}};
    }
    return {u":/icons/zorvane.svg", {}};
}

QIcon ThemedOr(const QStringList& themeNames, const QString& fallbackResource) {
    EnsureResources();
    for (const QString& name : themeNames) {
        if (QIcon::hasThemeIcon(name)) {
            return QIcon::fromTheme(name);
        }
    }
    return QIcon(fallbackResource);
}

} // namespace

QIcon AppIcon() {
    return ThemedOr({QStringLiteral("zorvane")}, QStringLiteral(":/icons/zorvane.svg"));
}

QIcon ToolbarIcon(ToolbarImage image) {
    const ToolbarImageSource source = SourceOf(image);
    return ThemedOr(source.themeNames, QString::fromUtf16(source.resource));
}

QString HelpPagePath(const QString& programFolder) {
    // An unknown folder would make the candidates absolute paths from the root.
    if (programFolder.isEmpty()) {
        return {};
    }
    const QString candidates[] = {
        programFolder + QStringLiteral("/../share/doc/zorvane/help/index.html"),
        programFolder + QStringLiteral("/help/index.html"),
    };
    for (const QString& candidate : candidates) {
        const QFileInfo page(candidate);
        if (page.isFile()) {
            return QDir::cleanPath(page.absoluteFilePath());
        }
    }
    return {};
}

} // namespace zorvane
