// Byte-at-a-time bit reader over the decoder's input: fields are read least
// significant bit first, and past the end of the input the stream goes on
// with zero bits. The fast code loop reads whole words instead but keeps the
// same state (see decode_codes.cpp).
#pragma once

#include "codecs/mszip/mszip_decoder.h"

namespace mszip {

// bitMask[n] = 2^n - 1. A table lookup is cheaper than building the mask
// with a variable shift, and it is on the path of every length, distance
// and sub-table index.
inline constexpr auto bitMask = [] {
    struct Masks {
        uint32_t of[33];
    } masks{};
    for (uint32_t n = 0; n < 32; ++n) masks.of[n] = (1u << n) - 1;
    masks.of[32] = 0xFFFFFFFFu;
    return masks;
}();

// The low `count` bits of `value` (count <= 32).
inline uint32_t lowBits(uint64_t value, uint32_t count) {
    return uint32_t(value) & bitMask.of[count];
}

// Makes at least `count` bits (count <= 32) available in the reservoir.
inline void needBits(MszipDecoder* d, uint32_t count) {
    while (d->bitCount < count) {
        uint64_t byte = d->inputUsed < d->inputSize ? d->input[d->inputUsed] : 0;
        d->inputUsed++;
        d->bitBuffer |= byte << d->bitCount;
        d->bitCount += 8;
    }
}

inline void dropBits(MszipDecoder* d, uint32_t count) {
    d->bitBuffer >>= count;
    d->bitCount -= count;
}

inline uint32_t readBits(MszipDecoder* d, uint32_t count) {
    needBits(d, count);
    uint32_t value = lowBits(d->bitBuffer, count);
    dropBits(d, count);
    return value;
}

// Byte offset (from `input`) of the first byte not yet in the reservoir,
// once the reservoir holds whole bytes only.
inline uint32_t alignedInputPosition(const MszipDecoder* d) {
    return d->inputUsed - d->bitCount / 8;
}

}  // namespace mszip
