// The bit reader: 16-bit little-endian words, most significant bit first,
// with a 32-bit look-ahead that always holds at least 17 valid bits.
#pragma once

#include "codecs/lzx/lzx_decoder.h"

#include <cstdint>

namespace lzx {

inline uint32_t readWord(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }

// Shifts n bits (at most 17) out of the look-ahead and refills it with up to
// two words, without testing the input limit: the decoding loops test it
// once per symbol, and the caller's input carries slack beyond that limit.
inline void dropBitsUnchecked(uint32_t& bitBuffer, int32_t& spareBits, const uint8_t*& inPos,
                              int n) {
    bitBuffer <<= n;
    spareBits -= n;
    if (spareBits <= 0) {
        bitBuffer |= readWord(inPos) << -spareBits;
        inPos += 2;
        spareBits += 16;
        if (spareBits <= 0) {
            bitBuffer |= readWord(inPos) << -spareBits;
            inPos += 2;
            spareBits += 16;
        }
    }
}

// The same for headers and trees, which test the limit at every refill: a
// refill wanted at or past inLimit sets inputExhausted and shifts in zeros.
inline void dropBits(Decoder& d, int n) {
    d.bitBuffer <<= n;
    d.spareBits -= n;
    for (int refill = 0; refill < 2 && d.spareBits <= 0; ++refill) {
        if (d.inPos >= d.inLimit) {
            d.inputExhausted = true;
            return;
        }
        d.bitBuffer |= readWord(d.inPos) << -d.spareBits;
        d.inPos += 2;
        d.spareBits += 16;
    }
}

// n is 1..17.
inline uint32_t getBits(Decoder& d, int n) {
    uint32_t value = d.bitBuffer >> (32 - n);
    dropBits(d, n);
    return value;
}

}  // namespace lzx
