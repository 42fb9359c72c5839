#pragma once

#include <QString>

namespace zorvane {

// Creates the folder `path` and every missing parent (QDir::mkpath). Returns 1 when the folder
// exists afterwards, 0 otherwise (permission denied, a file standing where a folder should be, an
// empty path); then *error, when given, says why (the errno of the step that failed; ENOTDIR for a
// file in a folder's place, where mkdir would say "File exists").
int CreateFolderPath(const QString& path, int* error = nullptr);

} // namespace zorvane
