#pragma once

#include <QByteArray>
#include <QFileInfo>
#include <QString>

#include <functional>

namespace zorvane {

// Calls onFile for every MP3 file (extension "mp3" in any letter case) in
// `folder`, and when `recursive`, then for those of each subfolder, depth
// first: a folder's own files come before those of its subfolders. Names are
// taken in the order of a case-sensitive comparison of their bytes, so a
// scan is repeatable. Hidden files and folders are included; symbolic links
// to folders are not followed (a link cycle would never end).
// onFile returns false to stop the scan; ScanFolder then returns false.
// onFile only ever sees regular files (or links to them): opening a FIFO
// named like an MP3 would block forever, and a device would never end. Such
// an entry goes to onNotRegular instead, when given, so that it can be
// reported; a link that leads nowhere is left out without a word, as before.
// A name that a QString cannot hold (not valid UTF-8) could not be opened
// again from its decoded text: such an MP3 name, and such a subfolder when
// `recursive`, goes to onBadName, when given, as EscapedNameBytes shows it.
bool ScanFolder(const QString& folder, bool recursive,
                const std::function<bool(const QFileInfo&)>& onFile,
                const std::function<void(const QFileInfo&)>& onNotRegular = {},
                const std::function<void(const QString& shownPath, bool isFolder)>& onBadName = {});

// True for a name whose text after the last "." is "mp3" in any letter case.
bool HasMp3Extension(const QString& fileName);

// True when the bytes of a name or path survive QFile::decodeName and
// encodeName unchanged, so that the QString of the name opens the same file.
bool IsRepresentableName(const QByteArray& bytes);

// The bytes of a name or path as they may be printed: valid UTF-8 as its
// characters, every other byte as \xHH, then EscapedForDisplay.
QString EscapedNameBytes(const QByteArray& bytes);

} // namespace zorvane
