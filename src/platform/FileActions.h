#pragma once

#include <QString>

namespace zorvane {

// Puts a file or folder in the desktop's trash (the freedesktop trash on
// Linux), so the user can take it back. `pathInTrash` receives where it went.
bool MoveToTrash(const QString& path, QString* pathInTrash = nullptr);
// Deletes a file, a symbolic link or a whole folder for good. A symbolic link
// is removed itself; what it points to is never touched.
bool DeletePermanently(const QString& path);
// Renames or moves a file or folder; fails, and leaves both paths alone, when
// something of the new name exists already. A change of letter case only is
// allowed on file systems that ignore case, where the new name "exists" as
// the file itself.
bool RenameWithoutOverwrite(const QString& from, const QString& to);

// The file operations the folder tree and the file list use, behind an
// interface so that tests of those views can record them instead.
class FileActions {
public:
    virtual ~FileActions() = default;
    virtual bool MoveToTrash(const QString& path) = 0;
    virtual bool DeletePermanently(const QString& path) = 0;
    virtual bool Rename(const QString& from, const QString& to) = 0;
};

class DiskFileActions final : public FileActions {
public:
    bool MoveToTrash(const QString& path) override;
    bool DeletePermanently(const QString& path) override;
    bool Rename(const QString& from, const QString& to) override;
};

} // namespace zorvane
