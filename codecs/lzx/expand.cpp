// Block contents into the window: literals and matches of verbatim and
// aligned-offset blocks, and the raw bytes of uncompressed blocks.
#include "codecs/lzx/bit_reader.h"
#include "codecs/lzx/lzx_decoder.h"
#include "codecs/lzx/matches.h"

#include <cstring>

namespace lzx {
namespace {

// The careful loop: a 32-bit look-ahead refilled 16 bits at a time, and the
// input limit tested before each symbol's bits are dropped. It decodes
// whatever the fast loop leaves of a run: the symbols near the input's end.
template <bool kAligned>
bool expandCareful(Decoder& d, uint32_t i, uint32_t end) {
    uint8_t* const window = d.window;
    const uint32_t mask = d.windowMask;
    const uint32_t* const mainEntries = d.mainEntries;
    const uint8_t* const mainLengths = d.mainLengths;
    const int32_t mainSymbols = int32_t(d.mainSymbols);
    const uint8_t* const limit = d.inLimit;
    uint32_t bitBuffer = d.bitBuffer;
    int32_t spareBits = d.spareBits;
    const uint8_t* inPos = d.inPos;
    uint32_t r0 = d.repeatedOffsets[0], r1 = d.repeatedOffsets[1], r2 = d.repeatedOffsets[2];
    const bool filled = d.windowFilled;

    bool ok = true;
    while (i < end) {
        uint32_t entry = mainEntries[bitBuffer >> (32 - kMainLookupBits)];
        if ((entry & kMainEntryWalk) != 0) {
            // The negated node a longer code continues in.
            int32_t symbol = int16_t(entry >> 16);
            for (uint32_t bit = uint32_t(1) << (31 - kMainLookupBits); symbol < 0; bit >>= 1) {
                symbol = d.mainNodes[-symbol - mainSymbols][(bitBuffer & bit) ? 1 : 0];
            }
            entry = mainEntry(uint32_t(symbol), mainLengths[symbol]);
        }
        if (inPos >= limit) {
            ok = false;
            break;
        }
        dropBitsUnchecked(bitBuffer, spareBits, inPos, int(entry & kMainEntryBitsMask));
        if (entry < kMainEntryMatch) {
            window[i++] = uint8_t(entry >> kMainEntryValueShift);
            continue;
        }

        uint32_t lengthAboveMin = (entry >> kMainEntryValueShift) & kMainEntryValueMask;
        const uint32_t slot = (entry >> kMainEntrySlotShift) & kMainEntrySlotMask;
        if ((entry & kMainEntryLengthCode) != 0) {
            int32_t lengthSymbol = d.lengthTable[bitBuffer >> (32 - kLengthLookupBits)];
            if (lengthSymbol >= 0) lengthSymbol &= kTableSymbolMask;
            for (uint32_t bit = uint32_t(1) << (31 - kLengthLookupBits); lengthSymbol < 0;
                 bit >>= 1) {
                lengthSymbol = d.lengthNodes[-lengthSymbol - kLengthSymbols][(bitBuffer & bit) ? 1 : 0];
            }
            dropBitsUnchecked(bitBuffer, spareBits, inPos, d.lengthLengths[lengthSymbol]);
            lengthAboveMin += uint32_t(lengthSymbol);
        }
        const uint32_t length = lengthAboveMin + kMinMatch;

        uint32_t offsetBits = 0;
        if (slot >= 4) {
            const int extra = kSlots.extraBits[slot];
            if (kAligned && extra >= 3) {
                uint32_t verbatimPart = 0;
                if (extra > 3) {
                    verbatimPart = bitBuffer >> (32 - (extra - 3));
                    dropBitsUnchecked(bitBuffer, spareBits, inPos, extra - 3);
                }
                const uint32_t a = d.alignedTable[bitBuffer >> (32 - kAlignedLookupBits)];
                dropBitsUnchecked(bitBuffer, spareBits, inPos, int(a >> kAlignedSymbolBits));
                offsetBits = verbatimPart << kAlignedSymbolBits | (a & (kAlignedSymbols - 1));
            } else {
                offsetBits = bitBuffer >> (32 - extra);
                dropBitsUnchecked(bitBuffer, spareBits, inPos, extra);
            }
        }
        const uint32_t distance = matchDistance(slot, offsetBits, r0, r1, r2);

        // A match may end exactly at the run's end, never past it, and may
        // not reach before the folder's first byte; it is refused before
        // anything is written.
        if (length > end - i || !sourceInFolder(filled, i, distance)) {
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

template <bool kAligned>
bool expand(Decoder& d, uint32_t start, uint32_t count) {
    uint32_t i = start;
    const uint32_t end = start + count;
    if (d.carefulOnly == 0 && !expandFast<kAligned>(d, i, end)) return false;
    return expandCareful<kAligned>(d, i, end);
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
