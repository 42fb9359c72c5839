#include "TagTransfer.h"

#include "BoundedTagStream.h"
#include "ConversionState.h"
#include "ConversionTask.h"
#include "StreamDamage.h"
#include "TagLibText.h"
#include "TagWriter.h"
#include "platform/DisplayText.h"
#include "settings/ConversionSettings.h"

#include <taglib/apefooter.h>
#include <taglib/apeitem.h>
#include <taglib/apetag.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/chapterframe.h>
#include <taglib/commentsframe.h>
#include <taglib/eventtimingcodesframe.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/synchronizedlyricsframe.h>
#include <taglib/textidentificationframe.h>
#include <taglib/unknownframe.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace zorvane {

namespace {

// They map the source's MPEG frames to bytes and times; the output's frames
// lie elsewhere, so a player would seek wrong by them.
constexpr const char* kDroppedFrames[] = {"MLLT", "SEEK", "ASPI"};
constexpr uint32_t kUnusedOffset = 0xFFFFFFFFu;

// TagLib 1.13 keeps a frame's header to its friends, the tag among them,
// and only a tag sets the version a frame renders for; but a 2.3 tag made by
// TagLib's Tag drops the frames 2.3 does not define. Member pointers taken
// through a derived class reach it without copying TagLib's frame writing.
class FrameHeaderAccess : public TagLib::ID3v2::Frame {
public:
    static auto* HeaderOf(const TagLib::ID3v2::Frame& frame) {
        return (frame.*(&FrameHeaderAccess::header))();
    }
};

QString IdText(const TagLib::ByteVector& id) {
    return EscapedForDisplay(QString::fromLatin1(id.data(), qsizetype(id.size())));
}

bool IsOneOf(const TagLib::ByteVector& id, std::initializer_list<const char*> ids) {
    return std::any_of(ids.begin(), ids.end(), [&id](const char* other) { return id == other; });
}

template <size_t N> bool IsOneOf(const TagLib::ByteVector& id, const char* const (&ids)[N]) {
    return std::any_of(std::begin(ids), std::end(ids),
                       [&id](const char* other) { return id == other; });
}

// A frame the tag step writes itself from the task's texts and credit.
// Comments are not among them: only the list's comment is, the others are
// copied (see ListedComment).
bool IsWrittenFrame(const TagLib::ByteVector& id) {
    return id == kCreditFrame ||
           std::any_of(kWrittenTexts.begin(), kWrittenTexts.end(),
                       [&id](const WrittenText& w) { return id == w.frame && id != "COMM"; });
}

// An APE item the tag step writes itself (keys as TagLib lists them, in
// upper case).
bool IsWrittenApeKey(const QByteArray& key) {
    return key == "ENCODED BY" ||
           std::any_of(kWrittenTexts.begin(), kWrittenTexts.end(),
                       [&key](const WrittenText& w) { return key == w.apeKey; });
}

// Source times to output times: both speed modes change every length by
// 100 / speed.
struct TimeScale {
    double factor = 1.0;
    double msPerMpegFrame = 0.0; // 0: the source's frame length is unknown

