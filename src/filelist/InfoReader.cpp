#include "InfoReader.h"

#include "FileListColumns.h"
#include "engine/BoundedTagStream.h"
#include "engine/ConversionTask.h"
#include "engine/EngineContext.h"
#include "engine/TagLibText.h"
#include "engine/TagTransfer.h"
#include "platform/LeadingNumber.h"
#include "platform/MessageSink.h"

#include <QFile>

#include <mpg123.h>
#include <taglib/apefooter.h>
#include <taglib/apetag.h>
#include <taglib/audioproperties.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>

#include <initializer_list>
#include <memory>

#include <sys/stat.h>

namespace zorvane {

namespace {

// Opening a FIFO, a device or a socket would block until someone writes to
// it, or read forever, so only regular files (or links to one) are opened.
bool IsRegularFile(const QString& path) {
    struct stat status {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 && S_ISREG(status.st_mode);
}

// ID3v1 holds single-byte text, which TagLib hands over as Latin-1.
QString FromId3v1(const TagLib::String& text) {
    return QString::fromLatin1(text.to8Bit(false));
}

// Writes a tag column only while it is empty: the readers run from the most
// to the least capable tag kind, so the first one to have a field wins it.
bool FillIfEmpty(InfoRowSink& row, int column, const QString& text) {
    if (!row.CellText(column).isEmpty()) {
        return false;
    }
    row.SetCellText(column, text);
    if (QString* field = TagTextOfColumn(row.Info(), column)) {
        *field = text;
    }
    return true;
}

// A track number as atoi reads it, kept modulo 256 for sorting.
uint8_t LeadingNumberModulo256(QStringView text) {
    return uint8_t(ReadLeadingNumber(text).Wrapped());
}

void FillTrack(InfoRowSink& row, const QString& text) {
    if (FillIfEmpty(row, ColumnTrack, text)) {
        SplitTrackText(text, row.Info());
    }
}

} // namespace

void SplitTrackText(const QString& text, MediaFileInfo& info) {
    if (text.isEmpty()) {
        info.trackNumber = 0;
        return;
    }
    const qsizetype slash = text.indexOf(u'/');
    if (slash < 0) {
        info.trackNumber = LeadingNumberModulo256(text);
        return;
    }
    info.trackNumber = LeadingNumberModulo256(QStringView(text).left(slash));
    info.trackTotal = LeadingNumberModulo256(QStringView(text).mid(slash + 1));
}

void ReadId3v2Fields(const TagLib::ID3v2::Tag& tag, InfoRowSink& row) {
    const TagLib::ID3v2::FrameListMap& frames = tag.frameListMap();
    // The text of the first frame with the id, or nothing when there is no
    // such frame; a frame with an empty text still claims its column.
    const auto frameText = [&frames](const char* id, QString* text) {
        const auto it = frames.find(TagLib::ByteVector(id, 4));
        if (it == frames.end() || it->second.isEmpty()) {
            return false;
        }
        *text = FromTagLib(it->second.front()->toString());
        return true;
    };
    QString text;
    if (frameText("TPE1", &text)) {
        FillIfEmpty(row, ColumnArtist, text);
    }
    if (frameText("TPE2", &text)) {
        FillIfEmpty(row, ColumnAlbumArtist, text);
    }
    if (frameText("TALB", &text)) {
        FillIfEmpty(row, ColumnAlbum, text);
    }
    if (frameText("TRCK", &text)) {
        FillTrack(row, text);
    }
    if (frameText("TIT2", &text)) {
        FillIfEmpty(row, ColumnTitle, text);
    }
    // TagLib resolves "(17)" and plain numbers to the genre's name.
    if (const QString genre = FromTagLib(tag.genre()); !genre.isEmpty()) {
        FillIfEmpty(row, ColumnGenre, genre);
    }
    // TagLib turns an ID3v2.3 TYER (with TDAT) into TDRC as it reads the tag.
    if (frameText("TDRC", &text)) {
        FillIfEmpty(row, ColumnDate, text);
    }
    if (const QString comment = FromTagLib(tag.comment()); !comment.isEmpty()) {
        FillIfEmpty(row, ColumnComment, comment);
    }
}

void ReadApeFields(const TagLib::APE::Tag& tag, InfoRowSink& row) {
    // TagLib keeps APE keys in upper case, APE keys being case-insensitive.
    const TagLib::APE::ItemListMap& items = tag.itemListMap();
    const auto itemText = [&items](std::initializer_list<const char*> keys, QString* text) {
        for (const char* key : keys) {
            const auto it = items.find(TagLib::String(key));
            if (it != items.end() && !it->second.isEmpty()) {
                *text = FromTagLib(it->second.toString());
                return true;
            }
        }
        return false;
    };
    QString text;
    if (itemText({"ARTIST"}, &text)) {
        FillIfEmpty(row, ColumnArtist, text);
    }
    if (itemText({"ALBUM ARTIST", "ALBUMARTIST"}, &text)) {
        FillIfEmpty(row, ColumnAlbumArtist, text);
    }
    if (itemText({"ALBUM"}, &text)) {
        FillIfEmpty(row, ColumnAlbum, text);
    }
    if (itemText({"TRACK", "TRACKNUMBER"}, &text)) {
        FillTrack(row, text);
    }
    if (itemText({"TITLE"}, &text)) {
        FillIfEmpty(row, ColumnTitle, text);
    }
    if (itemText({"GENRE"}, &text)) {
        FillIfEmpty(row, ColumnGenre, text);
    }
    if (itemText({"DATE", "YEAR"}, &text)) {
        FillIfEmpty(row, ColumnDate, text);
    }
    if (itemText({"COMMENT"}, &text)) {
        FillIfEmpty(row, ColumnComment, text);
    }
}

void ReadId3v1Fields(const TagLib::ID3v1::Tag& tag, InfoRowSink& row) {
    // ID3v1 has no album artist.
    FillIfEmpty(row, ColumnArtist, FromId3v1(tag.artist()));
    FillIfEmpty(row, ColumnAlbum, FromId3v1(tag.album()));
    if (const unsigned track = tag.track(); track != 0) {
        if (FillIfEmpty(row, ColumnTrack, QString::number(track))) {
            row.Info().trackNumber = uint8_t(track % 256);
            row.Info().trackTotal = 0;
        }
    }
    FillIfEmpty(row, ColumnTitle, FromId3v1(tag.title()));
    FillIfEmpty(row, ColumnGenre, FromId3v1(tag.genre()));
    if (const unsigned year = tag.year(); year != 0) {
        FillIfEmpty(row, ColumnDate, QString::number(year));
    }
    FillIfEmpty(row, ColumnComment, FromId3v1(tag.comment()));
}

InfoReader::InfoReader(MessageSink& messageSink, std::atomic<double>* durationSum)
    : messages(messageSink), totalDurationSeconds(durationSum) {
    if (!EnsureDecoderLibrary()) {
        handleError = MPG123_NOT_INITIALIZED;
        return;
    }
    infoDecoder = mpg123_new(nullptr, &handleError);
    if (infoDecoder) {
        // Damaged files are reported once through the message sink; the
        // library's own warnings on standard error would only repeat them.
        mpg123_param(infoDecoder, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    }
}

InfoReader::~InfoReader() {
    if (infoDecoder) {
        mpg123_delete(infoDecoder);
    }
}

void InfoReader::ReadMediaInfo(const QString& path, InfoRowSink& row) {
    MediaFileInfo& info = row.Info();
    // A row is normally read once, but reading it again must not keep texts,
    // flags or derived cells of the file it showed before.
    info.invalid = 0;
    info.tagFlags = 0;
    info.trackNumber = 0;
    info.trackTotal = 0;
    info.sampleRate = 0;
    info.channels = 0;
    info.totalSamples = 0;
    info.bitrateKbps = 0;
    info.durationSeconds = 0.0;
    static_cast<TagTexts&>(info) = TagTexts();
    for (int column = ColumnTag; column <= ColumnComment; ++column) {
        row.SetCellText(column, QString());
    }
    for (int column = ColumnDuration; column <= ColumnBitrate; ++column) {
        row.SetCellText(column, QString());
    }

    // Linux has no share modes that deny writers; a file that opens for
    // reading is one the decoder and TagLib can read too. Anything but a
    // regular file is not even tried.
    QFile probe(path);
    if (!IsRegularFile(path) || !probe.open(QIODevice::ReadOnly)) {
        info.invalid = 1;
    } else {
        probe.close();
        ReadStreamAndTags(path, row);
        if (info.channels == 0 || info.sampleRate == 0 || info.totalSamples == 0) {
            info.invalid = 1;
        }
    }

    if (info.invalid == 0) {
        row.SetCellText(ColumnDuration, DurationText(info.durationSeconds));
        row.SetCellText(ColumnChannel, ChannelText(info.channels));
        row.SetCellText(ColumnFrequency, FrequencyText(info.sampleRate));
        return;
    }
    row.SetCellText(ColumnType, QStringLiteral("Unknown"));
    row.SetCellTextColor(ColumnType, kInvalidTypeTextRgb);
}

void InfoReader::ReadStreamAndTags(const QString& path, InfoRowSink& row) {
    ReadStream(path, row.Info());
    ReadTags(path, row);
}

void InfoReader::ReadStream(const QString& path, MediaFileInfo& info) {
    if (!IsRegularFile(path)) {
        info.invalid = 1;
        return;
    }
    int result = MPG123_ERR;
    long rate = 0;
    int channelCount = 0;
    int encoding = 0;
    if (infoDecoder) {
        result = mpg123_open(infoDecoder, QFile::encodeName(path).constData());
        if (result == MPG123_OK) {
            result = mpg123_getformat(infoDecoder, &rate, &channelCount, &encoding);
        }
    }
    if (result == MPG123_OK) {
        // A length the library cannot tell (negative) counts as none, which
        // makes the row invalid instead of showing an absurd duration.
        const off_t length = mpg123_length(infoDecoder);
        info.sampleRate = uint32_t(rate);
        info.channels = uint32_t(channelCount);
        info.totalSamples = length > 0 ? uint64_t(length) * info.channels : 0;
        const double samplesPerSecond = double(info.sampleRate) * info.channels;
        info.durationSeconds =
            samplesPerSecond > 0 ? double(info.totalSamples) / samplesPerSecond : 0.0;
        if (totalDurationSeconds) {
            totalDurationSeconds->fetch_add(info.durationSeconds, std::memory_order_relaxed);
        }
    } else {
        // Without a handle the reason is why it could not be made (the code
        // of "no error" would say nothing). A failing call need not leave a
        // code in the handle; rather than "no error", its result speaks then.
        const char* reason = nullptr;
        if (!infoDecoder) {
            reason = mpg123_plain_strerror(handleError);
        } else if (mpg123_errcode(infoDecoder) != MPG123_OK) {
            reason = mpg123_strerror(infoDecoder);
        } else {
            reason = mpg123_plain_strerror(result);
        }
        messages.ShowError(
            QStringLiteral("Trouble with mpg123: %1").arg(QString::fromUtf8(reason)));
        info.invalid = 1;
    }
    if (infoDecoder) {
        mpg123_close(infoDecoder);
    }
}

void InfoReader::ReadTags(const QString& path, InfoRowSink& row) {
    if (!IsRegularFile(path)) {
        return;
    }
    BoundedTagStream stream(path);
    TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
    MediaFileInfo& info = row.Info();
    QString kinds;
    // TagLib gives every MPEG file an empty ID3v2 and ID3v1 tag to fill, so
    // only a tag with content counts; an APE tag counts as soon as it exists.
    TagLib::ID3v2::Tag* id3v2 = file.ID3v2Tag(false);
    if (id3v2 && !id3v2->isEmpty()) {
        kinds += QStringLiteral("ID3v2.%1  ").arg(id3v2->header()->majorVersion());
        info.tagFlags |= TagBitId3v2;
    } else {
        id3v2 = nullptr;
    }
    TagLib::APE::Tag* ape = file.APETag(false);
    // TagLib looks for an APE tag only right before the ID3v1 tag, where a
    // Lyrics3v2 block may stand instead.
    std::unique_ptr<TagLib::APE::Tag> apeBehindLyrics;
    if (!ape && file.isValid()) {
        if (const long footerAt = ApeFooterBehindLyrics3(file); footerAt >= 0) {
            apeBehindLyrics = std::make_unique<TagLib::APE::Tag>(&file, footerAt);
            ape = apeBehindLyrics.get();
        }
    }
    if (ape) {
        kinds += QStringLiteral("APEv%1  ").arg(ape->footer()->version() / 1000);
        info.tagFlags |= TagBitApe;
    }
    TagLib::ID3v1::Tag* id3v1 = file.ID3v1Tag(false);
    if (id3v1 && !id3v1->isEmpty()) {
        kinds += QStringLiteral("ID3v1");
        info.tagFlags |= TagBitId3v1;
    } else {
        id3v1 = nullptr;
    }
    row.SetCellText(ColumnTag, kinds);

    if (id3v2) {
        ReadId3v2Fields(*id3v2, row);
    }
    if (ape) {
        ReadApeFields(*ape, row);
    }
    if (id3v1) {
        ReadId3v1Fields(*id3v1, row);
    }
}

void InfoReader::ReadBitrate(const QString& path, InfoRowSink& row) {
    if (!IsRegularFile(path)) {
        return;
    }
    // TagLib parses the tags on the way to the properties, so they need the
    // same guard as when they are read for their texts.
    BoundedTagStream stream(path);
    TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), true,
                            TagLib::AudioProperties::Fast);
    const TagLib::AudioProperties* properties = file.audioProperties();
    if (!file.isValid() || !properties || properties->bitrate() <= 0) {
        return;
    }
    row.Info().bitrateKbps = uint32_t(properties->bitrate());
    row.SetCellText(ColumnBitrate, BitrateText(row.Info().bitrateKbps));
}

} // namespace zorvane
