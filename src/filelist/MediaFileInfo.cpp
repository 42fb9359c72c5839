#include "MediaFileInfo.h"

#include "FileListColumns.h"

#include <utility>

namespace zorvane {

QString* MediaFileInfo::TagText(int column) {
    return const_cast<QString*>(std::as_const(*this).TagText(column));
}

const QString* MediaFileInfo::TagText(int column) const {
    switch (column) {
    case ColumnArtist:
        return &artist;
    case ColumnAlbumArtist:
        return &albumArtist;
    case ColumnAlbum:
        return &album;
    case ColumnTrack:
        return &track;
    case ColumnTitle:
        return &title;
    case ColumnGenre:
        return &genre;
    case ColumnDate:
        return &date;
    case ColumnComment:
        return &comment;
    default:
        return nullptr;
    }
}

} // namespace zorvane
