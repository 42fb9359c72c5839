#include "TagFixtures.h"

#include <QFile>

#include <taglib/apeitem.h>
#include <taglib/apetag.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/commentsframe.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>

#include <zlib.h>

#include <algorithm>

namespace zorvane::testing {

namespace {

TagLib::String ToTag(const QString& text) {
    return TagLib::String(text.toStdString(), TagLib::String::UTF8);
}

QString FromTag(const TagLib::String& text) {
    return QString::fromStdString(text.to8Bit(true));
}

QByteArray FromVector(const TagLib::ByteVector& data) {
    return QByteArray(data.data(), qsizetype(data.size()));
}

int ToTagLibKinds(int kinds) {
    int tags = 0;
    if (kinds & TagId3v1)
        tags |= TagLib::MPEG::File::ID3v1;
    if (kinds & TagId3v2)
        tags |= TagLib::MPEG::File::ID3v2;
    if (kinds & TagApe)
        tags |= TagLib::MPEG::File::APE;
    return tags;
}

quint32 Be32(const unsigned char* p) {
    return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | quint32(p[3]);
}

quint32 Le32(const unsigned char* p) {
    return (quint32(p[3]) << 24) | (quint32(p[2]) << 16) | (quint32(p[1]) << 8) | quint32(p[0]);
}

quint32 SyncSafe32(const unsigned char* p) {
    return (quint32(p[0] & 0x7f) << 21) | (quint32(p[1] & 0x7f) << 14) |
           (quint32(p[2] & 0x7f) << 7) | quint32(p[3] & 0x7f);
}

// TagLib renames 2.3 frames to their 2.4 ids while parsing, so the ids a file
// really holds have to be read from the bytes.
void ReadRawId3v2(QFile& file, ReadBackTags* out) {
    file.seek(0);
    const QByteArray header = file.read(10);
    if (header.size() < 10 || !header.startsWith("ID3"))
        return;
    const auto* h = reinterpret_cast<const unsigned char*>(header.constData());
    const int major = h[3];
    out->id3v2Version = major;
    const qint64 size = SyncSafe32(h + 6);
    const QByteArray body = file.read(size);
    const auto* p = reinterpret_cast<const unsigned char*>(body.constData());
    const qint64 end = body.size();
    qint64 pos = 0;
    if ((h[5] & 0x40) && end >= 4)
        pos = major == 3 ? 4 + qint64(Be32(p)) : qint64(SyncSafe32(p));
    const int idLength = major == 2 ? 3 : 4;
    const int headerLength = major == 2 ? 6 : 10;
    while (pos + headerLength <= end) {
        const QByteArray id = body.mid(pos, idLength);
        bool valid = true;
        for (char c : id) {
            if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
                valid = false;
        }
        if (!valid)
            break; // padding or garbage
        qint64 frameSize = 0;
        if (major == 2)
            frameSize = (qint64(p[pos + 3]) << 16) | (qint64(p[pos + 4]) << 8) | p[pos + 5];
        else if (major == 3)
            frameSize = Be32(p + pos + 4);
        else
            frameSize = SyncSafe32(p + pos + 4);
        out->id3v2FrameOrder.append(QString::fromLatin1(id));
        pos += headerLength + frameSize;
    }
}

// TagLib keeps APE items in a map sorted by key, so it cannot tell the order
// in which a writer put them.
void ReadRawApeKeys(QFile& file, ReadBackTags* out) {
    qint64 end = file.size();
    if (end >= 128) {
        file.seek(end - 128);
        if (file.read(3) == QByteArrayLiteral("TAG"))
            end -= 128;
    }
    if (end < 32)
        return;
    file.seek(end - 32);
    const QByteArray footer = file.read(32);
    if (!footer.startsWith("APETAGEX"))
        return;
    const auto* f = reinterpret_cast<const unsigned char*>(footer.constData());
    const qint64 tagSize = Le32(f + 12);
    const quint32 itemCount = Le32(f + 16);
    const qint64 itemsStart = end - tagSize;
    if (tagSize < 32 || itemsStart < 0)
        return;
    file.seek(itemsStart);
    const QByteArray items = file.read(tagSize - 32);
    const auto* p = reinterpret_cast<const unsigned char*>(items.constData());
    qint64 pos = 0;
    for (quint32 i = 0; i < itemCount && pos + 8 < items.size(); ++i) {
        const qint64 valueSize = Le32(p + pos);
        const qint64 keyStart = pos + 8;
        const qint64 keyEnd = items.indexOf('\0', keyStart);
        if (keyEnd < 0)
            break;
        out->apeKeyOrder.append(QString::fromLatin1(items.mid(keyStart, keyEnd - keyStart)));
        pos = keyEnd + 1 + valueSize;
    }
}

QString FirstText(const TagLib::ID3v2::Tag* tag, const char* id) {
    const TagLib::ID3v2::FrameList& frames = tag->frameListMap()[TagLib::ByteVector(id)];
    return frames.isEmpty() ? QString() : FromTag(frames.front()->toString());
}

QString ApeText(const TagLib::APE::Tag* tag, const char* key) {
    const TagLib::APE::ItemListMap& items = tag->itemListMap();
    const auto it = items.find(TagLib::String(key).upper());
    return it == items.end() ? QString() : FromTag(it->second.toString());
}

// A zlib stream of `prefix` and then zeros, `inflatedBytes` in all.
QByteArray CompressedZeros(const QByteArray& prefix, quint64 inflatedBytes) {
    // Two 1 GiB rows of a test would otherwise compress the same gigabyte twice.
    static QByteArray lastPrefix;
    static quint64 lastSize = 0;
    static QByteArray lastStream;
    if (!lastStream.isEmpty() && lastPrefix == prefix && lastSize == inflatedBytes)
        return lastStream;

    z_stream stream{};
    if (deflateInit(&stream, Z_BEST_COMPRESSION) != Z_OK)
        return QByteArray();
    QByteArray out;
    char buffer[64 * 1024];
    const auto feed = [&](const char* data, quint64 size, int flush) {
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
        stream.avail_in = uInt(size);
        do {
            stream.next_out = reinterpret_cast<Bytef*>(buffer);
            stream.avail_out = sizeof(buffer);
            deflate(&stream, flush);
            out.append(buffer, qsizetype(sizeof(buffer) - stream.avail_out));
        } while (stream.avail_out == 0);
    };
    const QByteArray head = prefix.left(qsizetype(std::min<quint64>(inflatedBytes, prefix.size())));
    quint64 left = inflatedBytes - quint64(head.size());
    feed(head.constData(), quint64(head.size()), left == 0 ? Z_FINISH : Z_NO_FLUSH);
    const QByteArray zeros(64 * 1024, '\0');
    while (left > 0) {
        const quint64 take = std::min<quint64>(left, quint64(zeros.size()));
        left -= take;
        feed(zeros.constData(), take, left == 0 ? Z_FINISH : Z_NO_FLUSH);
    }
    deflateEnd(&stream);
    lastPrefix = prefix;
    lastSize = inflatedBytes;
    lastStream = out;
    return out;
}

} // namespace

TagTexts ExampleTagTexts() {
    TagTexts t;
    t.artist = QStringLiteral("Test Artist");
    t.albumArtist = QStringLiteral("Test Album Artist");
    t.album = QStringLiteral("Test Album");
    t.track = QStringLiteral("7");
    t.title = QStringLiteral("Test Title");
    t.genre = QStringLiteral("Rock");
    t.date = QStringLiteral("2021");
    t.comment = QStringLiteral("Test comment");
    return t;
}

bool AddTags(const QString& path, int kinds, const TagTexts& texts, int id3v2Version) {
    if (id3v2Version != 3 && id3v2Version != 4)
        return false;
    const QByteArray name = QFile::encodeName(path);
    TagLib::MPEG::File file(name.constData(), false);
    if (!file.isValid())
        return false;
    // Start from nothing, so that leftovers of an earlier call cannot make a
    // test pass for the wrong reason.
    if (!file.strip(TagLib::MPEG::File::AllTags))
        return false;
    if (kinds == 0)
        return true;

    if (kinds & TagId3v2) {
        TagLib::ID3v2::Tag* tag = file.ID3v2Tag(true);
        // 2.3 has no UTF-8; TagLib would convert anyway, but being explicit keeps
        // what lands in the file predictable.
        const auto encoding = id3v2Version == 4 ? TagLib::String::UTF8 : TagLib::String::UTF16;
        auto addText = [&](const char* id, const QString& value) {
            if (value.isEmpty())
                return;
            auto* frame =
                new TagLib::ID3v2::TextIdentificationFrame(TagLib::ByteVector(id), encoding);
            frame->setText(ToTag(value));
            tag->addFrame(frame);
        };
        addText("TPE1", texts.artist);
        addText("TPE2", texts.albumArtist);
        addText("TALB", texts.album);
        addText("TRCK", texts.track);
        addText("TIT2", texts.title);
        addText("TCON", texts.genre);
        addText("TDRC", texts.date);
        if (!texts.comment.isEmpty()) {
            auto* frame = new TagLib::ID3v2::CommentsFrame(encoding);
            frame->setLanguage(TagLib::ByteVector("eng"));
            frame->setText(ToTag(texts.comment));
            tag->addFrame(frame);
        }
    }
    if (kinds & TagApe) {
        TagLib::APE::Tag* tag = file.APETag(true);
        auto addItem = [&](const char* key, const QString& value) {
            if (!value.isEmpty())
                tag->addValue(TagLib::String(key), ToTag(value), true);
        };
        addItem("ARTIST", texts.artist);
        addItem("ALBUM ARTIST", texts.albumArtist);
        addItem("ALBUM", texts.album);
        addItem("TRACK", texts.track);
        addItem("TITLE", texts.title);
        addItem("GENRE", texts.genre);
        addItem("DATE", texts.date);
        addItem("COMMENT", texts.comment);
    }
    if (kinds & TagId3v1) {
        TagLib::ID3v1::Tag* tag = file.ID3v1Tag(true);
        tag->setArtist(ToTag(texts.artist));
        tag->setAlbum(ToTag(texts.album));
        tag->setTitle(ToTag(texts.title));
        tag->setGenre(ToTag(texts.genre));
        tag->setComment(ToTag(texts.comment));
        tag->setTrack(texts.track.section(QLatin1Char('/'), 0, 0).toUInt());
        tag->setYear(texts.date.left(4).toUInt());
    }
    return file.save(ToTagLibKinds(kinds), TagLib::File::StripOthers,
                     id3v2Version == 3 ? TagLib::ID3v2::v3 : TagLib::ID3v2::v4,
                     TagLib::File::DoNotDuplicate);
}

bool AddFrontCover(const QString& path, const QByteArray& imageData, const QString& mimeType) {
    const QByteArray name = QFile::encodeName(path);
    TagLib::MPEG::File file(name.constData(), false);
    if (!file.isValid())
        return false;
    int tags = TagLib::MPEG::File::ID3v2;
    if (file.hasID3v1Tag())
        tags |= TagLib::MPEG::File::ID3v1;
    if (file.hasAPETag())
        tags |= TagLib::MPEG::File::APE;
    const bool hadId3v2 = file.hasID3v2Tag();
    TagLib::ID3v2::Tag* tag = file.ID3v2Tag(true);
    const int version = hadId3v2 && tag->header()->majorVersion() == 3 ? 3 : 4;
    auto* frame = new TagLib::ID3v2::AttachedPictureFrame();
    frame->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
    frame->setMimeType(ToTag(mimeType));
    frame->setPicture(TagLib::ByteVector(imageData.constData(), uint(imageData.size())));
    tag->addFrame(frame);
    return file.save(tags, TagLib::File::StripNone,
                     version == 3 ? TagLib::ID3v2::v3 : TagLib::ID3v2::v4,
                     TagLib::File::DoNotDuplicate);
}

QByteArray Id3v2Header(int version, quint8 flags, quint32 tagSize) {
    QByteArray header("ID3", 3);
    header += char(version);
    header += '\0';
    header += char(flags);
    for (int shift = 21; shift >= 0; shift -= 7)
        header += char((tagSize >> shift) & 0x7f);
    return header;
}

QByteArray Id3v2Frame(int version, const QByteArray& id, const QByteArray& data,
                      quint8 formatFlags) {
    const quint32 size = quint32(data.size());
    QByteArray frame = id;
    for (int i = 0; i < 4; ++i) {
        const int shift = version == 3 ? 24 - 8 * i : 21 - 7 * i;
        frame += char((size >> shift) & (version == 3 ? 0xff : 0x7f));
    }
    frame += '\0';
    frame += char(formatFlags);
    return frame + data;
}

QByteArray PictureFrameStart() {
    return QByteArray("\0image/png\0\x03\0", 13);
}

QByteArray CompressedPictureFrame(int version, quint64 inflatedBytes, bool truncated) {
    QByteArray picture = CompressedZeros(PictureFrameStart(), inflatedBytes);
    if (truncated)
        picture.truncate(picture.size() / 2);
    QByteArray declared(4, '\0');
    // ID3v2.3: compression, then the inflated size as a plain 32-bit number.
    // ID3v2.4: compression with its data length indicator, synchsafe, so that
    // 256 MiB and more cannot be said.
    const quint64 length =
        version == 3 ? inflatedBytes : std::min<quint64>(inflatedBytes, 0x0fffffff);
    for (int i = 0; i < 4; ++i) {
        const int shift = version == 3 ? 24 - 8 * i : 21 - 7 * i;
        declared[i] = char((length >> shift) & (version == 3 ? 0xff : 0x7f));
    }
    return Id3v2Frame(version, "APIC", declared + picture, version == 3 ? 0x80 : 0x09);
}

bool WriteCompressedPictureMp3(const QString& audioSource, const QString& path, int version,
                               quint64 inflatedBytes, const QString& title, const QString& artist) {
    if (version != 3 && version != 4)
        return false;
    QFile source(audioSource);
    if (!source.open(QIODevice::ReadOnly))
        return false;
    const QByteArray audio = source.readAll();
    if (audio.startsWith("ID3"))
        return false;
    const QByteArray body = Id3v2Frame(version, "TIT2", '\0' + title.toLatin1()) +
                            CompressedPictureFrame(version, inflatedBytes) +
                            Id3v2Frame(version, "TPE1", '\0' + artist.toLatin1());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray bytes = Id3v2Header(version, 0, quint32(body.size())) + body + audio;
    return file.write(bytes) == bytes.size();
}

QByteArray TinyPng() {
    // One green pixel, RGB, with correct chunk CRCs and zlib stream.
    static const unsigned char kPng[] = {
        0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48,
        0x44, 0x52, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x02, 0x00, 0x00,
        0x00, 0x90, 0x77, 0x53, 0xde, 0x00, 0x00, 0x00, 0x0c, 0x49, 0x44, 0x41, 0x54, 0x78,
        0xda, 0x63, 0xf8, 0xcf, 0xc0, 0x00, 0x00, 0x03, 0x01, 0x01, 0x00, 0xf7, 0x03, 0x41,
        0x43, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};
    return QByteArray(reinterpret_cast<const char*>(kPng), qsizetype(sizeof(kPng)));
}

ReadBackTags ReadTags(const QString& path) {
    ReadBackTags out;
    {
        QFile raw(path);
        if (!raw.open(QIODevice::ReadOnly))
            return out;
        ReadRawId3v2(raw, &out);
        ReadRawApeKeys(raw, &out);
    }

    const QByteArray name = QFile::encodeName(path);
    TagLib::MPEG::File file(name.constData(), false);
    if (!file.isValid())
        return out;

    if (file.hasID3v2Tag()) {
        out.kinds |= TagId3v2;
        const TagLib::ID3v2::Tag* tag = file.ID3v2Tag();
        out.id3v2.artist = FirstText(tag, "TPE1");
        out.id3v2.albumArtist = FirstText(tag, "TPE2");
        out.id3v2.album = FirstText(tag, "TALB");
        out.id3v2.track = FirstText(tag, "TRCK");
        out.id3v2.title = FirstText(tag, "TIT2");
        out.id3v2.genre = FirstText(tag, "TCON");
        out.id3v2.date = FirstText(tag, "TDRC");
        // A file may carry several COMM frames (players add their own with a
        // description); the plain comment is the one without.
        const TagLib::ID3v2::FrameList& comments = tag->frameListMap()["COMM"];
        for (const TagLib::ID3v2::Frame* frame : comments) {
            const auto* comment = dynamic_cast<const TagLib::ID3v2::CommentsFrame*>(frame);
            if (comment && comment->description().isEmpty()) {
                out.id3v2.comment = FromTag(comment->text());
                break;
            }
        }
        if (out.id3v2.comment.isEmpty() && !comments.isEmpty())
            out.id3v2.comment = FromTag(comments.front()->toString());
        out.id3v2EncodedBy = FirstText(tag, "TENC");
        for (const TagLib::ID3v2::Frame* frame : tag->frameListMap()["APIC"]) {
            if (const auto* picture =
                    dynamic_cast<const TagLib::ID3v2::AttachedPictureFrame*>(frame)) {
                out.pictures.append(FromVector(picture->picture()));
                out.pictureMimeTypes.append(FromTag(picture->mimeType()));
            }
        }
    }
    if (file.hasAPETag()) {
        out.kinds |= TagApe;
        const TagLib::APE::Tag* tag = file.APETag();
        out.ape.artist = ApeText(tag, "ARTIST");
        out.ape.albumArtist = ApeText(tag, "ALBUM ARTIST");
        out.ape.album = ApeText(tag, "ALBUM");
        out.ape.track = ApeText(tag, "TRACK");
        out.ape.title = ApeText(tag, "TITLE");
        out.ape.genre = ApeText(tag, "GENRE");
        out.ape.date = ApeText(tag, "DATE");
        out.ape.comment = ApeText(tag, "COMMENT");
        out.apeEncodedBy = ApeText(tag, "ENCODED BY");
    }
    if (file.hasID3v1Tag()) {
        out.kinds |= TagId3v1;
        const TagLib::ID3v1::Tag* tag = file.ID3v1Tag();
        out.id3v1.artist = FromTag(tag->artist());
        out.id3v1.album = FromTag(tag->album());
        out.id3v1.title = FromTag(tag->title());
        out.id3v1.genre = FromTag(tag->genre());
        out.id3v1.comment = FromTag(tag->comment());
        if (tag->track() > 0)
            out.id3v1.track = QString::number(tag->track());
        if (tag->year() > 0)
            out.id3v1.date = QString::number(tag->year());
    }
    return out;
}

} // namespace zorvane::testing
