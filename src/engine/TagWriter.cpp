#include "TagWriter.h"

#include "ConversionState.h"
#include "ConversionTask.h"
#include "TagLibText.h"
#include "TagTransfer.h"
#include "platform/DisplayText.h"
#include "platform/LeadingNumber.h"

#include <taglib/apeitem.h>
#include <taglib/apetag.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/commentsframe.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>

#include <QRegularExpression>

#include <initializer_list>
#include <utility>
#include <vector>

namespace zorvane {

namespace {

// TagLib keeps text as UTF-16 in a wstring; handing it a wstring of 32-bit
// code points would cut every character beyond U+FFFF to 16 bits.
// ID3v1 holds single-byte text.
TagLib::String ToLatin1(const QString& text) {
    return TagLib::String(text.toLatin1().toStdString(), TagLib::String::Latin1);
}

// The leading decimal number of a text ("7/12" gives 7, "2023-05-01" gives
// 2023, "abc" gives 0). ID3v1 has no room for a negative track or year.
unsigned LeadingNumberOf(const QString& text) {
    const LeadingNumber number = ReadLeadingNumber(text);
    return number.negative ? 0u : number.magnitude;
}

// The values a frame or item of the source held, while the task's text is
// still the one the list made of them; else the task's text alone. An APE
// item may take them from the ID3v2 frame, the list's first choice.
TagLib::StringList ValuesFor(const CConversionTask& task, std::initializer_list<const char*> ids,
                             const QString& text) {
    for (const char* id : ids) {
        for (const TagValues& source : task.copiedTags.multiValued) {
            if (source.id == id && source.shownText == text) {
                return ToTagLib(source.values);
            }
        }
    }
    return TagLib::StringList(ToTagLib(text));
}

// 2.3 has no TDRC: a date in its ISO form becomes TYER, TDAT (DDMM) and TIME
// (HHMM) as TagLib would make them; any other text goes whole to TYER, so
// that nothing of it is lost.
std::vector<std::pair<const char*, QString>> Id3v23DateFrames(const QString& date) {
    static const QRegularExpression iso(
        QStringLiteral("^(\\d{4})(?:-(\\d{2})-(\\d{2})(?:T(\\d{2}):(\\d{2})(?::\\d{2})?)?)?$"));
    const QRegularExpressionMatch match = iso.match(date);
    if (!match.hasMatch()) {
        return {{"TYER", date}};
    }
    std::vector<std::pair<const char*, QString>> frames{{"TYER", match.captured(1)}};
    if (match.hasCaptured(3)) {
        frames.emplace_back("TDAT", match.captured(3) + match.captured(2));
    }
    if (match.hasCaptured(5)) {
        frames.emplace_back("TIME", match.captured(4) + match.captured(5));
    }
    return frames;
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
        tag.setTrack(LeadingNumberOf(task.track.section(u'/', 0, 0)));
    if (!task.date.isEmpty())
        tag.setYear(LeadingNumberOf(task.date));
}

// The tag is put together frame by frame rather than by TagLib's
// Tag::render: for 2.3 that moves the converted date and genre behind every
// other frame and drops the frames 2.3 does not define (TSOP, TSOA, RVA2 and
// others that 2.3 files carry all the same).
QByteArray RenderId3v2(const CConversionTask& task) {
    const unsigned version = OutputId3v2Version(task.copiedTags.id3v2Version);
    TagLib::ByteVector frames;
    const auto append = [&frames, version](TagLib::ID3v2::Frame& frame) {
        frames.append(RenderFrame(frame, version));
    };
    const auto text = [&append](const char* id, const TagLib::StringList& values) {
        TagLib::ID3v2::TextIdentificationFrame frame(TagLib::ByteVector(id, 4),
                                                     TagLib::String::UTF8);
        frame.setText(values);
        append(frame);
    };
    for (size_t i = 0; i < kMultiValueTexts; ++i) {
        const WrittenText& written = kWrittenTexts[i];
        text(written.frame, ValuesFor(task, {written.frame}, task.*written.text));
    }
    if (version == 4) {
        text("TDRC", ToTagLib(task.date));
    } else {
        for (const auto& [id, value] : Id3v23DateFrames(task.date)) {
            text(id, ToTagLib(value));
        }
    }
    // As TagLib's comment setter: an empty comment is no frame at all.
    if (!task.comment.isEmpty()) {
        TagLib::ID3v2::CommentsFrame comment(TagLib::String::UTF8);
        comment.setText(ToTagLib(task.comment));
        append(comment);
    }
    text(kCreditFrame, ToTagLib(EncoderCreditText()));
    // Re-encoding must not lose the album art people care about.
    for (const TagPicture& picture : task.pictures) {
        TagLib::ID3v2::AttachedPictureFrame frame;
        frame.setTextEncoding(TagLib::String::UTF8);
        frame.setMimeType(ToTagLib(picture.mimeType));
        frame.setType(TagLib::ID3v2::AttachedPictureFrame::Type(picture.type));
        frame.setDescription(ToTagLib(picture.description));
        frame.setPicture(TagLib::ByteVector(picture.data.constData(), uint(picture.data.size())));
        append(frame);
    }
    QByteArray rendered = ToQByteArray(frames);
    for (const QByteArray& frame : task.copiedTags.id3v2Frames) {
        rendered += frame;
    }
    // The padding TagLib leaves, so that a tagger can grow the tag in place.
    constexpr int kPadding = 1024;
    TagLib::ID3v2::Header header;
    header.setMajorVersion(version);
    header.setTagSize(uint(rendered.size() + kPadding));
    return ToQByteArray(header.render()) + rendered + QByteArray(kPadding, '\0');
}

void WriteApe(TagLib::APE::Tag& tag, const CConversionTask& task) {
    for (const WrittenText& written : kWrittenTexts) {
        tag.setItem(
            written.apeKey,
            TagLib::APE::Item(written.apeKey, ValuesFor(task, {written.apeKey, written.frame},
                                                        task.*written.text)));
    }
    tag.addValue("Encoded By", ToTagLib(EncoderCreditText()), true);
    for (const QByteArray& bytes : task.copiedTags.apeItems) {
        TagLib::APE::Item item;
        item.parse(TagLib::ByteVector(bytes.constData(), uint(bytes.size())));
        if (!item.key().isEmpty()) {
            tag.setItem(item.key(), item);
        }
    }
}

} // namespace

QString EncoderCreditText() {
    return QStringLiteral("Zorvane\r\n") + QString::fromUtf16(kProductWebAddress);
}

RenderedTags RenderTags(CConversionTask& task) {
    task.tagTypesToWrite = task.sourceTagTypes & (TagBitId3v1 | TagBitId3v2 | TagBitApe);
    RenderedTags rendered;
    if (task.tagTypesToWrite & TagBitId3v2) {
        rendered.leading = RenderId3v2(task);
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

void PostTagWriteFailure(ConversionState& state, const CConversionTask& task,
                         const QString& detail) {
    state.PostLog(QStringLiteral("Fail to write tag:  ") + EscapedForDisplay(task.destinationPath),
                  LogError, detail);
}

} // namespace zorvane
