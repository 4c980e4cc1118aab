// Block contents into the window: literals and matches of verbatim and
// aligned-offset blocks, and the raw bytes of uncompressed blocks.
#include "codecs/lzx/bit_reader.h"
#include "codecs/lzx/lzx_decoder.h"

#include <cstring>

namespace lzx {
namespace {

inline uint64_t load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}
inline void store64(uint8_t* p, uint64_t v) { std::memcpy(p, &v, 8); }

// Copies `length` bytes to window position i from `distance` bytes back, as
// if byte by byte in increasing order (so a distance shorter than the length
// repeats the bytes just written), with source positions taken modulo the
// window. The destination never passes the window's end.
inline void copyMatch(uint8_t* window, uint32_t mask, uint32_t i, uint32_t distance,
                      uint32_t length) {
    const uint32_t d = distance & mask;
    const uint32_t src = (i - d) & mask;
    uint8_t* out = window + i;
    if (src + length > mask + 1) {
        // The source runs past the window's end: wrap byte by byte.
        for (uint32_t k = 0; k < length; ++k) out[k] = window[(src + k) & mask];
        return;
    }
    const uint8_t* from = window + src;
    if (d >= length || src > i) {
        // Source and destination do not interleave (or the source lies ahead,
        // where a forward copy reads every byte before it is overwritten).
        if (length <= 16) {
            if (length >= 8) {
                uint64_t head = load64(from), tail = load64(from + length - 8);
                store64(out, head);
                store64(out + length - 8, tail);
            } else if (length >= 4) {
                uint32_t head, tail;
                std::memcpy(&head, from, 4);
                std::memcpy(&tail, from + length - 4, 4);
                std::memcpy(out, &head, 4);
                std::memcpy(out + length - 4, &tail, 4);
            } else {
                uint8_t a = from[0], b = from[1], c = from[length - 1];
                out[0] = a;
                out[1] = b;
                out[length - 1] = c;
            }
        } else {
            std::memmove(out, from, length);
        }
        return;
    }
    if (d == 0) return;  // the bytes copied onto themselves
    if (d == 1) {
        std::memset(out, *from, length);
        return;
    }
    if (d >= 8) {
        // Each 8-byte step reads only bytes already final.
        uint32_t k = 0;
        for (; k + 8 <= length; k += 8) store64(out + k, load64(from + k));
        for (; k < length; ++k) out[k] = from[k];
        return;
    }
    for (uint32_t k = 0; k < length; ++k) out[k] = from[k];
}

template <bool kAligned>
bool expand(Decoder& d, uint32_t start, uint32_t count) {
    uint8_t* const window = d.window;
    const uint32_t mask = d.windowMask;
    const int16_t* const mainTable = d.mainTable;
    const uint8_t* const mainLengths = d.mainLengths;
    const int32_t mainSymbols = int32_t(d.mainSymbols);
    const uint8_t* const limit = d.inLimit;
    uint32_t bitBuffer = d.bitBuffer;
    int32_t spareBits = d.spareBits;
    const uint8_t* inPos = d.inPos;
    uint32_t r0 = d.repeatedOffsets[0], r1 = d.repeatedOffsets[1], r2 = d.repeatedOffsets[2];

    uint32_t i = start;
    const uint32_t end = start + count;
    bool ok = true;
    while (i < end) {
        int32_t symbol = mainTable[bitBuffer >> (32 - kMainLookupBits)];
        for (uint32_t bit = uint32_t(1) << (31 - kMainLookupBits); symbol < 0; bit >>= 1) {
            symbol = d.mainNodes[-symbol - mainSymbols][(bitBuffer & bit) ? 1 : 0];
        }
        if (inPos >= limit) {
            ok = false;
            break;
        }
        dropBitsUnchecked(bitBuffer, spareBits, inPos, mainLengths[symbol]);
        if (symbol < kLiteralCount) {
            window[i++] = uint8_t(symbol);
            continue;
        }

        uint32_t header = uint32_t(symbol - kLiteralCount) & 7;
        const uint32_t slot = uint32_t(symbol - kLiteralCount) >> 3;
        if (header == 7) {
            int32_t lengthSymbol = d.lengthTable[bitBuffer >> (32 - kLengthLookupBits)];
            for (uint32_t bit = uint32_t(1) << (31 - kLengthLookupBits); lengthSymbol < 0;
                 bit >>= 1) {
                lengthSymbol = d.lengthNodes[-lengthSymbol - kLengthSymbols][(bitBuffer & bit) ? 1 : 0];
            }
            dropBitsUnchecked(bitBuffer, spareBits, inPos, d.lengthLengths[lengthSymbol]);
            header += uint32_t(lengthSymbol);
        }
        const uint32_t length = header + kMinMatch;

        uint32_t distance;
        if (slot >= 4) {
            const int extra = kSlots.extraBits[slot];
            uint32_t offsetBits;
            if (kAligned && extra >= 3) {
                uint32_t verbatimPart = 0;
                if (extra > 3) {
                    verbatimPart = bitBuffer >> (32 - (extra - 3));
                    dropBitsUnchecked(bitBuffer, spareBits, inPos, extra - 3);
                }
                const uint32_t a = d.alignedTable[bitBuffer >> (32 - kAlignedLookupBits)];
                dropBitsUnchecked(bitBuffer, spareBits, inPos, d.alignedLengths[a]);
                offsetBits = verbatimPart << 3 | a;
            } else {
                offsetBits = bitBuffer >> (32 - extra);
                dropBitsUnchecked(bitBuffer, spareBits, inPos, extra);
            }
            distance = uint32_t(kSlots.distanceBase[slot]) + offsetBits;
            r2 = r1;
            r1 = r0;
            r0 = distance;
        } else if (slot == 0) {
            distance = r0;
        } else if (slot == 1) {
            distance = r1;
            r1 = r0;
            r0 = distance;
        } else if (slot == 2) {
            distance = r2;
            r2 = r0;
            r0 = distance;
        } else {
            distance = 1;
            r2 = r1;
            r1 = r0;
            r0 = 1;
        }

        // A match may end exactly at the run's end, never past it; it is
        // refused before anything is written.
        if (length > end - i) {
            ok = false;
            break;
        }
        copyMatch(window, mask, i, distance, length);
        i += length;
    }

    d.bitBuffer = bitBuffer;
    d.spareBits = spareBits;
    d.inPos = inPos;
    d.repeatedOffsets[0] = r0;
    d.repeatedOffsets[1] = r1;
    d.repeatedOffsets[2] = r2;
    if (!ok) return false;
    d.writePos = end & mask;
    return true;
}

}  // namespace

bool expandVerbatim(Decoder& d, uint32_t start, uint32_t count) {
    return expand<false>(d, start, count);
}

bool expandAligned(Decoder& d, uint32_t start, uint32_t count) {
    return expand<true>(d, start, count);
}

bool copyStored(Decoder& d, uint32_t start, uint32_t count) {
    // The raw bytes must all be in this call's data: bytes beyond it are the
    // reader's zero slack, not part of the block.
    if (d.inPos > d.dataEnd || count > uint32_t(d.dataEnd - d.inPos)) return false;
    std::memcpy(d.window + start, d.inPos, count);
    d.inPos += count;
    d.writePos = (start + count) & d.windowMask;
    return true;
}

}  // namespace lzx
