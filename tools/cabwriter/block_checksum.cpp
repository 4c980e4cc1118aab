// The CFDATA checksum, computed by the writer itself so that cabinets made
// for tests are never checked with the code under test.
#include "tools/cabwriter/writer_internal.h"

namespace cabwriter::detail {

uint32_t blockChecksumOf(const uint8_t* data, size_t length, uint32_t seed) {
    // Whole 32-bit words are little-endian; the 1 to 3 bytes after the last
    // of them are packed with the first byte highest.
    uint32_t sum = seed;
    const size_t whole = length - length % 4;
    for (size_t i = 0; i < whole; ++i) sum ^= uint32_t(data[i]) << (8 * (i % 4));
    uint32_t tail = 0;
    for (size_t i = whole; i < length; ++i) tail = (tail << 8) | data[i];
    return sum ^ tail;
}

}  // namespace cabwriter::detail