    uint32_t Ms(double sourceMs) const {
        const double scaled = std::llround(sourceMs * factor);
        return uint32_t(std::clamp(scaled, 0.0, double(kUnusedOffset - 1)));
    }
    // A time stamp in the given format, in output milliseconds; false when
    // it cannot be converted.
    bool Stamp(int format, uint32_t time, uint32_t* out) const {
        if (format == TagLib::ID3v2::SynchronizedLyricsFrame::AbsoluteMilliseconds) {
            *out = Ms(time);
            return true;
        }
        if (format == TagLib::ID3v2::SynchronizedLyricsFrame::AbsoluteMpegFrames &&
            msPerMpegFrame > 0.0) {
            *out = Ms(double(time) * msPerMpegFrame);
            return true;
        }
        return false;
    }
};

// Layer III: 1152 samples a frame at the MPEG-1 rates, 576 below them.
double MsPerMpegFrame(uint32_t sourceRate) {
    if (sourceRate < 8000 || sourceRate > 48000) {
        return 0.0;
    }
    return (sourceRate >= 32000 ? 1152.0 : 576.0) * 1000.0 / double(sourceRate);
}

bool RescaleChapter(TagLib::ID3v2::ChapterFrame& chapter, const TimeScale& scale) {
    if (chapter.startTime() != kUnusedOffset) {
        chapter.setStartTime(scale.Ms(chapter.startTime()));
    }
    if (chapter.endTime() != kUnusedOffset) {
        chapter.setEndTime(scale.Ms(chapter.endTime()));
    }
    // Byte offsets into the source's audio mean nothing in the output's.
    chapter.setStartOffset(kUnusedOffset);
    chapter.setEndOffset(kUnusedOffset);
    return true;
}

bool RescaleLyrics(TagLib::ID3v2::SynchronizedLyricsFrame& lyrics, const TimeScale& scale) {
    TagLib::ID3v2::SynchronizedLyricsFrame::SynchedTextList lines = lyrics.synchedText();
    for (auto& line : lines) {
        if (!scale.Stamp(lyrics.timestampFormat(), line.time, &line.time)) {
            return false;
        }
    }
    lyrics.setSynchedText(lines);
    lyrics.setTimestampFormat(TagLib::ID3v2::SynchronizedLyricsFrame::AbsoluteMilliseconds);
    return true;
}

bool RescaleEvents(TagLib::ID3v2::EventTimingCodesFrame& events, const TimeScale& scale) {
    TagLib::ID3v2::EventTimingCodesFrame::SynchedEventList list = events.synchedEvents();
    for (auto& event : list) {
        // The formats share their values with the lyrics frame's.
        if (!scale.Stamp(int(events.timestampFormat()), event.time, &event.time)) {
            return false;
        }
    }
    events.setSynchedEvents(list);
    events.setTimestampFormat(TagLib::ID3v2::EventTimingCodesFrame::AbsoluteMilliseconds);
    return true;
}

// The comment frame whose text TagLib's comment() gave the file list, and so
// the task, when it has nothing else: no description (TagLib falls back to
// the first comment of any description, which the output then keeps too).
const TagLib::ID3v2::Frame* ListedComment(const TagLib::ID3v2::Tag& tag) {
    for (const TagLib::ID3v2::Frame* frame : tag.frameList("COMM")) {
        const auto* comment = dynamic_cast<const TagLib::ID3v2::CommentsFrame*>(frame);
        if (comment && comment->description().isEmpty()) {
            return frame;
        }
    }
    return nullptr;
}

class Copier {
public:
    Copier(ConversionState& runState, CConversionTask& copyTask)
        : state(runState), task(copyTask) {}

    // False, with a warning line, when the frame or item would take the
    // copied bytes past their budget.
    bool Take(uint64_t bytes, const QString& what) {
        if (bytes > kMaxCopiedTagBytes - used) {
            state.PostLog(QStringLiteral("%1 of the source skipped: the copied tags would hold "
                                         "more than %2 MB.")
                              .arg(what)
                              .arg(kMaxCopiedTagBytes / (1024 * 1024)),
                          LogWarning);
            return false;
        }
        used += bytes;
        return true;
    }

    void Id3v2(TagLib::ID3v2::Tag& tag, const TimeScale& scale) {
        CopiedTags& copied = task.copiedTags;
        copied.id3v2Version = int(tag.header()->majorVersion());
        outVersion = OutputId3v2Version(copied.id3v2Version);
        for (size_t i = 0; i < kMultiValueTexts; ++i) {
            const char* id = kWrittenTexts[i].frame;
            const TagLib::ID3v2::FrameList& frames = tag.frameList(id);
            const auto* text =
                frames.isEmpty()
                    ? nullptr
                    : dynamic_cast<TagLib::ID3v2::TextIdentificationFrame*>(frames.front());
            if (text && text->fieldList().size() > 1) {
                const TagLib::String shown =
                    std::strcmp(id, "TCON") == 0 ? tag.genre() : text->toString();
                copied.multiValued.push_back(
                    {QByteArray(id), FromTagLib(shown), FromTagLib(text->fieldList())});
            }
        }
        const TagLib::ID3v2::Frame* listedComment = ListedComment(tag);
        for (TagLib::ID3v2::Frame* frame : tag.frameList()) {
            if (frame != listedComment) {
                Id3v2Frame(*frame, scale);
            }
        }
        if (!involvedPeople.isEmpty()) {
            TagLib::ID3v2::TextIdentificationFrame people("IPLS", TagLib::String::Latin1);
            people.setText(involvedPeople);
            Add("IPLS", Rendered(people));
        }
    }

