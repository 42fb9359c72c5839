#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace zorvane::testing {

struct TagTexts {
    QString artist;
    QString albumArtist;
    QString album;
    QString track;
    QString title;
    QString genre;
    QString date;
    QString comment;

    bool operator==(const TagTexts&) const = default;
};

// Bit flags; combine with |.
enum TagKind { TagId3v1 = 1, TagId3v2 = 2, TagApe = 4 };

// Short, plain-ASCII texts that survive every tag type, ID3v1 included
// (30 characters per field, a numeric track, a four-digit year, a genre from
// the ID3v1 list).
TagTexts ExampleTagTexts();

// Replaces all tags of the file with the chosen kinds, each holding `texts`
// (empty texts are left out), through TagLib, so the layout is TagLib's:
// - ID3v2.4: TPE1, TPE2, TALB, TRCK, TIT2, TCON, TDRC, COMM in that order.
// - ID3v2.3: TPE1, TPE2, TALB, TRCK, TIT2, COMM, then the frames TagLib
//   converts on the way down: TYER (plus TDAT for a full date), TCON.
// - APE: ALBUM, ALBUM ARTIST, ARTIST, COMMENT, DATE, GENRE, TITLE, TRACK
//   (TagLib sorts APE items by key).
// - ID3v1: what fits (no album artist; track and year as numbers; a genre
//   outside the ID3v1 list is lost).
bool AddTags(const QString& path, int kinds, const TagTexts& texts, int id3v2Version = 4);

// Adds an APIC front cover to the ID3v2 tag (creating one, version 2.4, if the
// file has none), keeping every other tag and the existing ID3v2 version.
bool AddFrontCover(const QString& path, const QByteArray& imageData, const QString& mimeType);

// A valid 1x1 RGB PNG.
QByteArray TinyPng();

// Raw ID3v2 pieces, for tags TagLib will not write (compressed frames, lying
// sizes). Sizes are synchsafe in version 4 and plain in version 3.
QByteArray Id3v2Header(int version, quint8 flags, quint32 tagSize);
QByteArray Id3v2Frame(int version, const QByteArray& id, const QByteArray& data,
                      quint8 formatFlags = 0);
// The start of an APIC frame's content: Latin-1, "image/png", front cover, no
// description. The picture data follows it.
QByteArray PictureFrameStart();
// An APIC frame compressed with zlib whose content, PictureFrameStart() and
// then zeros, inflates to `inflatedBytes`; its declared length says so as far
// as the field can hold it. The zeros are compressed as they are made, so
// gigabytes need little memory, and the last stream made is kept for the next
// frame of the same size. `truncated` cuts the stream in half.
QByteArray CompressedPictureFrame(int version, quint64 inflatedBytes, bool truncated = false);

// Writes `path`: an ID3v2.`version` tag (3 or 4) holding a TIT2 frame with
// `title`, a CompressedPictureFrame of `inflatedBytes`, then a TPE1 frame with
// `artist`; behind it the audio of `audioSource`, an MP3 file without an ID3v2
// tag.
bool WriteCompressedPictureMp3(const QString& audioSource, const QString& path, int version,
                               quint64 inflatedBytes, const QString& title, const QString& artist);

// What is really in a file, per tag type.
struct ReadBackTags {
    int kinds = 0; // TagKind bits of the tags present
    TagTexts id3v2;
    TagTexts ape;
    TagTexts id3v1;               // albumArtist always empty; track/date empty when 0
    QString id3v2EncodedBy;       // TENC
    QString apeEncodedBy;         // "Encoded By" item, any case
    int id3v2Version = 0;         // 3 or 4 from the tag header; 0 without ID3v2
    QList<QByteArray> pictures;   // APIC picture data, in file order
    QStringList pictureMimeTypes; // parallel to pictures
    // Frame ids exactly as stored (a 2.3 tag shows TYER, not TDRC), and APE
    // keys exactly as stored, both in file order.
    QStringList id3v2FrameOrder;
    QStringList apeKeyOrder;
};

ReadBackTags ReadTags(const QString& path);

} // namespace zorvane::testing
