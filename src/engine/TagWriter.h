#pragma once

#include "TagTexts.h"

#include <QByteArray>
#include <QString>

#include <array>

namespace zorvane {

class CConversionTask;
class ConversionState;

// The product's web address, part of the encoder credit in every output.
inline constexpr char16_t kProductWebAddress[] = u"https://www.quenlor.com/zorvane";

// The list's texts the tag step writes, in the order it writes them: the
// ID3v2 frame (the 2.4 one; a 2.3 output writes the date as TYER and its
// kin) and the APE key of each. The first six keep every value of a source
// frame or item that had several, while the task's text is the list's.
struct WrittenText {
    const char* frame;
    const char* apeKey;
    QString TagTexts::*text;
};
inline constexpr std::array<WrittenText, 8> kWrittenTexts{{
    {"TPE1", "ARTIST", &TagTexts::artist},
    {"TPE2", "ALBUM ARTIST", &TagTexts::albumArtist},
    {"TALB", "ALBUM", &TagTexts::album},
    {"TRCK", "TRACK", &TagTexts::track},
    {"TIT2", "TITLE", &TagTexts::title},
    {"TCON", "GENRE", &TagTexts::genre},
    {"TDRC", "DATE", &TagTexts::date},
    {"COMM", "COMMENT", &TagTexts::comment},
}};
inline constexpr size_t kMultiValueTexts = 6;
// The frame and APE key of the encoder credit, written after the texts.
inline constexpr char kCreditFrame[] = "TENC";
inline constexpr char kCreditApeKey[] = "ENCODED BY";

// "Zorvane", CR LF, and the web address: the "encoded by" text of ID3v2 and APE.
QString EncoderCreditText();

// The tags of one output, rendered to bytes: the ID3v2 tag goes in front of
// the audio, the APE and ID3v1 tags after it, the layout TagLib gives an
// MPEG file. The encoder writes them with the audio, checking every write,
// so a full disk can never leave an output with half a tag behind a name.
struct RenderedTags {
    QByteArray leading;  // ID3v2 (the source's version; 2.4 or 2.3), or empty
    QByteArray trailing; // APE, then ID3v1, or empty
};

// Renders the tag types the source had (sourceTagTypes, also stored as
// tagTypesToWrite), filled from the task's eight tag texts plus the encoder
// credit, in that order; after them come task.pictures and task.copiedTags
// (see ReadSourceTags). Every other tag type is left out, so a source without
// tags gives an output without tags. Text goes to TagLib as UTF-8, so
// characters outside the Basic Multilingual Plane survive.
RenderedTags RenderTags(CConversionTask& task);

// Posts "Fail to write tag:  " and the destination path, as an error, with
// why (`detail`, e.g. "No space left on device") for those who show it.
void PostTagWriteFailure(ConversionState& state, const CConversionTask& task,
                         const QString& detail = QString());

} // namespace zorvane
