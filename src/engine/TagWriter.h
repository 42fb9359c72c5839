#pragma once

#include <QByteArray>
#include <QString>

namespace zorvane {

class CConversionTask;
class ConversionState;

// The product's web address, part of the encoder credit in every output.
inline constexpr char16_t kProductWebAddress[] = u"https://www.quenlor.com/zorvane";

// "Zorvane", CR LF, and the web address: the "encoded by" text of ID3v2 and APE.
QString EncoderCreditText();

// The tags of one output, rendered to bytes: the ID3v2 tag goes in front of
// the audio, the APE and ID3v1 tags after it, the layout TagLib gives an
// MPEG file. The encoder writes them with the audio, checking every write,
// so a full disk can never leave an output with half a tag behind a name.
struct RenderedTags {
    QByteArray leading;  // ID3v2 (version 2.4), or empty
    QByteArray trailing; // APE, then ID3v1, or empty
};

// Renders the tag types the source had (sourceTagTypes, also stored as
// tagTypesToWrite), filled from the task's eight tag texts plus the encoder
// credit; ID3v2 also carries task.pictures. Every other tag type is left out,
// so a source without tags gives an output without tags. Text goes to TagLib
// as UTF-8, so characters outside the Basic Multilingual Plane survive.
RenderedTags RenderTags(CConversionTask& task);

// Reads the attached pictures of the source's ID3v2 tag into task.pictures,
// when the output gets an ID3v2 tag. `readPath` names the source's bytes (the
// decoder passes its own open descriptor's /proc path, so the pictures come
// from the very file it decodes). A frame too large to hold (see
// BoundedTagStream) is skipped with a warning line. Returns 1; 0 after
// logging "File Error: ..." when the source cannot be read.
int ReadSourcePictures(ConversionState& state, CConversionTask& task, const QString& readPath);

// Posts "Fail to write tag:  " and the destination path, as an error, with
// why (`detail`, e.g. "No space left on device") for those who show it.
void PostTagWriteFailure(ConversionState& state, const CConversionTask& task,
                         const QString& detail = QString());

} // namespace zorvane
