#pragma once

#include <QString>

#include <taglib/tfilestream.h>

#include <cstdint>
#include <vector>

namespace zorvane {

// The id a hidden frame gets (see BoundedTagStream).
inline constexpr char kHiddenTagFrameId[] = "XZRV";

// The most a single ID3v2 frame may make us hold in memory, as stored or once
// inflated. The compressed frames left to TagLib share it too: together they
// may inflate to no more than this.
inline constexpr uint64_t kMaxTagFrameBytes = 16ull * 1024 * 1024;

struct HiddenTagFrame {
    QString frameId; // as stored; "ID3v2" when the whole tag was hidden
    uint64_t bytes;  // at least this many (counting stops once past what was allowed)
};

// A read-only TagLib stream over an MP3 file that hides every ID3v2 frame whose
// content would exceed the cap, before TagLib sees it. TagLib 1.13 inflates a
// compressed frame in one piece and believes no declared size, so a picture
// frame of a megabyte can inflate to gigabytes inside TagLib. For the same
// reason it hides a compressed frame once the ones left visible would together
// inflate past the cap, and a chapter frame (CHAP, CTOC) that nests others too
// deep or holds too many: TagLib walks those without any limit.
//
// A hidden frame keeps its size and place, but gets the experimental id "XZRV"
// and no flags: TagLib keeps it as an unknown frame of its stored bytes and
// reads the frames after it as before. The frames of an ID3v2.3 tag that is
// unsynchronised as a whole are decoded before they are read, so none has
// bytes of its own to rename: such a tag is hidden whole, as an empty tag.
// Every other byte reads as it is in the file.
//
// The tag at the start of the file is measured at once. TagLib 1.13 also finds a
// tag after leading junk; such a tag is measured when TagLib reads its header.
// Only regular files may be given: opening a FIFO or a device would block.
class BoundedTagStream : public TagLib::FileStream {
public:
    explicit BoundedTagStream(const QString& path, uint64_t maxFrameBytes = kMaxTagFrameBytes);
    ~BoundedTagStream() override;
    BoundedTagStream(const BoundedTagStream&) = delete;
    BoundedTagStream& operator=(const BoundedTagStream&) = delete;

    TagLib::ByteVector readBlock(unsigned long length) override;

    // Frames hidden so far, in the order they were found.
    const std::vector<HiddenTagFrame>& HiddenFrames() const { return hiddenFrames; }

private:
    struct Patch {
        long offset;
        char bytes[4];
        int length;
    };
    struct Range {
        long begin;
        long end;
    };

    void MeasureTagAt(long offset);
    // Renames the frame whose header starts at `at` to an unknown one.
    void HideFrame(long at, const HiddenTagFrame& frame);
    // Makes TagLib take the tag at `offset` as empty.
    void HideWholeTag(long offset, unsigned char firstSizeByte, uint64_t bytes);
    bool NeedsMeasuring(long offset) const;
    void SortPatches();
    void ApplyPatches(long offset, TagLib::ByteVector& block) const;

    const uint64_t maxFrameBytes;
    // What the compressed frames left visible may still inflate to in total.
    uint64_t inflateAllowance;
    // Bytes the measuring may still inflate, consume or decode again, so
    // that no file keeps it (or TagLib after it) busy for long.
    uint64_t workLeft;
    // Frames inside chapter frames it may still walk; TagLib makes an object
    // of each.
    uint32_t embeddedFramesLeft;
    std::vector<Patch> patches;
    std::vector<HiddenTagFrame> hiddenFrames;
    std::vector<long> measuredTags;
    std::vector<Range> visibleTags; // TagLib never looks for a tag inside one
};

} // namespace zorvane
