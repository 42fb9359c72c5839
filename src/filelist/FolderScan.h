#pragma once

#include <QFileInfo>
#include <QString>

#include <functional>

namespace zorvane {

// Calls onFile for every MP3 file (extension "mp3" in any letter case) in
// `folder`, and when `recursive`, then for those of each subfolder, depth
// first: a folder's own files come before those of its subfolders. Names are
// taken in the order of a case-sensitive comparison of their UTF-8 bytes, so
// a scan is repeatable. Hidden files and folders are included; symbolic
// links to folders are not followed (a link cycle would never end).
// onFile returns false to stop the scan; ScanFolder then returns false.
bool ScanFolder(const QString& folder, bool recursive,
                const std::function<bool(const QFileInfo&)>& onFile);

// True for a name whose text after the last "." is "mp3" in any letter case.
bool HasMp3Extension(const QString& fileName);

} // namespace zorvane
