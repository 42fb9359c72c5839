#pragma once

#include <QString>

#include <cstdint>

namespace TagLib {
class ByteVector;
class File;
namespace ID3v2 {
class Frame;
}
} // namespace TagLib

namespace zorvane {

class CConversionTask;
class ConversionState;

// The most the frames and items copied from one source (pictures included)
// may hold together, so that a file of many frames just under the per-frame
// cap cannot make a conversion hold gigabytes.
inline constexpr uint64_t kMaxCopiedTagBytes = 64ull * 1024 * 1024;

// Reads what the output's tags take from the source's ID3v2 and APE tags: the
// pictures (task.pictures) and every other frame and item (task.copiedTags),
// each made true for the output. `readPath` names the source's bytes (the
// decoder passes its own open descriptor's /proc path, so the tags come from
// the very file it decodes). Frames too large to hold, and what goes past
// kMaxCopiedTagBytes, are skipped with a warning line each. Returns 1; 0
// after logging "File Error: ..." when the source cannot be read.
int ReadSourceTags(ConversionState& state, CConversionTask& task, const QString& readPath);

// Where the footer of an APE tag sits that TagLib 1.13 does not look for: in
// front of a Lyrics3v2 block (and an ID3v1 tag after it). -1 when there is
// none, or when the tag would hold more than kMaxCopiedTagBytes.
long ApeFooterBehindLyrics3(TagLib::File& file);

// The frame, header and content, as ID3v2.`version` (3 or 4) stores it.
TagLib::ByteVector RenderFrame(TagLib::ID3v2::Frame& frame, unsigned version);

// The output's ID3v2 major version for the source's (0: none): 2.3 stays
// 2.3 and 2.2, which has no place left to go but 2.3, players read most
// widely, becomes 2.3; everything else is 2.4.
inline unsigned OutputId3v2Version(int sourceVersion) {
    return sourceVersion == 2 || sourceVersion == 3 ? 3u : 4u;
}

} // namespace zorvane