    void Ape(const TagLib::APE::Tag& tag) {
        for (const auto& [key, item] : tag.itemListMap()) {
            const QByteArray name = QByteArray(key.toCString(true));
            if (IsWrittenApeKey(name)) {
                if (item.type() == TagLib::APE::Item::Text && item.values().size() > 1) {
                    task.copiedTags.multiValued.push_back(
                        {name, FromTagLib(item.toString()), FromTagLib(item.values())});
                }
                continue;
            }
            // MP3Gain's undo and peak data refer to the source's frames.
            if (name.startsWith("MP3GAIN_")) {
                continue;
            }
            const TagLib::ByteVector rendered = item.render();
            if (Take(
                    rendered.size(),
                    QStringLiteral("Tag item %1").arg(EscapedForDisplay(FromTagLib(item.key()))))) {
                task.copiedTags.apeItems.push_back(ToQByteArray(rendered));
            }
        }
    }

private:
    void Id3v2Frame(TagLib::ID3v2::Frame& frame, const TimeScale& scale) {
        const TagLib::ByteVector id = frame.frameID();
        const auto& header = *FrameHeaderAccess::HeaderOf(frame);
        // Frames the 4-character versions have no id for, frames we cannot
        // read (encrypted), frames the tag step writes itself, and frames
        // that ask to go when the tag or the audio changes, if not known.
        if (id.size() != 4 || id == kHiddenTagFrameId || header.encryption() ||
            header.tagAlterPreservation() ||
            (header.fileAlterPreservation() &&
             dynamic_cast<TagLib::ID3v2::UnknownFrame*>(&frame)) ||
            IsWrittenFrame(id) || IsOneOf(id, kDroppedFrames)) {
            return;
        }
        if (id == "APIC") {
            Picture(frame);
            return;
        }
        if (auto* chapter = dynamic_cast<TagLib::ID3v2::ChapterFrame*>(&frame)) {
            RescaleChapter(*chapter, scale);
        } else if (auto* lyrics = dynamic_cast<TagLib::ID3v2::SynchronizedLyricsFrame*>(&frame)) {
            if (!RescaleLyrics(*lyrics, scale)) {
                return;
            }
        } else if (auto* events = dynamic_cast<TagLib::ID3v2::EventTimingCodesFrame*>(&frame)) {
            if (!RescaleEvents(*events, scale)) {
                return;
            }
        } else if (id == "TLEN") {
            Length();
            return;
        } else if (outVersion == 3 && IsOneOf(id, {"TDOR", "TIPL", "TMCL"})) {
            Downgraded(frame);
            return;
        }
        Add(id, Rendered(frame));
    }

    void Picture(const TagLib::ID3v2::Frame& frame) {
        const auto* picture = dynamic_cast<const TagLib::ID3v2::AttachedPictureFrame*>(&frame);
        if (!picture || !Take(picture->picture().size(), QStringLiteral("Tag frame APIC"))) {
            return;
        }
        TagPicture copy;
        copy.data = ToQByteArray(picture->picture());
        copy.mimeType = FromTagLib(picture->mimeType());
        copy.description = FromTagLib(picture->description());
        copy.type = int(picture->type());
        task.pictures.push_back(std::move(copy));
    }

    // The output's own length, which is the source's changed by the speed.
    void Length() {
        if (task.targetRate == 0 || task.targetRate == uint32_t(-1) || task.targetChannels == 0 ||
            task.targetChannels == uint32_t(-1)) {
            return;
        }
        const double frames = double(task.expectedSamples) / double(task.targetChannels);
        TagLib::ID3v2::TextIdentificationFrame length("TLEN", TagLib::String::Latin1);
        length.setText(TagLib::String::number(
            int(std::min(std::llround(frames * 1000.0 / double(task.targetRate)), 2147483647LL))));
        Add("TLEN", Rendered(length));
    }

    // The 2.4 frames TagLib made of 2.3 ones on reading go back to their 2.3
    // form: TDOR to TORY (a year), TIPL and TMCL together to IPLS.
    void Downgraded(const TagLib::ID3v2::Frame& frame) {
        const auto* text = dynamic_cast<const TagLib::ID3v2::TextIdentificationFrame*>(&frame);
        if (!text) {
            return;
        }
        if (frame.frameID() == "TDOR") {
            TagLib::ID3v2::TextIdentificationFrame year("TORY", TagLib::String::Latin1);
            year.setText(text->toString().substr(0, 4));
            Add("TORY", Rendered(year));
            return;
        }
        // Gathered, and added as one frame once every frame has been seen.
        involvedPeople.append(text->fieldList());
    }

