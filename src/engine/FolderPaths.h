#pragma once

#include <QString>

namespace zorvane {

// The first of "stem (2).ext", "stem (3).ext", ... that names nothing in its
// folder, not even a dangling symbolic link. The stem is the path before the
// last "." of its file name; a name without a dot gets the number at its end.
// The stem is shortened where the number would make the name too long for
// its folder's file system.
QString UniqueDestinationPath(const QString& path);

// Variant n of a destination path: the path itself for n < 2, otherwise
// "stem (n).ext"; in both cases with the stem shortened, a whole character at
// a time, until the file name fits the longest name its folder takes.
QString NumberedDestinationPath(const QString& path, int n);

// True when something (a file, a folder, a link, even a dangling one) has
// this name. A symbolic link is not followed: writing through a link that
// happens to dangle would create its target, somewhere else.
bool NameIsTaken(const QString& path);

// The longest file name, in bytes, that the folder's file system takes
// (255 when it cannot tell).
int LongestNameInFolder(const QString& folder);

} // namespace zorvane
