// The CFDATA block checksum.
#include "cab/cab.h"
#include "cab/bytes.h"

uint32_t cabBlockChecksum(const uint8_t* data, uint32_t length, uint32_t seed) {
    uint32_t sum = seed;
    uint32_t words = length / 4;
    // Four words at a time: XOR is order-free, so the grouping only helps speed.
    for (; words >= 4; words -= 4, data += 16) {
        sum ^= readLe32(data) ^ readLe32(data + 4) ^ readLe32(data + 8) ^ readLe32(data + 12);
    }
    for (; words > 0; --words, data += 4) sum ^= readLe32(data);
    // The trailing bytes are packed with the first of them highest.
    uint32_t tail = 0;
    switch (length % 4) {
        case 3: tail |= uint32_t(*data++) << 16; [[fallthrough]];
        case 2: tail |= uint32_t(*data++) << 8; [[fallthrough]];
        case 1: tail |= uint32_t(*data++);
    }
    return sum ^ tail;
}
