#pragma once

#include <QString>

namespace zorvane {

// The eight tag texts that a file's row shows and its output is given, in the
// order of the list's columns Artist to Comment. The row's record and the
// conversion task both are TagTexts, so a task takes its row's texts in one
// assignment and the tag step reads them by the same names.
struct TagTexts {
    QString artist;
    QString albumArtist;
    QString album;
    QString track;
    QString title;
    QString genre;
    QString date;
    QString comment;

    static constexpr int kCount = 8;

    // The text at `index` in column order (0 artist ... 7 comment), or
    // nullptr outside 0..7.
    QString* Text(int index);
    const QString* Text(int index) const;
};

} // namespace zorvane
