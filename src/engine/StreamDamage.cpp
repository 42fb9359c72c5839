#include "StreamDamage.h"

#include <cstring>
#include <unistd.h>
#include <vector>

namespace zorvane {

namespace {

bool ReadAt(int fd, uint64_t offset, void* buffer, size_t size) {
    size_t done = 0;
    auto* bytes = static_cast<char*>(buffer);
    while (done < size) {
        const ssize_t n = ::pread(fd, bytes + done, size - done, off_t(offset + done));
        if (n <= 0) {
            return false;
        }
        done += size_t(n);
    }
    return true;
}

uint32_t LittleEndian32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The length in bytes of the MPEG audio frame whose header is h, or 0 when h
// is no valid header. `kind` receives the bits that stay the same from frame
// to frame of one stream (version, layer, sampling rate).
uint32_t FrameLength(uint32_t h, uint32_t* kind) {
    if ((h & 0xFFE00000u) != 0xFFE00000u) {
        return 0;
    }
    const int version = (h >> 19) & 3; // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    const int layer = (h >> 17) & 3;   // 1 layer III, 2 layer II, 3 layer I
    const int bitrateIndex = (h >> 12) & 15;
    const int rateIndex = (h >> 10) & 3;
    if (version == 1 || layer == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) {
        return 0;
    }
    static const int kBitrates[2][3][16] = {
        {{0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
         {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
         {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0}},
        {{0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
         {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0}}};
    static const int kRates[3] = {44100, 48000, 32000};
    const bool mpeg1 = version == 3;
    const int kbps = kBitrates[mpeg1 ? 0 : 1][layer - 1][bitrateIndex];
    const int rate = kRates[rateIndex] >> (mpeg1 ? 0 : (version == 2 ? 1 : 2));
    const int padding = (h >> 9) & 1;
    *kind = h & 0xFFFE0C00u;
    if (layer == 3) { // layer I
        return uint32_t((12000 * kbps / rate + padding) * 4);
    }
    const int perFrame = (layer == 1 && !mpeg1) ? 72000 : 144000;
    return uint32_t(perFrame * kbps / rate + padding);
}

} // namespace

void DamageTally::Add(uint64_t offset, uint64_t bytes) {
    if (bytes == 0) {
        return;
    }
    if (places == 0) {
        first = offset;
    }
    total += bytes;
    ++places;
}

QString DamageTally::WarningText() const {
    if (places == 1) {
        return QStringLiteral("Damaged data skipped: %1 bytes at byte %2.").arg(total).arg(first);
    }
    return QStringLiteral("Damaged data skipped: %1 bytes in %2 places, the first at byte %3.")
        .arg(total)
        .arg(places)
        .arg(first);
}

long Lyrics3v2Size(const char* end15) {
    if (std::memcmp(end15 + 6, "LYRICS200", 9) != 0) {
        return -1;
    }
    long size = 0;
    for (int i = 0; i < 6; ++i) {
        if (end15[i] < '0' || end15[i] > '9') {
            return -1;
        }
        size = size * 10 + (end15[i] - '0');
    }
    return size;
}

uint64_t TrailingTagBytes(int fd, uint64_t fileSize) {
    uint64_t end = fileSize;
    for (int guard = 0; guard < 8; ++guard) {
        unsigned char tail[32];
        if (end >= 128) {
            char id3v1[3];
            if (ReadAt(fd, end - 128, id3v1, 3) && std::memcmp(id3v1, "TAG", 3) == 0) {
                end -= 128;
                continue;
            }
        }
        if (end >= 32 && ReadAt(fd, end - 32, tail, 32) && std::memcmp(tail, "APETAGEX", 8) == 0) {
            // The size counts the items and the footer; a header adds 32.
            const uint64_t size = LittleEndian32(tail + 12);
            const uint64_t whole = size + ((LittleEndian32(tail + 20) & 0x80000000u) ? 32 : 0);
            if (size >= 32 && whole <= end) {
                end -= whole;
                continue;
            }
        }
        if (end >= kLyrics3EndSize) {
            char lyrics[kLyrics3EndSize];
            const long size = ReadAt(fd, end - kLyrics3EndSize, lyrics, kLyrics3EndSize)
                                  ? Lyrics3v2Size(lyrics)
                                  : -1;
            if (size >= 0 && uint64_t(size) + kLyrics3EndSize <= end) {
                end -= uint64_t(size) + kLyrics3EndSize;
                continue;
            }
        }
        break;
    }
    return fileSize - end;
}

bool AudioFollowsAt(int fd, uint64_t offset, uint64_t end) {
    // A frame header can start anywhere in the first few kilobytes of junk.
    constexpr uint64_t kLookAhead = 64 * 1024;
    const uint64_t size = std::min(end > offset ? end - offset : 0, kLookAhead + 4);
    std::vector<unsigned char> bytes(size);
    if (size < 8 || !ReadAt(fd, offset, bytes.data(), size)) {
        return false;
    }
    for (uint64_t i = 0; i + 4 <= size; ++i) {
        const uint32_t h = uint32_t(bytes[i]) << 24 | uint32_t(bytes[i + 1]) << 16 |
                           uint32_t(bytes[i + 2]) << 8 | bytes[i + 3];
        uint32_t kind = 0;
        const uint32_t length = FrameLength(h, &kind);
        if (length == 0) {
            continue;
        }
        unsigned char next[4];
        const uint64_t nextAt = offset + i + length;
        if (nextAt + 4 > end || !ReadAt(fd, nextAt, next, 4)) {
            continue;
        }
        const uint32_t h2 =
            uint32_t(next[0]) << 24 | uint32_t(next[1]) << 16 | uint32_t(next[2]) << 8 | next[3];
        uint32_t kind2 = 0;
        if (FrameLength(h2, &kind2) != 0 && kind2 == kind) {
            return true;
        }
    }
    return false;
}

} // namespace zorvane
