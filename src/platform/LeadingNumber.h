#pragma once

#include <QStringView>

#include <cstdint>

namespace zorvane {

// The number at the start of a text, read as C's atoi reads it: white space
// (space, \t to \r), one optional sign, then decimal digits up to the first
// other character; no digits read as 0. The value keeps its low 32 bits, so
// no text can overflow it: too many digits wrap around, as they do in the
// Windows calls that stored and read our values first. Callers that keep
// fewer bits (a track number modulo 256) take them from `Wrapped()`.
struct LeadingNumber {
    bool negative = false;
    uint32_t magnitude = 0; // the digits' value, modulo 2^32

    // The signed value modulo 2^32, as atoi gives it on Windows.
    int32_t Wrapped() const { return int32_t(negative ? 0u - magnitude : magnitude); }
};

LeadingNumber ReadLeadingNumber(QStringView text);

} // namespace zorvane
