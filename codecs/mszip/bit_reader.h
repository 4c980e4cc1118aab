// Bit reader over the decoder's input: fields are read least significant bit
// first from a 64-bit reservoir, and past the end of the input the stream
// goes on with zero bits. The fast code loop works on a copy of the same
// state (see decode_codes.cpp).
#pragma once

#include "codecs/mszip/mszip_decoder.h"

#include <bit>
#include <cstring>

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

// After a whole-word refill the reservoir holds at least 56 bits; one
// symbol takes at most 15 + 5 bits (length) and 15 + 13 bits (distance).
constexpr uint32_t kRefillFloor = 56;

// Eight input bytes as one little-endian word.
inline uint64_t load64(const uint8_t* p) {
    uint64_t value;
    std::memcpy(&value, p, sizeof value);
    if constexpr (std::endian::native == std::endian::big) value = __builtin_bswap64(value);
    return value;
}

// Tops a reservoir holding `count` bits up to 56..63 bits with one 8-byte
// load at `in`; the bytes whose bits all fit are counted as taken, at most
// (63 - count) / 8 of them. The bits of a byte taken in part are read again,
// to the same places, by the next refill, so bits already held stay where
// they are and an entry looked up before a refill stays valid.
inline void refill(uint64_t& bits, uint32_t& count, const uint8_t*& in) {
    bits |= load64(in) << count;
    in += (63 - count) >> 3;
    count |= kRefillFloor;
}

// Makes at least `count` bits (count <= 32) available in the reservoir.
// With eight input bytes left it refills a word at a time; near the end it
// goes byte by byte, with zeros past the input.
inline void needBits(MszipDecoder* d, uint32_t count) {
    if (d->bitCount >= count) return;
    if (d->inputUsed + 8 <= d->inputSize) {
        const uint8_t* in = d->input + d->inputUsed;
        refill(d->bitBuffer, d->bitCount, in);
        d->inputUsed = uint32_t(in - d->input);
        return;
    }
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
