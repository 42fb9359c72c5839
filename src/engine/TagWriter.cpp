#include "TagWriter.h"

#include "ConversionState.h"
#include "ConversionTask.h"

#include <QFile>

#include <taglib/apetag.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>

namespace zorvane {

namespace {

TagLib::String ToTagLib(const QString& text) {
    return TagLib::String(text.toStdWString());
}

// ID3v1 holds single-byte text.
TagLib::String ToLatin1(const QString& text) {
    return TagLib::String(text.toLatin1().toStdString(), TagLib::String::Latin1);
}

// The leading decimal number of a text, as the old C runtime read it
// ("7/12" gives 7, "2023-05-01" gives 2023, "abc" gives 0).
unsigned LeadingNumber(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && text.at(i).isSpace()) {
        ++i;
    }
    unsigned value = 0;
    for (; i < text.size() && text.at(i) >= u'0' && text.at(i) <= u'9'; ++i) {
        value = value * 10 + unsigned(text.at(i).unicode() - u'0');
        if (value > 100000000) {
            break;
        }
    }
    return value;
}

void SetTextFrame(TagLib::ID3v2::Tag* tag, const char* id, const QString& text) {
    const TagLib::ByteVector frameId(id, 4);
    tag->removeFrames(frameId);
    auto* frame = new TagLib::ID3v2::TextIdentificationFrame(frameId, TagLib::String::UTF8);
    frame->setText(ToTagLib(text));
    tag->addFrame(frame);
}

void WriteId3v1(TagLib::ID3v1::Tag* tag, const CConversionTask& task) {
    if (!task.artist.isEmpty())
        tag->setArtist(ToLatin1(task.artist));
    if (!task.album.isEmpty())
        tag->setAlbum(ToLatin1(task.album));
    if (!task.title.isEmpty())
        tag->setTitle(ToLatin1(task.title));
    if (!task.genre.isEmpty())
        tag->setGenre(ToLatin1(task.genre));
    if (!task.comment.isEmpty())
        tag->setComment(ToLatin1(task.comment));
    if (!task.track.isEmpty())
        tag->setTrack(LeadingNumber(task.track.section(u'/', 0, 0)));
    if (!task.date.isEmpty())
        tag->setYear(LeadingNumber(task.date));
}

void WriteId3v2(TagLib::ID3v2::Tag* tag, const CConversionTask& task) {
    SetTextFrame(tag, "TPE1", task.artist);
    SetTextFrame(tag, "TPE2", task.albumArtist);
    SetTextFrame(tag, "TALB", task.album);
    SetTextFrame(tag, "TRCK", task.track);
    SetTextFrame(tag, "TIT2", task.title);
    SetTextFrame(tag, "TCON", task.genre);
    SetTextFrame(tag, "TDRC", task.date);
    tag->setComment(ToTagLib(task.comment));
    SetTextFrame(tag, "TENC", EncoderCreditText());
}

void WriteApe(TagLib::APE::Tag* tag, const CConversionTask& task) {
    tag->addValue("ARTIST", ToTagLib(task.artist), true);
    tag->addValue("ALBUM ARTIST", ToTagLib(task.albumArtist), true);
    tag->addValue("ALBUM", ToTagLib(task.album), true);
    tag->addValue("TRACK", ToTagLib(task.track), true);
    tag->addValue("TITLE", ToTagLib(task.title), true);
    tag->addValue("GENRE", ToTagLib(task.genre), true);
    tag->addValue("DATE", ToTagLib(task.date), true);
    tag->addValue("COMMENT", ToTagLib(task.comment), true);
    tag->addValue("Encoded By", ToTagLib(EncoderCreditText()), true);
}

// Re-encoding must not lose the album art people care about.
void CopyPictures(const QString& sourcePath, TagLib::ID3v2::Tag* target) {
    TagLib::MPEG::File source(QFile::encodeName(sourcePath).constData(), false);
    if (!source.isValid() || !source.hasID3v2Tag()) {
        return;
    }
    const TagLib::ID3v2::FrameList& pictures = source.ID3v2Tag()->frameList("APIC");
    for (TagLib::ID3v2::Frame* frame : pictures) {
        auto* picture = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame*>(frame);
        if (!picture) {
            continue;
        }
        auto* copy = new TagLib::ID3v2::AttachedPictureFrame();
        copy->setTextEncoding(picture->textEncoding());
        copy->setMimeType(picture->mimeType());
        copy->setType(picture->type());
        copy->setDescription(picture->description());
        copy->setPicture(picture->picture());
        target->addFrame(copy);
    }
}

} // namespace

QString EncoderCreditText() {
    return QStringLiteral("Zorvane\r\n") + QString::fromUtf16(kProductWebAddress);
}

int WriteTags(ConversionState& state, CConversionTask& task) {
    TagLib::MPEG::File file(QFile::encodeName(task.destinationPath).constData(), false,
                            TagLib::AudioProperties::Average);
    task.tagTypesToWrite = task.sourceTagTypes & (TagBitId3v1 | TagBitId3v2 | TagBitApe);
    int mask = 0;
    bool saved = false;
    if (file.isOpen() && file.isValid()) {
        if (task.tagTypesToWrite & TagBitId3v1) {
            WriteId3v1(file.ID3v1Tag(true), task);
            mask |= TagLib::MPEG::File::ID3v1;
        }
        if (task.tagTypesToWrite & TagBitId3v2) {
            TagLib::ID3v2::Tag* tag = file.ID3v2Tag(true);
            WriteId3v2(tag, task);
            CopyPictures(task.sourcePath, tag);
            mask |= TagLib::MPEG::File::ID3v2;
        }
        if (task.tagTypesToWrite & TagBitApe) {
            WriteApe(file.APETag(true), task);
            mask |= TagLib::MPEG::File::APE;
        }
        saved = file.save(mask, TagLib::File::StripOthers, TagLib::ID3v2::v4,
                          TagLib::File::DoNotDuplicate);
    }
    if (!saved) {
        state.PostLog(QStringLiteral("Fail to write tag:  ") + task.destinationPath, LogError);
        return 0;
    }
    return 1;
}

} // namespace zorvane
