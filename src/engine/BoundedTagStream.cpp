#include "BoundedTagStream.h"

#include <QFile>

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <span>

// Everything below mirrors how TagLib 1.13 walks an ID3v2 tag (id3v2tag.cpp,
// id3v2framefactory.cpp, id3v2frame.cpp, chapterframe.cpp,
// tableofcontentsframe.cpp), quirks included: a frame we measured differently
// from TagLib would be one we failed to guard.

namespace zorvane {

namespace {

using Bytes = std::span<const unsigned char>;

constexpr unsigned kTagHeaderSize = 10;
constexpr unsigned kFrameHeaderSize = 10;
constexpr size_t kInflateChunk = 16 * 1024;
// A compressed chapter frame has to be inflated to find the frames inside it;
// one that inflates to more than this is hidden instead.
constexpr size_t kMaxInflatedContainer = 64 * 1024;
// TagLib recurses into a chapter frame inside a chapter frame without limit.
constexpr int kMaxNesting = 8;
// A chapter frame with a length indicator reaches to the end of the tag, so
// the frames after it count as inside it too, each time: TagLib's frame count
// can grow exponentially with the frames of a tag. Past this many frames inside
// others, a frame that holds more is hidden.
constexpr uint32_t kMaxEmbeddedFrames = 8192;
// Past this, a further tag header read is hidden rather than measured: only
// TagLib's search for duplicate tags reads that many.
constexpr size_t kMaxMeasuredTags = 64;

// ByteVector::mid: clamped to the data, never failing.
Bytes Mid(Bytes data, uint64_t offset, uint64_t length = UINT64_MAX) {
    offset = std::min<uint64_t>(offset, data.size());
    length = std::min<uint64_t>(length, data.size() - offset);
    return data.subspan(size_t(offset), size_t(length));
}

uint32_t BigEndian32(const unsigned char* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

// SynchData::toUInt: a byte with its top bit set makes TagLib read the bytes as
// a plain big-endian number instead (zero-padded when short).
uint32_t TagLibSynchSafe(Bytes data) {
    const int last = data.size() > 4 ? 3 : int(data.size()) - 1;
    uint32_t sum = 0;
    for (int i = 0; i <= last; ++i) {
        if (data[size_t(i)] & 0x80) {
            unsigned char plain[4] = {};
            std::copy_n(data.begin(), std::min<size_t>(data.size(), 4), plain);
            return BigEndian32(plain);
        }
        sum |= uint32_t(data[size_t(i)] & 0x7f) << ((last - i) * 7);
    }
    return sum;
}

bool IsIdChar(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool IsValidFrameId(Bytes id) {
    return id.size() == 4 && std::all_of(id.begin(), id.end(), IsIdChar);
}

// SynchData::decode.
std::vector<unsigned char> Resynchronise(Bytes data) {
    std::vector<unsigned char> out;
    out.reserve(data.size());
    size_t i = 0;
    while (i + 1 < data.size()) {
        out.push_back(data[i++]);
        if (data[i - 1] == 0xff && data[i] == 0x00) {
            ++i;
        }
    }
    if (i < data.size()) {
        out.push_back(data[i]);
    }
    return out;
}

// Frame::readStringField for Latin-1: past the terminating zero, or where it
// was when there is none.
uint64_t SkipLatin1Text(Bytes data, uint64_t position) {
    if (position >= data.size()) {
        return position;
    }
    const auto zero = std::find(data.begin() + ptrdiff_t(position), data.end(), 0);
    return zero == data.end() ? position : uint64_t(zero - data.begin()) + 1;
}

struct FrameHeader {
    Bytes id; // as stored
    size_t idLength = 4;
    uint32_t size = 0;
    bool compressed = false;
    bool encrypted = false;
    bool unsynchronised = false;
    bool lengthIndicator = false;
};

// Frame::Header::setData and the checks of FrameFactory::createFrame; false
// where TagLib makes no frame, which ends its walk through the frames.
bool ReadFrameHeader(Bytes rest, int version, FrameHeader* header) {
    if (rest.size() < kFrameHeaderSize) {
        return false;
    }
    header->id = rest.first(4);
    const unsigned char flags = rest[9];
    if (version == 3) {
        header->size = BigEndian32(rest.data() + 4);
        header->compressed = flags & 0x80;
        header->encrypted = flags & 0x40;
    } else {
        header->size = TagLibSynchSafe(rest.subspan(4, 4));
        // iTunes writes plain sizes into ID3v2.4 tags; TagLib takes whichever
        // reading lands on a frame id (in 32-bit arithmetic, as TagLib does).
        if (header->size > 127 && !IsValidFrameId(Mid(rest, uint32_t(header->size + 10u), 4))) {
            const uint32_t plain = BigEndian32(rest.data() + 4);
            if (IsValidFrameId(Mid(rest, uint32_t(plain + 10u), 4))) {
                header->size = plain;
            }
        }
        header->compressed = flags & 0x08;
        header->encrypted = flags & 0x04;
        header->unsynchronised = flags & 0x02;
        header->lengthIndicator = flags & 0x01;
    }
    if (header->size <= (header->lengthIndicator ? 4u : 0u) || header->size > rest.size()) {
        return false;
    }
    // iTunes stores ID3v2.2 ids in ID3v2.3 tags, padded with a zero.
    header->idLength = version == 3 && header->id[3] == 0 ? 3 : 4;
    return std::all_of(header->id.begin(), header->id.begin() + ptrdiff_t(header->idLength),
                       IsIdChar);
}

bool IdIs(Bytes id, const char (&name)[5]) {
    return std::equal(id.begin(), id.end(), name, name + 4);
}

struct Measure {
    bool tooBig = false;
    uint64_t bytes = 0;
};

// Measures the frames of one tag as TagLib would parse them. The allowance
// and the work it may still do belong to the whole stream.
class FrameMeasurer {
public:
    FrameMeasurer(int tagVersion, bool tagUnsynchronised, uint64_t frameCap, uint64_t& allowance,
                  uint64_t& work, uint32_t& embedded)
        : version(tagVersion), unsynchronisedTag(tagUnsynchronised), maxFrameBytes(frameCap),
          inflateAllowance(allowance), workLeft(work), embeddedLeft(embedded),
          scratch(kInflateChunk) {}

    // A top-level frame with everything inside it. A frame kept visible uses
    // up its share of the inflate allowance; a hidden one does not.
    Measure TopLevelFrame(Bytes rest, const FrameHeader& header) {
        pending = 0;
        const Measure measure = Frame(rest, header, 0);
        if (!measure.tooBig) {
            inflateAllowance -= pending;
        }
        return measure;
    }

private:
    Measure Frame(Bytes rest, const FrameHeader& header, int depth) {
        Measure measure;
        // createFrame: in ID3v2.4 the frame data is decoded first, on its own.
        std::vector<unsigned char> decoded;
        Bytes data = rest;
        if (version >= 4 && (unsynchronisedTag || header.unsynchronised)) {
            // Frames inside others may be decoded over and over.
            if (depth > 0 && !Spend(header.size)) {
                measure.tooBig = true;
                return measure;
            }
            decoded = Resynchronise(Mid(rest, kFrameHeaderSize, header.size));
            decoded.insert(decoded.begin(), rest.begin(), rest.begin() + kFrameHeaderSize);
            data = decoded;
        }
        // Frame::fieldData: the content starts 4 bytes later when compressed
        // or with a length indicator; compressed content is inflated from there
        // to the end of what was handed over, whatever the sizes say.
        uint64_t offset = kFrameHeaderSize;
        uint32_t length = header.size;
        if (header.compressed || header.lengthIndicator) {
            length = TagLibSynchSafe(Mid(data, kFrameHeaderSize, 4));
            offset += 4;
        }
        const bool chapter = IdIs(header.id, "CHAP");
        const bool container = !header.encrypted && (chapter || IdIs(header.id, "CTOC"));
        std::vector<unsigned char> inflated;
        Bytes content;
        if (header.compressed && !header.encrypted) {
            if (data.size() <= offset) {
                return measure; // TagLib gives up on it: nothing inflated
            }
            measure = CountInflated(data.subspan(size_t(offset)), inflateAllowance - pending,
                                    container ? &inflated : nullptr);
            if (measure.tooBig) {
                return measure;
            }
            pending += measure.bytes;
            content = inflated;
        } else {
            measure.bytes = header.size;
            if (header.size > maxFrameBytes) {
                measure.tooBig = true;
                return measure;
            }
            content = Mid(data, offset, length);
        }
        if (container) {
            if (depth >= kMaxNesting) {
                measure.tooBig = true;
                return measure;
            }
            const Measure inside = EmbeddedFrames(content, chapter, depth + 1);
            measure.bytes += inside.bytes;
            measure.tooBig = inside.tooBig;
        }
        return measure;
    }

    // ChapterFrame / TableOfContentsFrame::parseFields.
    Measure EmbeddedFrames(Bytes content, bool chapter, int depth) {
        Measure total;
        const uint64_t size = content.size();
        uint64_t position = 0;
        if (chapter) {
            if (size < 18) {
                return total;
            }
            position = SkipLatin1Text(content, 0) + 16; // element id, then four times
        } else {
            if (size < 6) {
                return total;
            }
            position = SkipLatin1Text(content, 0);
            const unsigned entries = position + 1 < size ? content[size_t(position + 1)] : 0;
            position += 2; // flags, entry count
            for (unsigned i = 0; i < entries; ++i) {
                const uint64_t next = SkipLatin1Text(content, position);
                if (next == position) {
                    break; // no more zeros: the other entries stay put too
                }
                position = next;
            }
        }
        if (!Spend(std::min(position, size))) {
            total.tooBig = true;
            return total;
        }
        // Past the end TagLib's unsigned size wraps round, but a frame read
        // from there is empty and ends the walk.
        if (position > size || size - position < kFrameHeaderSize) {
            return total;
        }
        const uint64_t room = size - position - kFrameHeaderSize;
        for (uint64_t at = 0; at < room;) {
            const Bytes rest = content.subspan(size_t(position + at));
            FrameHeader header;
            if (!ReadFrameHeader(rest, version, &header)) {
                break;
            }
            if (embeddedLeft == 0) {
                total.tooBig = true;
                break;
            }
            --embeddedLeft;
            const Measure measure = Frame(rest, header, depth);
            total.bytes += measure.bytes;
            if (measure.tooBig) {
                total.tooBig = true;
                break;
            }
            at += uint64_t(header.size) + kFrameHeaderSize;
        }
        return total;
    }

    // What TagLib's zlib::decompress would produce from `input`: it inflates
    // until the stream ends, breaks or runs out of input, and keeps what came
    // out before an error until it sees the error. Counted through a small
    // buffer and stopped as soon as it passes `allowed` or the work runs out.
    Measure CountInflated(Bytes input, uint64_t allowed, std::vector<unsigned char>* keep) {
        Measure measure;
        z_stream stream{};
        if (inflateInit(&stream) != Z_OK) {
            measure.tooBig = true; // we cannot tell; TagLib might manage
            return measure;
        }
        stream.next_in = const_cast<Bytef*>(input.data());
        stream.avail_in = uInt(std::min<size_t>(input.size(), UINT_MAX));
        do {
            stream.next_out = scratch.data();
            stream.avail_out = uInt(scratch.size());
            const uInt inputBefore = stream.avail_in;
            const int result = inflate(&stream, Z_NO_FLUSH);
            const uint64_t produced = scratch.size() - stream.avail_out;
            measure.bytes += produced;
            if (measure.bytes > allowed || !Spend(produced + (inputBefore - stream.avail_in)) ||
                (keep && keep->size() + produced > kMaxInflatedContainer)) {
                measure.tooBig = true;
                break;
            }
            if (result == Z_STREAM_ERROR || result == Z_NEED_DICT || result == Z_DATA_ERROR ||
                result == Z_MEM_ERROR) {
                if (keep) {
                    keep->clear(); // TagLib drops it all
                }
                break;
            }
            if (keep) {
                keep->insert(keep->end(), scratch.begin(), scratch.begin() + ptrdiff_t(produced));
            }
        } while (stream.avail_out == 0);
        inflateEnd(&stream);
        return measure;
    }

    bool Spend(uint64_t work) {
        if (work > workLeft) {
            workLeft = 0;
            return false;
        }
        workLeft -= work;
        return true;
    }

    const int version;
    const bool unsynchronisedTag;
    const uint64_t maxFrameBytes;
    uint64_t& inflateAllowance;
    uint64_t& workLeft;
    uint32_t& embeddedLeft;
    uint64_t pending = 0; // inflated so far inside the current top-level frame
    std::vector<unsigned char> scratch;
};

// ID3v2::Header::parse, as far as the measuring needs it.
struct TagHeader {
    int version = 0;
    bool unsynchronised = false;
    bool extendedHeader = false;
    bool footer = false;
    uint32_t size = 0;               // of what follows the header
    unsigned char firstSizeByte = 0; // as stored
};

// False where TagLib reads no frames: no tag header, or one with a size byte
// whose top bit is set, which makes it an empty tag.
bool ParseTagHeader(const TagLib::ByteVector& block, TagHeader* tag) {
    const auto* header = reinterpret_cast<const unsigned char*>(block.data());
    if (block.size() < kTagHeaderSize || std::memcmp(header, "ID3", 3) != 0 ||
        std::any_of(header + 6, header + 10, [](unsigned char b) { return b & 0x80; })) {
        return false;
    }
    tag->version = header[3];
    tag->unsynchronised = header[5] & 0x80;
    tag->extendedHeader = header[5] & 0x40;
    tag->footer = header[5] & 0x10;
    tag->size = TagLibSynchSafe(Bytes(header + 6, 4));
    tag->firstSizeByte = header[6];
    return true;
}

struct FrameArea {
    uint32_t position = 0;
    uint32_t length = 0;
};

// Where Tag::parse looks for frames in the tag's (decoded) body: past an
// extended header it believes, and short of a footer.
FrameArea FramesOf(Bytes data, const TagHeader& tag) {
    FrameArea area{0, uint32_t(data.size())};
    if (tag.extendedHeader) {
        const uint32_t extendedSize = TagLibSynchSafe(Mid(data, 0, 4));
        if (extendedSize <= data.size()) {
            area.position += extendedSize;
            area.length -= extendedSize;
        }
    }
    if (tag.footer && area.length >= 10) {
        area.length -= 10;
    }
    return area;
}

struct OversizedFrame {
    uint32_t position; // in the tag's body
    HiddenTagFrame frame;
};

struct TagMeasure {
    std::vector<OversizedFrame> oversized; // in the order of the tag
    uint64_t oversizedBytes = 0;
};

// Tag::parse's walk over the top-level frames, measuring each.
TagMeasure MeasureFrames(Bytes data, FrameArea area, int version, FrameMeasurer& measurer) {
    TagMeasure tagMeasure;
    uint32_t position = area.position;
    // The unsigned wrap of TagLib's loop bound is kept: with fewer bytes than a
    // frame header, the frame read fails and ends the walk all the same.
    while (position < uint32_t(area.length - kFrameHeaderSize)) {
        if (position >= data.size() || data[position] == 0) {
            break; // padding
        }
        const Bytes rest = data.subspan(position);
        FrameHeader frame;
        if (!ReadFrameHeader(rest, version, &frame)) {
            break;
        }
        const Measure measure = measurer.TopLevelFrame(rest, frame);
        if (measure.tooBig) {
            const QString id = QString::fromLatin1(reinterpret_cast<const char*>(frame.id.data()),
                                                   qsizetype(frame.idLength));
            tagMeasure.oversized.push_back({position, {id, measure.bytes}});
            tagMeasure.oversizedBytes += measure.bytes;
        }
        position += frame.size + kFrameHeaderSize;
    }
    return tagMeasure;
}

} // namespace

BoundedTagStream::BoundedTagStream(const QString& path, uint64_t maxBytes)
    : TagLib::FileStream(QFile::encodeName(path).constData(), true), maxFrameBytes(maxBytes),
      inflateAllowance(maxBytes), workLeft(maxBytes > UINT64_MAX / 4 ? UINT64_MAX : 4 * maxBytes),
      embeddedFramesLeft(kMaxEmbeddedFrames) {
    if (isOpen()) {
        MeasureTagAt(0);
        seek(0);
    }
}

BoundedTagStream::~BoundedTagStream() = default;

TagLib::ByteVector BoundedTagStream::readBlock(unsigned long length) {
    const long offset = tell();
    TagLib::ByteVector block = FileStream::readBlock(length);
    // ID3v2::Tag reads a tag's header with a read of exactly its size, both
    // for the tag it parses and for the duplicates after it that it skips.
    if (length == kTagHeaderSize && block.size() == kTagHeaderSize &&
        block.startsWith(TagLib::ByteVector("ID3", 3)) && NeedsMeasuring(offset)) {
        if (measuredTags.size() < kMaxMeasuredTags) {
            const long after = tell();
            MeasureTagAt(offset);
            seek(after);
        } else {
            block[0] = 'X';
        }
    }
    ApplyPatches(offset, block);
    return block;
}

bool BoundedTagStream::NeedsMeasuring(long offset) const {
    if (std::find(measuredTags.begin(), measuredTags.end(), offset) != measuredTags.end()) {
        return false;
    }
    return std::none_of(visibleTags.begin(), visibleTags.end(), [offset](const Range& tag) {
        return offset > tag.begin && offset < tag.end;
    });
}

void BoundedTagStream::MeasureTagAt(long offset) {
    measuredTags.push_back(offset);
    seek(offset);
    TagHeader tag;
    if (!ParseTagHeader(FileStream::readBlock(kTagHeaderSize), &tag)) {
        return;
    }
    const Range range{offset, offset + long(kTagHeaderSize + tag.size) + (tag.footer ? 10 : 0)};
    // ID3v2.2 frames cannot be compressed, and their ids are too short to hide.
    if (tag.size == 0 || tag.version < 3) {
        visibleTags.push_back(range);
        return;
    }

    const TagLib::ByteVector body = FileStream::readBlock(tag.size);
    const Bytes stored(reinterpret_cast<const unsigned char*>(body.data()), body.size());
    // Tag::parse decodes an ID3v2.3 tag as a whole, so its frames have no bytes
    // of their own in the file.
    std::vector<unsigned char> decoded;
    const bool wholeTagDecoded = tag.unsynchronised && tag.version <= 3;
    if (wholeTagDecoded) {
        decoded = Resynchronise(stored);
    }
    const Bytes data = wholeTagDecoded ? Bytes(decoded) : stored;

    const uint64_t allowanceBefore = inflateAllowance;
    FrameMeasurer measurer(tag.version, tag.unsynchronised, maxFrameBytes, inflateAllowance,
                           workLeft, embeddedFramesLeft);
    const TagMeasure measure = MeasureFrames(data, FramesOf(data, tag), tag.version, measurer);
    if (measure.oversized.empty()) {
        visibleTags.push_back(range);
    } else if (!wholeTagDecoded) {
        for (const OversizedFrame& oversized : measure.oversized) {
            HideFrame(offset + long(kTagHeaderSize + oversized.position), oversized.frame);
        }
        SortPatches();
        visibleTags.push_back(range);
    } else {
        // Nothing of this tag reaches TagLib, so neither does its inflating.
        inflateAllowance = allowanceBefore;
        HideWholeTag(offset, tag.firstSizeByte, measure.oversizedBytes);
    }
}

void BoundedTagStream::HideFrame(long at, const HiddenTagFrame& frame) {
    // The id, then the two flag bytes after the size, which stays.
    patches.push_back(
        {at,
         {kHiddenTagFrameId[0], kHiddenTagFrameId[1], kHiddenTagFrameId[2], kHiddenTagFrameId[3]},
         4});
    patches.push_back({at + 8, {0, 0}, 2});
    hiddenFrames.push_back(frame);
}

void BoundedTagStream::HideWholeTag(long offset, unsigned char firstSizeByte, uint64_t bytes) {
    // A size byte with its top bit set makes TagLib take the tag as empty
    // (ID3v2::Header::parse). "ID3" stays: TagLib may have found the tag
    // already, and where it ends does not move for what follows.
    patches.push_back({offset + 6, {char(firstSizeByte | 0x80)}, 1});
    SortPatches();
    hiddenFrames.push_back({QStringLiteral("ID3v2"), bytes});
}

// Patches never overlap (each lies in a frame header or a tag header of its
// own), so sorted by start they are sorted by end too.
void BoundedTagStream::SortPatches() {
    std::sort(patches.begin(), patches.end(),
              [](const Patch& a, const Patch& b) { return a.offset < b.offset; });
}

void BoundedTagStream::ApplyPatches(long offset, TagLib::ByteVector& block) const {
    const long end = offset + long(block.size());
    auto patch = std::partition_point(patches.begin(), patches.end(), [offset](const Patch& p) {
        return p.offset + p.length <= offset;
    });
    for (; patch != patches.end() && patch->offset < end; ++patch) {
        const long from = std::max(patch->offset, offset);
        const long to = std::min(patch->offset + patch->length, end);
        for (long at = from; at < to; ++at) {
            block[static_cast<unsigned int>(at - offset)] = patch->bytes[at - patch->offset];
        }
    }
}

} // namespace zorvane
