#pragma once

#include "InfoRowSink.h"
#include "engine/MediaFileInfo.h"

#include <QString>

#include <atomic>

struct mpg123_handle_struct;

namespace TagLib {
namespace APE {
class Tag;
}
namespace ID3v1 {
class Tag;
}
namespace ID3v2 {
class Tag;
}
} // namespace TagLib

namespace zorvane {

class MessageSink;

// Fills a file-list row from one MP3 file: the stream format and length as
// libmpg123 sees them, the tag kinds and tag texts as TagLib reads them, and
// the bitrate. The loader runs it once per added file on its worker thread.
//
// The reader keeps its own decoder handle for its whole life, separate from the
// conversion's, so that reading a file's properties never disturbs a running
// conversion. One reader serves one thread at a time.
class InfoReader {
public:
    // `messages` receives "Trouble with mpg123: ..." on the reading thread; the
    // program's sink holds that thread until the user dismissed the box.
    // `totalDurationSeconds`, when given, collects the durations of all files
    // read; its owner resets and shows it.
    explicit InfoReader(MessageSink& messages, std::atomic<double>* totalDurationSeconds = nullptr);
    ~InfoReader();
    InfoReader(const InfoReader&) = delete;
    InfoReader& operator=(const InfoReader&) = delete;

    // The whole job for one file (except the bitrate): clears what an earlier
    // read may have left, reads stream and tags, marks the row invalid when
    // the file is unusable (Type "Unknown" in red) and otherwise writes the
    // Duration, Frequency and Channel cells. The Name, Path, Type, Size and
    // Last Modified cells are the loader's.
    void ReadMediaInfo(const QString& path, InfoRowSink& row);

    // The decoder and tag half of ReadMediaInfo: stream fields, Tag column,
    // tag columns. A file the decoder rejects is reported through the message
    // sink and marked invalid, and its tags are still read.
    void ReadStreamAndTags(const QString& path, InfoRowSink& row);

    // bitrateKbps and the Bitrate cell, from TagLib's fast property scan; left
    // alone when TagLib cannot tell.
    static void ReadBitrate(const QString& path, InfoRowSink& row);

private:
    void ReadStream(const QString& path, MediaFileInfo& info);
    static void ReadTags(const QString& path, InfoRowSink& row);

    MessageSink& messages;
    std::atomic<double>* totalDurationSeconds;
    mpg123_handle_struct* infoDecoder = nullptr;
    int handleError = 0; // why infoDecoder could not be made
};

// The field readers fill only cells that are still empty, so running them in
// the order ID3v2, APE, ID3v1 gives ID3v2 precedence over APE and APE over
// ID3v1, field by field. Each text goes into the cell and into the record.
void ReadId3v2Fields(const TagLib::ID3v2::Tag& tag, InfoRowSink& row);
void ReadApeFields(const TagLib::APE::Tag& tag, InfoRowSink& row);
void ReadId3v1Fields(const TagLib::ID3v1::Tag& tag, InfoRowSink& row);

// Sets trackNumber (and trackTotal when the text has "/") from a Track text
// such as "7/15", reading each number as C's atoi does and keeping it modulo
// 256. An empty text sets trackNumber to 0; a text without "/" leaves
// trackTotal as it was.
void SplitTrackText(const QString& text, MediaFileInfo& info);

} // namespace zorvane
