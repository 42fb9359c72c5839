#pragma once

#include "engine/TagTexts.h"

#include <QString>
#include <QStringView>
#include <Qt>

#include <array>
#include <cstdint>

namespace zorvane {

// The file list's columns. The index is the column's identity everywhere:
// cell writes, sorting, the saved layout and the header menu, so the order
// never changes.
enum FileColumn : int {
    ColumnName = 0,
    ColumnPath = 1,
    ColumnType = 2,
    ColumnTag = 3,
    ColumnArtist = 4,
    ColumnAlbumArtist = 5,
    ColumnAlbum = 6,
    ColumnTrack = 7,
    ColumnTitle = 8,
    ColumnGenre = 9,
    ColumnDate = 10,
    ColumnComment = 11,
    ColumnSize = 12,
    ColumnLastModified = 13,
    ColumnDuration = 14,
    ColumnFrequency = 15,
    ColumnChannel = 16,
    ColumnBitrate = 17,
};

inline constexpr int kFileColumnCount = 18;

struct FileColumnInfo {
    QStringView title;
    Qt::AlignmentFlag alignment; // Qt::AlignLeft or Qt::AlignRight
    int defaultWidth;            // pixels
};

inline constexpr std::array<FileColumnInfo, kFileColumnCount> kFileColumns{{
    {u"Name", Qt::AlignLeft, 150},
    {u"Path", Qt::AlignLeft, 150},
    {u"Type", Qt::AlignRight, 65},
    {u"Tag", Qt::AlignRight, 100},
    {u"Artist", Qt::AlignLeft, 110},
    {u"Album Artist", Qt::AlignLeft, 110},
    {u"Album", Qt::AlignLeft, 110},
    {u"Track", Qt::AlignRight, 85},
    {u"Title", Qt::AlignLeft, 150},
    {u"Genre", Qt::AlignLeft, 70},
    {u"Date", Qt::AlignRight, 65},
    {u"Comment", Qt::AlignLeft, 110},
    {u"Size(MB)", Qt::AlignRight, 85},
    {u"Last Modified", Qt::AlignRight, 120},
    {u"Duration", Qt::AlignRight, 88},
    {u"Frequency", Qt::AlignRight, 96},
    {u"Channel", Qt::AlignRight, 88},
    {u"Bitrate", Qt::AlignRight, 88},
}};

// Text colour of the Type cell of an unusable file, as a QRgb (0xAARRGGBB):
// pure red. Core code cannot use QColor, which lives in Qt GUI.
inline constexpr uint32_t kInvalidTypeTextRgb = 0xffff0000u;

// The record's text behind tag column `column` (Artist to Comment), so that
// a cell and its copy in the record change together; nullptr for any other
// column.
inline QString* TagTextOfColumn(TagTexts& texts, int column) {
    return texts.Text(column - ColumnArtist);
}

// The cell texts derived from a record's numbers, shared by the list and by
// the command-line tool so both show a file the same way.

// "HH:MM:SS" with hours unbounded ("100:00:00"); empty under one second.
QString DurationText(double seconds);
// "44100 Hz"
QString FrequencyText(uint32_t sampleRate);
// "1 (Mono)", "2 (Stereo)", otherwise the bare count.
QString ChannelText(uint32_t channels);
// "128 kbps"
QString BitrateText(uint32_t kbps);

} // namespace zorvane
