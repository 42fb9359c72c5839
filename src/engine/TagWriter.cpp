#include "TagWriter.h"

#include "BoundedTagStream.h"
#include "ConversionState.h"
#include "ConversionTask.h"
#include "platform/DisplayText.h"

#include <taglib/apetag.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>

#include <cerrno>
#include <cstring>

namespace zorvane {

namespace {

// TagLib keeps text as UTF-16 in a wstring; handing it a wstring of 32-bit
// code points would cut every character beyond U+FFFF to 16 bits.
TagLib::String ToTagLib(const QString& text) {
    return TagLib::String(text.toUtf8().toStdString(), TagLib::String::UTF8);
}

QString FromTagLib(const TagLib::String& text) {
    return QString::fromStdString(text.to8Bit(true));
}

QByteArray ToQByteArray(const TagLib::ByteVector& bytes) {
    return QByteArray(bytes.data(), qsizetype(bytes.size()));
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

void SetTextFrame(TagLib::ID3v2::Tag& tag, const char* id, const QString& text) {
    const TagLib::ByteVector frameId(id, 4);
    tag.removeFrames(frameId);
    auto* frame = new TagLib::ID3v2::TextIdentificationFrame(frameId, TagLib::String::UTF8);
    frame->setText(ToTagLib(text));
    tag.addFrame(frame);
}

void WriteId3v1(TagLib::ID3v1::Tag& tag, const CConversionTask& task) {
    if (!task.artist.isEmpty())
        tag.setArtist(ToLatin1(task.artist));
    if (!task.album.isEmpty())
        tag.setAlbum(ToLatin1(task.album));
    if (!task.title.isEmpty())
        tag.setTitle(ToLatin1(task.title));
    if (!task.genre.isEmpty())
        tag.setGenre(ToLatin1(task.genre));
    if (!task.comment.isEmpty())
        tag.setComment(ToLatin1(task.comment));
    if (!task.track.isEmpty())
        tag.setTrack(LeadingNumber(task.track.section(u'/', 0, 0)));
    if (!task.date.isEmpty())
        tag.setYear(LeadingNumber(task.date));
}

void WriteId3v2(TagLib::ID3v2::Tag& tag, const CConversionTask& task) {
    SetTextFrame(tag, "TPE1", task.artist);
    SetTextFrame(tag, "TPE2", task.albumArtist);
    SetTextFrame(tag, "TALB", task.album);
    SetTextFrame(tag, "TRCK", task.track);
    SetTextFrame(tag, "TIT2", task.title);
    SetTextFrame(tag, "TCON", task.genre);
    SetTextFrame(tag, "TDRC", task.date);
    tag.setComment(ToTagLib(task.comment));
    SetTextFrame(tag, "TENC", EncoderCreditText());
    // Re-encoding must not lose the album art people care about.
    for (const TagPicture& picture : task.pictures) {
        auto* frame = new TagLib::ID3v2::AttachedPictureFrame();
        frame->setTextEncoding(TagLib::String::UTF8);
        frame->setMimeType(ToTagLib(picture.mimeType));
        frame->setType(TagLib::ID3v2::AttachedPictureFrame::Type(picture.type));
        frame->setDescription(ToTagLib(picture.description));
        frame->setPicture(TagLib::ByteVector(picture.data.constData(), uint(picture.data.size())));
        tag.addFrame(frame);
    }
}

void WriteApe(TagLib::APE::Tag& tag, const CConversionTask& task) {
    tag.addValue("ARTIST", ToTagLib(task.artist), true);
    tag.addValue("ALBUM ARTIST", ToTagLib(task.albumArtist), true);
    tag.addValue("ALBUM", ToTagLib(task.album), true);
    tag.addValue("TRACK", ToTagLib(task.track), true);
    tag.addValue("TITLE", ToTagLib(task.title), true);
    tag.addValue("GENRE", ToTagLib(task.genre), true);
    tag.addValue("DATE", ToTagLib(task.date), true);
    tag.addValue("COMMENT", ToTagLib(task.comment), true);
    tag.addValue("Encoded By", ToTagLib(EncoderCreditText()), true);
}

} // namespace

QString EncoderCreditText() {
    return QStringLiteral("Zorvane\r\n") + QString::fromUtf16(kProductWebAddress);
}

RenderedTags RenderTags(CConversionTask& task) {
    task.tagTypesToWrite = task.sourceTagTypes & (TagBitId3v1 | TagBitId3v2 | TagBitApe);
    RenderedTags rendered;
    if (task.tagTypesToWrite & TagBitId3v2) {
        TagLib::ID3v2::Tag tag;
        WriteId3v2(tag, task);
        rendered.leading = ToQByteArray(tag.render(TagLib::ID3v2::v4));
    }
    if (task.tagTypesToWrite & TagBitApe) {
        TagLib::APE::Tag tag;
        WriteApe(tag, task);
        rendered.trailing += ToQByteArray(tag.render());
    }
    if (task.tagTypesToWrite & TagBitId3v1) {
        TagLib::ID3v1::Tag tag;
        WriteId3v1(tag, task);
        // As TagLib's own save: an ID3v1 tag with nothing in it is not written.
        if (!tag.isEmpty()) {
            rendered.trailing += ToQByteArray(tag.render());
        }
    }
    return rendered;
}

int ReadSourcePictures(ConversionState& state, CConversionTask& task, const QString& readPath) {
    task.pictures.clear();
    if (!(task.sourceTagTypes & TagBitId3v2)) {
        return 1;
    }
    BoundedTagStream stream(readPath);
    if (!stream.isOpen()) {
        const int error = errno != 0 ? errno : EIO;
        state.PostLog(
            QStringLiteral("File Error: %1").arg(QString::fromLocal8Bit(std::strerror(error))),
            LogError);
        return 0;
    }
    TagLib::MPEG::File source(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
    for (const HiddenTagFrame& hidden : stream.HiddenFrames()) {
        state.PostLog(QStringLiteral("Tag frame %1 of the source skipped: it holds more than "
                                     "%2 MB.")
                          .arg(EscapedForDisplay(hidden.frameId))
                          .arg(kMaxTagFrameBytes / (1024 * 1024)),
                      LogWarning);
    }
    if (!source.isValid() || !source.hasID3v2Tag()) {
        return 1;
    }
    for (TagLib::ID3v2::Frame* frame : source.ID3v2Tag()->frameList("APIC")) {
        const auto* picture = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame*>(frame);
        if (!picture) {
            continue;
        }
        TagPicture copy;
        copy.data = ToQByteArray(picture->picture());
        copy.mimeType = FromTagLib(picture->mimeType());
        copy.description = FromTagLib(picture->description());
        copy.type = int(picture->type());
        task.pictures.push_back(std::move(copy));
    }
    return 1;
}

void PostTagWriteFailure(ConversionState& state, const CConversionTask& task,
                         const QString& detail) {
    state.PostLog(QStringLiteral("Fail to write tag:  ") + EscapedForDisplay(task.destinationPath),
                  LogError, detail);
}

} // namespace zorvane