    TagLib::ByteVector Rendered(TagLib::ID3v2::Frame& frame) const {
        return RenderFrame(frame, outVersion);
    }

    void Add(const TagLib::ByteVector& id, const TagLib::ByteVector& rendered) {
        // A frame with nothing in it is one TagLib would not write either.
        if (rendered.size() <= TagLib::ID3v2::Frame::headerSize(outVersion) ||
            !Take(rendered.size(), QStringLiteral("Tag frame %1").arg(IdText(id)))) {
            return;
        }
        task.copiedTags.id3v2Frames.push_back(ToQByteArray(rendered));
    }

    ConversionState& state;
    CConversionTask& task;
    uint64_t used = 0;
    unsigned outVersion = 4;
    TagLib::StringList involvedPeople; // TIPL and TMCL fields, for a 2.3 IPLS
};

} // namespace

TagLib::ByteVector RenderFrame(TagLib::ID3v2::Frame& frame, unsigned version) {
    FrameHeaderAccess::HeaderOf(frame)->setVersion(version);
    return frame.render();
}

long ApeFooterBehindLyrics3(TagLib::File& file) {
    constexpr long kFooterSize = 32;
    long end = file.length();
    if (end >= 128) {
        file.seek(end - 128);
        if (file.readBlock(3) == TagLib::ByteVector("TAG", 3)) {
            end -= 128;
        }
    }
    if (end < kLyrics3EndSize + kFooterSize) {
        return -1;
    }
    file.seek(end - kLyrics3EndSize);
    const TagLib::ByteVector lyricsEnd = file.readBlock(kLyrics3EndSize);
    const long size = lyricsEnd.size() == kLyrics3EndSize ? Lyrics3v2Size(lyricsEnd.data()) : -1;
    if (size < 0 || size + kLyrics3EndSize + kFooterSize > end) {
        return -1;
    }
    const long lyricsStart = end - kLyrics3EndSize - size;
    file.seek(lyricsStart);
    if (file.readBlock(11) != "LYRICSBEGIN") {
        return -1;
    }
    const long footerAt = lyricsStart - kFooterSize;
    file.seek(footerAt);
    const TagLib::ByteVector footerData = file.readBlock(kFooterSize);
    if (footerData.size() != kFooterSize || !footerData.startsWith("APETAGEX")) {
        return -1;
    }
    const TagLib::APE::Footer footer(footerData);
    if (footer.tagSize() < uint(kFooterSize) || footer.completeTagSize() > kMaxCopiedTagBytes ||
        long(footer.completeTagSize()) > lyricsStart) {
        return -1;
    }
    return footerAt;
}

int ReadSourceTags(ConversionState& state, CConversionTask& task, const QString& readPath) {
    task.pictures.clear();
    task.copiedTags = CopiedTags();
    if (!(task.sourceTagTypes & (TagBitId3v2 | TagBitApe))) {
        return 1;
    }
    BoundedTagStream stream(readPath);
    if (!stream.isOpen()) {
        const int error = errno != 0 ? errno : EIO;
        state.PostLog(QStringLiteral("File Error: %1").arg(qt_error_string(error)), LogError);
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
    if (!source.isValid()) {
        return 1;
    }
    TimeScale scale;
    scale.factor = 100.0 / double(UsableSpeedPercent(state.settings.speedPercent));
    scale.msPerMpegFrame = MsPerMpegFrame(task.sourceRate);
    Copier copier(state, task);
    if ((task.sourceTagTypes & TagBitId3v2) && source.hasID3v2Tag()) {
        copier.Id3v2(*source.ID3v2Tag(), scale);
    }
    if (task.sourceTagTypes & TagBitApe) {
        if (const TagLib::APE::Tag* ape = source.APETag(false)) {
            copier.Ape(*ape);
        } else if (const long footerAt = ApeFooterBehindLyrics3(source); footerAt >= 0) {
            const TagLib::APE::Tag behindLyrics(&source, footerAt);
            copier.Ape(behindLyrics);
        }
    }
    return 1;
}

} // namespace zorvane
