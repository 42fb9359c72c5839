#pragma once

#include <QString>

#include <cstdint>

namespace zorvane {

// What the decoder stepped over in one file: bytes between MPEG frames
// that were not audio (garbage in the middle, a broken frame, junk at the
// end). Players and other tools skip such bytes and go on; so do we, and the
// file's log gets one warning line instead of the decoder's chatter.
class DamageTally {
public:
    void Add(uint64_t offset, uint64_t bytes);
    bool Empty() const { return places == 0; }
    uint64_t Bytes() const { return total; }
    int Places() const { return places; }
    uint64_t FirstOffset() const { return first; }
    // "Damaged data skipped: 20480 bytes at byte 81920." or, for more than
    // one place, "... bytes in 3 places, the first at byte 81920."
    QString WarningText() const;

private:
    uint64_t total = 0;
    uint64_t first = 0;
    int places = 0;
};

// The bytes of the tags that may end an MP3 file (ID3v1, APE, Lyrics3v2, in
// any order and number), read from the open file `fd` of `fileSize` bytes:
// they are no damage when the decoder stops before them.
uint64_t TrailingTagBytes(int fd, uint64_t fileSize);

// A Lyrics3v2 block ends in 15 bytes: six decimal digits of its size (the
// marker not counted) and "LYRICS200". The size those bytes give, or -1 when
// they are no such end.
inline constexpr int kLyrics3EndSize = 15;
long Lyrics3v2Size(const char* end15);

// True when the bytes from `offset` (up to `end`) hold MPEG audio: two frame
// headers of the same kind, the second where the first frame's length says.
// Used to tell a junk tail from audio the decoder was told not to play.
bool AudioFollowsAt(int fd, uint64_t offset, uint64_t end);

} // namespace zorvane
