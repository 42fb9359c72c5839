#pragma once

#include <QString>

namespace zorvane {

// Creates the folder `path` and every missing parent, nearest missing ancestor
// first. Returns 1 when the folder exists afterwards, 0 otherwise (permission
// denied, a file standing where a folder should be, an empty path).
int CreateFolderPath(const QString& path);

// The first of "stem (2).ext", "stem (3).ext", ... that names no existing file.
// The stem is the path before the last "." of its file name; a name without a
// dot gets the number at its end.
QString UniqueDestinationPath(const QString& path);

// The folder part of a file path: everything before its last separator
// ("/" or "\"), without that separator; empty when there is none.
QString FolderOfPath(const QString& path);

} // namespace zorvane
