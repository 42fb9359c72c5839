#pragma once

#include "RingBuffer.h"
#include "TagTexts.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <vector>

namespace zorvane {

// Format codes of MediaFileInfo::formatCode and of the task's formats.
inline constexpr int32_t kFormatMp3 = 2;

// Tag-type bits of sourceTagTypes / tagTypesToWrite (TagLib's MPEG tag types).
enum TagTypeBits : uint8_t { TagBitId3v1 = 1, TagBitId3v2 = 2, TagBitApe = 4 };

// A 32-bit flag that one stage writes and others poll. The writer publishes
// with release and readers load with acquire, because the end-of-stream test
// "flag is 0, so the ring holds everything" must also see the ring's last
// write index. Copying a task copies the value, not the sharing.
class StageFlag {
public:
    StageFlag() = default;
    StageFlag(const StageFlag& other) : value(other.Get()) {}
    StageFlag& operator=(const StageFlag& other) {
        Set(other.Get());
        return *this;
    }
    int32_t Get() const { return value.load(std::memory_order_acquire); }
    void Set(int32_t v) { value.store(v, std::memory_order_release); }

private:
    std::atomic<int32_t> value{0};
};

// A picture of the source's ID3v2 tag (cover art). The driver's working copy
// of a task reads them from the source before any output is written, so a
// source that disappears during its conversion cannot take them along.
struct TagPicture {
    QByteArray data;
    QString mimeType;
    QString description;
    int type = 3; // the ID3v2 picture type; 3 is the front cover
};

// A frame or item among the ones the tag step writes whose source held more
// than one value. The values go out as they were while the task's text is
// still the one the file list made of them.
struct TagValues {
    QByteArray id; // ID3v2 frame id, or APE key in upper case
    QString shownText;
    QStringList values;
};

// What the source's ID3v2 and APE tags hold beyond the eight texts and the
// pictures, read with the pictures and already made true for the output:
// chapter and lyric times moved by the speed change, the length set to the
// output's.
struct CopiedTags {
    int id3v2Version = 0; // the source's ID3v2 major version; 0 without one
    // Whole frames (header and content), rendered for the output's version.
    std::vector<QByteArray> id3v2Frames;
    // Whole APE items as the APE tag stores them.
    std::vector<QByteArray> apeItems;
    std::vector<TagValues> multiValued;
};

// One queued file of a conversion run, with the tag texts its output is given.
// The run keeps one copy per file in its task list; the driver converts a
// further working copy, whose stage flags are the only members shared between
// threads while the file converts.
class CConversionTask : public TagTexts {
public:
    QString sourcePath;
    int32_t sourceFormat = -1;
    uint32_t sourceRate = uint32_t(-1);     // Hz
    uint32_t sourceChannels = uint32_t(-1); // 1 or 2
    uint8_t sourceTagTypes = 0;             // TagTypeBits
    uint8_t tagTypesToWrite = 0;            // TagTypeBits, filled by the tag step
    QString destinationPath;
    int32_t outputFormat = -1;
    uint32_t targetRate = uint32_t(-1);     // Hz
    uint32_t targetChannels = uint32_t(-1); // 1 or 2
    uint64_t expectedSamples = 0;           // over all channels; multiple of targetChannels
    double sampleRatio = 0.0;
    int32_t needsProcessing = 0; // 1: through the tempo stage; 0: encoder reads the decoder's ring
    StageFlag decoding;
    StageFlag encoding;
    StageFlag processing;
    SampleRing* encoderInput = nullptr;
    // destinationPath as the task builder made it, before the driver numbered
    // it; numbering starts again from here when the chosen name is taken by
    // the time the output is complete. Empty: destinationPath.
    QString unnumberedDestinationPath;
    // Filled in the working copy only, before the stage threads start.
    std::vector<TagPicture> pictures;
    CopiedTags copiedTags;

    // Seconds of output audio in n samples counted over all channels.
    float AudioSeconds(uint64_t n) const;
};

} // namespace zorvane
